#include "sample_library.h"

HMODULE g_sampleModule = nullptr;

// The library's entry point (there is no C runtime start-up): records its own module
// for DllRegisterServer and asks for no per-thread notifications.
extern "C" BOOL WINAPI SampleLibraryEntry(HINSTANCE module, DWORD reason, void *) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_sampleModule = module;
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}
