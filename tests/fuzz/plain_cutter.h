// A deliberately plain second cutter of the command line, written from the rules
// alone, that the fuzzer holds the helper's cutter against.
#pragma once

#include <string>
#include <vector>

// Every token of the line, token 0 (the program name) first. White space is any byte
// 0x01-0x20; a quote toggles quoting and is dropped; with `doubleByte`, a lead byte
// (0x81-0x9F, 0xE0-0xFC) takes the byte after it along, unless that is the end.
std::vector<std::string> PlainTokens(const std::string &line, bool doubleByte);
