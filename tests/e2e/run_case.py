#!/usr/bin/python3
"""Runs one end-to-end case of the helper under Wine and checks what it did.

  run_case.py --list --arch ARCH
      prints "name lock" for every case of that build ("-" when it needs no lock)
  run_case.py --arch ARCH --exe EXE --driver EXE --library DLL --no-exports-library DLL
              --prefix DIR --work DIR NAME
      lays out a fresh folder WORK/NAME, runs the driver there and checks the report
  run_case.py --machine-list
      prints the name of every case that also runs in the 32-bit machine
  run_case.py --arch i686 --machine-payload DIR --exe EXE --driver EXE --library DLL
              --no-exports-library DLL
      lays out every such case in DIR/cases and writes DIR/run.sh, which runs them all
      inside the machine (scripts/vm-run.sh) and leaves each one's report in its
      results folder under NAME/
  run_case.py --arch i686 --machine-results DIR NAME
      checks case NAME from what the machine brought back in DIR/NAME

The cases themselves are rows of e2e_cases.py.
"""

import argparse
import os
import shlex
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_cases  # noqa: E402

WINE = {"x86_64": "/usr/lib/wine/wine64", "i686": "/usr/lib/wine/wine"}
# The driver's own safety timeout; CTest's is larger, so the driver reports first.
HELPER_TIMEOUT = {"x86_64": 90, "i686": 90}
# Where no one can answer a box the run must end at once; a box would hold it until this.
HIDDEN_STATION_TIMEOUT = 30
DRIVER_MARGIN = 60
LIBRARY_NAME = "Zentrafin5x32.dll"
# The x87 control word's defined bits: the six exception masks, precision, rounding and
# infinity control. Reserved bit 6 reads back as 1 on real processors (0x1332 is stored
# as 0x1372), so it is left out of the comparison.
X87_DEFINED_BITS = 0x1F3F
EXE_NAME = "comreg32.exe"
DRIVER_NAME = "e2e_driver.exe"
# Inside the 32-bit machine: where the payload lies, and the driver's timeout, well
# inside the machine's own limit.
GUEST_PAYLOAD = "/run/comreg32/payload"
MACHINE_HELPER_TIMEOUT = 40
MACHINE_REPORT_FILES = ("driver.out", "driver.err", "driver.status", "library.log")


def windows_path(path):
    """The Wine path of a Linux path: drive Z: is the Linux root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def case_paths(case, folder, to_windows=windows_path):
    """The folders and Windows paths of a case laid out in FOLDER; TO_WINDOWS gives the
    Windows path under which the helper's side sees a local path."""
    app = os.path.join(folder, "app dir with space" if case.layout == "space" else "app")
    return {
        "app": app, "cwd": os.path.join(folder, "cwd"), "on_path": os.path.join(folder, "on-path"),
        "line_file": os.path.join(folder, "cmdline.bin"), "log": os.path.join(folder, "library.log"),
        "exe": to_windows(os.path.join(app, EXE_NAME)),
        "expected_library": to_windows(os.path.join(app, LIBRARY_NAME)),
    }


def lay_out(case, args, folder, to_windows=windows_path):
    """Creates the case's folders and copies; returns the paths the run needs."""
    shutil.rmtree(folder, ignore_errors=True)
    paths = case_paths(case, folder, to_windows)
    app, cwd, on_path = paths["app"], paths["cwd"], paths["on_path"]
    for directory in (app, cwd, on_path):
        os.makedirs(directory)
    shutil.copy2(args.exe, os.path.join(app, EXE_NAME))
    library = args.no_exports_library if case.library == "no_exports" else args.library
    copies = {
        "beside": [app], "space": [app], "none": [], "cwd_only": [cwd],
        "path_only": [on_path], "beside_and_cwd": [app, cwd],
    }[case.layout]
    for directory in copies:
        shutil.copy2(library, os.path.join(directory, LIBRARY_NAME))
    line = case.line.replace(b"%EXE%", paths["exe"].encode("ascii"))
    if case.pad_to:
        line = line.replace(b"%PAD%", case.pad_byte * (case.pad_to - len(line) + len(b"%PAD%")))
        assert len(line) == case.pad_to
    with open(paths["line_file"], "wb") as handle:
        handle.write(line)
    return paths


