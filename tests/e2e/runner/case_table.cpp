// Reads the case table (cases.txt): one row a case, "NAME | key value | ...".
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "runner.h"

namespace {

// The text without spaces and tabs at either end.
std::string Trim(const std::string &text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A whole number in hex (the table's codes and addresses); false when it is not one.
bool ParseHex(const std::string &text, DWORD *value) {
  char *end = nullptr;
  unsigned long parsed = std::strtoul(text.c_str(), &end, 16);
  *value = static_cast<DWORD>(parsed);
  return !text.empty() && *end == 0;
}

// A whole number in decimal, or in hex after 0x.
bool ParseNumber(const std::string &text, DWORD *value) {
  char *end = nullptr;
  unsigned long parsed = std::strtoul(text.c_str(), &end, 0);
  *value = static_cast<DWORD>(parsed);
  return !text.empty() && *end == 0;
}

// The bytes a table value stands for: \xNN is one byte, \\ a backslash.
bool Unescape(const std::string &text, std::string *bytes) {
  bytes->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *bytes += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '\\') {
      *bytes += '\\';
      ++i;
    } else if (i + 3 < text.size() && text[i + 1] == 'x') {
      DWORD byte = 0;
      if (!ParseHex(text.substr(i + 2, 2), &byte)) return false;
      *bytes += static_cast<char>(byte);
      i += 3;
    } else {
      return false;
    }
  }
  return true;
}

const std::map<std::string, FaultKind> k_faultKinds = {
    {"av", k_faultAccess}, {"intdiv0", k_faultIntDivide}, {"priv", k_faultPrivileged},
    {"x87", k_faultX87},   {"stack", k_faultStack},
};
const char *const k_layouts[] = {"beside", "space", "none", "cwd-only", "path-only", "beside-and-cwd"};

// Reads "N at WHERE" into a box.
bool ParseBox(const std::string &value, ExpectedBox *box) {
  std::istringstream words(value);
  std::string number, at, where;
  if (!(words >> number >> at >> where) || at != "at" || !ParseNumber(number, &box->address)) return false;
  box->number = box->address;
  box->address = 0;
  if (where == "site") {
    box->where = k_atSite;
  } else if (where == "any") {
    box->where = k_atAny;
  } else {
    box->where = k_atAddress;
    return ParseHex(where, &box->address);
  }
  return true;
}

// Sets one field of a row; false when the key or its value is not understood.
bool SetField(Case *row, const std::string &key, const std::string &value) {
  DWORD number = 0;
  if (key == "about") {
    row->about = value;
  } else if (key == "line") {
    return Unescape(value, &row->line);
  } else if (key == "pad") {
    std::string count = value.substr(0, value.find(' ')), byte;
    if (!ParseNumber(count, &number) || !Unescape(Trim(value.substr(count.size())), &byte) || byte.size() > 1) {
      return false;
    }
    row->padTo = number;
    if (!byte.empty()) row->padByte = byte[0];
  } else if (key == "mode") {
    row->mode = value;
  } else if (key == "library") {
    row->noExports = true;
    return value == "no-exports";
  } else if (key == "layout") {
    row->layout = value;
    for (const char *layout : k_layouts) {
      if (value == layout) return true;
    }
    return false;
  } else if (key == "window" || key == "hidden-station" || key == "default-error-mode") {
    bool *flag = key == "window"           ? &row->window
                 : key == "hidden-station" ? &row->hiddenStation
                                           : &row->defaultErrorModeToo;
    *flag = true;
    return value.empty();
  } else if (key == "exit") {
    row->exitIsFaultCode = value == "fault-code";
    return row->exitIsFaultCode || ParseNumber(value, &row->exit);
  } else if (key == "events") {
    std::istringstream words(value);
    for (std::string event; words >> event;) row->events.push_back(event);
    if (value == "none") row->events.clear();
  } else if (key == "box") {
    ExpectedBox box = {};
    if (!ParseBox(value, &box)) return false;
    row->boxes.push_back(box);
  } else if (key == "code") {
    row->hasCode = true;
    return ParseHex(value, &row->code);
  } else if (key == "control-word") {
    row->hasControlWord = true;
    if (!ParseHex(value, &number)) return false;
    row->controlWord = number;
  } else if (key == "fault") {
    auto kind = k_faultKinds.find(value);
    if (kind == k_faultKinds.end()) return false;
    row->fault = kind->second;
  } else if (key == "codepage") {
    if (!ParseNumber(value, &number)) return false;
    row->codePage = number;
  } else {
    return false;
  }
  return true;
}

}  // namespace

const char *FaultKindName(FaultKind kind) {
  for (const auto &entry : k_faultKinds) {
    if (entry.second == kind) return entry.first.c_str();
  }
  return "none";
}

bool ReadCaseTable(const std::string &path, std::vector<Case> *cases, std::string *error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "cannot read the case table " + path;
    return false;
  }
  std::map<std::string, std::string> defines;
  std::vector<Case> reruns;  // with the default error mode: they run last
  std::string text;
  for (int number = 1; std::getline(file, text); ++number) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    std::string where = path + ":" + std::to_string(number) + ": ";
    text = Trim(text);
    if (text.empty() || text[0] == '#') continue;
    if (text.compare(0, 7, "define ") == 0) {
      std::string rest = Trim(text.substr(7));
      defines[rest.substr(0, rest.find(' '))] = Trim(rest.substr(rest.find(' ') + 1));
      continue;
    }
    std::istringstream fields(text);
    Case row;
    std::getline(fields, row.name, '|');
    row.name = Trim(row.name);
    if (row.name.empty() || row.name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") != std::string::npos) {
      *error = where + "a row starts with its name (a-z, 0-9, _)";
      return false;
    }
    for (const Case &earlier : *cases) {
      if (earlier.name == row.name) {
        *error = where + "a second row named " + row.name;
        return false;
      }
    }
    for (std::string field; std::getline(fields, field, '|');) {
      field = Trim(field);
      std::string key = field.substr(0, field.find(' '));
      std::string value = key.size() < field.size() ? Trim(field.substr(key.size())) : "";
      if (defines.count(value)) value = defines[value];
      if (!SetField(&row, key, value)) {
        *error = where + "cannot read the field \"" + field + "\"";
        return false;
      }
    }
    cases->push_back(row);
    if (row.defaultErrorModeToo) {
      Case rerun = row;
      rerun.name += "_default_error_mode";
      rerun.defaultErrorMode = true;
      rerun.about += ", with the system's default error mode";
      reruns.push_back(rerun);
    }
  }
  cases->insert(cases->end(), reruns.begin(), reruns.end());
  if (cases->empty()) *error = path + ": no case in the table";
  return !cases->empty();
}
