#!/usr/bin/env bash
# The 32-bit machine's fixture: lays out every case that runs in it (run_case.py
# --machine-payload), boots the machine once (scripts/vm-run.sh, which builds its image
# first when it is missing) and leaves each case's report in RESULTS/NAME for the
# e2e.i686.machine.NAME tests. A kernel panic, a hung guest or a run past the limit
# fails here, with the console's tail; the console log stays in RESULTS/console.log.
#
#   machine_boot.sh WORK EXE DRIVER LIBRARY NO-EXPORTS-LIBRARY
set -euo pipefail

usage="usage: machine_boot.sh WORK EXE DRIVER LIBRARY NO-EXPORTS-LIBRARY"
work=${1:?$usage}
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
limit_seconds=240

rm -rf "$work/payload" "$work/results"
mkdir -p "$work"
/usr/bin/python3 "$here/run_case.py" --arch i686 --machine-payload "$work/payload" \
  --exe "${2:?$usage}" --driver "${3:?$usage}" --library "${4:?$usage}" --no-exports-library "${5:?$usage}"
SECONDS=0
"$repo/scripts/vm-run.sh" "$work/payload" "$work/results" "$limit_seconds"
echo "the 32-bit machine ran $(ls "$work/payload/cases" | wc -l) cases in $SECONDS s; reports in $work/results"
