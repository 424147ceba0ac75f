#include "driver/main_flow.h"

#include "cmdline/get_argument.h"
#include "driver/library_search.h"
#include "exit/exit_sequence.h"
#include "exit/modules.h"
#include "fault/top_level_handler.h"
#include "platform/api.h"
#include "platform/frames.h"

static const char k_registerKeyword[] = "-rs32";
static const char k_unregisterKeyword[] = "-urs32";
static const char k_libraryFileName[] = "Zentrafin5x32.dll";
static const char k_registerExport[] = "DllRegisterServer";
static const char k_unregisterExport[] = "DllUnregisterServer";
static const char k_probeWindowClass[] = "IEFrame";
constexpr uintptr_t k_loadThreshold = 32;
constexpr int32_t k_statusWindowOpen = 11;
constexpr int32_t k_statusNoWindow = 0;
constexpr uint8_t k_errorMissingRoutine = 216;

// The main flow's two argument strings, one for each keyword test.
struct MainFlowStrings {
  ArgumentString registerTest;
  ArgumentString unregisterTest;
};

static void ReleaseMainFlowStrings(void *state) {
  MainFlowStrings *strings = static_cast<MainFlowStrings *>(state);
  EmptyArgument(&strings->registerTest);
  EmptyArgument(&strings->unregisterTest);
}

typedef long(WINAPI *RegistrationRoutine)();

// Loads the library and calls the named export once; a library that does not load is
// skipped silently, a missing export ends the run with 216 and no report.
static void CallLibraryRoutine(const char *exportName, MainFlowStrings *strings) {
  HMODULE library = LoadLibraryA(k_libraryFileName);
  // Small values are error codes from old loaders, not modules. The whole pointer
  // is compared, so a module above 4 GB on x64 still counts as loaded.
  if (reinterpret_cast<uintptr_t>(library) <= k_loadThreshold) return;
  RegistrationRoutine routine =
      reinterpret_cast<RegistrationRoutine>(reinterpret_cast<void *>(GetProcAddress(library, exportName)));
  if (routine == nullptr) {
    ReleaseMainFlowStrings(strings);
    FailWithError(k_errorMissingRoutine, 0);
  }
  routine();  // the routine's result is not examined
}

static void RunMainFlowSteps(void *state) {
  MainFlowStrings *strings = static_cast<MainFlowStrings *>(state);
  // 1-2. Argument 1 equal to the register keyword: run the registration routine.
  GetArgument(1, &strings->registerTest);
  if (ArgumentEquals(&strings->registerTest, k_registerKeyword)) CallLibraryRoutine(k_registerExport, strings);
  // 3-4. Argument 1 equal to the unregister keyword: run the unregistration routine.
  GetArgument(1, &strings->unregisterTest);
  if (ArgumentEquals(&strings->unregisterTest, k_unregisterKeyword)) CallLibraryRoutine(k_unregisterExport, strings);
  // 5. The exit status says whether an Internet Explorer main window is open.
  g_exitStatus = FindWindowA(k_probeWindowClass, nullptr) != nullptr ? k_statusWindowOpen : k_statusNoWindow;
}

void RunMainFlow() {
  // 0. The library's routine runs under this control word; nothing changes it afterwards.
  ResetFpu(k_fpuControlWord);
  // 1-5 run inside a clean-up frame: a fault passing through releases the strings.
  MainFlowStrings strings = {{nullptr, 0}, {nullptr, 0}};
  RunWithCleanup(RunMainFlowSteps, &strings, ReleaseMainFlowStrings);
  // 6. Release both argument strings.
  ReleaseMainFlowStrings(&strings);
  // 7. End the process with the exit status.
  EndProcess();
}

extern "C" void StartProcess() {
  InstallStackOverflowRelay();
  RestrictLibrarySearch();
  RunStartupSteps();
  RunMainFlow();
}
