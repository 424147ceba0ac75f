// Windows-only support shared by the x86 and x64 builds: the FPU, and the two
// memory routines the compiler may call in a program without a C runtime.
#include "platform/frames.h"

void ResetFpu(uint16_t controlWord) { asm volatile("fninit\n\tfldcw %0" : : "m"(controlWord)); }

extern "C" void *memcpy(void *destination, const void *source, size_t count) {
  char *to = static_cast<char *>(destination);
  const char *from = static_cast<const char *>(source);
  while (count--) *to++ = *from++;
  return destination;
}

extern "C" void *memset(void *destination, int value, size_t count) {
  char *to = static_cast<char *>(destination);
  while (count--) *to++ = static_cast<char>(value);
  return destination;
}
