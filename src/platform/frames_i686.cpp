// x86 halves of the frame plumbing that are easier to read in C++.
#include "platform/frames.h"

extern "C" {
void *g_topLevelRecord = nullptr;  // the outermost registration record
uintptr_t g_topLevelStack = 0;     // stack pointer of the continuation point
uintptr_t g_faultReserveTop = 0;   // top of the stack reserved for a stack overflow
void FaultReserveEntry();
}

constexpr uintptr_t k_cleanupSlotOffset = 8;  // behind {Next, Handler}
static bool g_topLevelWithdrawn = false;

CleanupSlot *CleanupSlotOfFrame(void *establisherFrame) {
  return reinterpret_cast<CleanupSlot *>(static_cast<char *>(establisherFrame) + k_cleanupSlotOffset);
}

void RedirectToFaultReserve(CONTEXT *context) {
  context->Esp = static_cast<DWORD>(g_faultReserveTop);
  context->Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&FaultReserveEntry));
}

void WithdrawTopLevelFrame() {
  g_topLevelWithdrawn = true;
  void *next = *static_cast<void **>(g_topLevelRecord);
  asm volatile("movl %0, %%fs:0" : : "r"(next) : "memory");
}

bool TopLevelFrameWithdrawn() { return g_topLevelWithdrawn; }
