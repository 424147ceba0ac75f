// The fake's process, library, window and message-box functions.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "fake_internal.h"
#include "fake_platform.h"

static char *g_commandLine = nullptr;  // exactly the bytes and the zero: overreads show up

static const char k_defaultCommandLine[] = "comreg32.exe";
static char g_kernelIdentity;  // its address is kernel32's handle
static const uintptr_t k_fakeWindow = 0x00010010;

// A log entry with a number, e.g. "exit:216" or "raise:C00000FD".
static std::string Numbered(const char *what, unsigned long long number, bool hex = false) {
  char text[64];
  snprintf(text, sizeof text, hex ? "%s:%llX" : "%s:%llu", what, number);
  return text;
}

// Puts back the command line a fresh fake has.
void ResetFakeCommandLine() { SetFakeCommandLine(k_defaultCommandLine); }

void SetFakeCommandLine(const std::string &bytes) {
  free(g_commandLine);
  g_commandLine = static_cast<char *>(malloc(bytes.size() + 1));
  memcpy(g_commandLine, bytes.c_str(), bytes.size() + 1);
}

// The command line the test set, in a buffer of exactly its size.
LPSTR WINAPI GetCommandLineA() { return g_commandLine; }

// Copies the exe's path; a path that does not fit fills the buffer and returns its size.
// cppcheck-suppress constParameter ; the signature is the platform's
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  ++g_fake.moduleFileNameCalls;
  if (module != nullptr) g_fake.moduleFileNameForOtherModule = true;
  g_fake.moduleFileNameBufferSize = size;
  const std::string &name = g_fake.moduleFileName;
  DWORD natural;
  if (name.size() < size) {
    memcpy(buffer, name.c_str(), name.size() + 1);
    natural = static_cast<DWORD>(name.size());
  } else {
    memcpy(buffer, name.data(), size);  // cut short and not terminated, as Windows XP does
    natural = size;
  }
  return g_fake.moduleFileNameResult < 0 ? natural : static_cast<DWORD>(g_fake.moduleFileNameResult);
}

// Whether a byte starts a double-byte character in code page 932.
static bool IsLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

// Steps one character; a lead byte takes the next byte along unless that is the zero.
LPSTR WINAPI CharNextA(LPCSTR position) {
  char *at = const_cast<char *>(position);
  if (*at == 0) return at;
  if (g_fake.doubleByte && IsLeadByte(static_cast<unsigned char>(at[0])) && at[1] != 0) return at + 2;
  return at + 1;
}

// What a call of one of the library's exports does: record, maybe fault, answer.
static long CallFakeExport(FakeExport *routine, const char *name) {
  ++routine->calls;
  RecordFakeEvent(std::string("call:") + name);
  if (routine->faults) RaiseFakeFault(routine->fault);
  return routine->result;
}

// The library's DllRegisterServer.
static long WINAPI FakeDllRegisterServer() { return CallFakeExport(&g_fake.registerExport, "DllRegisterServer"); }

// The library's DllUnregisterServer.
static long WINAPI FakeDllUnregisterServer() { return CallFakeExport(&g_fake.unregisterExport, "DllUnregisterServer"); }

// kernel32's SetDefaultDllDirectories: records the flags, gives the test's answer.
static BOOL WINAPI FakeSetDefaultDllDirectories(DWORD flags) {
  g_fake.defaultDirectoryFlags.push_back(flags);
  RecordFakeEvent(Numbered("setdefaultdlldirectories", flags, true));
  return g_fake.defaultDirectoriesAnswer;
}

// Records the name and returns the handle the test chose.
HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
  g_fake.loadedNames.push_back(fileName);
  RecordFakeEvent(std::string("load:") + fileName);
  return reinterpret_cast<HMODULE>(g_fake.libraryHandle);
}

// Knows kernel32.dll only, and only while the test says it is there.
HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
  RecordFakeEvent(std::string("modulehandle:") + (moduleName ? moduleName : "(null)"));
  if (moduleName == nullptr || strcasecmp(moduleName, "kernel32.dll") != 0 || !g_fake.kernelFound) return nullptr;
  return reinterpret_cast<HMODULE>(&g_kernelIdentity);
}