def driver_command(case, driver, paths, timeout, to_windows=windows_path):
    """The test library's environment and the driver's command line for one case."""
    env = {"COMREG32_TEST_MODE": case.mode, "COMREG32_TEST_LOG": to_windows(paths["log"])}
    command = [
        driver, "--exe", paths["exe"], "--cmdline-file", to_windows(paths["line_file"]),
        "--cwd", to_windows(paths["cwd"]), "--log", to_windows(paths["log"]), "--timeout-seconds", str(timeout),
    ]
    if case.window:
        command.append("--window")
    if case.hidden_station:
        command.append("--hidden-station")
    if case.layout == "path_only":
        command += ["--prepend-path", to_windows(paths["on_path"])]
    return env, command


def run_driver(case, args, folder, paths):
    """Runs the driver under Wine; returns its exit status (None when it hung) and its
    stdout and stderr as text."""
    env = dict(os.environ)
    env.update({"WINEPREFIX": os.path.abspath(args.prefix), "WINEDEBUG": "-all"})
    timeout = HIDDEN_STATION_TIMEOUT if case.hidden_station else HELPER_TIMEOUT[args.arch]
    library_env, command = driver_command(case, args.driver, paths, timeout)
    env.update(library_env)
    command = [WINE[args.arch]] + command
    out_file = os.path.join(folder, "driver.out")
    err_file = os.path.join(folder, "driver.err")
    # Files, not pipes: Wine's own background processes may keep inherited pipes open.
    with open(out_file, "wb") as out, open(err_file, "wb") as err:
        try:
            status = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err, env=env, cwd=folder,
                                    timeout=HELPER_TIMEOUT[args.arch] + DRIVER_MARGIN, check=False).returncode
        except subprocess.TimeoutExpired:
            status = None
    with open(out_file, "rb") as out, open(err_file, "rb") as err:
        return status, out.read().decode("latin-1"), err.read().decode("latin-1")


def parse_report(text):
    """key=value lines (CRLF or LF) into a dict of lists, in order."""
    report = {}
    for line in text.replace("\r\n", "\n").split("\n"):
        if "=" in line:
            key, value = line.split("=", 1)
            report.setdefault(key, []).append(value)
    return report


def read_log(path):
    """The library log as a list of [event, value] pairs."""
    if not os.path.exists(path):
        return []
    with open(path, "rb") as handle:
        lines = handle.read().decode("latin-1").replace("\r\n", "\n").split("\n")
    return [line.split("\t", 1) + ([""] if "\t" not in line else []) for line in lines if line]


def first_exception(log):
    """(code, address) of the first exception the library logged, or None."""
    for event, value in log:
        if event == "exception":
            code, address = value.split("@")
            return int(code, 16), int(address, 16)
    return None


def resolve(value, log):
    """An expected number as it stands, or the one that the code the platform
    dispatched gives (DISPATCHED: its error number; DISPATCHED_CODE: the code)."""
    if value not in (e2e_cases.DISPATCHED, e2e_cases.DISPATCHED_CODE):
        return value
    dispatched = first_exception(log)
    if dispatched is None:
        return "<no exception in the log>"
    return dispatched[0] if value == e2e_cases.DISPATCHED_CODE else e2e_cases.error_number_for(dispatched[0])


def expected_box_text(box, log):
    """The exact report text the case expects, or None when only its layout is known."""
    if box.address is None:
        return None
    if box.address == e2e_cases.LOGGED_SITE:
        sites = [value for event, value in log if event == "site"]
        if len(sites) != 1:
            return "<no single site line in the log>"
        address = int(sites[0], 16)
    else:
        address = box.address
    return "Runtime error %s at %08X" % (resolve(box.number, log), address & 0xFFFFFFFF)


def check_box_text(text, box, log, failures, index):
    """Checks one box's text: exact when the address is known, else its fixed layout."""
    expected = expected_box_text(box, log)
    if expected is not None:
        if text != expected:
            failures.append("box %d text %r, expected %r" % (index, text, expected))
        return
    prefix = "Runtime error %s at " % resolve(box.number, log)
    digits = text[len(prefix):]
    hex_digits = "0123456789ABCDEF"
    if not (len(text) == 29 and text.startswith(prefix) and all(c in hex_digits for c in digits)):
        failures.append("box %d text %r, expected %r followed by 8 upper-case hex digits" % (index, text, prefix))


