// The report and the one exit sequence: text, box, and the order of the steps.
#include "exit/exit_sequence.h"

#include <gtest/gtest.h>

#include "exit/modules.h"
#include "unit_support.h"

namespace {

struct ReportRow {
  const char *checks;
  uint8_t errorNumber;
  uintptr_t address;
  const char *text;
};

const ReportRow k_reportRows[] = {
    {"access violation, small address", 216, 0x1F4, "Runtime error 216 at 000001F4"},
    {"all address digits F", 200, 0xFFFFFFFF, "Runtime error 200 at FFFFFFFF"},
    {"unknown code at the image base", 255, 0x00400000, "Runtime error 255 at 00400000"},
    {"upper-case hex digits", 217, 0xABCDEF01, "Runtime error 217 at ABCDEF01"},
    {"only the low 32 bits of a wide address", 203, static_cast<uintptr_t>(0x123456789ABCDEF0ull),
     "Runtime error 203 at 9ABCDEF0"},
    {"one as address", 204, 1, "Runtime error 204 at 00000001"},
};

TEST(Report, TextCaptionAndTypeOfTheBox) {
  for (const ReportRow &row : k_reportRows) {
    SCOPED_TRACE(row.checks);
    StartFreshProcess();
    FakeOutcome outcome = RunFakeProcess([&] { FailWithError(row.errorNumber, row.address); });
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, row.errorNumber);
    ASSERT_EQ(g_fake.messageBoxes.size(), 1u);
    const FakeMessageBox &box = g_fake.messageBoxes[0];
    EXPECT_EQ(box.text, row.text);
    EXPECT_EQ(box.text.size(), 29u);
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.type, 0u);  // MB_OK, no icon
    EXPECT_EQ(box.owner, nullptr);
  }
}

TEST(Report, AddressZeroShowsNoBox) {
  const uint8_t numbers[] = {200, 203, 204, 216, 217, 255};
  for (uint8_t number : numbers) {
    SCOPED_TRACE(number);
    StartFreshProcess();
    FakeOutcome outcome = RunFakeProcess([&] { FailWithError(number, 0); });
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, number);
    EXPECT_TRUE(g_fake.messageBoxes.empty());
  }
}

// A box in a window station that no one sees (a service's) would wait for ever: there
// the run ends at once with its status. Wherever the answer is not a clear "invisible",
// the box stays.
TEST(Report, ShownOnlyWhereSomeoneCanAnswerIt) {
  struct Row {
    const char *checks;
    bool noStation;
    long flags;
    size_t boxes;
  };
  const Row rows[] = {
      {"the interactive station (WSF_VISIBLE): the box", false, WSF_VISIBLE, 1},
      {"WSF_VISIBLE among other bits: the box", false, WSF_VISIBLE | 0x100, 1},
      {"a service's station (flags 0): no box", false, 0, 0},
      {"other bits without WSF_VISIBLE: no box", false, 0x100, 0},
      {"the question fails: the box", false, -1, 1},
      {"no window station handle: the box", true, WSF_VISIBLE, 1},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.checks);
    StartFreshProcess();
    g_fake.noWindowStation = row.noStation;
    g_fake.stationFlags = row.flags;
    FakeOutcome outcome = RunFakeProcess([] { FailWithError(217, 0x12345678); });
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 217u);
    EXPECT_EQ(g_fake.messageBoxes.size(), row.boxes);
    EXPECT_EQ(g_fake.exitCalls, 1);
    EXPECT_EQ(g_faultAddress, 0u);  // the next report would start afresh either way
  }
}

TEST(Report, EveryReportStartsFromAFreshTemplate) {
  struct Row {
    const char *checks;
    int32_t firstStatus;
    uintptr_t firstAddress;
    int32_t secondStatus;
    uintptr_t secondAddress;
    const char *secondText;
  };
  const Row rows[] = {
      {"a shorter number leaves no digit behind", 216, 0xFFFFFFFF, 7, 0x1, "Runtime error   7 at 00000001"},
      {"a two-digit number", 255, 0x12345678, 42, 0xA, "Runtime error  42 at 0000000A"},
      {"same length overwrites all", 216, 0x89ABCDEF, 200, 0x10, "Runtime error 200 at 00000010"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.checks);
    StartFreshProcess();
    g_exitStatus = row.firstStatus;
    g_faultAddress = row.firstAddress;
    BuildErrorMessage();
    g_exitStatus = row.secondStatus;
    g_faultAddress = row.secondAddress;
    BuildErrorMessage();
    EXPECT_EQ(std::string(g_messageBuffer), row.secondText);
  }
}

// Module steps that only record themselves, and what step 1's shutdown does besides.
enum StepOneShutdown { k_stepOneQuiet, k_stepOneFails, k_stepOneFaults };
enum StepOneStartup { k_stepOneStarts, k_stepOneFailsToStart, k_stepOneFaultsAtStart };
StepOneShutdown g_stepOneShutdown = k_stepOneQuiet;
StepOneStartup g_stepOneStartup = k_stepOneStarts;

