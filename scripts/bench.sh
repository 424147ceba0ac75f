#!/usr/bin/env bash
# Measures the helper and prints a table; nothing here is a pass/fail test.
#   (a) sizes of comreg32.exe and minimal.exe, i686 and x86_64, against "shipping exe <= 6 KB";
#   (b) wall time per start under 64-bit Wine (one warm wineserver, interleaved rounds):
#       comreg32.exe with no argument, comreg32.exe -rs32 with the sample library beside
#       it, minimal.exe, and Wine's 64-bit regsvr32 /s on the same library;
#   (c) callgrind instructions of GetArgument(1, ...) on command lines of 1 KB, 8 KB and
#       32,767 bytes (native build on the fake platform, optimised).
#
# COMREG32_BUILD_ROOT  where the builds and the bench prefix live (default build/):
#                      i686/, x86_64/, bench-native/, bench-prefix/
# BENCH_ROUNDS         timing rounds (default 30, at least 30)
set -euo pipefail
export LC_ALL=C

repo=$(cd "$(dirname "$0")/.." && pwd)
root=${COMREG32_BUILD_ROOT:-$repo/build}
rounds=${BENCH_ROUNDS:-30}
wineserver=/usr/lib/wine/wineserver
size_goal_bytes=6144
callgrind_lengths=(1024 8192 32767)
linear_tolerance_percent=10

if [ "$rounds" -lt 30 ]; then
  echo "bench: BENCH_ROUNDS must be at least 30" >&2
  exit 2
fi

"$repo/scripts/ensure-tools.sh"