def check(case, driver_status, report, log, paths):
    """Every difference between what happened and what the case expects."""
    failures = []
    single = lambda key: report.get(key, [None])[-1]  # noqa: E731
    if driver_status != 0:
        failures.append("the driver ended with status %s (None: killed after hanging)" % driver_status)
    if "driver_error" in report:
        failures.append("driver failed: %s (code %s)" % (single("driver_error"), single("driver_error_code")))
        return failures
    if single("timeout") == "1":
        failures.append("the helper did not end before the driver's timeout")
    if single("window") != ("1" if case.window else "0"):
        failures.append("probe window state %r" % single("window"))
    if single("station") != ("hidden" if case.hidden_station else "visible"):
        failures.append("window station %r" % single("station"))
    if single("exit") != str(resolve(case.exit, log)):
        failures.append("exit status %s, expected %s" % (single("exit"), resolve(case.exit, log)))
    boxes = int(single("box") or -1)
    if boxes != len(case.boxes):
        failures.append("%d message boxes, expected %d" % (boxes, len(case.boxes)))
    else:
        for index, box in enumerate(case.boxes):
            shown = {key: report[key][index] for key in ("caption", "text", "buttons", "icon", "owner")}
            for key, wanted in (("caption", "Error"), ("buttons", "OK:1"), ("icon", "0"), ("owner", "0")):
                if shown[key] != wanted:
                    failures.append("box %d %s %r, expected %r" % (index, key, shown[key], wanted))
            check_box_text(shown["text"], box, log, failures, index)
    events = [event for event, _ in log]
    if events != case.events:
        failures.append("library log events %r, expected %r" % (events, case.events))
    dispatched = first_exception(log)
    if case.code is not None and (dispatched is None or dispatched[0] != case.code):
        failures.append("first exception dispatched %s, expected code %08X"
                        % ("%08X" % dispatched[0] if dispatched else "none", case.code))
    if case.control_word is not None:
        words = [int(value, 16) & X87_DEFINED_BITS for event, value in log if event == "control-word"]
        if words != [case.control_word & X87_DEFINED_BITS]:
            failures.append("x87 control word in the routine %r, expected %04X (reserved bits aside)"
                            % ([value for event, value in log if event == "control-word"], case.control_word))
    for event, value in log:
        if event in ("attach", "DllRegisterServer", "DllUnregisterServer") and value != paths["expected_library"]:
            failures.append("%s from %r, expected the copy %r" % (event, value, paths["expected_library"]))
    return failures


def report(case, judged, why, driver_status, out, err, log, paths):
    """Prints what happened and every difference from the row as judged; returns the
    process exit status."""
    print("case: %s (%s)" % (case.name, case.checks))
    print("command line: %r" % case.line[:200])
    print("driver report:\n  " + "\n  ".join(out.replace("\r\n", "\n").strip().split("\n")))
    if err.strip():
        print("driver stderr:\n  " + "\n  ".join(err.strip().split("\n")[-20:]))
    print("library log:\n  " + "\n  ".join("\t".join(pair) for pair in log))
    if why:
        print("judged as on this platform: %s" % why)
    failures = check(judged, driver_status, parse_report(out), log, paths)
    for failure in failures:
        print("FAIL: " + failure)
    print("PASS" if not failures else "FAILED (%d)" % len(failures))
    return 0 if not failures else 1


def run_case(case, args):
    """Runs one case and prints what happened; returns the process exit status."""
    judged, why = e2e_cases.judged_as(case, args.arch)
    folder = os.path.join(os.path.abspath(args.work), case.name)
    paths = lay_out(case, args, folder)
    driver_status, out, err = run_driver(case, args, folder, paths)
    return report(case, judged, why, driver_status, out, err, read_log(paths["log"]), paths)


def machine_cases():
    return [case for case in e2e_cases.CASES if case.machine is not None]


