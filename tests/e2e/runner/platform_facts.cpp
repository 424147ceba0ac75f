// What this platform does with hardware faults, learnt before any case is judged: the
// runner makes each fault in a thread of its own, at the same instructions the test
// library faults at, and records the code and address that arrive.
#include "../library/fault_sites.h"
#include "runner.h"

namespace {

DWORD g_measuringThread;
EXCEPTION_RECORD g_seen;
bool g_raised;

// Where a measured fault's thread goes on: it ends there.
void EndMeasurement() { ExitThread(0); }

// Records the first fault of the measuring thread and sends the thread off the faulting
// instruction to its end.
LONG CALLBACK RecordFault(EXCEPTION_POINTERS *pointers) {
  if (GetCurrentThreadId() != g_measuringThread || g_raised) return EXCEPTION_CONTINUE_SEARCH;
  g_seen = *pointers->ExceptionRecord;
  g_raised = true;
  CONTEXT *context = pointers->ContextRecord;
#ifdef _WIN64
  context->Rsp = (context->Rsp & ~static_cast<DWORD64>(15)) - 8;
  context->Rip = reinterpret_cast<DWORD64>(&EndMeasurement);
#else
  context->Eip = reinterpret_cast<DWORD>(&EndMeasurement);
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

// The x87 division under the helper's control word, which unmasks zero-divide.
void FaultX87UnderHelperWord() {
  unsigned short word = 0x1332;
  asm volatile("fninit\n\tfldcw %0" : : "m"(word));
  FaultFpuDivide();
}

struct Measurement {
  FaultKind kind;
  void (*fault)();
  const char *site;
  DWORD trueCode;
};

DWORD WINAPI MeasuringThread(void *parameter) {
  static_cast<const Measurement *>(parameter)->fault();
  return 0;
}

// Runs one fault on a thread of its own; a thread that neither faults nor ends within
// ten seconds counts as not raised.
FaultFacts Measure(const Measurement &measurement) {
  g_raised = false;
  HANDLE thread = CreateThread(nullptr, 0, MeasuringThread, const_cast<Measurement *>(&measurement), CREATE_SUSPENDED,
                               &g_measuringThread);
  FaultFacts facts = {false, 0, measurement.trueCode, 0, 0};
  if (thread == nullptr) return facts;
  ResumeThread(thread);
  if (WaitForSingleObject(thread, 10000) != WAIT_OBJECT_0) TerminateThread(thread, 1);
  CloseHandle(thread);
  if (!g_raised) return facts;
  facts.raised = true;
  facts.code = g_seen.ExceptionCode;
  facts.address = reinterpret_cast<ULONG_PTR>(g_seen.ExceptionAddress);
  facts.offset = static_cast<LONG_PTR>(facts.address - reinterpret_cast<ULONG_PTR>(measurement.site));
  return facts;
}

}  // namespace

PlatformFacts MeasurePlatform() {
  static const Measurement k_measurements[] = {
      {k_faultAccess, FaultAccessViolation, AccessViolationSite, EXCEPTION_ACCESS_VIOLATION},
      {k_faultIntDivide, FaultIntegerDivide, IntegerDivideSite, EXCEPTION_INT_DIVIDE_BY_ZERO},
      {k_faultPrivileged, FaultPrivileged, PrivilegedSite, EXCEPTION_PRIV_INSTRUCTION},
      {k_faultX87, FaultX87UnderHelperWord, FpuWaitSite, EXCEPTION_FLT_DIVIDE_BY_ZERO},
  };
  PlatformFacts facts = {};
  void *handler = AddVectoredExceptionHandler(1, RecordFault);
  for (const Measurement &measurement : k_measurements) {
    facts.faults[measurement.kind] = Measure(measurement);
    const FaultFacts &fault = facts.faults[measurement.kind];
    if (fault.raised && fault.code != fault.trueCode) facts.emulated = true;
  }
  RemoveVectoredExceptionHandler(handler);
  facts.codePage = GetACP();
  USEROBJECTFLAGS flags = {};
  DWORD needed = 0;
  facts.stationVisible =
      !GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, &needed) ||
      (flags.dwFlags & WSF_VISIBLE) != 0;
  return facts;
}
