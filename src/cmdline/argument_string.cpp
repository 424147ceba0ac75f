#include "cmdline/argument_string.h"

#include "exit/memory.h"

void EmptyArgument(ArgumentString *text) {
  char *bytes = text->bytes;
  text->bytes = nullptr;
  text->length = 0;
  ReleaseBytes(bytes);
}

void SizeArgument(ArgumentString *text, uint32_t length) {
  if (length == 0) {
    EmptyArgument(text);
    return;
  }
  void *block = text->bytes ? ResizeBytes(text->bytes, length) : AllocateBytes(length);
  text->bytes = static_cast<char *>(block);
  text->length = length;
}

bool ArgumentEquals(const ArgumentString *text, const char *expected) {
  uint32_t i = 0;
  for (; expected[i] != 0; ++i) {
    if (i >= text->length || text->bytes[i] != expected[i]) return false;
  }
  return i == text->length;
}
