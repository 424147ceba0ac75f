// Starting a program and watching it: its boxes are read and answered until it ends.
#include "probe_window.h"
#include "runner.h"

namespace {

constexpr DWORD k_pollMilliseconds = 20;
constexpr int k_startAttempts = 3;
constexpr DWORD k_errorInternal = 1359;  // CreateProcessA's occasional failure under Wine

// Starts the program, retrying the internal error Wine gives now and then; false with
// the outcome's error set when it cannot be started.
bool StartProgram(const Start &start, PROCESS_INFORMATION *process, Outcome *outcome) {
  DWORD flags = start.defaultErrorMode ? CREATE_DEFAULT_ERROR_MODE : 0;
  for (int attempt = 1;; ++attempt) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    std::string desktop = start.desktop;
    if (!desktop.empty()) startup.lpDesktop = &desktop[0];
    // CreateProcessA may write into the line, so every attempt gets a fresh copy.
    std::string line = start.commandLine;
    if (CreateProcessA(start.exe.c_str(), &line[0], nullptr, nullptr, FALSE, flags, nullptr, start.directory.c_str(),
                       &startup, process)) {
      return true;
    }
    DWORD error = GetLastError();
    if (error != k_errorInternal || attempt == k_startAttempts) {
      outcome->error = "CreateProcessA(" + start.exe + ") failed with error " + std::to_string(error);
      return false;
    }
  }
}

// Waits for the process to end, answering boxes and the runner's own window messages;
// false when the timeout ran out first.
bool WaitAnswering(HANDLE process, DWORD timeoutSeconds, BoxWatch *watch) {
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutSeconds) * 1000;
  for (;;) {
    ScanForBoxes(watch);
    DWORD wait = MsgWaitForMultipleObjects(1, &process, FALSE, k_pollMilliseconds, QS_ALLINPUT);
    if (wait == WAIT_OBJECT_0) return true;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    if (GetTickCount64() >= deadline) return false;
  }
}

}  // namespace

Outcome StartAndWatch(const Start &start) {
  Outcome outcome;
  PROCESS_INFORMATION process = {};
  if (!StartProgram(start, &process, &outcome)) return outcome;
  BoxWatch watch = {start.anyProcess ? 0 : process.dwProcessId, start.logPath, {}, {}};
  if (!WaitAnswering(process.hProcess, start.timeoutSeconds, &watch)) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    outcome.timedOut = true;
  }
  GetExitCodeProcess(process.hProcess, &outcome.exit);
  outcome.boxes = watch.reports;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return outcome;
}

std::string MakeHiddenDesktop(std::string *error) {
  std::string station = "comreg32-conformance-" + std::to_string(GetCurrentProcessId());
  HWINSTA original = GetProcessWindowStation();
  HWINSTA hidden = CreateWindowStationA(station.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
  if (hidden == nullptr || !SetProcessWindowStation(hidden)) {
    *error = "cannot make a window station (error " + std::to_string(GetLastError()) + ")";
    return "";
  }
  HDESK desktop = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  DWORD desktopError = GetLastError();
  SetProcessWindowStation(original);
  if (desktop == nullptr) {
    *error = "cannot make a desktop in a window station of its own (error " + std::to_string(desktopError) + ")";
    return "";
  }
  return station + "\\Default";
}
