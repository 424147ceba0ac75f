#!/usr/bin/env bash
# Creates a headless Wine prefix for running the helper and its tests.
#
#   scripts/wine-prefix.sh DIR          a 64-bit-only prefix (about 10 s)
#   scripts/wine-prefix.sh DIR --wow64  a prefix that also runs 32-bit programs
#                                       (32-bit Wine through qemu-i386: about 15 s)
#
# A prefix that already holds a finished marker is left as it is. The headless
# settings (null graphics driver, no crash debugger) are in scripts/wine-headless.reg.
set -euo pipefail

prefix=${1:?usage: wine-prefix.sh DIR [--wow64]}
mode=${2:-}
marker="$prefix/.comreg32-prefix${mode}"
[ -f "$marker" ] && exit 0

export WINEPREFIX
WINEPREFIX=$(realpath -m "$prefix")
export WINEDEBUG=-all
# No Mono or Gecko installer prompts: the helper needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine64=/usr/lib/wine/wine64
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"

if [ "$mode" = "--wow64" ]; then
  "$(dirname "$0")/qemu-binfmt.sh"
  "$wine64" wineboot -i >/dev/null 2>&1
else
  # Hide the 32-bit loader from wineboot so it does not set up the 32-bit half.
  unshare -m bash -c '
    [ -e /usr/lib/wine/wine ] && mount --bind /dev/null /usr/lib/wine/wine
    "$0" wineboot -i' "$wine64" >/dev/null 2>&1
fi

(cd "$(dirname "$0")" && "$wine64" reg import wine-headless.reg >/dev/null 2>&1)
/usr/lib/wine/wineserver -w
touch "$marker"
