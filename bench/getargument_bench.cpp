// Cuts argument 1 from a command line of N bytes on the fake platform, for callgrind:
// `getargument_bench N` builds the line "p " followed by N-2 bytes of 'x' (one long
// argument that fills the line) and calls GetArgument(1, ...) once. The benchmark
// script counts only GetArgument's instructions (--toggle-collect).
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "cmdline/get_argument.h"
#include "exit/memory.h"
#include "fake_platform.h"

constexpr unsigned long k_shortestLine = 3;     // token 0, a blank and one byte of argument 1
constexpr unsigned long k_longestLine = 32767;  // the longest command line Windows passes

int main(int argc, char **argv) {
  unsigned long length = argc == 2 ? strtoul(argv[1], nullptr, 10) : 0;
  if (length < k_shortestLine || length > k_longestLine) {
    fprintf(stderr, "usage: getargument_bench N (N from %lu to %lu bytes)\n", k_shortestLine, k_longestLine);
    return 2;
  }
  ResetFakePlatform();
  StartMemory();
  SetFakeCommandLine("p " + std::string(length - 2, 'x'));
  ArgumentString argument = {nullptr, 0};
  GetArgument(1, &argument);
  bool cutRight = argument.length == length - 2;
  EmptyArgument(&argument);
  StopMemory();
  if (!cutRight) {
    fprintf(stderr, "argument 1 has the wrong length\n");
    return 1;
  }
  return 0;
}
