#include "plain_cutter.h"

// Whether the byte is a lead byte of code page 932.
static bool IsLead(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

std::vector<std::string> PlainTokens(const std::string &line, bool doubleByte) {
  std::vector<std::string> tokens;
  size_t at = 0;
  size_t end = line.size();
  for (;;) {
    // Before a token: white space and empty quote pairs are skipped.
    for (;;) {
      if (at < end && static_cast<unsigned char>(line[at]) <= 0x20) {
        at += 1;
      } else if (at + 1 < end && line[at] == '"' && line[at + 1] == '"') {
        at += 2;
      } else {
        break;
      }
    }
    if (at >= end) return tokens;

    std::string token;
    bool quoted = false;
    while (at < end) {
      unsigned char byte = static_cast<unsigned char>(line[at]);
      if (!quoted && byte <= 0x20) break;
      if (byte == '"') {
        quoted = !quoted;
        at += 1;
      } else if (doubleByte && IsLead(byte) && at + 1 < end) {
        token += line.substr(at, 2);
        at += 2;
      } else {
        token += line[at];
        at += 1;
      }
    }
    tokens.push_back(token);
  }
}
