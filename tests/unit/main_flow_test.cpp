// The main flow's decisions: which keyword, whether the library counts as loaded,
// which export runs, and the exit status from the window probe.
#include "driver/main_flow.h"

#include <gtest/gtest.h>

#include "unit_support.h"

namespace {

constexpr long k_failureResult = static_cast<long>(0x80004005);  // E_FAIL

struct FlowRow {
  const char *checks;
  std::string line;
  uintptr_t libraryHandle;
  bool registerPresent;
  bool unregisterPresent;
  long routineResult;
  bool windowOpen;
  // What must happen.
  unsigned status;
  int loads;
  int registerCalls;
  int unregisterCalls;
  bool probed;
};

const uintptr_t k_loaded = k_fakeLibraryHandle;

// Columns: line, handle, register and unregister present, routine result, window open;
// then status, loads, register calls, unregister calls, probed.
const FlowRow k_flowRows[] = {
    {"register, no window", "prog.exe -rs32", k_loaded, true, true, 0, false, 0, 1, 1, 0, true},
    {"register, window open", "prog.exe -rs32", k_loaded, true, true, 0, true, 11, 1, 1, 0, true},
    {"unregister, no window", "prog.exe -urs32", k_loaded, true, true, 0, false, 0, 1, 0, 1, true},
    {"unregister, window open", "prog.exe -urs32", k_loaded, true, true, 0, true, 11, 1, 0, 1, true},
    {"handle 32 is a failed load", "prog.exe -rs32", 32, true, true, 0, true, 11, 1, 0, 0, true},
    {"handle 33 is a module", "prog.exe -rs32", 33, true, true, 0, false, 0, 1, 1, 0, true},
    {"handle 0 is a failed load", "prog.exe -urs32", 0, true, true, 0, false, 0, 1, 0, 0, true},
    {"handle 1 is a failed load", "prog.exe -rs32", 1, true, true, 0, false, 0, 1, 0, 0, true},
    {"a handle above 4 GB is a module", "prog.exe -rs32", static_cast<uintptr_t>(0x100000000ull), true, true, 0, false,
     0, 1, 1, 0, true},
    {"upper-case keyword is no keyword", "prog.exe -RS32", k_loaded, true, true, 0, false, 0, 0, 0, 0, true},
    {"longer word is no keyword", "prog.exe -rs32x", k_loaded, true, true, 0, false, 0, 0, 0, 0, true},
    {"shorter word is no keyword", "prog.exe -rs3", k_loaded, true, true, 0, false, 0, 0, 0, 0, true},
    {"longer unregister word is no keyword", "prog.exe -urs32x", k_loaded, true, true, 0, false, 0, 0, 0, 0, true},
    {"slash is no dash", "prog.exe /rs32", k_loaded, true, true, 0, true, 11, 0, 0, 0, true},
    {"no argument: probe only, window open", "prog.exe", k_loaded, true, true, 0, true, 11, 0, 0, 0, true},
    {"no argument: probe only, no window", "prog.exe", k_loaded, true, true, 0, false, 0, 0, 0, 0, true},
    {"only argument 1 counts: unregister", "prog.exe -urs32 -rs32", k_loaded, true, true, 0, false, 0, 1, 0, 1, true},
    {"only argument 1 counts: register", "prog.exe -rs32 -urs32", k_loaded, true, true, 0, false, 0, 1, 1, 0, true},
    {"keyword as argument 2 does nothing", "prog.exe x -rs32", k_loaded, true, true, 0, false, 0, 0, 0, 0, true},
    {"keyword as token 0 does nothing", "-rs32", k_loaded, true, true, 0, false, 0, 0, 0, 0, true},
    {"quoted keyword counts", "prog.exe \"-rs32\"", k_loaded, true, true, 0, false, 0, 1, 1, 0, true},
    {"register result failure is ignored", "prog.exe -rs32", k_loaded, true, true, k_failureResult, true, 11, 1, 1, 0,
     true},
    {"unregister result failure is ignored", "prog.exe -urs32", k_loaded, true, true, k_failureResult, false, 0, 1, 0,
     1, true},
    {"the other export missing does not matter", "prog.exe -rs32", k_loaded, true, false, 0, false, 0, 1, 1, 0, true},
    {"missing register export: 216, no probe", "prog.exe -rs32", k_loaded, false, true, 0, true, 216, 1, 0, 0, false},
    {"missing unregister export: 216, no probe", "prog.exe -urs32", k_loaded, true, false, 0, true, 216, 1, 0, 0,
     false},
    {"missing export of a library that did not load", "prog.exe -rs32", 32, false, false, 0, false, 0, 1, 0, 0, true},
};

TEST(MainFlow, Decisions) {
  for (const FlowRow &row : k_flowRows) {
    SCOPED_TRACE(row.checks);
    ResetFakePlatform();
    SetFakeCommandLine(row.line);
    g_fake.libraryHandle = row.libraryHandle;
    g_fake.registerExport.present = row.registerPresent;
    g_fake.unregisterExport.present = row.unregisterPresent;
    g_fake.registerExport.result = row.routineResult;
    g_fake.unregisterExport.result = row.routineResult;
    g_fake.windowOpen = row.windowOpen;
    FakeOutcome outcome = RunFakeProcess(StartProcess);

    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, row.status);
    EXPECT_EQ(g_fake.exitCalls, 1);
    EXPECT_EQ(static_cast<int>(g_fake.loadedNames.size()), row.loads);
    for (const std::string &name : g_fake.loadedNames) EXPECT_EQ(name, "Zentrafin5x32.dll");
    EXPECT_EQ(g_fake.registerExport.calls, row.registerCalls);
    EXPECT_EQ(g_fake.unregisterExport.calls, row.unregisterCalls);
    EXPECT_EQ(CountEvents("findwindow"), row.probed ? 1 : 0);
    if (row.probed) {
      EXPECT_EQ(g_fake.probedClasses, std::vector<std::string>{"IEFrame"});
      EXPECT_FALSE(g_fake.probedWithWindowName);
    }
    // No export is looked up in a library that did not load.
    if (row.libraryHandle <= 32) {
      EXPECT_EQ(CountEvents("getproc:Dll"), 0);
    }
    // Never a box in the main flow itself; every string released before the heap goes.
    EXPECT_TRUE(g_fake.messageBoxes.empty());
    EXPECT_EQ(g_fake.liveBlocksAtHeapDestroy, 0);
    EXPECT_LT(LastEvent("release"), FirstEvent("heapdestroy"));
    EXPECT_LT(FirstEvent("heapdestroy"), FirstEvent("withdraw"));
    EXPECT_LT(FirstEvent("withdraw"), FirstEvent("exit"));
    EXPECT_EQ(g_fake.withdrawCalls, 1);
    EXPECT_FALSE(g_fake.wrongHeapHandle);
  }
}

