// The fake heap: real blocks from malloc, so the sanitizers see every overrun, kept
// in a table so the fake can count live blocks and reject unknown releases.
#include <stdlib.h>
#include <string.h>

#include <map>

#include "fake_internal.h"
#include "fake_platform.h"

static char g_heapIdentity;  // its address is the heap's handle
static bool g_heapAlive = false;
static std::map<void *, SIZE_T> g_blocks;

// Fresh blocks hold this byte, so code that reads before writing shows up.
constexpr int k_freshFill = 0xCD;

// True when the handle is the live heap; otherwise notes the wrong handle.
static bool IsLiveHeap(const void *heap) {
  if (g_heapAlive && heap == &g_heapIdentity) return true;
  g_fake.wrongHeapHandle = true;
  return false;
}

// Takes a block from malloc and enters it in the table. The blocks a test left behind
// are released when the test program ends, so they show up in the live count, not as
// leaks of the test program.
static void *NewBlock(SIZE_T bytes) {
  static bool releaseAtExit = false;
  if (!releaseAtExit) releaseAtExit = atexit(ResetFakeHeap) == 0;
  void *block = malloc(bytes == 0 ? 1 : bytes);
  memset(block, k_freshFill, bytes);
  g_blocks[block] = bytes;
  return block;
}

void ResetFakeHeap() {
  for (auto &entry : g_blocks) free(entry.first);
  g_blocks.clear();
  g_heapAlive = false;
}

int FakeLiveBlocks() { return static_cast<int>(g_blocks.size()); }

// Gives the one fake heap, unless the test makes it fail.
HANDLE WINAPI HeapCreate(DWORD, SIZE_T, SIZE_T) {
  RecordFakeEvent("heapcreate");
  if (g_fake.failHeapCreate) return nullptr;
  g_heapAlive = true;
  return &g_heapIdentity;
}

// Notes the blocks still live, then releases them all.
BOOL WINAPI HeapDestroy(HANDLE heap) {
  RecordFakeEvent("heapdestroy");
  if (!IsLiveHeap(heap)) return 0;
  g_fake.liveBlocksAtHeapDestroy = FakeLiveBlocks();
  ResetFakeHeap();  // like Windows, destroying the heap releases every block in it
  return 1;
}

// A fresh block, unless the test makes this allocation fail.
void *WINAPI HeapAlloc(HANDLE heap, DWORD, SIZE_T bytes) {
  ++g_fake.allocations;
  RecordFakeEvent("alloc");
  if (!IsLiveHeap(heap)) return nullptr;
  if (g_fake.failNextAllocation) {
    g_fake.failNextAllocation = false;
    RecordFakeEvent("alloc-failed");
    return nullptr;
  }
  return NewBlock(bytes);
}

// A new block with the old contents; unknown blocks and test-made failures give null.
void *WINAPI HeapReAlloc(HANDLE heap, DWORD, void *block, SIZE_T bytes) {
  ++g_fake.resizes;
  RecordFakeEvent("resize");
  if (!IsLiveHeap(heap)) return nullptr;
  auto found = g_blocks.find(block);
  if (found == g_blocks.end()) return nullptr;
  if (g_fake.failNextResize) {
    g_fake.failNextResize = false;
    RecordFakeEvent("resize-failed");
    return nullptr;
  }
  // Always a new block: code that keeps using the old address is caught.
  SIZE_T kept = found->second < bytes ? found->second : bytes;
  void *resized = NewBlock(bytes);
  memcpy(resized, block, kept);
  g_blocks.erase(block);
  free(block);
  return resized;
}

// Releases a known block; an unknown one, or one the test makes rejected, fails.
BOOL WINAPI HeapFree(HANDLE heap, DWORD, void *block) {
  ++g_fake.releases;
  RecordFakeEvent("release");
  bool known = IsLiveHeap(heap) && g_blocks.count(block) != 0;
  if (!known || g_fake.rejectNextRelease) {
    g_fake.rejectNextRelease = false;
    RecordFakeEvent("release-rejected");
    return 0;
  }
  g_blocks.erase(block);
  free(block);
  return 1;
}
