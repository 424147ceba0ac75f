// A Zentrafin5x32.dll without any export: the helper loads it and finds no routine.
// It logs "attach" and "detach" like the test library, so a test sees it was loaded.
#include <windows.h>

#include "library_log.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_ownModule = instance;
    LogWithOwnPath("attach");
  } else if (reason == DLL_PROCESS_DETACH) {
    AppendLogLine("detach", nullptr);
  }
  return TRUE;
}
