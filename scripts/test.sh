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

status=0
summary=()
for preset in "${presets[@]}"; do
  echo "== test $preset"
  start=$(date +%s)
  if ctest --preset "$preset" -j2 "$@"; then result=passed; else result=FAILED; status=1; fi
  summary+=("$(printf '%-9s %-7s %4ss' "$preset" "$result" $(($(date +%s) - start)))")
done

echo "== summary"
printf '%s\n' "${summary[@]}"
exit $status
