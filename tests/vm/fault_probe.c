/* Raises one hardware fault and prints the code that reaches a vectored handler.
 *
 *   fault_probe.exe div   integer division by zero (0xC0000094 on a real x86 kernel)
 *   fault_probe.exe av    write to address 16      (0xC0000005)
 *   fault_probe.exe none  no fault, exit status 0 (the cost of a process start)
 *
 * Prints "code=0x........ address=0x........" and ends with the code as its exit
 * status (Linux sees its low byte). Under qemu's user-mode emulation the two faults
 * arrive as 0xC0000090 and 0xC000001D, which is what the machine is for. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static LONG CALLBACK report(EXCEPTION_POINTERS *info) {
  printf("code=0x%08lX address=%p\n", (unsigned long)info->ExceptionRecord->ExceptionCode,
         info->ExceptionRecord->ExceptionAddress);
  fflush(stdout);
  ExitProcess(info->ExceptionRecord->ExceptionCode);
  return EXCEPTION_CONTINUE_SEARCH;
}

int main(int argc, char **argv) {
  if (argc != 2) return 2;
  AddVectoredExceptionHandler(1, report);
  if (strcmp(argv[1], "div") == 0) {
    volatile int zero = 0;
    return 100 / zero; /* cppcheck-suppress zerodiv */
  }
  if (strcmp(argv[1], "av") == 0) *(volatile int *)16 = 1;
  if (strcmp(argv[1], "none") == 0) return 0;
  return 3;
}
