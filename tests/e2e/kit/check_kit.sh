#!/usr/bin/env bash
# The conformance kit as a user runs it: the zip unpacked into a fresh folder and
# run.cmd started by Wine's cmd, judged by its exit status and its closing line. With
# BROKEN_EXE, that file first replaces the kit's comreg32.exe and a few cases run: the
# run must then fail.
#
#   check_kit.sh ZIP PREFIX FOLDER [BROKEN_EXE]      (WINEPREFIX names the prefix)
set -euo pipefail

zip=$(realpath "$1") folder=$3 broken=${4:-}
export WINEPREFIX=$2 WINEDEBUG=-all
rm -rf "$folder"
mkdir -p "$folder"
(cd "$folder" && cmake -E tar xf "$zip")
arguments=()
if [ -n "$broken" ]; then
  cp "$broken" "$folder/conformance/comreg32.exe"
  arguments=(--unattended 'register_*' 'missing_export_*' av_reports_216_at_site)
fi
SECONDS=0
status=0
(cd "$folder/conformance" && /usr/lib/wine/wine cmd /c run.cmd "${arguments[@]}") >"$folder/run.out" 2>&1 ||
  status=$?
tr -d '\r' <"$folder/run.out"
closing=$(tr -d '\r' <"$folder/run.out" | tail -n 1)
echo "run.cmd ended with status $status after $SECONDS s"
if [ -n "$broken" ]; then
  [[ $status -ne 0 && $closing =~ ^[0-9]+\ passed,\ [1-9][0-9]*\ failed,\ [0-9]+\ skipped$ ]] && exit 0
  echo "FAIL: with a broken exe the kit must fail, with failures in its closing line"
else
  [[ $status -eq 0 && $closing =~ ^[1-9][0-9]*\ passed,\ 0\ failed,\ [0-9]+\ skipped$ ]] && exit 0
  echo "FAIL: the kit must pass, with \"N passed, 0 failed, N skipped\" as its closing line"
fi
exit 1
