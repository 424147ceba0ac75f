#include "fault/top_level_handler.h"

#include "exit/exit_sequence.h"
#include "fault/error_numbers.h"
#include "platform/frames.h"

constexpr DWORD k_stackOverflowCode = 0xC00000FD;

// The fault being reported, worked out before the unwind and read by the continuation.
static uint8_t g_acceptedErrorNumber = 0;
static uintptr_t g_acceptedAddress = 0;

// A stack overflow is handled on the reserve stack, from these copies.
static EXCEPTION_RECORD g_overflowRecord;
static CONTEXT g_overflowContext;
bool g_overflowRelayed = false;
static DWORD g_mainThreadId = 0;

static uintptr_t FaultAddressOf(const EXCEPTION_RECORD *record) {
  if (record->ExceptionCode != k_languageExceptionCode) {
    return reinterpret_cast<uintptr_t>(record->ExceptionAddress);
  }
  // A language-level exception carries the address where it was thrown as its first
  // parameter; a record without parameters has none, so its own address stands in.
  if (record->NumberParameters == 0) return reinterpret_cast<uintptr_t>(record->ExceptionAddress);
  return record->ExceptionInformation[0];
}

static uint8_t ErrorNumberOf(const EXCEPTION_RECORD *record) {
  if (record->ExceptionCode == k_languageExceptionCode) return k_errorLanguageException;
  return ErrorNumberForCode(record->ExceptionCode);
}

void AcceptFault(EXCEPTION_RECORD *record, CONTEXT *context) {
  EXCEPTION_POINTERS pointers = {record, context};
  if (UnhandledExceptionFilter(&pointers) == EXCEPTION_CONTINUE_SEARCH) return;
  ResetFpu(k_fpuControlWord);  // clean-up runs under the main flow's settings
  g_acceptedErrorNumber = ErrorNumberOf(record);
  g_acceptedAddress = FaultAddressOf(record);
  UnwindToTopFrame(record);
}

extern "C" EXCEPTION_DISPOSITION TopLevelFaultHandler(EXCEPTION_RECORD *record, void *, CONTEXT *context, void *) {
  if (record->ExceptionFlags & k_unwindFlags) return ExceptionContinueSearch;
  // Withdrawn by the exit sequence, or a stack overflow that the filter has already
  // declined on the reserve stack and that now goes to the platform.
  if (TopLevelFrameWithdrawn()) return ExceptionContinueSearch;
  if (record->ExceptionCode == k_stackOverflowCode && g_overflowRelayed) return ExceptionContinueSearch;
  AcceptFault(record, context);
  return ExceptionContinueSearch;
}

void InstallStackOverflowRelay() {
  g_mainThreadId = GetCurrentThreadId();
  AddVectoredExceptionHandler(0, StackOverflowRelay);  // after any the library adds
}

extern "C" LONG WINAPI StackOverflowRelay(EXCEPTION_POINTERS *pointers) {
  if (pointers->ExceptionRecord->ExceptionCode != k_stackOverflowCode) return EXCEPTION_CONTINUE_SEARCH;
  // Not ours: another thread's fault, a fault after the exit sequence withdrew the
  // handler, or the relay itself coming round again.
  if (TopLevelFrameWithdrawn() || g_overflowRelayed || GetCurrentThreadId() != g_mainThreadId) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  g_overflowRelayed = true;
  g_overflowRecord = *pointers->ExceptionRecord;
  g_overflowContext = *pointers->ContextRecord;
  RedirectToFaultReserve(pointers->ContextRecord);
  return EXCEPTION_CONTINUE_EXECUTION;
}

extern "C" void ContinueStackOverflowFault() {
  AcceptFault(&g_overflowRecord, &g_overflowContext);
  // Declined: raise it again for the platform's own handling; the handler lets it pass.
  RaiseException(k_stackOverflowCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  for (;;) {
  }
}

extern "C" void ReportAcceptedFault() { FailWithError(g_acceptedErrorNumber, g_acceptedAddress); }

extern "C" EXCEPTION_DISPOSITION CleanupFrameHandler(EXCEPTION_RECORD *record, void *establisherFrame, CONTEXT *,
                                                     void *) {
  if (record->ExceptionFlags & k_unwindFlags) {
    CleanupSlot *slot = CleanupSlotOfFrame(establisherFrame);
    slot->cleanup(slot->state);
  }
  return ExceptionContinueSearch;
}
