// The judge: the row as this platform must show it, and every difference between
// that and what happened.
#include <algorithm>
#include <cstdlib>
#include <map>

#include "runner.h"

namespace {

// The x87 control word's defined bits: the six exception masks, precision, rounding and
// infinity control. Reserved bit 6 reads back as 1 on real processors (0x1332 is
// stored as 0x1372), so it is left out of the comparison.
constexpr unsigned k_x87DefinedBits = 0x1F3F;

const char *const k_faultNames[] = {"",
                                    "an access violation",
                                    "an integer division by zero",
                                    "a privileged instruction",
                                    "an x87 division by zero",
                                    "a stack overflow"};

// A status as its users read it: decimal, or hexadecimal for a code of the system's own.
std::string Status(DWORD status) { return status > 0xFFFF ? "0x" + Hex8(status) : std::to_string(status); }

// The events without the ones named.
std::vector<std::string> Without(std::vector<std::string> events, const std::vector<std::string> &dropped) {
  for (const std::string &event : dropped) events.erase(std::remove(events.begin(), events.end(), event), events.end());
  return events;
}

// Sets TEXT to what the box must show (empty when only its layout is known); false
// with TEXT saying why when the log holds no single site to place it.
bool ExpectedText(const ExpectedBox &box, const Case &judged, const Outcome &outcome, std::string *text) {
  ULONG_PTR address = box.address;
  text->clear();
  if (box.where == k_atAny) return true;
  if (box.where == k_atSite) {
    std::vector<std::string> sites;
    for (const auto &entry : outcome.log) {
      if (entry.first == "site") sites.push_back(entry.second);
    }
    if (sites.size() != 1) {
      *text = "the library logged " + std::to_string(sites.size()) + " fault sites, not one";
      return false;
    }
    address = std::strtoull(sites[0].c_str(), nullptr, 16) + judged.siteOffset;
  }
  *text = "Runtime error " + std::to_string(box.number) + " at " + Hex8(address);
  return true;
}

// Checks one box against the row; adds what differs.
void JudgeBox(size_t index, const ExpectedBox &box, const BoxReport &shown, const Case &judged, const Outcome &outcome,
              std::vector<std::string> *differences) {
  std::string which = "box " + std::to_string(index + 1) + " ";
  if (shown.caption != "Error") differences->push_back(which + "caption \"" + shown.caption + "\", expected \"Error\"");
  if (shown.buttons != "OK:1") differences->push_back(which + "buttons " + shown.buttons + ", expected OK:1");
  if (shown.icon) differences->push_back(which + "has an icon");
  if (shown.owned) differences->push_back(which + "has an owner window");
  std::string expected;
  if (!ExpectedText(box, judged, outcome, &expected)) {
    differences->push_back(which + expected);
  } else if (!expected.empty()) {
    if (shown.text != expected) differences->push_back(which + "\"" + shown.text + "\", expected \"" + expected + "\"");
  } else {
    std::string prefix = "Runtime error " + std::to_string(box.number) + " at ";
    bool layout = shown.text.size() == 29 && shown.text.compare(0, prefix.size(), prefix) == 0 &&
                  shown.text.find_first_not_of("0123456789ABCDEF", prefix.size()) == std::string::npos;
    if (!layout) {
      differences->push_back(which + "\"" + shown.text + "\", expected \"" + prefix + "\" and 8 upper-case hex digits");
    }
  }
}

}  // namespace

std::string Hex8(ULONG_PTR value) {
  static const char k_digits[] = "0123456789ABCDEF";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i, value >>= 4) text[i] = k_digits[value & 0xF];
  return text;
}

unsigned ErrorNumberFor(DWORD code) {
  static const std::map<DWORD, unsigned> k_numbers = {
      {0xC0000005, 216}, {0xC000008C, 201}, {0xC000008D, 206}, {0xC000008E, 200}, {0xC000008F, 207},
      {0xC0000090, 207}, {0xC0000091, 205}, {0xC0000092, 207}, {0xC0000093, 206}, {0xC0000094, 200},
      {0xC0000095, 215}, {0xC0000096, 218}, {0xC00000FD, 202}, {0xC000013A, 217}, {0x0EEDFADE, 217},
  };
  auto number = k_numbers.find(code);
  return number == k_numbers.end() ? 255 : number->second;
}

