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

// Writes `value` as `digits` upper-case hex digits and returns the end.
static char *WriteHex(char *to, uint64_t value, int digits) {
  static const char k_digits[] = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i) {
    to[i] = k_digits[value & 0xF];
    value >>= 4;
  }
  return to + digits;
}

void LogAddress(const char *event, const void *address) {
  char text[17];
  *WriteHex(text, reinterpret_cast<uintptr_t>(address), 16) = 0;
  AppendLogLine(event, text);
}

void LogHex(const char *event, uint32_t value, int digits) {
  char text[9];
  *WriteHex(text, value, digits) = 0;
  AppendLogLine(event, text);
}

constexpr DWORD k_stackOverflow = 0xC00000FD;

// Logs every exception of the process as the platform first dispatches it, before any
// frame handler sees it: "exception<TAB>CODE@ADDRESS". So a test sees the code the
// platform made of a fault, which under emulation is not always the true one. A stack
// overflow is not logged: too little stack is left to write a line, and the error
// number in the helper's report already names the code.
static LONG WINAPI LogFirstChance(EXCEPTION_POINTERS *pointers) {
  const EXCEPTION_RECORD *record = pointers->ExceptionRecord;
  if (record->ExceptionCode == k_stackOverflow) return EXCEPTION_CONTINUE_SEARCH;
  char text[26];
  char *end = WriteHex(text, record->ExceptionCode, 8);
  *end++ = '@';
  *WriteHex(end, reinterpret_cast<uintptr_t>(record->ExceptionAddress), 16) = 0;
  AppendLogLine("exception", text);
  return EXCEPTION_CONTINUE_SEARCH;
}

// Both test libraries log their load, their unload and every exception, so a test sees
// which copy was loaded, what the platform dispatched, and that the detach came last.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_ownModule = instance;
    LogWithOwnPath("attach");
    AddVectoredExceptionHandler(1, LogFirstChance);
  } else if (reason == DLL_PROCESS_DETACH) {
    AppendLogLine("detach", nullptr);
  }
  return TRUE;
}
