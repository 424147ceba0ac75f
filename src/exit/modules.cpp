#include "exit/modules.h"

#include "exit/memory.h"

static const ModuleSteps k_modules[] = {
    {StartMemory, StopMemory},
};

const ModuleSteps *TEST_SEAM g_moduleTable = k_modules;
TEST_SEAM int g_moduleCount = sizeof(k_modules) / sizeof(k_modules[0]);
static int g_modulesBegun = 0;

void RunStartupSteps() {
  while (g_modulesBegun < g_moduleCount) {
    const ModuleSteps &module = g_moduleTable[g_modulesBegun];
    ++g_modulesBegun;
    module.startup();
  }
}

void RunShutdownSteps() {
  while (g_modulesBegun > 0) {
    --g_modulesBegun;
    g_moduleTable[g_modulesBegun].shutdown();
  }
}
