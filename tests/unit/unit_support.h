// What the unit tests share: a fresh fake process, cutting one argument, reading the log.
#pragma once

#include <stdint.h>

#include <string>

#include "cmdline/argument_string.h"
#include "fake_platform.h"

// Resets the fake and the helper's globals, then runs the module start-up steps
// (the helper's heap among them), as the entry point does before the main flow.
void StartFreshProcess();

// The bytes of an argument string.
std::string TextOf(const ArgumentString &text);

// Argument `index` of `line` as the helper cuts it; the string is released again.
std::string CutArgument(const std::string &line, int32_t index);

// Position in the event log of the first event that starts with `prefix`, or -1.
int FirstEvent(const std::string &prefix);

// Position in the event log of the last event that starts with `prefix`, or -1.
int LastEvent(const std::string &prefix);

// How many events start with `prefix`.
int CountEvents(const std::string &prefix);
