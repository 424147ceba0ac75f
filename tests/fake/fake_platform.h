// The fake of the platform seam for the native build: every function that
// src/platform/native_api.h declares and the native halves of src/platform/frames.h,
// driven and observed through the plain state below.
//
// How a fault travels in the fake, mirroring the real frames:
// - RaiseFakeFault builds an EXCEPTION_RECORD and dispatches it: the search phase asks
//   every open clean-up frame (CleanupFrameHandler), innermost first, then
//   TopLevelFaultHandler.
// - An accepted fault reaches UnwindToTopFrame, which throws FakeUnwindToTop. Each
//   RunWithCleanup it passes calls CleanupFrameHandler with the unwinding flag (so the
//   frame's clean-up runs) and lets it go on.
// - RunFakeProcess catches it where the entry point's continuation point would be and
//   calls ReportAcceptedFault, which ends in ExitProcess.
// - ExitProcess records the status and throws FakeProcessExit; a fault that every
//   handler lets pass throws FakeProcessCrash (the platform would end the process).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/api.h"

// The end of the process through ExitProcess.
struct FakeProcessExit {
  unsigned status;
};

// The end of the process by the platform: a fault that no handler took.
struct FakeProcessCrash {
  DWORD code;
};

// The unwind to the entry point's frame, started by UnwindToTopFrame.
struct FakeUnwindToTop {
  EXCEPTION_RECORD record;
};

// A fault that an export raises when it is called.
struct FakeFault {
  DWORD code;
  uintptr_t address;
  std::vector<ULONG_PTR> parameters;
};

// One of the library's two exports.
struct FakeExport {
  bool present;
  long result;  // the HRESULT it returns when it does not fault
  bool faults;
  FakeFault fault;
  int calls;
};

// One message box as shown.
struct FakeMessageBox {
  HWND owner;
  std::string text;
  std::string caption;
  unsigned type;
  int sequence;  // place among all recorded calls (see g_fake.nextSequence)
};

// How a run under RunFakeProcess ended.
struct FakeOutcome {
  bool exited;  // through ExitProcess
  unsigned status;
  bool crashed;  // the platform ended it for a fault nobody took
  DWORD crashCode;
};

struct FakePlatformState {
  // What the platform answers.
  std::string moduleFileName;  // what GetModuleFileNameA copies
  long moduleFileNameResult;   // -1: the natural result; otherwise returned as is
  bool doubleByte;             // lead bytes 0x81-0x9F and 0xE0-0xFC, as in code page 932
  bool failHeapCreate;
  bool failNextAllocation;
  bool failNextResize;
  bool rejectNextRelease;
  uintptr_t libraryHandle;         // what LoadLibraryA returns
  FakeExport registerExport;       // DllRegisterServer
  FakeExport unregisterExport;     // DllUnregisterServer
  bool kernelFound;                // GetModuleHandleA("kernel32.dll") answers
  bool defaultDirectoriesPresent;  // kernel32 exports SetDefaultDllDirectories
  BOOL defaultDirectoriesAnswer;
  bool windowOpen;       // FindWindowA finds a window
  bool noWindowStation;  // GetProcessWindowStation answers null
  long stationFlags;     // the station's UOI_FLAGS dwFlags; -1: the question fails
  LONG filterAnswer;     // UnhandledExceptionFilter's answer
  bool quiet;            // keep no event log (the fuzzer's speed)
  DWORD threadId;        // what GetCurrentThreadId answers (a fault "on another thread")

  // What the helper did.
  std::vector<std::string> events;  // one ordered log of everything below
  int nextSequence;
  std::vector<std::string> loadedNames;
  std::vector<std::string> lookedUpNames;
  std::vector<FakeMessageBox> messageBoxes;
  int stationQuestions;  // GetUserObjectInformationA calls
  std::vector<std::string> probedClasses;
  bool probedWithWindowName;  // FindWindowA got a window name other than null
  std::vector<uint16_t> fpuControlWords;
  std::vector<DWORD> filterCodes;
  std::vector<uintptr_t> filterAddresses;
  int moduleFileNameCalls;
  bool moduleFileNameForOtherModule;  // GetModuleFileNameA asked about a module other than the exe
  DWORD moduleFileNameBufferSize;
  int allocations;  // attempts, failed ones included
  int resizes;
  int releases;
  int liveBlocksAtHeapDestroy;  // -1 until HeapDestroy runs
  bool wrongHeapHandle;         // a heap call got a handle HeapCreate did not give
  int exitCalls;
  unsigned exitStatus;
  int withdrawCalls;
  bool topLevelWithdrawn;                       // what TopLevelFrameWithdrawn answers
  bool redirected;                              // RedirectToFaultReserve ran
  PVECTORED_EXCEPTION_HANDLER vectoredHandler;  // AddVectoredExceptionHandler
  unsigned long vectoredFirst;
  std::vector<DWORD> raisedCodes;            // RaiseException
  std::vector<std::string> dllDirectories;   // SetDllDirectoryA
  std::vector<DWORD> defaultDirectoryFlags;  // SetDefaultDllDirectories
};

extern FakePlatformState g_fake;

// The handle a loaded library gets unless a test chooses another.
constexpr uintptr_t k_fakeLibraryHandle = 0x10000000;
// The thread the fake process starts on.
constexpr DWORD k_fakeMainThreadId = 0x1F0;
// The instruction pointer RedirectToFaultReserve puts in the context.
constexpr uintptr_t k_fakeReserveEntry = 0x7FFE0000;

// Sets every answer to its default, drops every record and the heap's blocks, and puts
// the helper's own globals (exit status, fault address, message, module table, begun
// modules, relayed flag) back as a fresh process has them.
void ResetFakePlatform();

// Sets the command line GetCommandLineA returns: these bytes, then a terminating zero.
void SetFakeCommandLine(const std::string &bytes);

// Appends one entry to the event log and returns its sequence number.
int RecordFakeEvent(const std::string &event);

// The event log entries that start with one of the given prefixes, in order.
std::vector<std::string> FakeEventsStartingWith(const std::vector<std::string> &prefixes);

// Blocks the fake heap holds now.
int FakeLiveBlocks();

// Raises a fault from "inside the library": dispatches it through the open clean-up
// frames and the top-level handler. Returns only when a handler resumes execution
// without redirecting it; throws FakeProcessCrash when every handler lets it pass.
void RaiseFakeFault(const FakeFault &fault);

// Runs body as the process's life after the entry point: catches the unwind to the top
// frame (then calls ReportAcceptedFault, as the continuation point does), the exit and
// the crash, and says how it ended.
FakeOutcome RunFakeProcess(const std::function<void()> &body);
