// Module start-up and shutdown steps: run once each, shut down in reverse order.
#pragma once

#include "platform/api.h"

struct ModuleSteps {
  void (*startup)();
  void (*shutdown)();
};

// The modules in start-up order; tests may point these at a table of their own.
extern const ModuleSteps *TEST_SEAM g_moduleTable;
extern TEST_SEAM int g_moduleCount;

// Runs every module's start-up step in order; a module counts as begun before its step runs.
void RunStartupSteps();

// Runs the shutdown step of every begun module, last begun first. The count is lowered
// before each step runs, so a step that faults is never run again and a later call
// goes on with the next one.
void RunShutdownSteps();
