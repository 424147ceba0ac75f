#include "exit/memory.h"

#include "exit/exit_sequence.h"
#include "platform/api.h"

static HANDLE g_heap = nullptr;

// The address reported for a memory failure is the place in the helper that asked.
#define REQUEST_ADDRESS() reinterpret_cast<uintptr_t>(__builtin_return_address(0))

void StartMemory() {
  g_heap = HeapCreate(0, 0, 0);
  if (g_heap == nullptr) FailWithError(k_errorOutOfMemory, reinterpret_cast<uintptr_t>(&StartMemory));
}

void StopMemory() {
  HANDLE heap = g_heap;
  g_heap = nullptr;
  if (heap != nullptr) HeapDestroy(heap);
}

__attribute__((noinline)) void *AllocateBytes(uint32_t bytes) {
  void *block = g_heap ? HeapAlloc(g_heap, 0, bytes) : nullptr;
  if (block == nullptr) FailWithError(k_errorOutOfMemory, REQUEST_ADDRESS());
  return block;
}

__attribute__((noinline)) void *ResizeBytes(void *block, uint32_t bytes) {
  void *resized = g_heap ? HeapReAlloc(g_heap, 0, block, bytes) : nullptr;
  if (resized == nullptr) FailWithError(k_errorOutOfMemory, REQUEST_ADDRESS());
  return resized;
}

__attribute__((noinline)) void ReleaseBytes(void *block) {
  if (block == nullptr) return;
  if (g_heap == nullptr || !HeapFree(g_heap, 0, block)) FailWithError(k_errorInvalidRelease, REQUEST_ADDRESS());
}
