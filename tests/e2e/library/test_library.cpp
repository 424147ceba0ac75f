// The test copy of Zentrafin5x32.dll: DllRegisterServer and DllUnregisterServer log
// their call and then do what COMREG32_TEST_MODE says (default "ok"). The log also
// gets "attach" and "detach" from DllMain, so a test sees which copy was loaded and
// when it was unloaded.
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "fault_sites.h"
#include "library_log.h"

static const char k_modeVariable[] = "COMREG32_TEST_MODE";
constexpr DWORD k_languageException = 0x0EEDFADE;
constexpr ULONG_PTR k_languageExceptionAddress = 0x12345678;

// Returns S_OK.
static HRESULT ReturnOk(const char *) { return S_OK; }

// Returns E_FAIL, which the helper does not examine.
static HRESULT ReturnFail(const char *) { return E_FAIL; }

// Logs the site, then writes to an unmapped address.
static HRESULT AccessViolation(const char *) {
  LogAddress("site", AccessViolationSite);
  FaultAccessViolation();
  return S_OK;
}

// Logs the site, then divides an integer by zero.
static HRESULT IntegerDivide(const char *) {
  LogAddress("site", IntegerDivideSite);
  FaultIntegerDivide();
  return S_OK;
}

// Logs the x87 control word in force and the wait site, then divides by zero on the
// x87 unit under that word: the library never touches it.
static HRESULT FpuDivide(const char *) {
  uint16_t controlWord = 0;
  asm volatile("fnstcw %0" : "=m"(controlWord));
  LogHex("control-word", controlWord, 4);
  LogAddress("site", FpuWaitSite);
  FaultFpuDivide();
  return S_OK;
}

// Logs the site, then runs a privileged instruction.
static HRESULT Privileged(const char *) {
  LogAddress("site", PrivilegedSite);
  FaultPrivileged();
  return S_OK;
}

static int (*volatile g_recurse)(int);

// Calls itself through a volatile pointer and uses the result, so the compiler can
// neither inline it nor turn it into a loop: the stack runs out.
static int Recurse(int depth) {
  volatile char frame[256];
  frame[0] = static_cast<char>(depth);
  return g_recurse(depth + 1) + frame[0];
}

// Overflows the stack by unbounded recursion.
static HRESULT StackOverflow(const char *) {
  g_recurse = Recurse;
  return g_recurse(0) == 0 ? S_OK : E_FAIL;
}

// Calls through a null function pointer: the fault's address is 0.
static HRESULT NullCall(const char *) {
  void (*volatile target)() = nullptr;
  // cppcheck-suppress nullPointer
  target();
  return S_OK;
}

// Raises the exception code given in hex after "raise:", with no parameters.
static HRESULT RaiseCode(const char *argument) {
  DWORD code = static_cast<DWORD>(strtoul(argument, nullptr, 16));
  RaiseException(code, 0, 0, nullptr);
  return S_OK;
}

// Raises a language-level exception whose first parameter is the thrown-at address.
static HRESULT LanguageException(const char *) {
  ULONG_PTR parameters[2] = {k_languageExceptionAddress, 0};
  RaiseException(k_languageException, 0, 2, parameters);
  return S_OK;
}

// Raises a language-level exception with no parameters.
static HRESULT LanguageExceptionBare(const char *) {
  RaiseException(k_languageException, 0, 0, nullptr);
  return S_OK;
}

#if defined(__i386__)
constexpr DWORD k_platformCxxException = 0xE06D7363;
constexpr ULONG_PTR k_platformCxxMagic = 0x19930520;
static int g_thrownObject = 42;

// A C++ throw out of the export, as a library built with the platform's own compiler
// raises it: code 0xE06D7363 with the magic number, the object and its type
// description (left null: nothing reads it here). mingw's own i686 throw unwinds by DWARF tables and never becomes a
// structured exception (uncaught, it ends in terminate), so it cannot stand in here.
static HRESULT CxxThrow(const char *) {
  ULONG_PTR parameters[3] = {k_platformCxxMagic, reinterpret_cast<ULONG_PTR>(&g_thrownObject), 0};
  RaiseException(k_platformCxxException, EXCEPTION_NONCONTINUABLE, 3, parameters);
  return S_OK;
}
#else
// Throws a C++ exception out of the export; mingw-w64's x64 throw is a structured
// exception with code 0x20474343.
__attribute__((noinline)) static HRESULT CxxThrow(const char *) { throw 42; }
#endif

// Body of the faulting thread.
static DWORD WINAPI FaultingThread(void *) {
  FaultAccessViolation();
  return 0;
}

// Starts a thread that faults and waits for it: the fault is not on the helper's thread.
static HRESULT ThreadFault(const char *) {
  HANDLE thread = CreateThread(nullptr, 0, FaultingThread, nullptr, 0, nullptr);
  if (thread == nullptr) return E_FAIL;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return S_OK;
}

// One row per mode: its name and what an export does in it. A row that takes an
// argument matches "name:argument".
struct ModeRow {
  const char *name;
  bool takesArgument;
  HRESULT (*run)(const char *argument);
};

static const ModeRow k_modes[] = {
    {"ok", false, ReturnOk},
    {"fail", false, ReturnFail},
    {"av", false, AccessViolation},
    {"intdiv0", false, IntegerDivide},
    {"fpudiv0", false, FpuDivide},
    {"priv", false, Privileged},
    {"stackoverflow", false, StackOverflow},
    {"nullcall", false, NullCall},
    {"raise", true, RaiseCode},
    {"langexc", false, LanguageException},
    {"langexc0", false, LanguageExceptionBare},
    {"cxxthrow", false, CxxThrow},
    {"threadfault", false, ThreadFault},
};

// Logs the call, then runs the row of the current mode.
static HRESULT RunExport(const char *exportName) {
  LogWithOwnPath(exportName);
  char mode[64] = "ok";
  DWORD length = GetEnvironmentVariableA(k_modeVariable, mode, sizeof(mode));
  if (length >= sizeof(mode)) mode[0] = 0;
  for (const ModeRow &row : k_modes) {
    size_t nameLength = strlen(row.name);
    if (strncmp(mode, row.name, nameLength) != 0) continue;
    if (!row.takesArgument && mode[nameLength] == 0) return row.run("");
    if (row.takesArgument && mode[nameLength] == ':') return row.run(mode + nameLength + 1);
  }
  AppendLogLine("bad-mode", mode);
  return E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() { return RunExport("DllRegisterServer"); }

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() { return RunExport("DllUnregisterServer"); }
