// comreg32-conformance: runs the end-to-end cases of comreg32.exe on the platform it
// finds (Windows, or Wine) and judges each one.
//
//   comreg32-conformance [--exe FILE] [--table FILE] [--work DIR] [--unattended]
//                        [--timeout-seconds N] [NAME|PATTERN...]
//
// The kit lies in the runner's own folder: comreg32.exe and cases.txt (unless given),
// test-library\ and no-exports-library\ (each holding a Zentrafin5x32.dll); work\ is
// made there unless given. With no NAME it runs every case; a PATTERN may hold * and ?.
// --unattended leaves out the reruns with the default error mode, whose fault may bring
// up a dialog of Windows' own. It prints a line per case (PASS, FAIL with what
// differed, SKIP with why), then "N passed, N failed, N skipped", also into
// WORK\results.txt; its exit status is 0 only when none failed.
//
//   comreg32-conformance --start EXE --cmdline-file FILE --cwd DIR [--window]
//                        [--any-process] [--timeout-seconds N]
//
// starts one program with the command line read byte for byte from the file, answers
// every box (with --any-process, those of every process but the runner: an installer
// started in its place starts the helper) and prints key=value lines: caption, text,
// buttons, icon and owner for each box, box (the count), timeout=1 if it had to be
// ended, exit; or start_error when it could not be started.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "probe_window.h"
#include "runner.h"

namespace {

struct Options {
  Kit kit;
  std::string table;
  bool unattended = false;
  std::vector<std::string> patterns;
  // --start
  std::string start, commandLineFile, currentDirectory;
  bool window = false, anyProcess = false;
};

FILE *g_results = nullptr;

// Prints a line on the console and into the results file.
void Say(const char *format, ...) {
  char text[4096];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  std::printf("%s\n", text);
  std::fflush(stdout);
  if (g_results != nullptr) std::fprintf(g_results, "%s\r\n", text);
}

// The folder of the runner's own file, with a trailing backslash.
std::string OwnFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

// Reads the options; exits with a message on anything it does not know.
Options ParseOptions(int argc, char **argv) {
  Options options;
  std::string own = OwnFolder();
  options.kit.exe = own + "comreg32.exe";
  options.table = own + "cases.txt";
  options.kit.work = own + "work";
  options.kit.timeoutSeconds = 90;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    bool value = i + 1 < argc;
    if (option == "--unattended") {
      options.unattended = true;
    } else if (option == "--window") {
      options.window = true;
    } else if (option == "--any-process") {
      options.anyProcess = true;
    } else if (option == "--exe" && value) {
      options.kit.exe = argv[++i];
    } else if (option == "--table" && value) {
      options.table = argv[++i];
    } else if (option == "--work" && value) {
      options.kit.work = argv[++i];
    } else if (option == "--timeout-seconds" && value) {
      options.kit.timeoutSeconds = std::strtoul(argv[++i], nullptr, 10);
    } else if (option == "--start" && value) {
      options.start = argv[++i];
    } else if (option == "--cmdline-file" && value) {
      options.commandLineFile = argv[++i];
    } else if (option == "--cwd" && value) {
      options.currentDirectory = argv[++i];
    } else if (option.compare(0, 2, "--") != 0) {
      options.patterns.push_back(option);
    } else {
      std::printf("comreg32-conformance: unknown option %s (see the head of runner_main.cpp)\n", option.c_str());
      std::exit(2);
    }
  }
  options.kit.testLibrary = own + "test-library\\Zentrafin5x32.dll";
  options.kit.noExportsLibrary = own + "no-exports-library\\Zentrafin5x32.dll";
  return options;
}

// Whether NAME matches PATTERN, where * is any run of characters and ? any one.
bool Matches(const char *pattern, const char *name) {
  if (*pattern == 0) return *name == 0;
  if (*pattern == '*') return Matches(pattern + 1, name) || (*name != 0 && Matches(pattern, name + 1));
  return *name != 0 && (*pattern == '?' || *pattern == *name) && Matches(pattern + 1, name + 1);
}

