#!/usr/bin/env bash
# The 32-bit machine's fixture: copies the conformance kit into a payload whose run.sh
# runs the kit's runner on every case, boots the machine once
# (scripts/vm-run.sh, which builds its image first when it is missing) and leaves the
# runner's report in RESULTS/runner.out for the e2e.i686.machine.NAME tests. A kernel
# panic, a hung guest, a run past the limit or a report without its closing line fails
# here, with the console's tail; the console log stays in RESULTS/console.log.
#
#   machine_boot.sh WORK KIT
set -euo pipefail

work=${1:?usage: machine_boot.sh WORK KIT}
kit=${2:?usage: machine_boot.sh WORK KIT}
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
limit_seconds=240

rm -rf "$work/payload" "$work/results"
mkdir -p "$work"
cp -r "$kit" "$work/payload"
cat >"$work/payload/run.sh" <<'SCRIPT'
#!/bin/sh
# In the 32-bit machine: the kit's runner on every case; the host reads its report, a
# test per case.
wine ./comreg32-conformance.exe --timeout-seconds 40 --work work >"$1/runner.out" 2>&1
echo "runner status $?"
exit 0
SCRIPT
SECONDS=0
"$repo/scripts/vm-run.sh" "$work/payload" "$work/results" "$limit_seconds"
tr -d '\r' <"$work/results/runner.out"
if ! tr -d '\r' <"$work/results/runner.out" | tail -n 1 | grep -Eq '^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$'; then
  echo "FAIL: the runner's report from the 32-bit machine has no closing line"
  exit 1
fi
echo "the 32-bit machine ran the kit in $SECONDS s; its report is $work/results/runner.out"
