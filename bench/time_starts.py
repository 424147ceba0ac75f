#!/usr/bin/python3
"""Times process starts under 64-bit Wine and prints a table (scripts/bench.sh runs it).

    time_starts.py ROUNDS FOLDER VARIANT...

Each VARIANT is "KEY|LABEL|PROGRAM|ARGUMENT..." (fields split on "|"); PROGRAM and the
arguments are Windows paths and words handed to wine64 as they are. The first variant is
the floor (minimal.exe) that every other is compared with. Round i runs every variant
once, in an order rotated by i, so a slow stretch of the machine hits all alike; each
time is start to end of one wine64 process, with the wineserver kept warm by the caller.
The goals look for the keys "noarg", "rs32" and "regsvr32".
"""
import os
import statistics
import subprocess
import sys
import time

WINE64 = "/usr/lib/wine/wine64"
WARM_UP_ROUNDS = 2
RUN_LIMIT_SECONDS = 120
NO_ARGUMENT_GOAL = 1.05  # comreg32.exe without an argument: within 5% of the floor


def parse_variant(text):
    """Splits one VARIANT argument into its key, label and command."""
    key, label, *command = text.split("|")
    return {"key": key, "label": label, "command": command}


def time_one_start(command, folder):
    """Runs one command under wine64 and returns (nanoseconds, exit status)."""
    started = time.perf_counter_ns()
    finished = subprocess.run([WINE64, *command], cwd=folder, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=RUN_LIMIT_SECONDS, check=False)
    return time.perf_counter_ns() - started, finished.returncode


def run_rounds(variants, rounds, folder):
    """Runs the rounds; returns per variant the times in ms and the set of odd exit statuses."""
    times = [[] for _ in variants]
    odd_statuses = [set() for _ in variants]
    for round_number in range(-WARM_UP_ROUNDS, rounds):
        shift = round_number % len(variants)
        for index in list(range(shift, len(variants))) + list(range(shift)):
            elapsed, status = time_one_start(variants[index]["command"], folder)
            if round_number < 0:
                continue  # warm-up: the wineserver and the disk cache settle
            times[index].append(elapsed / 1e6)
            if status != 0:
                odd_statuses[index].add(status)
    return times, odd_statuses


def spread(values):
    """The 10th and 90th percentiles."""
    deciles = statistics.quantiles(values, n=10, method="inclusive")
    return deciles[0], deciles[-1]


def verdict(met):
    """The word a goal line ends with."""
    return "met" if met else "NOT met"


def main():
    rounds = int(sys.argv[1])
    folder = sys.argv[2]
    variants = [parse_variant(text) for text in sys.argv[3:]]
    load_before = os.getloadavg()[0]
    times, odd_statuses = run_rounds(variants, rounds, folder)
    load_after = os.getloadavg()[0]
    floor = times[0]
    series_by_key = {variant["key"]: series for variant, series in zip(variants, times)}

    print(f"    {'variant':<46}{'median ms':>10}{'p10-p90 ms':>16}{'x minimal':>11}{'p10-p90':>14}")
    ratio_by_key = {}
    median_by_key = {}
    for variant, series, odd in zip(variants, times, odd_statuses):
        ratios = [value / base for value, base in zip(series, floor)]  # same round, same conditions
        low, high = spread(series)
        ratio_low, ratio_high = spread(ratios)
        median_by_key[variant["key"]] = statistics.median(series)
        ratio_by_key[variant["key"]] = statistics.median(ratios)
        note = f"  exit status {sorted(odd)} seen" if odd else ""
        print(f"    {variant['label']:<46}{statistics.median(series):>10.1f}{f'{low:.1f}-{high:.1f}':>16}"
              f"{statistics.median(ratios):>11.3f}{f'{ratio_low:.3f}-{ratio_high:.3f}':>14}{note}")

    if "noarg" in ratio_by_key:
        ratio = ratio_by_key["noarg"]
        print(f"    goal: comreg32.exe with no argument within 5% of minimal.exe: {verdict(ratio <= NO_ARGUMENT_GOAL)}"
              f" (median ratio {ratio:.3f})")
        if "probe" in ratio_by_key:
            probe_ratio = ratio / ratio_by_key["probe"]
            print(f"      beside probe_only.exe, which only loads user32 and probes: {probe_ratio:.3f}"
                  f" ({verdict(probe_ratio <= NO_ARGUMENT_GOAL)} against that floor)")
    if "rs32" in median_by_key and "regsvr32" in median_by_key:
        ours, theirs = median_by_key["rs32"], median_by_key["regsvr32"]
        # Compared round by round, like the ratios above: a slow stretch hits both alike.
        pairs = [a / b for a, b in zip(series_by_key["rs32"], series_by_key["regsvr32"])]
        paired = statistics.median(pairs)
        pair_low, pair_high = spread(pairs)
        # Faster only when most rounds say so: a median just under 1 is a tie.
        answer = verdict(pair_high < 1) if pair_low < 1 else "NOT met"
        if pair_low < 1 <= pair_high:
            answer = "NOT shown (a tie: the per-round ratio spans 1)"
        print(f"    goal: comreg32.exe -rs32 faster than regsvr32 /s: {answer}"
              f" (median ratio per round {paired:.3f}, p10-p90 {pair_low:.3f}-{pair_high:.3f};"
              f" medians {ours:.1f} ms against {theirs:.1f} ms)")
    print(f"    load average (1 min) {load_before:.2f} before the rounds, {load_after:.2f} after: "
          "other work on the machine widens the spread")
    return 0


if __name__ == "__main__":
    sys.exit(main())
