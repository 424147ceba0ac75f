#include "cmdline/get_argument.h"

#include "platform/api.h"

constexpr unsigned char k_quote = 0x22;
constexpr unsigned char k_lastWhiteSpace = 0x20;
constexpr DWORD k_pathBufferSize = 261;

static bool IsWhiteSpace(unsigned char byte) { return byte >= 0x01 && byte <= k_lastWhiteSpace; }

// Steps over one character (one or two bytes, as CharNextA says), counting its bytes
// and copying them when a destination is given.
static const char *TakeCharacter(const char *position, char *copyTo, uint32_t *count) {
  const char *next = CharNextA(position);
  for (const char *byte = position; byte != next; ++byte) {
    if (copyTo != nullptr) copyTo[*count] = *byte;
    ++*count;
  }
  return next;
}

// Walks one token from its first byte: quotes open and close stretches and are
// never taken; outside a stretch any byte up to 0x20 (the zero included) ends it.
// Counts the token's bytes and, given a destination, copies them.
static const char *WalkToken(const char *position, char *copyTo, uint32_t *count) {
  *count = 0;
  for (;;) {
    unsigned char byte = static_cast<unsigned char>(*position);
    if (byte <= k_lastWhiteSpace) return position;
    if (byte != k_quote) {
      position = TakeCharacter(position, copyTo, count);
      continue;
    }
    ++position;  // the opening quote
    while (*position != 0 && static_cast<unsigned char>(*position) != k_quote) {
      position = TakeCharacter(position, copyTo, count);
    }
    if (*position != 0) ++position;  // the closing quote; an unclosed stretch ends at the zero
  }
}

const char *NextToken(const char *position, ArgumentString *result) {
  for (;;) {
    unsigned char byte = static_cast<unsigned char>(*position);
    if (IsWhiteSpace(byte)) {
      position = CharNextA(position);
    } else if (byte == k_quote && static_cast<unsigned char>(position[1]) == k_quote) {
      position += 2;  // an empty quoted pair where a token would begin is no token
    } else {
      break;
    }
  }
  // Count first, so the string is sized once and exactly; then copy by the same walk.
  uint32_t length = 0;
  WalkToken(position, nullptr, &length);
  SizeArgument(result, length);
  uint32_t copied = 0;
  return WalkToken(position, result->bytes, &copied);
}

void GetArgument(int32_t index, ArgumentString *result) {
  EmptyArgument(result);
  if (index < 0) return;  // no token has a negative number
  if (index == 0) {
    char path[k_pathBufferSize];
    DWORD written = GetModuleFileNameA(nullptr, path, k_pathBufferSize);
    if (written > k_pathBufferSize) written = k_pathBufferSize;
    SizeArgument(result, written);
    for (DWORD i = 0; i < written; ++i) result->bytes[i] = path[i];
    return;
  }
  // Token 0 is the program name as written; token N is argument N.
  const char *position = GetCommandLineA();
  for (;;) {
    position = NextToken(position, result);
    if (index == 0) return;
    if (result->length == 0) return;  // the line is used up: every later token is empty too
    --index;
  }
}
