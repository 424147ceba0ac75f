#!/usr/bin/env bash
# Builds everything and runs every test through CTest: the unit tests natively and
# under ASan/UBSan with the command-line fuzzer, the style and lint gates, the static
# checks of both exes, and every end-to-end case on both exes: the x64 twin under
# 64-bit Wine, the shipped 32-bit exe under 32-bit Wine through qemu-i386, and the
# shipped exe's hardware-fault cases on a real 32-bit kernel in the 32-bit machine
# (label "vm"; its image is built once, outside the clone, when it is missing).
#
#   scripts/test.sh                 everything
#   scripts/test.sh -L e2e          extra arguments go to every ctest run
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/ensure-tools.sh
scripts/qemu-binfmt.sh
# The 32-bit machine's image: found in its cache at once, or built now (minutes; it says so).
scripts/vm-image.sh >/dev/null

presets=(native sanitize x86_64 i686)
for preset in "${presets[@]}"; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# Runs one preset's tests; prints "PRESET passed|FAILED SECONDS" as the last line.
test_preset() {
  local preset=$1 start result=passed
  shift
  echo "== test $preset"
  start=$(date +%s)
  ctest --preset "$preset" -j2 "$@" || result=FAILED
  printf '%-9s %-7s %4ss\n' "$preset" "$result" $(($(date +%s) - start))
}

# The sanitize preset's time is its fuzzer, which keeps one core busy for a minute:
# it runs beside the others, and its output follows theirs.
work=$(mktemp -d)
test_preset sanitize "$@" >"$work/sanitize.log" 2>&1 &
sanitize=$!
trap 'kill $sanitize 2>/dev/null || true; rm -rf "$work"' EXIT
summary=()
for preset in native x86_64 i686; do
  test_preset "$preset" "$@" | tee "$work/$preset.log"
  summary+=("$(tail -n 1 "$work/$preset.log")")
done
wait $sanitize || true
cat "$work/sanitize.log"
summary+=("$(tail -n 1 "$work/sanitize.log")")

echo "== summary"
printf '%s\n' "${summary[@]}"
! printf '%s\n' "${summary[@]}" | grep -q FAILED
