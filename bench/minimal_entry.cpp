// The benchmark's floor: a Windows exe with no C runtime whose entry point only ends
// the process, so a start of it costs what any process start costs.
#include <windows.h>

// The entry point: ends the process with status 0 at once.
extern "C" void WINAPI MinimalEntry() { ExitProcess(0); }