def guest_windows(payload):
    """Windows paths as the machine sees the files laid out in PAYLOAD on this side."""
    payload = os.path.abspath(payload)
    return lambda path: windows_path(GUEST_PAYLOAD + os.path.abspath(path)[len(payload):])


def write_machine_payload(args):
    """Lays out every machine case in the payload and writes its run.sh, which runs the
    driver of each in turn and keeps its report in RESULTS/NAME."""
    payload = os.path.abspath(args.machine_payload)
    shutil.rmtree(payload, ignore_errors=True)
    os.makedirs(payload)
    shutil.copy2(args.driver, os.path.join(payload, DRIVER_NAME))
    to_windows = guest_windows(payload)
    script = ["#!/bin/sh", "# Runs every case of the 32-bit machine; written by run_case.py.", 'results=$1']
    for case in machine_cases():
        folder = os.path.join(payload, "cases", case.name)
        paths = lay_out(case, args, folder, to_windows)
        env, command = driver_command(case, to_windows(os.path.join(payload, DRIVER_NAME)), paths,
                                      MACHINE_HELPER_TIMEOUT, to_windows)
        here = "cases/" + case.name
        into = '"$results/%s"' % case.name
        script += [
            "mkdir -p %s" % into,
            "(cd %s && env %s %s %s >%s/driver.out 2>%s/driver.err; echo $? >%s/driver.status)" % (
                here, " ".join("%s=%s" % (key, shlex.quote(value)) for key, value in env.items()),
                WINE["i686"], " ".join(shlex.quote(part) for part in command), into, into, into),
            "cp %s/library.log %s/ 2>/dev/null" % (here, into),
            'echo "case %s: driver status $(cat %s/driver.status)"' % (case.name, into),
        ]
    script.append("exit 0")
    with open(os.path.join(payload, "run.sh"), "w") as handle:
        handle.write("\n".join(script) + "\n")
    os.chmod(os.path.join(payload, "run.sh"), 0o755)
    return 0


def check_machine_result(case, args):
    """Checks one case from the report the 32-bit machine brought back."""
    judged, why = e2e_cases.judged_as(case, "i686", machine=True)
    folder = os.path.join(os.path.abspath(args.machine_results), case.name)
    missing = [name for name in MACHINE_REPORT_FILES[:3] if not os.path.exists(os.path.join(folder, name))]
    if missing:
        print("FAIL: no report of this case came back from the 32-bit machine (%s missing in %s); see the"
              " machine's console.log there and the e2e.i686.machine.boot test" % (", ".join(missing), folder))
        return 1
    texts = {}
    for name in MACHINE_REPORT_FILES[:3]:
        with open(os.path.join(folder, name), "rb") as handle:
            texts[name] = handle.read().decode("latin-1")
    status = texts["driver.status"].strip()
    paths = case_paths(case, os.path.join(GUEST_PAYLOAD, "cases", case.name), windows_path)
    paths["log"] = os.path.join(folder, "library.log")
    return report(case, judged, why, int(status) if status.isdigit() else None, texts["driver.out"],
                  texts["driver.err"], read_log(paths["log"]), paths)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--arch", choices=sorted(WINE))
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--machine-list", action="store_true")
    for option in ("--exe", "--driver", "--library", "--no-exports-library", "--prefix", "--work",
                   "--machine-payload", "--machine-results"):
        parser.add_argument(option)
    parser.add_argument("name", nargs="?")
    args = parser.parse_args()
    if args.machine_list:
        for case in machine_cases():
            print(case.name)
        return 0
    if args.machine_payload:
        return write_machine_payload(args)
    if args.machine_results:
        matches = [case for case in machine_cases() if case.name == args.name]
        if len(matches) != 1:
            print("no machine case %r" % args.name, file=sys.stderr)
            return 2
        return check_machine_result(matches[0], args)
    cases = [case for case in e2e_cases.CASES if args.arch in case.arches]
    if args.list:
        for case in cases:
            print(case.name, e2e_cases.lock_of(case, args.arch))
        return 0
    matches = [case for case in cases if case.name == args.name]
    if len(matches) != 1:
        print("no case %r for %s" % (args.name, args.arch), file=sys.stderr)
        return 2
    return run_case(matches[0], args)


if __name__ == "__main__":
    sys.exit(main())