# Builds the named targets in DIR from PRESET (extra configure arguments after "--");
# configures first when DIR is new or does not know a target yet. Quiet unless it fails.
build_targets() {
  local dir=$1 preset=$2
  shift 2
  local targets=() configure_extra=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do targets+=("$1"); shift; done
  [ $# -gt 0 ] && shift && configure_extra=("$@")
  local log
  log=$(mktemp)
  if [ ! -f "$dir/CMakeCache.txt" ] || ! cmake --build "$dir" --target "${targets[@]}" >"$log" 2>&1; then
    if ! { (cd "$repo" && cmake --preset "$preset" -B "$dir" "${configure_extra[@]}") &&
      cmake --build "$dir" --target "${targets[@]}"; } >"$log" 2>&1; then
      cat "$log" >&2
      rm -f "$log"
      echo "bench: building ${targets[*]} in $dir failed" >&2
      exit 1
    fi
  fi
  rm -f "$log"
}

# Prints a file's size in bytes.
size_of() { stat -c %s "$1"; }

# (a) Sizes of the helper and the floor in both builds, and the shipping exe's goal.
report_sizes() {
  local i686_exe=$root/i686/comreg32.exe
  echo "(a) sizes in bytes"
  printf '    %-16s%10s%10s\n' "" i686 x86_64
  printf '    %-16s%10s%10s\n' comreg32.exe "$(size_of "$i686_exe")" "$(size_of "$root/x86_64/comreg32.exe")"
  printf '    %-16s%10s%10s\n' minimal.exe "$(size_of "$root/i686/bench/minimal.exe")" \
    "$(size_of "$root/x86_64/bench/minimal.exe")"
  local size verdict="NOT met"
  size=$(size_of "$i686_exe")
  [ "$size" -le "$size_goal_bytes" ] && verdict=met
  echo "    goal: shipping exe (i686 comreg32.exe) <= 6 KB ($size_goal_bytes bytes): $verdict ($size bytes)"
}

# (b) Start times under 64-bit Wine in the bench prefix, one warm wineserver for all rounds.
report_start_times() {
  local prefix=$root/bench-prefix
  "$repo/scripts/wine-prefix.sh" "$prefix"
  export WINEPREFIX
  WINEPREFIX=$(realpath "$prefix")
  export WINEDEBUG=-all
  local folder=$WINEPREFIX/drive_c/bench
  mkdir -p "$folder"
  cp "$root/x86_64/comreg32.exe" "$root/x86_64/sample/Zentrafin5x32.dll" "$root/x86_64/bench/minimal.exe" \
    "$root/x86_64/bench/probe_only.exe" "$folder/"
  "$wineserver" -p
  trap '"$wineserver" -k 2>/dev/null || true' EXIT
  echo "(b) wall time per start under 64-bit Wine, one warm wineserver, $rounds rounds, order rotated each round"
  /usr/bin/python3 "$repo/bench/time_starts.py" "$rounds" "$folder" \
    'minimal|minimal.exe|C:\bench\minimal.exe' \
    'probe|probe_only.exe (only FindWindowA)|C:\bench\probe_only.exe' \
    'noarg|comreg32.exe (no argument)|C:\bench\comreg32.exe' \
    'rs32|comreg32.exe -rs32 (sample library beside)|C:\bench\comreg32.exe|-rs32' \
    'regsvr32|regsvr32 /s Zentrafin5x32.dll (system32)|C:\windows\system32\regsvr32.exe|/s|C:\bench\Zentrafin5x32.dll'
  "$wineserver" -k 2>/dev/null || true
  trap - EXIT
}

# Prints the instructions callgrind counted inside GetArgument for a line of N bytes.
count_getargument_instructions() {
  local length=$1 out
  out=$(mktemp)
  valgrind --tool=callgrind --callgrind-out-file="$out" --toggle-collect='GetArgument*' \
    "$root/bench-native/bench/getargument_bench" "$length" >/dev/null 2>&1
  awk '/^summary:/ { print $2 }' "$out"
  rm -f "$out"
}

# (c) GetArgument's instruction counts, per byte, and whether they grow linearly.
report_instruction_counts() {
  echo "(c) callgrind instructions in GetArgument(1, ...), argument 1 filling the line (optimised native build, fake platform)"
  if [ ! -x "$root/bench-native/bench/getargument_bench" ]; then
    echo "    getargument_bench is not built (no fake platform in this tree): skipped"
    return
  fi
  local counts=() length
  for length in "${callgrind_lengths[@]}"; do
    counts+=("$(count_getargument_instructions "$length")")
  done
  printf '%s\n' "${callgrind_lengths[@]}" | paste - <(printf '%s\n' "${counts[@]}") |
    awk -v tolerance="$linear_tolerance_percent" '
      { length_of[NR] = $1; count[NR] = $2 }
      END {
        printf "    %12s %14s %12s %22s\n", "line bytes", "instructions", "per byte", "per added byte"
        for (i = 1; i <= NR; ++i) {
          per[i] = count[i] / length_of[i]
          if (i == 1) { printf "    %12d %14d %12.2f %22s\n", length_of[i], count[i], per[i], "-"; continue }
          added[i] = (count[i] - count[i - 1]) / (length_of[i] - length_of[i - 1])
          printf "    %12d %14d %12.2f %22.2f\n", length_of[i], count[i], per[i], added[i]
        }
        low = high = per[1]
        for (i = 2; i <= NR; ++i) { if (per[i] < low) low = per[i]; if (per[i] > high) high = per[i] }
        low_added = high_added = added[2]
        for (i = 3; i <= NR; ++i) {
          if (added[i] < low_added) low_added = added[i]
          if (added[i] > high_added) high_added = added[i]
        }
        per_spread = (high / low - 1) * 100
        added_spread = (high_added / low_added - 1) * 100
        printf "    per-byte figures within %.1f%% of each other (the fixed cost of the call weighs most on 1 KB)\n", per_spread
        printf "    growth: %s (each added byte costs %.2f-%.2f instructions, within %.1f%%; limit %d%%)\n",
          added_spread <= tolerance ? "linear" : "NOT linear", low_added, high_added, added_spread, tolerance
      }'
}

build_targets "$root/i686" i686 comreg32 minimal probe_only
build_targets "$root/x86_64" x86_64 comreg32 minimal probe_only sample_library
# The native bench target exists only once the fake platform is in the tree; without it,
# (c) says so and the rest still runs.
native_log=$root/bench-native-build.log
mkdir -p "$root"
if ! (build_targets "$root/bench-native" native getargument_bench -- -DCMAKE_BUILD_TYPE=RelWithDebInfo) \
  2>"$native_log"; then
  rm -f "$root/bench-native/bench/getargument_bench"
  echo "bench: the native benchmark did not build (see $native_log)" >&2
fi

report_sizes
report_start_times
report_instruction_counts
