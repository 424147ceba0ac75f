// x64 halves of the frame plumbing that are easier to read in C++.
#include "platform/frames.h"

extern "C" {
uintptr_t g_topLevelFrame = 0;    // establisher frame of the entry point
uintptr_t g_faultReserveTop = 0;  // top of the stack reserved for a stack overflow
void FaultReserveEntry();
void TopFrameContinuation();
}

constexpr uintptr_t k_cleanupSlotOffset = 32;  // above the callee's home area
static CONTEXT g_unwindContext;                // scratch for RtlUnwindEx
// The entry point's frame keeps its handler on x64 (its unwind data names it), so
// withdrawing it is this flag alone.
static bool g_topLevelWithdrawn = false;

CleanupSlot *CleanupSlotOfFrame(void *establisherFrame) {
  return reinterpret_cast<CleanupSlot *>(static_cast<char *>(establisherFrame) + k_cleanupSlotOffset);
}

void RedirectToFaultReserve(CONTEXT *context) {
  // A machine frame {rip, cs, eflags, rsp, ss} of the fault, as an interrupt leaves it.
  DWORD64 *machineFrame = reinterpret_cast<DWORD64 *>(g_faultReserveTop - 5 * sizeof(DWORD64));
  machineFrame[0] = context->Rip;
  machineFrame[1] = context->SegCs;
  machineFrame[2] = context->EFlags;
  machineFrame[3] = context->Rsp;
  machineFrame[4] = context->SegSs;
  context->Rsp = reinterpret_cast<DWORD64>(machineFrame);
  context->Rip = reinterpret_cast<DWORD64>(&FaultReserveEntry);
}

void UnwindToTopFrame(EXCEPTION_RECORD *record) {
  RtlUnwindEx(reinterpret_cast<void *>(g_topLevelFrame), reinterpret_cast<void *>(&TopFrameContinuation), record,
              nullptr, &g_unwindContext, nullptr);
  __builtin_unreachable();
}

void WithdrawTopLevelFrame() { g_topLevelWithdrawn = true; }

bool TopLevelFrameWithdrawn() { return g_topLevelWithdrawn; }
