#!/usr/bin/env bash
# Proves the 32-bit machine in one boot: fault_probe.exe under 32-bit Wine must see the
# true codes of an integer division by zero and an access violation (under qemu-user
# they arrive wrong), and plain starts are timed. self-test-run.sh is the guest half.
#
#   tests/vm/self-test.sh [RESULTS_DIR]     (default: a temporary folder, removed after)
#
# Prints the guest's report and the timings; exits as scripts/vm-run.sh does (0: every
# code matched).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$(dirname "$here")")
work=$(mktemp -d "${TMPDIR:-/tmp}/comreg32-vm-self-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
results=${1:-$work/results}

mkdir -p "$work/payload"
i686-w64-mingw32-gcc -O2 -s -o "$work/payload/fault_probe.exe" "$here/fault_probe.c"
cp "$here/self-test-run.sh" "$work/payload/run.sh"

status=0
"$repo/scripts/vm-run.sh" "$work/payload" "$results" 240 || status=$?
if [ -f "$results/report" ]; then
  sed 's/^/self-test: /' "$results/report"
  awk '$1 ~ /^again/ { sum += $2; n++ } END { if (n) printf "self-test: mean of %d later starts %d ms\n", n, sum / n }' \
    "$results/report"
fi
exit $status
