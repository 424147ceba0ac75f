// The x64 entry point and frame plumbing: frames whose handlers are given by unwind
// data, the fault reserve, the continuation point and the clean-up frames.

#define FAULT_RESERVE 0x10000
#define PAGE 0x1000

        .text

// The process starts here. Its frame, addressed through rbp, holds the fault reserve
// (stack on which a stack overflow is handled); its handler is the outermost one.
        .globl  Entry
        .def    Entry; .scl 2; .type 32; .endef
        .seh_proc Entry
Entry:
        // Commit the reserve page by page: the stack grows only through its guard page.
        movq    %rsp, %rax
        movl    $(FAULT_RESERVE / PAGE + 1), %ecx
1:      subq    $PAGE, %rax
        orq     $0, (%rax)
        decl    %ecx
        jnz     1b
        pushq   %rbp
        .seh_pushreg %rbp
        movq    %rsp, %rbp
        .seh_setframe %rbp, 0
        subq    $(FAULT_RESERVE + 32), %rsp
        .seh_stackalloc FAULT_RESERVE + 32
        .seh_endprologue
        .seh_handler TopLevelFaultHandler, @except, @unwind
        movq    %rbp, g_topLevelFrame(%rip)
        leaq    -16(%rbp), %rax
        movq    %rax, g_faultReserveTop(%rip)
        call    StartProcess
// RtlUnwindEx resumes here, with rsp and rbp back at this frame.
        .globl  TopFrameContinuation
TopFrameContinuation:
        call    ReportAcceptedFault
        int3
        .seh_endproc

// Where a stack overflow resumes, on the fault reserve, below a machine frame that
// holds the faulting rip and rsp: unwinding from here leads back through the
// faulting frames, so their clean-up still runs.
        .globl  FaultReserveEntry
        .def    FaultReserveEntry; .scl 2; .type 32; .endef
        .seh_proc FaultReserveEntry
FaultReserveEntry:
        .seh_pushframe
        subq    $40, %rsp
        .seh_stackalloc 40
        .seh_endprologue
        call    ContinueStackOverflowFault
        int3
        .seh_endproc

// void RunWithCleanup(body, state, cleanup): calls body(state) in a frame whose
// handler runs cleanup(state) on unwind; state and cleanup sit at frame + 32.
        .globl  RunWithCleanup
        .def    RunWithCleanup; .scl 2; .type 32; .endef
        .seh_proc RunWithCleanup
RunWithCleanup:
        subq    $56, %rsp
        .seh_stackalloc 56
        .seh_endprologue
        .seh_handler CleanupFrameHandler, @except, @unwind
        movq    %rdx, 32(%rsp)
        movq    %r8, 40(%rsp)
        movq    %rcx, %rax
        movq    %rdx, %rcx
        call    *%rax
        nop                             // keeps the return address out of the epilogue
        addq    $56, %rsp
        ret
        .seh_endproc
