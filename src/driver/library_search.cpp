#include "driver/library_search.h"

#include "platform/api.h"

typedef BOOL(WINAPI *SetDefaultDllDirectoriesRoutine)(DWORD directoryFlags);

void RestrictLibrarySearch() {
  // Looked up at run time: systems older than Windows 8 without KB2533623 lack it.
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  SetDefaultDllDirectoriesRoutine setDefaultDirectories = nullptr;
  if (kernel != nullptr) {
    setDefaultDirectories = reinterpret_cast<SetDefaultDllDirectoriesRoutine>(
        reinterpret_cast<void *>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  }
  if (setDefaultDirectories != nullptr && setDefaultDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) return;
  // Older systems: at least take the current directory out of the search order.
  SetDllDirectoryA("");
}