// Prints one key=value line; bytes below 0x20 are written as \xNN.
void PrintValue(const char *key, const std::string &value) {
  std::printf("%s=", key);
  for (unsigned char byte : value) byte < 0x20 ? std::printf("\\x%02X", byte) : std::printf("%c", byte);
  std::printf("\n");
}

// --start: one program, its boxes answered, reported as key=value lines.
int StartOne(const Options &options) {
  std::ifstream file(options.commandLineFile, std::ios::binary);
  if (!file) {
    PrintValue("start_error", "cannot read " + options.commandLineFile);
    return 2;
  }
  Start start;
  start.exe = options.start;
  start.commandLine.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  start.directory = options.currentDirectory;
  start.anyProcess = options.anyProcess;
  start.timeoutSeconds = options.kit.timeoutSeconds;
  if (options.window && CreateProbeWindow() == nullptr) {
    PrintValue("start_error", "cannot open the IEFrame window");
    return 2;
  }
  Outcome outcome = StartAndWatch(start);
  if (!outcome.error.empty()) {
    PrintValue("start_error", outcome.error);
    return 2;
  }
  for (const BoxReport &box : outcome.boxes) {
    PrintValue("caption", box.caption);
    PrintValue("text", box.text);
    PrintValue("buttons", box.buttons);
    std::printf("icon=%d\nowner=%d\n", box.icon ? 1 : 0, box.owned ? 1 : 0);
  }
  std::printf("box=%u\n", static_cast<unsigned>(outcome.boxes.size()));
  if (outcome.timedOut) std::printf("timeout=1\n");
  std::printf("exit=%lu\n", static_cast<unsigned long>(outcome.exit));
  return 0;
}

// Names the system: the Windows version, or Wine's, and the process's bitness.
std::string SystemName() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto wineVersion =
      reinterpret_cast<const char *(*)()>(reinterpret_cast<void *>(GetProcAddress(ntdll, "wine_get_version")));
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  auto getVersion = reinterpret_cast<LONG(WINAPI *)(OSVERSIONINFOW *)>(
      reinterpret_cast<void *>(GetProcAddress(ntdll, "RtlGetVersion")));
  if (getVersion != nullptr) getVersion(&version);
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  std::ostringstream name;
  name << "Windows " << version.dwMajorVersion << "." << version.dwMinorVersion << " build " << version.dwBuildNumber;
  if (wineVersion != nullptr) name << " (Wine " << wineVersion() << ")";
  name << (sizeof(void *) == 8 ? ", 64-bit process" : wow64 ? ", 32-bit process under WOW64" : ", 32-bit process");
  return name.str();
}

// Prints what the platform did with each hardware fault the runner made.
void SayPlatform(const PlatformFacts &facts) {
  Say("platform: %s, ANSI code page %u, window station %s", SystemName().c_str(), facts.codePage,
      facts.stationVisible ? "visible" : "not visible (no box can be seen)");
  for (int kind = k_faultAccess; kind < k_faultStack; ++kind) {
    const FaultFacts &fault = facts.faults[kind];
    if (!fault.raised) {
      Say("platform: %s: no exception raised", FaultKindName(static_cast<FaultKind>(kind)));
    } else {
      std::string where = fault.address == 0  ? "at address 0"
                          : fault.offset == 0 ? "at the faulting instruction"
                                              : std::to_string(fault.offset) + " bytes from the faulting instruction";
      Say("platform: %s: %s %s%s", FaultKindName(static_cast<FaultKind>(kind)), Hex8(fault.code).c_str(), where.c_str(),
          fault.code == fault.trueCode ? "" : ", not the processor's code");
    }
  }
}

