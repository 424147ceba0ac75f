// The platform seam: the few Win32 functions and types the helper uses.
// The Windows builds take them from <windows.h> and call the real functions;
// the native Linux build declares the same names here and links a fake.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/native_api.h"
#endif

#include <stdint.h>

// Variables that only the unit tests point elsewhere: read-only in the Windows
// builds, so that they need no writable data section.
#ifdef _WIN32
#define TEST_SEAM const
#else
#define TEST_SEAM
#endif

// Exception flags that mark a handler call made during an unwind.
constexpr DWORD k_unwindFlags = 2 /* EXCEPTION_UNWINDING */ | 4 /* EXCEPTION_EXIT_UNWIND */;
