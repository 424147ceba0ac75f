// Exit status, fault address, the one exit sequence and the fatal-error report.
#pragma once

#include <stdint.h>

extern int32_t g_exitStatus;
extern uintptr_t g_faultAddress;

constexpr unsigned k_messageLength = 29;
extern char g_messageBuffer[k_messageLength + 1];

// Shows the report if a fault is recorded and someone can answer it, runs the
// shutdown steps, withdraws the top-level fault handler and ends the process with the
// exit status.
[[noreturn]] void EndProcess();

// Records the error number as exit status and the fault address, then ends the process.
[[noreturn]] void FailWithError(uint8_t errorNumber, uintptr_t faultAddress);

// Fills the message buffer from the exit status and the fault address.
void BuildErrorMessage();

// False when the process's window station is not visible (one a service gives the
// processes it starts, such as a per-machine installer's custom actions): a box there
// waits for an OK that no one can press, so the run would never end. True in a
// visible station, and when the question itself fails.
bool ReportCanBeAnswered();

// Shows the message buffer in a box with no owner, caption "Error" and one OK button.
void ShowErrorMessage();
