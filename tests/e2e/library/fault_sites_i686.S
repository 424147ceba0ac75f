// x86 fault sites for the test library; see fault_sites.h.
        .section .rdata, "dr"
        .p2align 3
zero_double:
        .double 0.0

        .text
        .globl  _FaultAccessViolation
        .globl  _AccessViolationSite
_FaultAccessViolation:
        movl    $1, %eax
_AccessViolationSite:
        movl    %eax, 16
        ret

        .globl  _FaultIntegerDivide
        .globl  _IntegerDivideSite
_FaultIntegerDivide:
        xorl    %ecx, %ecx
        movl    $1, %eax
        xorl    %edx, %edx
_IntegerDivideSite:
        divl    %ecx
        ret

        .globl  _FaultFpuDivide
        .globl  _FpuDivideSite
        .globl  _FpuWaitSite
_FaultFpuDivide:
        fld1
_FpuDivideSite:
        fdivl   zero_double
_FpuWaitSite:
        fwait
        fstp    %st(0)
        ret

        .globl  _FaultPrivileged
        .globl  _PrivilegedSite
_FaultPrivileged:
_PrivilegedSite:
        hlt
        ret