// Finds SetDefaultDllDirectories in kernel32 and the two exports in the library.
// cppcheck-suppress constParameter ; the signature is the platform's
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  g_fake.lookedUpNames.push_back(name);
  RecordFakeEvent(std::string("getproc:") + name);
  std::string wanted = name;
  if (module == reinterpret_cast<HMODULE>(&g_kernelIdentity)) {
    if (wanted == "SetDefaultDllDirectories" && g_fake.defaultDirectoriesPresent) {
      return reinterpret_cast<FARPROC>(reinterpret_cast<void *>(&FakeSetDefaultDllDirectories));
    }
    return nullptr;
  }
  if (module != reinterpret_cast<HMODULE>(g_fake.libraryHandle)) return nullptr;
  if (wanted == "DllRegisterServer" && g_fake.registerExport.present) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void *>(&FakeDllRegisterServer));
  }
  if (wanted == "DllUnregisterServer" && g_fake.unregisterExport.present) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void *>(&FakeDllUnregisterServer));
  }
  return nullptr;
}

// Records the directory; always succeeds.
BOOL WINAPI SetDllDirectoryA(LPCSTR path) {
  g_fake.dllDirectories.push_back(path ? path : "(null)");
  RecordFakeEvent(std::string("setdlldirectory:") + (path ? path : "(null)"));
  return 1;
}

// Records the probe; finds a window when the test says one is open.
HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName) {
  g_fake.probedClasses.push_back(className ? className : "(null)");
  if (windowName != nullptr) g_fake.probedWithWindowName = true;
  RecordFakeEvent(std::string("findwindow:") + (className ? className : "(null)"));
  return g_fake.windowOpen ? reinterpret_cast<HWND>(k_fakeWindow) : nullptr;
}

static NativeWindowStation *const k_fakeStation = reinterpret_cast<NativeWindowStation *>(0x00000040);

// The process's window station, unless the test took it away.
HWINSTA WINAPI GetProcessWindowStation() { return g_fake.noWindowStation ? nullptr : k_fakeStation; }

// Answers UOI_FLAGS of the process's station with the test's flags; anything else fails.
// cppcheck-suppress constParameter ; the signature is the platform's
BOOL WINAPI GetUserObjectInformationA(HANDLE object, int index, void *information, DWORD length, DWORD *needed) {
  ++g_fake.stationQuestions;
  RecordFakeEvent("station-question");
  if (object != k_fakeStation || index != UOI_FLAGS || length < sizeof(USEROBJECTFLAGS) || information == nullptr ||
      g_fake.stationFlags < 0) {
    return 0;
  }
  USEROBJECTFLAGS flags = {1, 0, static_cast<DWORD>(g_fake.stationFlags)};
  memcpy(information, &flags, sizeof flags);
  if (needed != nullptr) *needed = sizeof flags;
  return 1;
}

// Records the box and its place in the log; the user presses OK.
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, unsigned type) {
  int sequence = RecordFakeEvent("messagebox");
  g_fake.messageBoxes.push_back({owner, text, caption, type, sequence});
  return 1;  // IDOK
}

// Records the status, then ends the fake process by throwing FakeProcessExit.
void WINAPI ExitProcess(unsigned exitCode) {
  ++g_fake.exitCalls;
  g_fake.exitStatus = exitCode;
  RecordFakeEvent(Numbered("exit", exitCode));
  throw FakeProcessExit{exitCode};
}

// Records the fault and gives the test's answer.
LONG WINAPI UnhandledExceptionFilter(EXCEPTION_POINTERS *pointers) {
  g_fake.filterCodes.push_back(pointers->ExceptionRecord->ExceptionCode);
  g_fake.filterAddresses.push_back(reinterpret_cast<uintptr_t>(pointers->ExceptionRecord->ExceptionAddress));
  RecordFakeEvent("filter");
  return g_fake.filterAnswer;
}

// Keeps the one vectored handler the helper registers.
void *WINAPI AddVectoredExceptionHandler(unsigned long first, PVECTORED_EXCEPTION_HANDLER handler) {
  g_fake.vectoredHandler = handler;
  g_fake.vectoredFirst = first;
  RecordFakeEvent("vectored");
  return reinterpret_cast<void *>(handler);
}

DWORD WINAPI GetCurrentThreadId() { return g_fake.threadId; }

// Dispatches the raised exception like any other fault.
void WINAPI RaiseException(DWORD code, DWORD flags, DWORD count, const ULONG_PTR *arguments) {
  g_fake.raisedCodes.push_back(code);
  RecordFakeEvent(Numbered("raise", code, true));
  FakeFault fault = {code, reinterpret_cast<uintptr_t>(&RaiseException), {}};
  for (DWORD i = 0; i < count; ++i) fault.parameters.push_back(arguments[i]);
  DispatchFakeFault(fault, flags);
}
