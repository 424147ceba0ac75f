#include "library_log.h"

#include <string.h>

HMODULE g_ownModule = nullptr;

static const char k_logVariable[] = "COMREG32_TEST_LOG";

void AppendLogLine(const char *first, const char *second) {
  char path[MAX_PATH] = {};
  DWORD length = GetEnvironmentVariableA(k_logVariable, path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return;
  char line[1024];
  line[0] = 0;
  strncat(line, first, 500);
  if (second != nullptr) {
    strcat(line, "\t");
    strncat(line, second, 500);
  }
  strcat(line, "\n");
  // Opened for appending and shared, so the driver can add its own lines between ours.
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
  CloseHandle(file);
}

void LogWithOwnPath(const char *event) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(g_ownModule, path, sizeof(path));
  AppendLogLine(event, path);
}

void LogAddress(const char *event, const void *address) {
  static const char digits[] = "0123456789ABCDEF";
  char text[17];
  uint64_t value = reinterpret_cast<uintptr_t>(address);
  for (int i = 15; i >= 0; --i) {
    text[i] = digits[value & 0xF];
    value >>= 4;
  }
  text[16] = 0;
  AppendLogLine(event, text);
}

// Both test libraries log their load and unload, so a test sees which copy was loaded
// and that the detach came last.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_ownModule = instance;
    LogWithOwnPath("attach");
  } else if (reason == DLL_PROCESS_DETACH) {
    AppendLogLine("detach", nullptr);
  }
  return TRUE;
}
