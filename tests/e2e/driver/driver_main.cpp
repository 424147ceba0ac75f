// e2e_driver: starts the helper with an exact command line, answers its message
// boxes and prints what happened as key=value lines on stdout.
//
//   e2e_driver --exe PATH --cmdline-file PATH --cwd DIR [--window] [--log PATH]
//              [--prepend-path DIR] [--timeout-seconds N] [--hidden-station] [--any-process]
//
// --hidden-station starts the helper on a desktop of a window station of its own,
// without WSF_VISIBLE, as a service starts a process; a box there is out of the
// driver's sight (and everyone's), so a helper that showed one would run into the
// timeout. --any-process answers the boxes of every process but the driver:
// an installer started in place of the helper starts the helper in turn.
// The command line is read byte for byte from the file (token 0 included), so a
// test controls every byte the helper is started with.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "box_watch.h"
#include "probe_window.h"

constexpr DWORD k_defaultTimeoutSeconds = 120;
constexpr DWORD k_pollMilliseconds = 20;
constexpr int k_startAttempts = 3;
constexpr DWORD k_errorInternal = 1359;  // CreateProcessA's occasional failure under Wine

struct DriverOptions {
  std::string exe;
  std::string commandLineFile;
  std::string currentDirectory;
  std::string logPath;
  std::string prependPath;
  bool window = false;
  bool hiddenStation = false;
  bool anyProcess = false;
  DWORD timeoutSeconds = k_defaultTimeoutSeconds;
};

// Prints one report line; bytes below 0x20 are written as \xNN, so a value stays on its line.
static void PrintValue(const char *key, const std::string &value) {
  std::printf("%s=", key);
  for (unsigned char byte : value) {
    if (byte < 0x20) {
      std::printf("\\x%02X", byte);
    } else {
      std::putchar(byte);
    }
  }
  std::printf("\n");
}

// Ends the driver on a bad invocation or a failed step, saying which.
[[noreturn]] static void Fail(const char *what, DWORD error) {
  std::printf("driver_error=%s\n", what);
  std::printf("driver_error_code=%lu\n", static_cast<unsigned long>(error));
  std::fflush(stdout);
  std::exit(2);
}

// Reads the options; exits on anything it does not know.
static DriverOptions ParseOptions(int argc, char **argv) {
  DriverOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    bool hasValue = i + 1 < argc;
    if (option == "--window") {
      options.window = true;
    } else if (option == "--hidden-station") {
      options.hiddenStation = true;
    } else if (option == "--any-process") {
      options.anyProcess = true;
    } else if (option == "--exe" && hasValue) {
      options.exe = argv[++i];
    } else if (option == "--cmdline-file" && hasValue) {
      options.commandLineFile = argv[++i];
    } else if (option == "--cwd" && hasValue) {
      options.currentDirectory = argv[++i];
    } else if (option == "--log" && hasValue) {
      options.logPath = argv[++i];
    } else if (option == "--prepend-path" && hasValue) {
      options.prependPath = argv[++i];
    } else if (option == "--timeout-seconds" && hasValue) {
      options.timeoutSeconds = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
    } else {
      Fail("bad-option", 0);
    }
  }
  if (options.exe.empty() || options.commandLineFile.empty() || options.currentDirectory.empty()) {
    Fail("missing-option", 0);
  }
  return options;
}

// The whole file as bytes.
static std::vector<char> ReadWholeFile(const std::string &path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail("cmdline-file", GetLastError());
  std::vector<char> bytes(GetFileSize(file, nullptr));
  DWORD read = 0;
  if (!bytes.empty() && !ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
    Fail("cmdline-file-read", GetLastError());
  }
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

// Puts DIR in front of PATH; the helper inherits the environment.
static void PrependToPath(const std::string &directory) {
  char current[32768] = {};
  GetEnvironmentVariableA("PATH", current, sizeof(current));
  std::string value = directory + ";" + current;
  SetEnvironmentVariableA("PATH", value.c_str());
}

// A window station of this run's own, without WSF_VISIBLE, and a desktop in it: what a
// service gives the processes it starts. Returns its name, "station\\desktop".
static std::string MakeHiddenDesktop() {
  std::string station = "comreg32-e2e-" + std::to_string(GetCurrentProcessId());
  HWINSTA original = GetProcessWindowStation();
  HWINSTA hidden = CreateWindowStationA(station.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
  if (hidden == nullptr) Fail("create-window-station", GetLastError());
  if (!SetProcessWindowStation(hidden)) Fail("set-window-station", GetLastError());
  HDESK desktop = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  DWORD error = GetLastError();
  SetProcessWindowStation(original);
  if (desktop == nullptr) Fail("create-desktop", error);
  return station + "\\Default";
}

// Starts the helper, retrying the internal error Wine gives now and then.
static PROCESS_INFORMATION StartHelper(const DriverOptions &options, std::vector<char> commandLine,
                                       std::string desktop) {
  commandLine.push_back(0);
  for (int attempt = 1;; ++attempt) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    if (!desktop.empty()) startup.lpDesktop = &desktop[0];
    PROCESS_INFORMATION process = {};
    // CreateProcessA may write into the line, so every attempt gets a fresh copy.
    std::vector<char> line = commandLine;
    if (CreateProcessA(options.exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       options.currentDirectory.c_str(), &startup, &process)) {
      std::printf("start_attempts=%d\n", attempt);
      return process;
    }
    DWORD error = GetLastError();
    if (error != k_errorInternal || attempt == k_startAttempts) Fail("create-process", error);
    std::fprintf(stderr, "e2e_driver: CreateProcessA failed with error %lu; retrying\n",
                 static_cast<unsigned long>(error));
  }
}

// Waits for the helper to end, answering its boxes and the driver's own messages;
// false when the safety timeout ran out first.
static bool WaitForHelper(HANDLE process, DWORD timeoutSeconds, BoxWatch *watch) {
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

// Prints every box report, then the count.
static void PrintBoxes(const BoxWatch &watch) {
  for (const BoxReport &box : watch.reports) {
    PrintValue("caption", box.caption);
    PrintValue("text", box.text);
    PrintValue("buttons", box.buttons);
    std::printf("icon=%d\n", box.icon ? 1 : 0);
    std::printf("owner=%d\n", box.owned ? 1 : 0);
  }
  std::printf("box=%u\n", static_cast<unsigned>(watch.reports.size()));
}

int main(int argc, char **argv) {
  DriverOptions options = ParseOptions(argc, argv);
  std::vector<char> commandLine = ReadWholeFile(options.commandLineFile);
  if (options.window && CreateProbeWindow() == nullptr) Fail("probe-window", GetLastError());
  std::printf("window=%d\n", options.window ? 1 : 0);
  if (!options.prependPath.empty()) PrependToPath(options.prependPath);

  std::string desktop = options.hiddenStation ? MakeHiddenDesktop() : "";
  std::printf("station=%s\n", options.hiddenStation ? "hidden" : "visible");
  PROCESS_INFORMATION process = StartHelper(options, commandLine, desktop);
  BoxWatch watch = {options.anyProcess ? 0 : process.dwProcessId, options.logPath, {}, {}};
  bool ended = WaitForHelper(process.hProcess, options.timeoutSeconds, &watch);
  if (!ended) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    std::printf("timeout=1\n");
  }
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  PrintBoxes(watch);
  std::printf("exit=%lu\n", static_cast<unsigned long>(exitCode));
  std::fflush(stdout);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
