#!/usr/bin/env bash
# Runs the command-line fuzzer for the given number of seconds (default 60), building
# the sanitize preset first when needed, then prints executions and findings.
# The build directory is build/sanitize, or $COMREG32_SANITIZE_BUILD when set.
# Exits 1 when the run found something (the inputs are listed), 0 otherwise.
set -euo pipefail

seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: $0 [seconds]" >&2
  exit 2
fi

root=$(cd "$(dirname "$0")/.." && pwd)
build=${COMREG32_SANITIZE_BUILD:-$root/build/sanitize}
cd "$root"
if [ ! -f "$build/build.ninja" ]; then
  cmake --preset sanitize -B "$build" >/dev/null
fi
cmake --build "$build" --target comreg32_fuzz_command_line >/dev/null

fuzzer=$build/tests/fuzz/comreg32_fuzz_command_line
work=$build/tests/fuzz/work
mkdir -p "$work/corpus" "$work/findings"
log=$work/last-run.log
marker=$(mktemp)
trap 'rm -f "$marker"' EXIT

echo "fuzzing for $seconds s (log: $log)"
status=0
"$fuzzer" -max_total_time="$seconds" -max_len=1024 -print_final_stats=1 -artifact_prefix="$work/findings/" \
  "$work/corpus" "$root/tests/fuzz/corpus" >"$log" 2>&1 || status=$?

# One of libFuzzer's final statistics, e.g. number_of_executed_units.
final_stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -n 1; }

echo "executions: $(final_stat number_of_executed_units) ($(final_stat average_exec_per_sec) per second)"
echo "new inputs: $(final_stat new_units_added); corpus now $(find "$work/corpus" -type f | wc -l) files in $work/corpus"
mapfile -t findings < <(find "$work/findings" -type f -newer "$marker" | sort)
echo "findings: ${#findings[@]}"
if [ ${#findings[@]} -gt 0 ] || [ "$status" -ne 0 ]; then
  grep -E '^(finding:|  (got|want) )|^SUMMARY:|ERROR:' "$log" | head -n 20 || true
  for input in "${findings[@]}"; do
    echo "  $input"
    echo "    bytes: $(od -An -tx1 -v "$input" | tr -s ' \n' ' ' | cut -c1-200)"
  done
  exit 1
fi
