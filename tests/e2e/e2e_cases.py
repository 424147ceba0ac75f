"""The end-to-end cases: one row a case, the row says what it checks.

A row gives the helper's raw command line (%EXE% stands for the Windows path of the
copy of comreg32.exe under test), the test library's mode, whether the driver opens
an "IEFrame" window first, where the library copies lie, and what must happen: the
exit status, the message boxes (each "Runtime error N at ADDRESS", caption "Error",
one OK button, no icon, no owner) and the library log's events in order.

The log's events: "attach" and "detach" from the library's DllMain, one line per
export call, "site" (the fault address the library is about to fault at) and
"box-dismissed", which the driver writes just before it presses OK. So every case
with a box also checks that the library is unloaded only after the box is gone, and
the exact event list checks that each export ran exactly once and nothing else ran.
Every status of a fault case lies in 200-255, so the probe (0 or 11) cannot have
decided it.
"""

from dataclasses import dataclass, field, replace

LOGGED_SITE = "logged-site"  # the box address is the fault site the library logged
# Where the platform dispatched another code than real hardware raises: the error
# number that the helper's table gives for the code the library logged first-chance.
DISPATCHED = "dispatched"
# A fault on a thread of the library's ends the process with the dispatched code itself.
DISPATCHED_CODE = "dispatched-code"

X64 = ("x86_64",)
BOTH = ("x86_64", "i686")

# The helper's error numbers, to judge a code that only the platform chose.
ERROR_NUMBERS = {
    0xC0000005: 216, 0xC000008C: 201, 0xC000008D: 206, 0xC000008E: 200, 0xC000008F: 207, 0xC0000090: 207,
    0xC0000091: 205, 0xC0000092: 207, 0xC0000093: 206, 0xC0000094: 200, 0xC0000095: 215, 0xC0000096: 218,
    0xC00000FD: 202, 0xC000013A: 217, 0x0EEDFADE: 217,
}


def error_number_for(code):
    return ERROR_NUMBERS.get(code, 255)


@dataclass
class Box:
    # An error number, or DISPATCHED.
    number: object
    # LOGGED_SITE, an exact address, or None when only the layout is known (a code
    # raised with RaiseException faults inside the system's own RaiseException).
    address: object = None


@dataclass
class Emulated:
    """How a row is judged where emulation makes the platform report a fault otherwise
    than a processor would: 32-bit Wine under qemu's user-mode emulation dispatches
    hardware faults under other codes (and raises no x87 exception); in the 32-bit
    machine the emulated FPU records no instruction address. Unset fields keep the
    row's own values."""
    why: str
    exit: object = DISPATCHED
    events: list = None
    boxes: list = None
    # The code the platform must dispatch first, where it is still known.
    code: int = None


@dataclass
class Case:
    name: str
    checks: str
    line: bytes
    # An exit status, or DISPATCHED_CODE.
    exit: object
    events: list
    mode: str = "ok"
    window: bool = False
    # Started on a desktop of a window station without WSF_VISIBLE, as a service starts it.
    hidden_station: bool = False
    # beside: the library next to the exe; space: the same, in a folder whose name has
    # spaces; none: no copy; cwd_only / path_only: a copy only in the current folder /
    # in a folder on PATH; beside_and_cwd: copies in both.
    layout: str = "beside"
    library: str = "test"  # or "no_exports"
    # With pad_to, the %PAD% in the line becomes pad_byte repeated until the line,
    # with the exe path in place, is exactly pad_to bytes long.
    pad_to: int = 0
    pad_byte: bytes = b"A"
    boxes: list = field(default_factory=list)
    # The exception code the platform must dispatch first (the library logs it), where
    # real hardware decides it.
    code: int = None
    # The x87 control word the library must find in force in its routine.
    control_word: int = None
    arches: tuple = BOTH
    qemu: Emulated = None
    # Also run on the shipped exe in the 32-bit machine (a real 32-bit kernel under
    # full-system emulation): AS_ON_HARDWARE, or an Emulated entry where that machine
    # reports a documented difference.
    machine: object = None