void StartStep0() { RecordFakeEvent("startup:0"); }
void StartStep1() {
  RecordFakeEvent("startup:1");
  if (g_stepOneStartup == k_stepOneFailsToStart) FailWithError(203, 0x00401111);
  if (g_stepOneStartup == k_stepOneFaultsAtStart) RaiseFakeFault({0xC0000094, 0x00402222, {}});
}
void StartStep2() { RecordFakeEvent("startup:2"); }
void StopStep0() { RecordFakeEvent("shutdown:0"); }
void StopStep1() {
  RecordFakeEvent("shutdown:1");
  if (g_stepOneShutdown == k_stepOneFails) FailWithError(204, 0x00401234);
  if (g_stepOneShutdown == k_stepOneFaults) RaiseFakeFault({0xC0000005, 0x00405678, {}});
}
void StopStep2() { RecordFakeEvent("shutdown:2"); }

const ModuleSteps k_recordingModules[] = {
    {StartStep0, StopStep0},
    {StartStep1, StopStep1},
    {StartStep2, StopStep2},
};

TEST(ExitSequence, OrderOfBoxShutdownWithdrawAndExit) {
  struct Row {
    const char *checks;
    StepOneStartup startup;
    StepOneShutdown shutdown;
    uint8_t errorNumber;  // 0: end with status 11 and no fault
    uintptr_t address;
    std::vector<std::string> events;
    unsigned status;
  };
  const Row rows[] = {
      {"plain end: shutdown in reverse, then withdraw, then exit",
       k_stepOneStarts,
       k_stepOneQuiet,
       0,
       0,
       {"startup:0", "startup:1", "startup:2", "shutdown:2", "shutdown:1", "shutdown:0", "withdraw", "exit:11"},
       11},
      {"report comes before every shutdown step",
       k_stepOneStarts,
       k_stepOneQuiet,
       216,
       0x1F4,
       {"startup:0", "startup:1", "startup:2", "messagebox", "shutdown:2", "shutdown:1", "shutdown:0", "withdraw",
        "exit:216"},
       216},
      {"no fault address: no box, same steps",
       k_stepOneStarts,
       k_stepOneQuiet,
       216,
       0,
       {"startup:0", "startup:1", "startup:2", "shutdown:2", "shutdown:1", "shutdown:0", "withdraw", "exit:216"},
       216},
      {"a failing shutdown step reports, then the next step runs",
       k_stepOneStarts,
       k_stepOneFails,
       0,
       0,
       {"startup:0", "startup:1", "startup:2", "shutdown:2", "shutdown:1", "messagebox", "shutdown:0", "withdraw",
        "exit:204"},
       204},
      {"a fault in a shutdown step reports, then the next step runs",
       k_stepOneStarts,
       k_stepOneFaults,
       0,
       0,
       {"startup:0", "startup:1", "startup:2", "shutdown:2", "shutdown:1", "messagebox", "shutdown:0", "withdraw",
        "exit:216"},
       216},
      {"a second report during shutdown after the first",
       k_stepOneStarts,
       k_stepOneFaults,
       200,
       0x10,
       {"startup:0", "startup:1", "startup:2", "messagebox", "shutdown:2", "shutdown:1", "messagebox", "shutdown:0",
        "withdraw", "exit:216"},
       216},
      {"a failing start-up step: only begun modules shut down",
       k_stepOneFailsToStart,
       k_stepOneQuiet,
       0,
       0,
       {"startup:0", "startup:1", "messagebox", "shutdown:1", "shutdown:0", "withdraw", "exit:203"},
       203},
      {"a fault in a start-up step: reported, begun modules (the faulting one too) shut down",
       k_stepOneFaultsAtStart,
       k_stepOneQuiet,
       0,
       0,
       {"startup:0", "startup:1", "messagebox", "shutdown:1", "shutdown:0", "withdraw", "exit:200"},
       200},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.checks);
    ResetFakePlatform();
    g_moduleTable = k_recordingModules;
    g_moduleCount = 3;
    g_stepOneStartup = row.startup;
    g_stepOneShutdown = row.shutdown;
    FakeOutcome outcome = RunFakeProcess([&] {
      RunStartupSteps();
      if (row.errorNumber != 0) FailWithError(row.errorNumber, row.address);
      g_exitStatus = 11;
      EndProcess();
    });
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, row.status);
    EXPECT_EQ(FakeEventsStartingWith({"startup", "shutdown", "messagebox", "withdraw", "exit"}), row.events);
    EXPECT_EQ(g_fake.exitCalls, 1);
  }
  g_stepOneStartup = k_stepOneStarts;
  g_stepOneShutdown = k_stepOneQuiet;
}

TEST(ExitSequence, SecondReportCarriesItsOwnNumberAndAddress) {
  ResetFakePlatform();
  g_moduleTable = k_recordingModules;
  g_moduleCount = 3;
  g_stepOneShutdown = k_stepOneFaults;
  FakeOutcome outcome = RunFakeProcess([] {
    RunStartupSteps();
    FailWithError(200, 0xFFFFFFFF);
  });
  g_stepOneShutdown = k_stepOneQuiet;
  EXPECT_EQ(outcome.status, 216u);
  ASSERT_EQ(g_fake.messageBoxes.size(), 2u);
  EXPECT_EQ(g_fake.messageBoxes[0].text, "Runtime error 200 at FFFFFFFF");
  EXPECT_EQ(g_fake.messageBoxes[1].text, "Runtime error 216 at 00405678");
}

}  // namespace