// Runs and judges one case; returns 'P', 'F' or 'S'.
char RunAndJudge(const Case &row, const Kit &kit, const PlatformFacts &facts) {
  Verdict verdict;
  Case judged = JudgedAs(row, facts, &verdict);
  if (!verdict.skipped.empty()) {
    Say("SKIP %s: %s", row.name.c_str(), verdict.skipped.c_str());
    return 'S';
  }
  Kit caseKit = kit;
  if (row.hiddenStation) caseKit.timeoutSeconds = std::min<DWORD>(kit.timeoutSeconds, 30);
  Outcome outcome = RunCase(row, caseKit);
  Judge(judged, outcome, &verdict);
  std::string allowances;
  for (const std::string &allowance : verdict.allowances) allowances += (allowances.empty() ? " (" : "; ") + allowance;
  if (!allowances.empty()) allowances += ")";
  if (verdict.differences.empty()) {
    Say("PASS %s%s", row.name.c_str(), allowances.c_str());
    return 'P';
  }
  std::string differences;
  for (const std::string &difference : verdict.differences)
    differences += (differences.empty() ? "" : "; ") + difference;
  Say("FAIL %s: %s%s", row.name.c_str(), differences.c_str(), allowances.c_str());
  Say("     %s; exit %lu, %u boxes", row.about.c_str(), static_cast<unsigned long>(outcome.exit),
      static_cast<unsigned>(outcome.boxes.size()));
  for (const BoxReport &box : outcome.boxes)
    Say("     box \"%s\" \"%s\" %s", box.caption.c_str(), box.text.c_str(), box.buttons.c_str());
  for (const auto &entry : outcome.log) Say("     log %s %s", entry.first.c_str(), entry.second.c_str());
  return 'F';
}

}  // namespace

int main(int argc, char **argv) {
  Options options = ParseOptions(argc, argv);
  if (!options.start.empty()) return StartOne(options);
  // No dialog of the system's own may stop an unattended run: the helper inherits this
  // error mode, so the platform's fault reporting shows nothing (the reruns with the
  // default error mode aside).
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  options.kit.exe = WindowsPath(options.kit.exe);
  options.kit.work = WindowsPath(options.kit.work);
  CreateDirectoryA(options.kit.work.c_str(), nullptr);
  g_results = std::fopen((options.kit.work + "\\results.txt").c_str(), "wb");
  Say("comreg32 conformance: %s", options.kit.exe.c_str());

  std::vector<Case> cases;
  std::string error;
  if (!ReadCaseTable(options.table, &cases, &error)) {
    Say("stopped: %s", error.c_str());
    Say("0 passed, 1 failed, 0 skipped");
    return 2;
  }
  if (ForeignProbeWindowOpen()) {
    Say("stopped: an \"IEFrame\" window is open (Internet Explorer, or a program that uses its window class);"
        " it would change every probe: close it and run again");
    Say("0 passed, 1 failed, 0 skipped");
    return 2;
  }
  PlatformFacts facts = MeasurePlatform();
  SayPlatform(facts);

  int passed = 0, failed = 0, skipped = 0;
  for (const std::string &pattern : options.patterns) {
    bool any = false;
    for (const Case &row : cases) any = any || Matches(pattern.c_str(), row.name.c_str());
    if (!any) {
      Say("FAIL %s: no case of the table matches it", pattern.c_str());
      ++failed;
    }
  }
  for (const Case &row : cases) {
    bool chosen = options.patterns.empty();
    for (const std::string &pattern : options.patterns) chosen = chosen || Matches(pattern.c_str(), row.name.c_str());
    if (!chosen) continue;
    if (options.unattended && row.defaultErrorMode) {
      Say("SKIP %s: --unattended: a fault under the default error mode may bring up a dialog of Windows' own",
          row.name.c_str());
      ++skipped;
      continue;
    }
    char result = RunAndJudge(row, options.kit, facts);
    (result == 'P' ? passed : result == 'F' ? failed : skipped)++;
  }
  Say("%d passed, %d failed, %d skipped", passed, failed, skipped);
  if (g_results != nullptr) std::fclose(g_results);
  return failed == 0 ? 0 : 1;
}
