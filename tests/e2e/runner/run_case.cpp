// One case laid out in a folder of its own and run: the helper's copy, the library's
// copies where the row puts them, the command line, the probe window and the station.
#include <fstream>

#include "probe_window.h"
#include "runner.h"

namespace {

const char k_exeName[] = "comreg32.exe";
const char k_libraryName[] = "Zentrafin5x32.dll";

// Deletes a folder and everything in it; a missing folder is fine.
void RemoveTree(const std::string &folder) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

// Copies FROM to FOLDER\NAME; false with the outcome's error set when it cannot.
bool CopyInto(const std::string &from, const std::string &folder, const char *name, Outcome *outcome) {
  if (CopyFileA(from.c_str(), (folder + "\\" + name).c_str(), FALSE)) return true;
  outcome->error = "cannot copy " + from + " to " + folder + " (error " + std::to_string(GetLastError()) + ")";
  return false;
}

// The row's command line with the exe's path and the padding in place.
std::string CommandLine(const Case &row, const std::string &exe) {
  std::string line = row.line;
  size_t at = line.find("%EXE%");
  if (at != std::string::npos) line.replace(at, 5, exe);
  at = line.find("%PAD%");
  if (at != std::string::npos) {
    size_t others = line.size() - 5;
    line.replace(at, 5, row.padTo > others ? row.padTo - others : 0, row.padByte);
  }
  return line;
}

// The library log: one "event<TAB>value" line each.
std::vector<std::pair<std::string, std::string>> ReadLog(const std::string &path) {
  std::vector<std::pair<std::string, std::string>> log;
  std::ifstream file(path, std::ios::binary);
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    size_t tab = line.find('\t');
    log.emplace_back(line.substr(0, tab), tab == std::string::npos ? "" : line.substr(tab + 1));
  }
  return log;
}

// The hidden station's desktop, made once per run of the runner.
std::string HiddenDesktop(std::string *error) {
  static std::string desktop, failure;
  if (desktop.empty() && failure.empty()) desktop = MakeHiddenDesktop(&failure);
  *error = failure;
  return desktop;
}

}  // namespace

std::string WindowsPath(const std::string &path) {
  char full[MAX_PATH * 2];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return length == 0 || length >= sizeof full ? path : std::string(full, length);
}

Outcome RunCase(const Case &row, const Kit &kit) {
  Outcome outcome;
  std::string folder = WindowsPath(kit.work + "\\" + row.name);
  RemoveTree(folder);
  std::string app = folder + (row.layout == "space" ? "\\app dir with space" : "\\app");
  std::string cwd = folder + "\\cwd", onPath = folder + "\\on-path", log = folder + "\\library.log";
  CreateDirectoryA(kit.work.c_str(), nullptr);
  for (const std::string &directory : {folder, app, cwd, onPath}) {
    if (!CreateDirectoryA(directory.c_str(), nullptr)) {
      outcome.error = "cannot make the folder " + directory + " (error " + std::to_string(GetLastError()) + ")";
      return outcome;
    }
  }
  if (!CopyInto(kit.exe, app, k_exeName, &outcome)) return outcome;
  std::vector<std::string> copies;
  if (row.layout == "beside" || row.layout == "space" || row.layout == "beside-and-cwd") copies.push_back(app);
  if (row.layout == "cwd-only" || row.layout == "beside-and-cwd") copies.push_back(cwd);
  if (row.layout == "path-only") copies.push_back(onPath);
  for (const std::string &directory : copies) {
    if (!CopyInto(row.noExports ? kit.noExportsLibrary : kit.testLibrary, directory, k_libraryName, &outcome)) {
      return outcome;
    }
  }

  Start start;
  start.exe = app + "\\" + k_exeName;
  start.commandLine = CommandLine(row, start.exe);
  start.directory = cwd;
  start.defaultErrorMode = row.defaultErrorMode;
  start.logPath = log;
  start.timeoutSeconds = kit.timeoutSeconds;
  if (row.hiddenStation) {
    start.desktop = HiddenDesktop(&outcome.error);
    if (!outcome.error.empty()) return outcome;
  }
  HWND window = row.window ? CreateProbeWindow() : nullptr;
  if (row.window && window == nullptr) {
    outcome.error = "cannot open the IEFrame window (error " + std::to_string(GetLastError()) + ")";
    return outcome;
  }
  // The library's mode and log, and PATH, reach the helper through the environment.
  char path[32768] = {};
  GetEnvironmentVariableA("PATH", path, sizeof path);
  if (row.layout == "path-only") SetEnvironmentVariableA("PATH", (onPath + ";" + path).c_str());
  SetEnvironmentVariableA("COMREG32_TEST_MODE", row.mode.c_str());
  SetEnvironmentVariableA("COMREG32_TEST_LOG", log.c_str());

  Outcome run = StartAndWatch(start);

  SetEnvironmentVariableA("PATH", path);
  if (window != nullptr) DestroyWindow(window);
  run.log = ReadLog(log);
  run.expectedLibrary = app + "\\" + k_libraryName;
  return run;
}
