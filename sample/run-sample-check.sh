#!/usr/bin/env bash
# Runs sample_check.exe against the sample library under 64-bit Wine, in a private
# prefix kept under the build tree (created once).
#   run-sample-check.sh CHECK-EXE LIBRARY PREFIX-DIR
set -euo pipefail

check_exe=${1:?usage: run-sample-check.sh CHECK-EXE LIBRARY PREFIX-DIR}
library=${2:?usage: run-sample-check.sh CHECK-EXE LIBRARY PREFIX-DIR}
prefix=${3:?usage: run-sample-check.sh CHECK-EXE LIBRARY PREFIX-DIR}
repo=$(cd "$(dirname "$0")/.." && pwd)

"$repo/scripts/wine-prefix.sh" "$prefix"
export WINEPREFIX
WINEPREFIX=$(realpath "$prefix")
export WINEDEBUG=-all
folder="$WINEPREFIX/drive_c/sample-check"
mkdir -p "$folder"
cp "$check_exe" "$library" "$folder/"

/usr/lib/wine/wineserver -p
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
# Windows programs end their lines with CRLF.
/usr/lib/wine/wine64 'C:\sample-check\sample_check.exe' 'C:\sample-check\Zentrafin5x32.dll' | tr -d '\r'
