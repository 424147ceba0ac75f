// The test library's log: one line per event, appended to the file named by
// COMREG32_TEST_LOG (nothing is written when it is unset). Loading the library also
// installs a vectored handler that logs every exception of the process first-chance.
#pragma once

#include <stdint.h>
#include <windows.h>

// The library's own module, set on process attach.
extern HMODULE g_ownModule;

// Appends "<first>\t<second>\n", or "<first>\n" when second is null.
void AppendLogLine(const char *first, const char *second);

// Appends "<event>\t<full path of this copy of the library>".
void LogWithOwnPath(const char *event);

// Appends "<event>\t<address as 16 upper-case hex digits>".
void LogAddress(const char *event, const void *address);

// Appends "<event>\t<value as `digits` upper-case hex digits>" (at most 8).
void LogHex(const char *event, uint32_t value, int digits);
