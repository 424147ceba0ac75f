// x64 fault sites for the test library; see fault_sites.h.
        .section .rdata, "dr"
        .p2align 3
zero_double:
        .double 0.0

        .text
        .globl  FaultAccessViolation
        .globl  AccessViolationSite
        .seh_proc FaultAccessViolation
FaultAccessViolation:
        .seh_endprologue
        movl    $1, %eax
AccessViolationSite:
        movl    %eax, 16
        ret
        .seh_endproc

        .globl  FaultIntegerDivide
        .globl  IntegerDivideSite
        .seh_proc FaultIntegerDivide
FaultIntegerDivide:
        .seh_endprologue
        xorl    %ecx, %ecx
        movl    $1, %eax
        xorl    %edx, %edx
IntegerDivideSite:
        divl    %ecx
        ret
        .seh_endproc

        .globl  FaultFpuDivide
        .globl  FpuDivideSite
        .globl  FpuWaitSite
        .seh_proc FaultFpuDivide
FaultFpuDivide:
        .seh_endprologue
        fld1
FpuDivideSite:
        fdivl   zero_double(%rip)
FpuWaitSite:
        fwait
        fstp    %st(0)
        ret
        .seh_endproc

        .globl  FaultPrivileged
        .globl  PrivilegedSite
        .seh_proc FaultPrivileged
FaultPrivileged:
        .seh_endprologue
PrivilegedSite:
        hlt
        ret
        .seh_endproc
