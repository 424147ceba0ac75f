// Cutting arguments from the process's command line.
#pragma once

#include "cmdline/argument_string.h"

// Sets `result` to argument `index`: 0 is the running executable's path, 1 and up
// are cut from the command line (empty when there is no such argument), and a
// negative index gives the empty string.
void GetArgument(int32_t index, ArgumentString *result);

// Cuts the token that starts at `position` (after any white space and empty quoted
// pairs) into `result` and returns the position of the white-space byte or the
// terminating zero that ended it.
const char *NextToken(const char *position, ArgumentString *result);
