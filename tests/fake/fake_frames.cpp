// The fake's frame plumbing: clean-up frames as C++ try blocks, the unwind to the top
// frame as a C++ exception, and a small dispatcher that offers a fault to the frames.
#include <stdio.h>

#include "fake_internal.h"
#include "fake_platform.h"
#include "fault/top_level_handler.h"
#include "platform/frames.h"

// A clean-up frame: its slot, and the frame it was opened in.
struct FakeCleanupFrame {
  CleanupSlot slot;  // cppcheck-suppress unusedStructMember ; handed out by CleanupSlotOfFrame
  FakeCleanupFrame *outer;
};

static FakeCleanupFrame *g_innermostFrame = nullptr;

constexpr uintptr_t k_fakeFaultStack = 0x0012F000;
constexpr uintptr_t k_fakeReserveStack = 0x0013F000;
constexpr DWORD k_unwindingFlag = 2;  // EXCEPTION_UNWINDING

void ResetFakeFrames() { g_innermostFrame = nullptr; }

// Runs body in a clean-up frame: a C++ try that an unwind to the top frame passes.
void RunWithCleanup(void (*body)(void *), void *state, void (*cleanup)(void *)) {
  FakeCleanupFrame frame = {{state, cleanup}, g_innermostFrame};
  g_innermostFrame = &frame;
  try {
    body(state);
  } catch (const FakeUnwindToTop &unwind) {
    // The unwind passes this frame: its handler runs the clean-up, as RtlUnwind makes it.
    g_innermostFrame = frame.outer;
    EXCEPTION_RECORD unwinding = unwind.record;
    unwinding.ExceptionFlags |= k_unwindingFlag;
    RecordFakeEvent("unwind-frame");
    CleanupFrameHandler(&unwinding, &frame, nullptr, nullptr);
    throw;
  } catch (...) {
    // The process ends (exit or crash): no unwind, no clean-up.
    g_innermostFrame = frame.outer;
    throw;
  }
  g_innermostFrame = frame.outer;
}

// A fake frame keeps its slot first.
CleanupSlot *CleanupSlotOfFrame(void *establisherFrame) {
  return &static_cast<FakeCleanupFrame *>(establisherFrame)->slot;
}

// Records the control word the helper loads.
void ResetFpu(uint16_t controlWord) {
  g_fake.fpuControlWords.push_back(controlWord);
  char event[16];
  snprintf(event, sizeof event, "fpu:%04X", controlWord);
  RecordFakeEvent(event);
}

// Points the context at the fake reserve entry, which the dispatcher then calls.
void RedirectToFaultReserve(CONTEXT *context) {
  g_fake.redirected = true;
  RecordFakeEvent("redirect");
  context->StackPointer = k_fakeReserveStack;
  context->InstructionPointer = k_fakeReserveEntry;
}

// Starts the unwind to the top frame as a C++ exception.
void UnwindToTopFrame(EXCEPTION_RECORD *record) {
  RecordFakeEvent("unwind");
  throw FakeUnwindToTop{*record};
}

// Takes the top-level handler out, as the real builds do, and records it.
void WithdrawTopLevelFrame() {
  ++g_fake.withdrawCalls;
  RecordFakeEvent("withdraw");
  g_fake.topLevelWithdrawn = true;
}

bool TopLevelFrameWithdrawn() { return g_fake.topLevelWithdrawn; }

void DispatchFakeFault(const FakeFault &fault, DWORD flags) {
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = fault.code;
  record.ExceptionFlags = flags;
  record.ExceptionAddress = reinterpret_cast<void *>(fault.address);
  for (ULONG_PTR parameter : fault.parameters) {
    if (record.NumberParameters == EXCEPTION_MAXIMUM_PARAMETERS) break;
    record.ExceptionInformation[record.NumberParameters++] = parameter;
  }
  CONTEXT context = {k_fakeFaultStack, fault.address};
  char event[24];
  snprintf(event, sizeof event, "fault:%08X", static_cast<unsigned>(fault.code));
  RecordFakeEvent(event);

  // The vectored handler first; it may resume the thread on the reserve stack.
  if (g_fake.vectoredHandler != nullptr) {
    EXCEPTION_POINTERS pointers = {&record, &context};
    if (g_fake.vectoredHandler(&pointers) == EXCEPTION_CONTINUE_EXECUTION) {
      if (context.InstructionPointer != k_fakeReserveEntry) return;  // the faulting code goes on
      RecordFakeEvent("reserve");
      ContinueStackOverflowFault();
    }
  }
  // Search phase: the clean-up frames, innermost first, then the top-level handler.
  for (FakeCleanupFrame *frame = g_innermostFrame; frame != nullptr; frame = frame->outer) {
    if (CleanupFrameHandler(&record, frame, &context, nullptr) != ExceptionContinueSearch) return;
  }
  if (TopLevelFaultHandler(&record, nullptr, &context, nullptr) == ExceptionContinueExecution) return;
  RecordFakeEvent("crash");
  throw FakeProcessCrash{fault.code};
}

void RaiseFakeFault(const FakeFault &fault) { DispatchFakeFault(fault, 0); }
