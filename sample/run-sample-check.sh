#!/usr/bin/env bash
# Runs sample_check.exe against the sample library under Wine, in a private prefix kept
# under the build tree (created once): 64-bit Wine for the x64 build, 32-bit Wine
# (through qemu-i386, in a prefix that runs 32-bit programs) for the x86 build.
#   run-sample-check.sh ARCH CHECK-EXE LIBRARY PREFIX-DIR      ARCH: i686 or x86_64
set -euo pipefail

usage="usage: run-sample-check.sh i686|x86_64 CHECK-EXE LIBRARY PREFIX-DIR"
arch=${1:?$usage}
check_exe=${2:?$usage}
library=${3:?$usage}
prefix=${4:?$usage}
repo=$(cd "$(dirname "$0")/.." && pwd)

if [ "$arch" = i686 ]; then
  wine=/usr/lib/wine/wine
  "$repo/scripts/qemu-binfmt.sh"
  "$repo/scripts/wine-prefix.sh" "$prefix" --wow64
else
  wine=/usr/lib/wine/wine64
  "$repo/scripts/wine-prefix.sh" "$prefix"
fi
export WINEPREFIX
WINEPREFIX=$(realpath "$prefix")
export WINEDEBUG=-all
folder="$WINEPREFIX/drive_c/sample-check"
mkdir -p "$folder"
cp "$check_exe" "$library" "$folder/"

/usr/lib/wine/wineserver -p
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
# Windows programs end their lines with CRLF.
"$wine" 'C:\sample-check\sample_check.exe' 'C:\sample-check\Zentrafin5x32.dll' | tr -d '\r'
