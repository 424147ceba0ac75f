// The helper's allocator: failures end the run with 203 or 204 and one report that
// itself allocates nothing.
#include "exit/memory.h"

#include <gtest/gtest.h>

#include "driver/main_flow.h"
#include "unit_support.h"

namespace {

struct FailureRow {
  const char *checks;
  bool failHeapCreate;
  bool failNextAllocation;
  bool failNextResize;
  bool rejectNextRelease;
  const char *failureEvent;  // the fake's event for the failed request
  unsigned status;
};

const FailureRow k_failureRows[] = {
    {"heap cannot be created", true, false, false, false, "heapcreate", 203},
    {"allocation of the first token fails", false, true, false, false, "alloc-failed", 203},
    {"resize to the second token fails", false, false, true, false, "resize-failed", 203},
    {"release of an argument string is rejected", false, false, false, true, "release-rejected", 204},
};

TEST(Memory, FailuresEndTheRunWithOneReport) {
  for (const FailureRow &row : k_failureRows) {
    SCOPED_TRACE(row.checks);
    ResetFakePlatform();
    SetFakeCommandLine("prog.exe -rs32");
    g_fake.failHeapCreate = row.failHeapCreate;
    g_fake.failNextAllocation = row.failNextAllocation;
    g_fake.failNextResize = row.failNextResize;
    g_fake.rejectNextRelease = row.rejectNextRelease;
    FakeOutcome outcome = RunFakeProcess(StartProcess);
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, row.status);
    ASSERT_EQ(g_fake.messageBoxes.size(), 1u);
    const std::string &text = g_fake.messageBoxes[0].text;
    EXPECT_EQ(text.substr(0, 21), "Runtime error " + std::to_string(row.status) + " at ");
    EXPECT_NE(text.substr(21), "00000000") << "the address is the place that asked";
    // Nothing is allocated or resized from the failure to the end of the process.
    int failure = FirstEvent(row.failureEvent);
    ASSERT_GE(failure, 0);
    EXPECT_LT(failure, FirstEvent("messagebox"));
    for (size_t i = failure + 1; i < g_fake.events.size(); ++i) {
      EXPECT_NE(g_fake.events[i], "alloc");
      EXPECT_NE(g_fake.events[i], "resize");
    }
    EXPECT_EQ(g_fake.exitCalls, 1);
  }
}

TEST(Memory, DirectRequests) {
  struct Row {
    const char *checks;
    bool heapStarted;
    int request;  // 0 allocate, 1 resize an unknown block, 2 release an unknown block, 3 release null
    bool ends;
    unsigned status;
  };
  const Row rows[] = {
      {"allocation before the heap exists", false, 0, true, 203},
      {"resize of a block the heap never gave", true, 1, true, 203},
      {"release of a block the heap never gave", true, 2, true, 204},
      {"release before the heap exists", false, 2, true, 204},
      {"release of null is nothing", true, 3, false, 0},
      {"release of null without a heap is nothing", false, 3, false, 0},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.checks);
    if (row.heapStarted) {
      StartFreshProcess();
    } else {
      ResetFakePlatform();
    }
    static char notFromTheHeap[8];
    FakeOutcome outcome = RunFakeProcess([&] {
      if (row.request == 0) AllocateBytes(4);
      if (row.request == 1) ResizeBytes(notFromTheHeap, 4);
      if (row.request == 2) ReleaseBytes(notFromTheHeap);
      if (row.request == 3) ReleaseBytes(nullptr);
    });
    EXPECT_EQ(outcome.exited, row.ends);
    EXPECT_EQ(outcome.status, row.status);
    EXPECT_EQ(g_fake.messageBoxes.size(), row.ends ? 1u : 0u);
  }
}

TEST(Memory, ResizeKeepsTheContents) {
  StartFreshProcess();
  char *block = static_cast<char *>(AllocateBytes(4));
  for (int i = 0; i < 4; ++i) block[i] = static_cast<char>('a' + i);
  block = static_cast<char *>(ResizeBytes(block, 9));
  EXPECT_EQ(std::string(block, 4), "abcd");
  block = static_cast<char *>(ResizeBytes(block, 2));
  EXPECT_EQ(std::string(block, 2), "ab");
  ReleaseBytes(block);
  EXPECT_EQ(FakeLiveBlocks(), 0);
}

}  // namespace
