// Instructions that fault, each at a global label so the library can log the exact
// address the helper's report must show. Written in assembly (fault_sites_*.S) so
// the compiler can neither move nor remove them.
#pragma once

extern "C" {
// Writes to address 16, which is never mapped: an access violation at AccessViolationSite.
void FaultAccessViolation();
// Divides by a zero register: an integer division by zero at IntegerDivideSite.
void FaultIntegerDivide();
// Divides 1.0 by 0.0 on the x87 unit and waits: with zero-divide unmasked in the
// control word the fault is delivered at FpuWaitSite; with it masked the routine returns.
void FaultFpuDivide();
// Runs HLT, which user mode may not: a privileged instruction at PrivilegedSite.
void FaultPrivileged();

extern char AccessViolationSite[];
extern char IntegerDivideSite[];
extern char FpuDivideSite[];
extern char FpuWaitSite[];
extern char PrivilegedSite[];
}
