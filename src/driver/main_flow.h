// The helper's own logic: argument 1 selects a library call, then the probe for an
// Internet Explorer main window sets the exit status.
#pragma once

// Runs the main flow once and ends the process through the exit sequence.
[[noreturn]] void RunMainFlow();

// The process's life after the outermost fault frame is in place: the stack-overflow
// relay, safe library loading, module start-up, the main flow and the exit sequence.
extern "C" [[noreturn]] void StartProcess();
