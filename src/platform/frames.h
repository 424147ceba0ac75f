// The processor- and frame-level plumbing of fault handling: the only part of the
// helper that differs between the x86 and x64 builds (and the test fake).
#pragma once

#include "platform/api.h"

// Runs body(state) inside a frame whose handler calls cleanup(state) while a fault
// unwinds the stack through it; every fault passes on in the search phase.
extern "C" void RunWithCleanup(void (*body)(void *), void *state, void (*cleanup)(void *));

// Where a clean-up frame keeps its state and its clean-up routine, given the frame
// that the platform hands to its handler.
struct CleanupSlot {
  void *state;
  void (*cleanup)(void *);
};
CleanupSlot *CleanupSlotOfFrame(void *establisherFrame);

// Resets the x87 unit and loads the given control word.
void ResetFpu(uint16_t controlWord);

// Makes the faulting thread resume, once the relay answers "continue execution", on
// the reserve stack kept in the entry point's frame, in a routine that calls
// ContinueStackOverflowFault with the faulting frames still in place behind it, so
// that a fault raised there is dispatched, and unwound, through them.
void RedirectToFaultReserve(CONTEXT *context);

// Unwinds the stack down to the entry point's frame, running every clean-up frame in
// between, then continues at the entry point's continuation point with the stack
// pointer back at that frame; the continuation calls ReportAcceptedFault.
extern "C" [[noreturn]] void UnwindToTopFrame(EXCEPTION_RECORD *record);

// Takes the top-level fault handler out of the main thread's handler chain.
void WithdrawTopLevelFrame();

// True once WithdrawTopLevelFrame has run. The x64 entry frame keeps its handler (its
// unwind data names it) and the stack-overflow relay is a vectored handler, so both
// ask this and then let every fault pass.
bool TopLevelFrameWithdrawn();