TEST(MainFlow, TheLibraryRunsUnderTheFlowsControlWord) {
  const char *lines[] = {"prog.exe -rs32", "prog.exe -urs32"};
  for (const char *line : lines) {
    SCOPED_TRACE(line);
    ResetFakePlatform();
    SetFakeCommandLine(line);
    RunFakeProcess(StartProcess);
    EXPECT_EQ(g_fake.fpuControlWords, std::vector<uint16_t>{0x1332});
    EXPECT_LT(FirstEvent("fpu:1332"), FirstEvent("call:"));
  }
}

TEST(MainFlow, MissingExportReleasesTheStringsBeforeTheExit) {
  struct Row {
    const char *checks;
    const char *line;
    bool registerPresent;
    const char *lookedUp;
  };
  const Row rows[] = {
      {"register", "prog.exe -rs32", false, "getproc:DllRegisterServer"},
      {"unregister", "prog.exe -urs32", true, "getproc:DllUnregisterServer"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.checks);
    ResetFakePlatform();
    SetFakeCommandLine(row.line);
    g_fake.registerExport.present = row.registerPresent;
    g_fake.unregisterExport.present = false;
    FakeOutcome outcome = RunFakeProcess(StartProcess);
    EXPECT_EQ(outcome.status, 216u);
    EXPECT_TRUE(g_fake.messageBoxes.empty());
    EXPECT_EQ(CountEvents("findwindow"), 0);
    int lookup = LastEvent(row.lookedUp);
    ASSERT_GE(lookup, 0);
    EXPECT_LT(lookup, LastEvent("release"));
    EXPECT_LT(LastEvent("release"), FirstEvent("heapdestroy"));
    EXPECT_EQ(CountEvents("release-rejected"), 0);
    EXPECT_EQ(g_fake.liveBlocksAtHeapDestroy, 0);
  }
}

}  // namespace
