// A second floor for the benchmark: an exe with no C runtime that only makes the
// helper's one unavoidable user32 call, the window probe, then ends. Under Wine the
// load of user32 costs far more than the rest of a start.
#include <windows.h>

// The entry point: probes for an "IEFrame" window and ends with 11 or 0.
extern "C" void WINAPI ProbeOnlyEntry() { ExitProcess(FindWindowA("IEFrame", nullptr) != nullptr ? 11 : 0); }
