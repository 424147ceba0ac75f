// The conformance runner's pieces: the case table, what the platform does with
// hardware faults, one run of the helper, and the judge.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "box_watch.h"

// The hardware faults whose dispatch a platform may get wrong under emulation.
enum FaultKind { k_faultNone, k_faultAccess, k_faultIntDivide, k_faultPrivileged, k_faultX87, k_faultStack };

// A box the row expects: its number, and where: at the logged site, at an exact address,
// or anywhere (only the layout is known).
enum BoxWhere { k_atSite, k_atAddress, k_atAny };
struct ExpectedBox {
  unsigned number;
  BoxWhere where;
  DWORD address;
};

// One row of the table.
struct Case {
  std::string name;
  std::string about;
  std::string line;  // raw bytes; %EXE% and %PAD% still in place
  unsigned padTo = 0;
  char padByte = 'A';
  std::string mode = "ok";
  bool noExports = false;
  std::string layout = "beside";
  bool window = false;
  bool hiddenStation = false;
  DWORD exit = 0;
  bool exitIsFaultCode = false;  // the process ends with the fault's own code
  std::vector<std::string> events;
  std::vector<ExpectedBox> boxes;
  LONG_PTR siteOffset = 0;  // where the platform reports a fault, from the logged site
  bool hasCode = false;
  DWORD code = 0;
  bool hasControlWord = false;
  unsigned controlWord = 0;
  FaultKind fault = k_faultNone;
  unsigned codePage = 0;
  bool defaultErrorModeToo = false;
  bool defaultErrorMode = false;  // this is the rerun with the default error mode
};

// Reads the table; false with a message naming the line when it does not parse.
bool ReadCaseTable(const std::string &path, std::vector<Case> *cases, std::string *error);

// What the platform dispatched for a fault the runner made in itself.
struct FaultFacts {
  bool raised;
  DWORD code;
  DWORD trueCode;  // what a processor under a real kernel dispatches
  ULONG_PTR address;
  LONG_PTR offset;  // the address less the faulting instruction's own
};
struct PlatformFacts {
  FaultFacts faults[k_faultStack];  // indexed by FaultKind; stack overflow is not measured
  bool emulated;                    // some hardware fault came under another code than the processor's
  UINT codePage;
  bool stationVisible;  // the runner's window station carries WSF_VISIBLE
};

// Makes each hardware fault in a thread of its own and records what arrived.
PlatformFacts MeasurePlatform();

// The names of the fault kinds, as the table and the report write them.
const char *FaultKindName(FaultKind kind);

// How one start of the helper went.
struct Outcome {
  std::string error;  // the run could not be made (a missing file, a failed start)
  bool timedOut = false;
  DWORD exit = 0;
  std::vector<BoxReport> boxes;                          // every box shown, as read before it was answered
  std::vector<std::pair<std::string, std::string>> log;  // the library's events and values
  std::string expectedLibrary;                           // the copy next to the exe
};

// Where the runner finds what it runs.
struct Kit {
  std::string exe;          // the comreg32.exe under test
  std::string testLibrary;  // the test library, and the copy without exports
  std::string noExportsLibrary;
  std::string work;  // one folder per case is made here
  DWORD timeoutSeconds;
};

// One start of a program: the helper, or an installer that starts it.
struct Start {
  std::string exe;          // passed as the application name, so token 0 can be anything
  std::string commandLine;  // raw bytes
  std::string directory;    // the current folder
  std::string desktop;      // "station\\desktop", or empty for the runner's own
  bool defaultErrorMode = false;
  bool anyProcess = false;  // answer the boxes of every process but the runner
  std::string logPath;      // "box-dismissed" is appended here before each press
  DWORD timeoutSeconds = 90;
};

// Starts the program, answers every box it (or, with anyProcess, any process) shows,
// and waits for it to end; past the timeout it is ended and the outcome says so.
Outcome StartAndWatch(const Start &start);

// A window station of the runner's own without WSF_VISIBLE, and a desktop in it, as
// a service gives the processes it starts; returns "station\\desktop", or empty.
std::string MakeHiddenDesktop(std::string *error);

// Lays the case out in its folder under the work folder, runs the helper there and
// answers its boxes.
Outcome RunCase(const Case &row, const Kit &kit);

// The judgement of one case: the differences (none: passed), the platform's
// allowances that were applied, or why it was skipped.
struct Verdict {
  std::string skipped;
  std::vector<std::string> differences;
  std::vector<std::string> allowances;
};

// The row as this platform must show it, with the allowances applied; sets SKIPPED
// when the platform cannot run it at all.
Case JudgedAs(const Case &row, const PlatformFacts &facts, Verdict *verdict);

// Compares what happened with the row as judged.
void Judge(const Case &judged, const Outcome &outcome, Verdict *verdict);

// The helper's error number for an exception code, as the runner knows the table.
unsigned ErrorNumberFor(DWORD code);

// Text helpers.
std::string Hex8(ULONG_PTR value);
std::string WindowsPath(const std::string &path);  // full path, as GetFullPathNameA gives it
