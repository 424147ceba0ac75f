// The Windows Installer custom actions of the example package: each runs the installed
// comreg32.exe, whose full path is the action's CustomActionData, waits for it and acts
// on its exit status. A custom action that runs an exe directly fails the installation
// on every status but 0, and 11 (Internet Explorer is open) is a success here.
//
//   RegisterLibrary    "-rs32": 0 installed; 11 installed, the user is told to restart
//                      Internet Explorer; anything else fails the installation, and the
//                      installer rolls it back
//   UnregisterLibrary  "-urs32": the status is logged, and the removal goes on
//
// No C runtime: it imports kernel32, user32 (wsprintfA) and msi only.
// clang-format off
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
// clang-format on

static const char k_restartNotice[] =
    "Installed. Internet Explorer is open: restart it before the Zentrafin toolbar appears.";

// Sends TEXT to the installer: to its log, and to the user as well for an error or a
// user message when the installation has a user interface.
static void Tell(MSIHANDLE install, INSTALLMESSAGE kind, const char *text) {
  MSIHANDLE record = MsiCreateRecord(0);
  MsiRecordSetStringA(record, 0, text);
  MsiProcessMessage(install, kind, record);
  MsiCloseHandle(record);
}

// Writes a status as the helper's users read it: 200-255 in decimal, a status of the
// system's own (0xC0000005, say) in hexadecimal.
static void FormatStatus(char *text, DWORD status) { wsprintfA(text, status > 0xFFFF ? "0x%08lX" : "%lu", status); }

// Runs the helper with KEYWORD and waits for it; false when it could not be started.
static bool RunHelper(MSIHANDLE install, const char *keyword, DWORD *status) {
  static STARTUPINFOA startup;  // all zero but its size
  char path[MAX_PATH];
  char line[MAX_PATH + 16];
  DWORD size = sizeof path;
  PROCESS_INFORMATION process;
  if (MsiGetPropertyA(install, "CustomActionData", path, &size) != ERROR_SUCCESS || size == 0) return false;
  wsprintfA(line, "\"%s\" %s", path, keyword);
  startup.cb = sizeof startup;
  if (!CreateProcessA(path, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return false;
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// Runs the helper with KEYWORD and logs how it ended; returns its status, or a status
// no helper gives (0xFFFFFFFF) when it could not be started.
static DWORD RunAndLog(MSIHANDLE install, const char *keyword) {
  char number[16];
  char text[128];
  DWORD status = 0xFFFFFFFF;
  if (RunHelper(install, keyword, &status)) {
    FormatStatus(number, status);
    wsprintfA(text, "comreg32.exe %s ended with status %s", keyword, number);
  } else {
    wsprintfA(text, "comreg32.exe %s could not be started (error %lu)", keyword, GetLastError());
  }
  Tell(install, INSTALLMESSAGE_INFO, text);
  return status;
}

extern "C" __declspec(dllexport) UINT __stdcall RegisterLibrary(MSIHANDLE install) {
  DWORD status = RunAndLog(install, "-rs32");
  if (status == 0) return ERROR_SUCCESS;
  if (status == 11) {
    Tell(install, static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_USER | MB_OK | MB_ICONINFORMATION), k_restartNotice);
    return ERROR_SUCCESS;
  }
  char number[16];
  char text[128];
  FormatStatus(number, status);
  wsprintfA(text, "Installation failed: registering Zentrafin5x32.dll ended with status %s.", number);
  Tell(install, static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), text);
  return ERROR_INSTALL_FAILURE;
}

extern "C" __declspec(dllexport) UINT __stdcall UnregisterLibrary(MSIHANDLE install) {
  RunAndLog(install, "-urs32");
  return ERROR_SUCCESS;
}

// The library's entry point: nothing to set up.
extern "C" BOOL WINAPI ActionLibraryEntry(HINSTANCE, DWORD, void *) { return TRUE; }