EMULATED_ARCHES = ("i686",)  # 32-bit Wine runs through qemu-i386 on this kernel
AS_ON_HARDWARE = "as on hardware"


def judged_as(case, arch, machine=False):
    """The row as it is judged on ARCH (in the 32-bit machine when MACHINE), and why it
    differs from the row itself (None when it does not)."""
    if machine:
        emulated = None if case.machine == AS_ON_HARDWARE else case.machine
    else:
        emulated = case.qemu if arch in EMULATED_ARCHES else None
    if emulated is None:
        return case, None
    return replace(case, exit=emulated.exit, code=emulated.code,
                   events=case.events if emulated.events is None else emulated.events,
                   boxes=case.boxes if emulated.boxes is None else emulated.boxes), emulated.why


def lock_of(case, arch):
    """The CTest resource lock of a case: probe windows of concurrent cases would change
    each other's status, so a case that opens one or expects the probe's 0 or 11 holds it."""
    judged, _ = judged_as(case, arch)
    return "ieframe_window" if judged.window or judged.exit in (0, 11) else "-"


EXE = b'"%EXE%"'
REGISTER = EXE + b" -rs32"
UNREGISTER = EXE + b" -urs32"

NOT_LOADED = []
REGISTERED = ["attach", "DllRegisterServer", "detach"]
UNREGISTERED = ["attach", "DllUnregisterServer", "detach"]
LOADED_ONLY = ["attach", "detach"]
FAULT_AT_SITE = ["attach", "DllRegisterServer", "site", "exception", "box-dismissed", "detach"]
FAULT_WITH_BOX = ["attach", "DllRegisterServer", "exception", "box-dismissed", "detach"]
# The library's first-chance log leaves a stack overflow out (no stack to write with).
OVERFLOW_WITH_BOX = ["attach", "DllRegisterServer", "box-dismissed", "detach"]

# Windows caps a command line at 32,767 UTF-16 units including the terminating zero:
# Wine's CreateProcessA takes a line of 32,766 bytes and rejects 32,767 (error 87).
LONGEST_LINE = 32766

# qemu dispatches an access violation, a privileged instruction and a call through
# null as an illegal instruction (0xC000001D, 255) and an integer division by zero as
# an x87 invalid operation (0xC0000090, 207); the address is the true one.
QEMU_TRAP = Emulated("qemu dispatches the fault under another code; the address is right")
QEMU_TRAP_AT_SITE = Emulated("qemu dispatches the fault under another code; the address is right",
                             boxes=[Box(DISPATCHED, LOGGED_SITE)])


def raised(code, number, events=FAULT_WITH_BOX, machine=None):
    """A row for a code raised with RaiseException and no parameters."""
    return Case("raise_%08x_gives_%d" % (code, number), "RaiseException(0x%08X): %d and one box" % (code, number),
                REGISTER, number, events, mode="raise:%08X" % code, boxes=[Box(number)],
                code=code if "exception" in events else None, machine=machine)


