// The outermost fault handler of the main thread: turns a fault that nothing else
// handles into its error number and one report, after unwinding the stack.
#pragma once

#include "platform/api.h"

constexpr uint16_t k_fpuControlWord = 0x1332;

extern "C" EXCEPTION_DISPOSITION TopLevelFaultHandler(EXCEPTION_RECORD *record, void *establisherFrame,
                                                      CONTEXT *context, void *dispatcherContext);

// Handler of a clean-up frame: runs the frame's clean-up while an unwind passes
// through it and lets every fault pass in the search phase.
extern "C" EXCEPTION_DISPOSITION CleanupFrameHandler(EXCEPTION_RECORD *record, void *establisherFrame, CONTEXT *context,
                                                     void *dispatcherContext);

// Offers the fault to UnhandledExceptionFilter and, unless it declines, unwinds to
// the entry point's frame; returns only when the filter declines.
void AcceptFault(EXCEPTION_RECORD *record, CONTEXT *context);

// Runs on the reserve stack after a stack overflow: the same as AcceptFault, for
// the fault saved by the handler. Does not return.
extern "C" [[noreturn]] void ContinueStackOverflowFault();

// The entry point's continuation point calls this once the unwind is done.
extern "C" [[noreturn]] void ReportAcceptedFault();

// Set by EndProcess: from then on the handler lets every fault pass.
extern bool g_topLevelWithdrawn;
