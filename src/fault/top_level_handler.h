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

// Registers StackOverflowRelay for the main thread; runs before anything else can fault.
void InstallStackOverflowRelay();

// Vectored handler, called before any frame handler: a stack overflow on the main
// thread leaves too little stack to dispatch it to the frames (on 64-bit Wine the
// dispatcher itself overflows before it reaches one), so the relay saves the fault
// and resumes on the reserve stack, in ContinueStackOverflowFault, which handles it
// as TopLevelFaultHandler would. The library's own frame handlers therefore do not
// see the overflow; its clean-up still runs in the unwind. Every other fault passes.
extern "C" LONG WINAPI StackOverflowRelay(EXCEPTION_POINTERS *pointers);

// Runs on the reserve stack after a stack overflow: the same as AcceptFault, for the
// saved fault; if the filter declines it, raises it again for the platform. Does not
// return.
extern "C" [[noreturn]] void ContinueStackOverflowFault();

// The entry point's continuation point calls this once the unwind is done.
extern "C" [[noreturn]] void ReportAcceptedFault();

// Set once a stack overflow has been relayed to the reserve stack; at most once a run.
extern bool g_overflowRelayed;
