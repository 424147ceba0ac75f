// libFuzzer target: arbitrary command lines against the helper's cutter.
// Input: byte 0's low bit switches the double-byte lead set on; the rest, up to the
// first zero, is the command line.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "cmdline/get_argument.h"
#include "exit/modules.h"
#include "fake_platform.h"
#include "plain_cutter.h"

static const char k_moduleFileName[] = "C:\\Fuzz\\comreg32.exe";

// Whether the byte is a lead byte of code page 932.
static bool IsLead(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

// Ends the run with a finding that libFuzzer saves with its input.
[[noreturn]] static void Finding(const char *what, int32_t index, const std::string &got, const std::string &want) {
  fprintf(stderr, "finding: %s (argument %d)\n  got  %zu bytes:", what, index, got.size());
  for (unsigned char byte : got) fprintf(stderr, " %02X", byte);
  fprintf(stderr, "\n  want %zu bytes:", want.size());
  for (unsigned char byte : want) fprintf(stderr, " %02X", byte);
  fprintf(stderr, "\n");
  abort();
}

// Whether a quote stands in the argument as a character of its own (not as the trail
// byte of a double-byte character, which the cutter copies as it is).
static bool HoldsQuoteCharacter(const std::string &argument, bool doubleByte) {
  for (size_t at = 0; at < argument.size(); ++at) {
    unsigned char byte = static_cast<unsigned char>(argument[at]);
    if (byte == '"') return true;
    if (doubleByte && IsLead(byte) && at + 1 < argument.size()) ++at;
  }
  return false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  bool doubleByte = (data[0] & 1) != 0;
  const char *lineBytes = reinterpret_cast<const char *>(data + 1);
  std::string line(lineBytes, strnlen(lineBytes, size - 1));

  ResetFakePlatform();
  g_fake.doubleByte = doubleByte;
  g_fake.quiet = true;
  g_fake.moduleFileName = k_moduleFileName;
  SetFakeCommandLine(line);
  RunStartupSteps();

  std::vector<std::string> tokens = PlainTokens(line, doubleByte);
  int32_t lastIndex = static_cast<int32_t>(tokens.size());  // one past the last token
  ArgumentString argument = {nullptr, 0};
  for (int32_t index = -1; index <= lastIndex; ++index) {
    GetArgument(index, &argument);
    std::string got = argument.length ? std::string(argument.bytes, argument.length) : std::string();
    std::string want;
    if (index == 0) want = k_moduleFileName;
    if (index >= 1 && index < lastIndex) want = tokens[index];
    if (got != want) Finding("argument differs from the plain cutter", index, got, want);
    if (HoldsQuoteCharacter(got, doubleByte)) Finding("argument holds a quote", index, got, "");
    if (FakeLiveBlocks() != (argument.length ? 1 : 0)) Finding("argument string leaks blocks", index, got, want);
  }
  EmptyArgument(&argument);
  if (FakeLiveBlocks() != 0) Finding("blocks left after the last release", -1, "", "");
  return 0;
}
