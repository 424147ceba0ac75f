// The helper's memory allocator over a private Win32 heap. Failures are fatal:
// an allocation or resize that cannot be met ends the run with 203, a rejected
// release with 204.
#pragma once

#include <stdint.h>

constexpr uint8_t k_errorOutOfMemory = 203;
constexpr uint8_t k_errorInvalidRelease = 204;

void StartMemory();
void StopMemory();

// Returns a block of exactly `bytes` bytes (bytes > 0).
void *AllocateBytes(uint32_t bytes);
// Resizes a block to exactly `bytes` bytes (bytes > 0), keeping its contents.
void *ResizeBytes(void *block, uint32_t bytes);
// Releases a block; a null block is nothing to release.
void ReleaseBytes(void *block);
