#!/usr/bin/env bash
# One case's result from the 32-bit machine: the runner's line for NAME (and the lines
# that explain it) in the report the machine brought back, with the platform it found.
#
#   machine_case.sh RESULTS NAME
set -euo pipefail

report=$1/runner.out name=$2
if [ ! -f "$report" ]; then
  echo "FAIL: no report came back from the 32-bit machine ($report); see console.log there and e2e.i686.machine.boot"
  exit 1
fi
tr -d '\r' <"$report" | grep '^platform:' || true
verdict=$(tr -d '\r' <"$report" | awk -v name="$name" '
  $2 == name || $2 == name ":" { shown = 1; print; next }
  shown && /^     / { print; next }
  { shown = 0 }')
if [ -z "$verdict" ]; then
  echo "FAIL: the runner in the 32-bit machine said nothing of $name"
  exit 1
fi
echo "$verdict"
[[ $verdict == "PASS "* || $verdict == "SKIP "* ]]
