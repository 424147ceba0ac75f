// The "IEFrame" window that the helper's probe looks for.
#pragma once

#include <windows.h>

// The runner's own probe windows carry this title, so it can tell them from a browser's.
extern const char k_probeWindowTitle[];

// Creates a hidden top-level window of class "IEFrame" (registered once); null on failure.
HWND CreateProbeWindow();

// True when an "IEFrame" window that is not one of the runner's own is open.
bool ForeignProbeWindowOpen();
