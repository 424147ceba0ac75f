// The top-level fault handler: error numbers, the filter's answer, the unwind through
// the main flow's clean-up frame, and the report at the continuation point.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "driver/main_flow.h"
#include "exit/exit_sequence.h"
#include "fault/error_numbers.h"
#include "fault/top_level_handler.h"
#include "unit_support.h"

namespace {

TEST(FaultHandler, ErrorNumberForEveryCode) {
  struct Row {
    uint32_t code;
    uint8_t errorNumber;
  };
  const Row rows[] = {
      {0xC0000005, 216},
      {0xC000008C, 201},
      {0xC000008D, 206},
      {0xC000008E, 200},
      {0xC000008F, 207},
      {0xC0000090, 207},
      {0xC0000091, 205},
      {0xC0000092, 207},
      {0xC0000093, 206},
      {0xC0000094, 200},
      {0xC0000095, 215},
      {0xC0000096, 218},
      {0xC00000FD, 202},
      {0xC000013A, 217},
      // Not in the table: 255.
      {0x00000000, 255},
      {0x80000003, 255},
      {0xC0000006, 255},
      {0xC000001D, 255},
      {0xC0000097, 255},
      {0xC00000FC, 255},
      {0xC00000FE, 255},
      {0xE06D7363, 255},
      {0xFFFFFFFF, 255},
      {0x40010005, 255},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(::testing::Message() << std::hex << row.code);
    EXPECT_EQ(ErrorNumberForCode(row.code), row.errorNumber);
  }
}

// Calls the top-level handler as the platform would, for one synthetic fault.
EXCEPTION_DISPOSITION OfferToTopLevel(DWORD code, DWORD flags, uintptr_t address) {
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = code;
  record.ExceptionFlags = flags;
  record.ExceptionAddress = reinterpret_cast<void *>(address);
  CONTEXT context = {0x0012F000, address};
  return TopLevelFaultHandler(&record, nullptr, &context, nullptr);
}

TEST(FaultHandler, UnwindCallsAndDeclinedFaultsPassWithoutATrace) {
  struct Row {
    const char *checks;
    DWORD flags;
    LONG filterAnswer;
    bool withdrawn;
    bool filterAsked;
  };
  const Row rows[] = {
      {"unwinding", 2, 1, false, false},
      {"exit unwind", 4, 1, false, false},
      {"unwinding and exit unwind", 6, 1, false, false},
      {"unwinding, not continuable", 3, 1, false, false},
      {"unwinding, filter would decline", 2, 0, false, false},
      {"filter declines", 0, 0, false, true},
      {"filter declines a fault that may not continue", 1, 0, false, true},
      {"top-level frame already withdrawn", 0, 1, true, false},
  };
  const DWORD codes[] = {0xC0000005, 0x0EEDFADE, 0xC00000FD};
  for (const Row &row : rows) {
    for (DWORD code : codes) {
      if (code == 0xC00000FD && (row.flags & 6) == 0 && !row.withdrawn) continue;  // handled on the reserve
      SCOPED_TRACE(::testing::Message() << row.checks << ", code " << std::hex << code);
      ResetFakePlatform();
      g_fake.filterAnswer = row.filterAnswer;
      g_fake.topLevelWithdrawn = row.withdrawn;
      g_exitStatus = 11;
      EXPECT_EQ(OfferToTopLevel(code, row.flags, 0x00401000), ExceptionContinueSearch);
      EXPECT_EQ(static_cast<int>(g_fake.filterCodes.size()), row.filterAsked ? 1 : 0);
      EXPECT_EQ(g_fake.events, row.filterAsked ? std::vector<std::string>{"filter"} : std::vector<std::string>{});
      EXPECT_EQ(g_exitStatus, 11);
      EXPECT_EQ(g_faultAddress, 0u);
    }
  }
}

struct FaultRow {
  const char *checks;
  FakeFault fault;
  LONG filterAnswer;
  unsigned status;
  const char *text;  // nullptr: no box
};

const FaultRow k_faultRows[] = {
    {"access violation", {0xC0000005, 0x00401234, {}}, 1, 216, "Runtime error 216 at 00401234"},
    {"filter answers -1: still reported", {0xC0000005, 0x00401234, {}}, -1, 216, "Runtime error 216 at 00401234"},
    {"integer division by zero", {0xC0000094, 0x10001000, {}}, 1, 200, "Runtime error 200 at 10001000"},
    {"x87 zero divide", {0xC000008E, 0x10002000, {}}, 1, 200, "Runtime error 200 at 10002000"},
    {"privileged instruction", {0xC0000096, 0x10003000, {}}, 1, 218, "Runtime error 218 at 10003000"},
    {"control-C exit", {0xC000013A, 0x7C800000, {}}, 1, 217, "Runtime error 217 at 7C800000"},
    {"unknown code", {0xE0434F4D, 0x12345678, {}}, 1, 255, "Runtime error 255 at 12345678"},
    {"language exception: address from parameter 0",
     {0x0EEDFADE, 0x7C812AFB, {0x00402000, 0x00000001}},
     1,
     217,
     "Runtime error 217 at 00402000"},
    {"language exception without parameters", {0x0EEDFADE, 0x7C812AFB, {}}, 1, 217, "Runtime error 217 at 7C812AFB"},
    {"language exception thrown at address 0", {0x0EEDFADE, 0x7C812AFB, {0, 0x00402000}}, 1, 217, nullptr},
    {"fault at address 0", {0xC0000005, 0, {}}, 1, 216, nullptr},
    {"wide address: low 32 bits",
     {0xC0000005, static_cast<uintptr_t>(0x7FF612345678ull), {}},
     1,
     216,
     "Runtime error 216 at 12345678"},
    {"stack overflow, handled on the reserve", {0xC00000FD, 0x00401000, {}}, 1, 202, "Runtime error 202 at 00401000"},
};

TEST(FaultHandler, FaultInsideTheLibraryIsReportedAfterTheStringsAreReleased) {
  const char *lines[] = {"prog.exe -rs32", "prog.exe -urs32"};
  for (const FaultRow &row : k_faultRows) {
    for (const char *line : lines) {
      SCOPED_TRACE(std::string(row.checks) + ", " + line);
      ResetFakePlatform();
      SetFakeCommandLine(line);
      g_fake.filterAnswer = row.filterAnswer;
      g_fake.registerExport.faults = true;
      g_fake.registerExport.fault = row.fault;
      g_fake.unregisterExport.faults = true;
      g_fake.unregisterExport.fault = row.fault;
      FakeOutcome outcome = RunFakeProcess(StartProcess);

      EXPECT_TRUE(outcome.exited);
      EXPECT_EQ(outcome.status, row.status);
      EXPECT_EQ(g_fake.exitCalls, 1);
      EXPECT_EQ(g_fake.filterCodes, std::vector<DWORD>{row.fault.code});
      EXPECT_EQ(CountEvents("findwindow"), 0) << "the probe is never reached";
      ASSERT_EQ(g_fake.messageBoxes.size(), row.text ? 1u : 0u);
      if (row.text) {
        EXPECT_EQ(g_fake.messageBoxes[0].text, row.text);
      }
      // The clean-up frame released the strings during the unwind, before any report.
      EXPECT_EQ(CountEvents("unwind-frame"), 1);
      EXPECT_LT(FirstEvent("unwind"), LastEvent("release"));
      EXPECT_LT(LastEvent("release"), FirstEvent("continuation"));
      if (row.text) {
        EXPECT_LT(FirstEvent("continuation"), FirstEvent("messagebox"));
      }
      EXPECT_EQ(CountEvents("release-rejected"), 0);
      EXPECT_EQ(g_fake.liveBlocksAtHeapDestroy, 0);
      // The FPU is reset to the flow's word before the clean-up runs.
      EXPECT_EQ(g_fake.fpuControlWords, (std::vector<uint16_t>{0x1332, 0x1332}));
      EXPECT_LT(FirstEvent("filter"), LastEvent("fpu:1332"));
      EXPECT_LT(LastEvent("fpu:1332"), FirstEvent("unwind"));
      EXPECT_EQ(g_fake.redirected, row.fault.code == 0xC00000FD);
    }
  }
}

TEST(FaultHandler, DeclinedFaultLeavesTheProcessToThePlatform) {
  const FakeFault faults[] = {{0xC0000005, 0x00401234, {}}, {0x0EEDFADE, 0x7C812AFB, {0x00402000}}};
  for (const FakeFault &fault : faults) {
    SCOPED_TRACE(::testing::Message() << std::hex << fault.code);
    ResetFakePlatform();
    SetFakeCommandLine("prog.exe -rs32");
    g_fake.filterAnswer = 0;
    g_fake.registerExport.faults = true;
    g_fake.registerExport.fault = fault;
    FakeOutcome outcome = RunFakeProcess(StartProcess);
    EXPECT_TRUE(outcome.crashed);
    EXPECT_EQ(outcome.crashCode, fault.code);
    EXPECT_EQ(g_fake.exitCalls, 0);
    EXPECT_TRUE(g_fake.messageBoxes.empty());
    EXPECT_EQ(CountEvents("unwind"), 0);
    EXPECT_EQ(g_exitStatus, 0);
  }
}

TEST(FaultHandler, DeclinedStackOverflowIsLeftToThePlatform) {
  ResetFakePlatform();
  SetFakeCommandLine("prog.exe -rs32");
  g_fake.filterAnswer = 0;
  g_fake.registerExport.faults = true;
  g_fake.registerExport.fault = {0xC00000FD, 0x00401000, {}};
  FakeOutcome outcome = RunFakeProcess(StartProcess);
  EXPECT_TRUE(outcome.crashed);
  EXPECT_EQ(outcome.crashCode, 0xC00000FDu);
  EXPECT_TRUE(g_fake.redirected);
  EXPECT_EQ(g_fake.raisedCodes, std::vector<DWORD>{0xC00000FD}) << "relayed once, from the reserve stack";
  EXPECT_EQ(g_fake.filterAddresses, std::vector<uintptr_t>{0x00401000}) << "the filter sees the original fault";
  EXPECT_TRUE(g_fake.messageBoxes.empty());
  EXPECT_EQ(g_fake.exitCalls, 0);
}

// Which faults the stack-overflow relay moves to the reserve stack.
struct RelayRow {
  const char *checks;
  DWORD code;
  DWORD threadId;
  bool withdrawn;
  bool alreadyRelayed;
  bool relayed;
};

const RelayRow k_relayRows[] = {
    {"stack overflow on the main thread", 0xC00000FD, k_fakeMainThreadId, false, false, true},
    {"any other fault passes", 0xC0000005, k_fakeMainThreadId, false, false, false},
    {"another thread's overflow is not ours", 0xC00000FD, 0x2A4, false, false, false},
    {"after the exit sequence withdrew the handler", 0xC00000FD, k_fakeMainThreadId, true, false, false},
    {"the relay coming round again", 0xC00000FD, k_fakeMainThreadId, false, true, false},
};

TEST(FaultHandler, StackOverflowRelayTakesOnlyTheMainThreadsOverflow) {
  for (const RelayRow &row : k_relayRows) {
    SCOPED_TRACE(row.checks);
    ResetFakePlatform();
    InstallStackOverflowRelay();
    EXPECT_EQ(g_fake.vectoredFirst, 0u) << "after any vectored handler the library adds";
    g_fake.threadId = row.threadId;
    g_fake.topLevelWithdrawn = row.withdrawn;
    g_overflowRelayed = row.alreadyRelayed;
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = row.code;
    record.ExceptionAddress = reinterpret_cast<void *>(0x00401000);
    CONTEXT context = {0x0012F000, 0x00401000};
    EXCEPTION_POINTERS pointers = {&record, &context};
    LONG answer = StackOverflowRelay(&pointers);
    EXPECT_EQ(answer, row.relayed ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_CONTINUE_SEARCH);
    EXPECT_EQ(g_fake.redirected, row.relayed);
    EXPECT_EQ(context.InstructionPointer, row.relayed ? k_fakeReserveEntry : 0x00401000u);
  }
}

}  // namespace
