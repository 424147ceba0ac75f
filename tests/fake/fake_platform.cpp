// The fake's state, its reset, the event log and the run of a fake process.
#include "fake_platform.h"

#include <string.h>

#include "exit/exit_sequence.h"
#include "exit/memory.h"
#include "exit/modules.h"
#include "fake_internal.h"
#include "fault/top_level_handler.h"

FakePlatformState g_fake;

// The helper's own module table, taken before any test points it elsewhere.
static const ModuleSteps *const k_defaultModuleTable = g_moduleTable;
static const int k_defaultModuleCount = g_moduleCount;

// A step that does nothing: used to wind down modules a test left begun.
static void NoStep() {}

constexpr int k_maxBegunModules = 64;

// Lowers the helper's count of begun modules to zero without running any real step.
static void ForgetBegunModules() {
  static ModuleSteps noSteps[k_maxBegunModules];
  for (ModuleSteps &step : noSteps) step = {NoStep, NoStep};
  g_moduleTable = noSteps;
  g_moduleCount = k_maxBegunModules;
  RunShutdownSteps();
  // cppcheck-suppress selfAssignment ; the constants hold the values from before any test
  g_moduleTable = k_defaultModuleTable;
  // cppcheck-suppress selfAssignment
  g_moduleCount = k_defaultModuleCount;
}

// The answers a fresh fake gives: everything present and working, no window open.
static FakePlatformState DefaultState() {
  FakePlatformState state = {};
  state.moduleFileName = "C:\\Program Files\\Zentrafin\\comreg32.exe";
  state.moduleFileNameResult = -1;
  state.libraryHandle = k_fakeLibraryHandle;
  state.registerExport.present = true;
  state.unregisterExport.present = true;
  state.kernelFound = true;
  state.defaultDirectoriesPresent = true;
  state.defaultDirectoriesAnswer = 1;
  state.stationFlags = WSF_VISIBLE;  // the interactive station, WinSta0
  state.filterAnswer = 1;            // EXCEPTION_EXECUTE_HANDLER, as with no debugger
  state.liveBlocksAtHeapDestroy = -1;
  state.threadId = k_fakeMainThreadId;
  return state;
}

void ResetFakePlatform() {
  StopMemory();  // forgets the helper's heap; the fake's blocks go just below
  ForgetBegunModules();
  ResetFakeHeap();
  ResetFakeFrames();
  ResetFakeCommandLine();
  g_fake = DefaultState();
  g_exitStatus = 0;
  g_faultAddress = 0;
  memset(g_messageBuffer, 0, sizeof g_messageBuffer);
  g_overflowRelayed = false;
}

int RecordFakeEvent(const std::string &event) {
  if (!g_fake.quiet) g_fake.events.push_back(event);
  return g_fake.nextSequence++;
}

std::vector<std::string> FakeEventsStartingWith(const std::vector<std::string> &prefixes) {
  std::vector<std::string> matching;
  for (const std::string &event : g_fake.events) {
    for (const std::string &prefix : prefixes) {
      if (event.compare(0, prefix.size(), prefix) == 0) {
        matching.push_back(event);
        break;
      }
    }
  }
  return matching;
}

FakeOutcome RunFakeProcess(const std::function<void()> &body) {
  FakeOutcome outcome = {};
  try {
    try {
      body();
    } catch (const FakeUnwindToTop &) {
      RecordFakeEvent("continuation");
      ReportAcceptedFault();
    }
  } catch (const FakeProcessExit &exit) {
    outcome.exited = true;
    outcome.status = exit.status;
  } catch (const FakeProcessCrash &crash) {
    outcome.crashed = true;
    outcome.crashCode = crash.code;
  }
  return outcome;
}
