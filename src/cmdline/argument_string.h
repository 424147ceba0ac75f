// An argument string: exactly the bytes of one command-line argument with its
// length, no terminating zero counted; length 0 is the empty (absent) argument.
#pragma once

#include <stdint.h>

struct ArgumentString {
  char *bytes;
  uint32_t length;
};

// Drops the string's value and leaves it empty.
void EmptyArgument(ArgumentString *text);

// Sizes the string to exactly `length` bytes; their contents are then the caller's to fill.
void SizeArgument(ArgumentString *text, uint32_t length);

// Same length and same bytes as the zero-terminated `expected`; case matters.
bool ArgumentEquals(const ArgumentString *text, const char *expected);
