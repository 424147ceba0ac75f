// The x86 entry point and frame plumbing: the outermost registration record at
// fs:[0], the fault reserve, the continuation point and the clean-up frames.

#define FAULT_RESERVE 0x10000
#define PAGE 0x1000

        .text

// The process starts here. Its frame holds, from the top: the fault reserve (stack
// on which a stack overflow is handled), the outermost registration record, and the
// continuation point's stack.
        .globl  _Entry
_Entry:
        pushl   %ebp
        movl    %esp, %ebp
        // Commit the reserve page by page: the stack grows only through its guard page.
        movl    $(FAULT_RESERVE / PAGE), %ecx
1:      subl    $PAGE, %esp
        orl     $0, (%esp)
        decl    %ecx
        jnz     1b
        leal    -16(%ebp), %eax
        andl    $-16, %eax
        movl    %eax, _g_faultReserveTop
        // Registration record {Next, Handler}, linked as the outermost handler.
        pushl   $_TopLevelFaultHandler
        pushl   %fs:0
        movl    %esp, %fs:0
        movl    %esp, _g_topLevelRecord
        andl    $-16, %esp
        movl    %esp, _g_topLevelStack
        call    _StartProcess
        .globl  _TopFrameContinuation
_TopFrameContinuation:
        call    _ReportAcceptedFault
        int3

// void UnwindToTopFrame(EXCEPTION_RECORD *record): runs every clean-up frame above
// the outermost record, then continues at the continuation point on the entry
// point's own stack.
        .globl  _UnwindToTopFrame
_UnwindToTopFrame:
        movl    4(%esp), %eax
        pushl   $0                      // return value
        pushl   %eax                    // exception record
        pushl   $0                      // target address: RtlUnwind returns here
        pushl   _g_topLevelRecord
        call    *__imp__RtlUnwind@16
        // RtlUnwind need not keep ebx, esi or edi; nothing below uses them.
        movl    _g_topLevelStack, %esp
        jmp     _TopFrameContinuation

// Where a stack overflow resumes, on the fault reserve.
        .globl  _FaultReserveEntry
_FaultReserveEntry:
        call    _ContinueStackOverflowFault
        int3

// void RunWithCleanup(body, state, cleanup): calls body(state) under a registration
// record {Next, Handler, state, cleanup} whose handler runs cleanup(state) on unwind.
        .globl  _RunWithCleanup
_RunWithCleanup:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   16(%ebp)                // cleanup
        pushl   12(%ebp)                // state
        pushl   $_CleanupFrameHandler
        pushl   %fs:0
        movl    %esp, %fs:0
        pushl   12(%ebp)
        call    *8(%ebp)
        addl    $4, %esp
        popl    %eax                    // Next
        movl    %eax, %fs:0
        leave
        ret