Case JudgedAs(const Case &row, const PlatformFacts &facts, Verdict *verdict) {
  Case judged = row;
  if (row.codePage != 0 && row.codePage != facts.codePage) {
    verdict->skipped = "needs the ANSI code page " + std::to_string(row.codePage) + "; this system's is " +
                       std::to_string(facts.codePage);
    return judged;
  }
  if (!facts.stationVisible && !row.boxes.empty()) {
    verdict->allowances.push_back("the runner's window station is not visible, so the helper shows no box");
    judged.boxes.clear();
    judged.events = Without(judged.events, {"box-dismissed"});
  }
  if (row.fault == k_faultStack) {
    if (facts.emulated) {
      verdict->skipped =
          "hardware faults arrive under other codes here (emulation), and a real stack overflow"
          " then hangs the process instead of being reported";
    }
    return judged;
  }
  if (row.fault == k_faultNone) return judged;
  const FaultFacts &fault = facts.faults[row.fault];
  std::string kind = k_faultNames[row.fault];
  if (!fault.raised) {
    verdict->allowances.push_back(kind + " raises no exception here: the routine returns and the run ends normally");
    judged.exit = 0;
    judged.exitIsFaultCode = false;
    judged.boxes.clear();
    judged.hasCode = false;
    judged.events = Without(judged.events, {"exception", "box-dismissed"});
    return judged;
  }
  if (fault.code != fault.trueCode) {
    verdict->allowances.push_back(kind + " arrives as " + Hex8(fault.code) + " here, not " + Hex8(fault.trueCode));
    judged.code = fault.code;
    judged.exit = ErrorNumberFor(fault.code);
    for (ExpectedBox &box : judged.boxes) box.number = ErrorNumberFor(fault.code);
  }
  if (row.exitIsFaultCode) {
    judged.exit = fault.code;
    judged.exitIsFaultCode = false;
  }
  if (fault.address == 0) {
    verdict->allowances.push_back(kind + " is reported at address 0 here, so there is no box");
    judged.boxes.clear();
    judged.events = Without(judged.events, {"box-dismissed"});
  } else if (fault.offset != 0) {
    bool nearSite = fault.offset >= -16 && fault.offset <= 16;
    verdict->allowances.push_back(kind + " is reported " + std::to_string(fault.offset) +
                                  " bytes from the faulting instruction here" + (nearSite ? "" : ": box layout only"));
    for (ExpectedBox &box : judged.boxes) {
      if (box.where == k_atSite && !nearSite) box.where = k_atAny;
    }
    if (nearSite) judged.siteOffset = fault.offset;
  }
  return judged;
}

void Judge(const Case &judged, const Outcome &outcome, Verdict *verdict) {
  std::vector<std::string> &differences = verdict->differences;
  if (!outcome.error.empty()) {
    differences.push_back(outcome.error);
    return;
  }
  if (outcome.timedOut) differences.push_back("the helper did not end before the runner's timeout");
  if (outcome.exit != judged.exit) {
    differences.push_back("exit status " + Status(outcome.exit) + ", expected " + Status(judged.exit));
  }
  if (outcome.boxes.size() != judged.boxes.size()) {
    differences.push_back(std::to_string(outcome.boxes.size()) + " message boxes, expected " +
                          std::to_string(judged.boxes.size()));
  } else {
    for (size_t i = 0; i < judged.boxes.size(); ++i) {
      JudgeBox(i, judged.boxes[i], outcome.boxes[i], judged, outcome, &differences);
    }
  }
  std::vector<std::string> events;
  const std::pair<std::string, std::string> *firstException = nullptr, *controlWord = nullptr;
  for (const auto &entry : outcome.log) {
    events.push_back(entry.first);
    if (entry.first == "exception" && firstException == nullptr) firstException = &entry;
    if (entry.first == "control-word") controlWord = &entry;
    bool fromLibrary =
        entry.first == "attach" || entry.first == "DllRegisterServer" || entry.first == "DllUnregisterServer";
    if (fromLibrary && entry.second != outcome.expectedLibrary) {
      differences.push_back(entry.first + " from " + entry.second + ", expected the copy " + outcome.expectedLibrary);
    }
  }
  if (events != judged.events) {
    auto join = [](const std::vector<std::string> &list) {
      std::string text;
      for (const std::string &item : list) text += (text.empty() ? "" : " ") + item;
      return "[" + text + "]";
    };
    differences.push_back("library events " + join(events) + ", expected " + join(judged.events));
  }
  if (judged.hasCode) {
    DWORD code = firstException ? std::strtoul(firstException->second.c_str(), nullptr, 16) : 0;
    if (firstException == nullptr || code != judged.code) {
      differences.push_back("first exception " + (firstException ? Hex8(code) : std::string("none")) + ", expected " +
                            Hex8(judged.code));
    }
  }
  if (judged.hasControlWord) {
    unsigned word = controlWord ? std::strtoul(controlWord->second.c_str(), nullptr, 16) : 0;
    if (controlWord == nullptr || (word & k_x87DefinedBits) != (judged.controlWord & k_x87DefinedBits)) {
      differences.push_back("x87 control word in the routine " + (controlWord ? controlWord->second : "none") +
                            ", expected " + Hex8(judged.controlWord).substr(4) + " (reserved bits aside)");
    }
  }
}