CASES = [
    # The probe alone.
    Case("no_argument_exits_0", "no argument, no window: no load, status 0", EXE, 0, NOT_LOADED),
    Case("no_argument_with_window_exits_11", "no argument, an IEFrame window: status 11", EXE, 11, NOT_LOADED,
         window=True),
    Case("empty_line_exits_0", "an empty command line: no call, status from the probe", b"", 0, NOT_LOADED),
    Case("only_spaces_with_window_exits_11", "a line of spaces only: no call, the probe still runs", b"    ", 11,
         NOT_LOADED, window=True),
    # The keywords.
    Case("register_calls_export_once", "-rs32 calls DllRegisterServer once and nothing else", REGISTER, 0,
         REGISTERED),
    Case("register_with_window_exits_11", "-rs32 with a window: the call, then status 11", REGISTER, 11, REGISTERED,
         window=True),
    Case("unregister_calls_export_once", "-urs32 calls DllUnregisterServer once", UNREGISTER, 0, UNREGISTERED),
    Case("unregister_with_window_exits_11", "-urs32 with a window: the call, then status 11", UNREGISTER, 11,
         UNREGISTERED, window=True),
    Case("register_failure_is_ignored", "a routine returning E_FAIL leaves status 0", REGISTER, 0, REGISTERED,
         mode="fail"),
    Case("register_failure_with_window_exits_11", "E_FAIL with a window: status 11", REGISTER, 11, REGISTERED,
         mode="fail", window=True),
    Case("quoted_keyword_matches", 'argument "-rs32" in quotes is the keyword', EXE + b' "-rs32"', 0, REGISTERED),
    Case("upper_case_keyword_no_call", "-RS32 is not the keyword", EXE + b" -RS32", 0, NOT_LOADED),
    Case("keyword_with_suffix_no_call", "-rs32x is not the keyword", EXE + b" -rs32x", 0, NOT_LOADED),
    Case("only_first_argument_counts", "-urs32 -rs32 unregisters only", EXE + b" -urs32 -rs32", 0, UNREGISTERED),
    Case("keyword_as_second_argument_no_call", "x -rs32: argument 1 is x, no call", EXE + b" x -rs32", 0, NOT_LOADED),
    Case("empty_quotes_before_keyword_skipped", '"" before -rs32 is no token: -rs32 is argument 1',
         EXE + b' "" -rs32', 0, REGISTERED),
    Case("token0_quoted_with_space", "token 0 a quoted path with spaces", REGISTER, 0, REGISTERED, layout="space"),
    Case("token0_other_name", "token 0 need not name the exe", b"setup.exe -rs32", 0, REGISTERED),
    Case("token0_unquoted_space_shifts_arguments", "an unquoted path with a space splits token 0: no call",
         b"C:\\Program Files\\comreg32.exe -rs32", 0, NOT_LOADED),
    # The library missing, or without the export.
    Case("library_missing_exits_0", "no library: no call, no box, status 0", REGISTER, 0, NOT_LOADED,
         layout="none"),
    Case("library_missing_with_window_exits_11", "no library, a window: status 11", REGISTER, 11, NOT_LOADED,
         layout="none", window=True),
    Case("missing_export_exits_216", "library without DllRegisterServer: 216, no box", REGISTER, 216, LOADED_ONLY,
         library="no_exports"),
    Case("missing_export_with_window_still_216", "216 even with a window open: no probe", REGISTER, 216,
         LOADED_ONLY, library="no_exports", window=True),
    Case("missing_unregister_export_exits_216", "library without DllUnregisterServer: 216, no box", UNREGISTER,
         216, LOADED_ONLY, library="no_exports"),
    # Bad command lines: never a crash, a call only when argument 1 is exactly a keyword.
    Case("longest_line_keyword_first_calls", "a %d-byte line, -rs32 then a long argument 2" % LONGEST_LINE,
         REGISTER + b" %PAD%", 0, REGISTERED, pad_to=LONGEST_LINE),
    Case("longest_line_keyword_at_end_calls", "a %d-byte line of spaces ending in -rs32: all of it arrives"
         % LONGEST_LINE, EXE + b"%PAD%-rs32", 0, REGISTERED, pad_to=LONGEST_LINE, pad_byte=b" "),
    Case("longest_line_one_argument_no_call", "a %d-byte argument 1 that starts with -rs32" % LONGEST_LINE,
         REGISTER + b"%PAD%", 0, NOT_LOADED, pad_to=LONGEST_LINE),
    Case("unclosed_quote_ends_at_line_end", 'an unclosed quote "-rs32 ends the token at the line end',
         EXE + b' "-rs32', 0, REGISTERED),
    Case("unclosed_quote_takes_spaces", 'an unclosed quote "-rs32 x keeps the space: no call',
         EXE + b' "-rs32 x', 0, NOT_LOADED),
    Case("control_bytes_separate", "0x01 and 0x1F separate like spaces", EXE + b"\x01-rs32\x1f", 0, REGISTERED),
    Case("tab_separates", "a tab separates", EXE + b"\t-rs32", 0, REGISTERED),
    Case("del_does_not_separate", "0x7F is no separator: all of it is token 0", b"setup\x7f-rs32", 0, NOT_LOADED),
    Case("nbsp_does_not_separate", "0xA0 is no separator: all of it is token 0", b"setup\xa0-rs32", 0, NOT_LOADED),
    # Faults in the library: the error number, the one box, and detach only after it.
    Case("av_reports_216_at_site", "access violation: 216 at the faulting instruction", REGISTER, 216,
         FAULT_AT_SITE, mode="av", boxes=[Box(216, LOGGED_SITE)], code=0xC0000005, qemu=QEMU_TRAP_AT_SITE,
         machine=AS_ON_HARDWARE),
    Case("av_in_unregister_reports_216", "the same fault in DllUnregisterServer", UNREGISTER, 216,
         ["attach", "DllUnregisterServer", "site", "exception", "box-dismissed", "detach"], mode="av",
         boxes=[Box(216, LOGGED_SITE)], code=0xC0000005, qemu=QEMU_TRAP_AT_SITE, machine=AS_ON_HARDWARE),
    Case("intdiv0_reports_200_at_site", "integer division by zero: 200 at the div", REGISTER, 200, FAULT_AT_SITE,
         mode="intdiv0", boxes=[Box(200, LOGGED_SITE)], code=0xC0000094, qemu=QEMU_TRAP_AT_SITE,
         machine=AS_ON_HARDWARE),
    Case("fpudiv0_reports_200_at_site", "x87 1/0 under the helper's control word 0x1332: 200 at the fwait",
         REGISTER, 200, ["attach", "DllRegisterServer", "control-word", "site", "exception", "box-dismissed",
                         "detach"], mode="fpudiv0", boxes=[Box(200, LOGGED_SITE)], code=0xC000008E,
         control_word=0x1332,
         qemu=Emulated("qemu raises no unmasked x87 exception: the division returns and the run ends normally,"
                       " with 0x1332 in force in the routine", exit=0, boxes=[],
                       events=["attach", "DllRegisterServer", "control-word", "site", "detach"]),
         machine=Emulated("the machine's emulated FPU records no instruction address: the platform reports the"
                          " fault at address 0, so there is no box", exit=200, boxes=[], code=0xC000008E,
                          events=["attach", "DllRegisterServer", "control-word", "site", "exception", "detach"])),
    Case("priv_reports_218_at_site", "hlt in user mode: 218 at the hlt", REGISTER, 218, FAULT_AT_SITE, mode="priv",
         boxes=[Box(218, LOGGED_SITE)], code=0xC0000096, qemu=QEMU_TRAP_AT_SITE, machine=AS_ON_HARDWARE),
    # Under Wine 8 x64 the exception dispatcher runs out of the ~4 KB left below the
    # guard page before it calls any frame handler; the helper's vectored relay is
    # called early enough to move to the reserve stack. Not under qemu: it does not
    # report a real stack overflow as one (the 32-bit process hangs); the raised
    # 0xC00000FD row below takes the x86 relay there, and the 32-bit machine runs the
    # real one, where the x86 relay runs on an exhausted stack.
    Case("stackoverflow_reports_202", "unbounded recursion: 202 and one box", REGISTER, 202, OVERFLOW_WITH_BOX,
         mode="stackoverflow", boxes=[Box(202)], arches=X64, machine=AS_ON_HARDWARE),
    Case("nullcall_216_without_box", "a call through null faults at address 0: 216, no box", REGISTER, 216,
         ["attach", "DllRegisterServer", "exception", "detach"], mode="nullcall", code=0xC0000005, qemu=QEMU_TRAP,
         machine=AS_ON_HARDWARE),
    raised(0xC000008C, 201),
    raised(0xC000008D, 206),
    raised(0xC000008E, 200),
    raised(0xC000008F, 207),
    raised(0xC0000090, 207),
    raised(0xC0000091, 205),
    raised(0xC0000092, 207),
    raised(0xC0000093, 206),
    raised(0xC0000094, 200),
    raised(0xC0000095, 215),
    raised(0xC0000096, 218),
    # On i686 this is the one way to take the relay to the reserve stack under qemu.
    raised(0xC00000FD, 202, events=OVERFLOW_WITH_BOX, machine=AS_ON_HARDWARE),
    raised(0xC0000005, 216),
    raised(0xE0001234, 255, machine=AS_ON_HARDWARE),
    Case("langexc_reports_217_at_parameter", "0x0EEDFADE with parameter 0x12345678: 217 at 12345678", REGISTER,
         217, FAULT_WITH_BOX, mode="langexc", boxes=[Box(217, 0x12345678)], code=0x0EEDFADE),
    Case("langexc0_reports_217", "0x0EEDFADE without parameters: 217 at the exception address", REGISTER, 217,
         FAULT_WITH_BOX, mode="langexc0", boxes=[Box(217)], code=0x0EEDFADE),
    # A C++ throw out of the export: on x64, mingw-w64 throws through RaiseException
    # with code 0x20474343 ("GCC "); on x86 the library raises what a library built
    # with the platform's own compiler raises, 0xE06D7363 with three parameters.
    Case("cxxthrow_reports_255", "a C++ throw out of the export: 255 and one box", REGISTER, 255, FAULT_WITH_BOX,
         mode="cxxthrow", boxes=[Box(255)]),
    # Not the helper's thread: Wine's thread start routine ends the whole process with
    # the exception code as status (0xC0000005), without DLL detach and with no box.
    Case("threadfault_is_not_reported", "a fault on a thread the library started: no box of the helper's",
         REGISTER, 0xC0000005, ["attach", "DllRegisterServer", "exception"], mode="threadfault", code=0xC0000005,
         qemu=Emulated("qemu dispatches the thread's fault under another code, which becomes the status",
                       exit=DISPATCHED_CODE)),
    # Started where no one can see a window (a service's window station, as a per-machine
    # installer's custom action or a deployment agent running as SYSTEM): no box, which
    # no one could answer; the run ends at once with its status. The probe there sees
    # only its own desktop, so the driver's window is not found.
    Case("hidden_station_av_exits_216_without_box", "no visible station: an access violation ends the run at once,"
         " 216", REGISTER, 216, ["attach", "DllRegisterServer", "site", "exception", "detach"], mode="av",
         code=0xC0000005, hidden_station=True, qemu=QEMU_TRAP),
    Case("hidden_station_langexc_exits_217_without_box", "no visible station: 0x0EEDFADE ends the run at once, 217",
         REGISTER, 217, ["attach", "DllRegisterServer", "exception", "detach"], mode="langexc", code=0x0EEDFADE,
         hidden_station=True),
    Case("hidden_station_raise_e0001234_exits_255_without_box", "no visible station: a code outside the table, 255",
         REGISTER, 255, ["attach", "DllRegisterServer", "exception", "detach"], mode="raise:E0001234",
         code=0xE0001234, hidden_station=True),
    Case("hidden_station_missing_export_exits_216", "no visible station: a library without the routine, 216",
         REGISTER, 216, LOADED_ONLY, library="no_exports", hidden_station=True),
    Case("hidden_station_normal_end_window_unseen_exits_0", "no visible station: a normal end, and the probe does"
         " not see the IEFrame window of the visible desktop: 0", REGISTER, 0, REGISTERED, window=True,
         hidden_station=True),
    # Library search: only the copy next to the exe may be loaded.
    Case("library_in_cwd_only_not_loaded", "a copy only in the current folder is not loaded", REGISTER, 0,
         NOT_LOADED, layout="cwd_only"),
    Case("library_on_path_only_not_loaded", "a copy only in a folder on PATH is not loaded", REGISTER, 0,
         NOT_LOADED, layout="path_only"),
    Case("library_beside_exe_wins_over_cwd", "copies next to the exe and in the current folder: the exe's",
         REGISTER, 0, REGISTERED, layout="beside_and_cwd"),
]
