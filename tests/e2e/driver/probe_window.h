// The "IEFrame" window that the helper's probe looks for.
#pragma once

#include <windows.h>

// Registers class "IEFrame" and creates a hidden top-level window of it; null on failure.
HWND CreateProbeWindow();
