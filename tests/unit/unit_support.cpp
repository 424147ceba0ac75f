#include "unit_support.h"

#include "cmdline/get_argument.h"
#include "exit/modules.h"

void StartFreshProcess() {
  ResetFakePlatform();
  RunStartupSteps();
}

std::string TextOf(const ArgumentString &text) {
  if (text.length == 0) return std::string();
  return std::string(text.bytes, text.length);
}

std::string CutArgument(const std::string &line, int32_t index) {
  SetFakeCommandLine(line);
  ArgumentString argument = {nullptr, 0};
  GetArgument(index, &argument);
  std::string text = TextOf(argument);
  EmptyArgument(&argument);
  return text;
}

// True when the event starts with the prefix.
static bool StartsWith(const std::string &event, const std::string &prefix) {
  return event.compare(0, prefix.size(), prefix) == 0;
}

int FirstEvent(const std::string &prefix) {
  for (size_t i = 0; i < g_fake.events.size(); ++i) {
    if (StartsWith(g_fake.events[i], prefix)) return static_cast<int>(i);
  }
  return -1;
}

int LastEvent(const std::string &prefix) {
  for (size_t i = g_fake.events.size(); i-- > 0;) {
    if (StartsWith(g_fake.events[i], prefix)) return static_cast<int>(i);
  }
  return -1;
}

int CountEvents(const std::string &prefix) {
  int count = 0;
  for (const std::string &event : g_fake.events) count += StartsWith(event, prefix) ? 1 : 0;
  return count;
}
