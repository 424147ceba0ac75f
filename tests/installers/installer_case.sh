#!/usr/bin/env bash
# One installer test: an example installer run under 32-bit Wine in a clean copy of a
# template prefix, silently, as a user's installer runs; then what it left is checked
# on disk, in the registry and in its log.
#
#   installer_case.sh KIND CASE INSTALLER RUNNER TEMPLATE WORK
#
#   KIND       nsis | msi
#   CASE       install         a silent install: files, keys, uninstall entry, status 0 logged
#              install_window  the same with an "IEFrame" window open: the restart notice logged
#              install_fault   the library's routine faults: the helper's box appears and is
#                              answered, the install fails naming 217, nothing of it stays
#              uninstall       a good install, then the uninstall: keys, files, entry gone
#   INSTALLER  Zentrafin5x32-setup.exe or Zentrafin5x32.msi (for install_fault, the ones
#              built with the test library)
#   RUNNER     the i686 comreg32-conformance.exe, whose --start mode starts the installer
#              and answers every box but its own
#   TEMPLATE   a prefix that runs 32-bit programs; copied, never used itself
#   WORK       this case's folder, made afresh
set -euo pipefail

kind=$1 case=$2 installer=$3 runner=$4 template=$5 work=$6
run_limit=120 # seconds for one installer run; CTest's limit is larger
wine=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver
clsid='{A943F3D0-CBFC-40A2-A7A6-10F67301F8B6}'
failures=0

say() { echo "installer_case: $*"; }
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
windows_path() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
export WINEPREFIX=$work/prefix WINEDEBUG=-all
unset COMREG32_TEST_MODE COMREG32_TEST_LOG
trap '"$wineserver" -k 2>/dev/null || true' EXIT

# The template's DLLs are shared by hard links; every other file, which Wine or an
# installer may rewrite in place (the registry among them), is this case's own copy.
cp -al "$template" "$WINEPREFIX"
find "$WINEPREFIX" \( -path "$WINEPREFIX/drive_c/windows/system32" -o -path "$WINEPREFIX/drive_c/windows/syswow64" \
  -o -path "$WINEPREFIX/drive_c/windows/winsxs" \) -prune -o -type f -links +1 -print0 |
  xargs -0 -r -n 64 sh -c 'for f; do cp -p "$f" "$f.own" && mv -f "$f.own" "$f"; done' _
cp "$installer" "$work/"
installer=$work/$(basename "$installer")
user_dir=$WINEPREFIX/drive_c/users/$(id -un)
product_dir=$user_dir/AppData/Local/Zentrafin5x32

# Runs one installer command under the runner, which answers every box that appears and
# prints what it saw in WORK/NAME.out; the installer's exit status goes to $status.
# Arguments: NAME EXE COMMAND-LINE [DRIVER-OPTION...]
run() {
  local name=$1 exe=$2 line=$3
  shift 3
  printf '%s' "$line" >"$work/$name.cmdline"
  say "$name: $line"
  timeout $((run_limit + 60)) "$wine" "$runner" --start "$exe" --cmdline-file "$(windows_path "$work/$name.cmdline")" \
    --cwd "$(windows_path "$work")" --any-process --timeout-seconds "$run_limit" "$@" \
    >"$work/$name.out" 2>"$work/$name.err" || true
  tr -d '\r' <"$work/$name.out" | sed 's/^/  /'
  if grep -q '^timeout=1' "$work/$name.out"; then
    fail "$name did not end within $run_limit s (a box no one answered, or a hung installer)"
    "$wineserver" -k || true
  fi
  # Whatever the installer left running (an uninstaller's copy of itself) ends before the
  # checks, and the server writes the registry files as it goes.
  timeout 60 "$wineserver" -w || { fail "processes of $name still ran 60 s after it ended"; "$wineserver" -k || true; }
  status=$(tr -d '\r' <"$work/$name.out" | sed -n 's/^exit=//p')
  [ -n "$status" ] || fail "$name: the runner reported no exit status (see $work/$name.err)"
}

install() {
  case $kind in
  nsis) run "$1" "$(windows_path "$installer")" '"Zentrafin5x32-setup.exe" /S' "${@:2}" ;;
  msi) run "$1" 'C:\windows\system32\msiexec.exe' "msiexec /i \"$(windows_path "$installer")\" /qn /l*v \"$(windows_path "$work/$1.log")\"" "${@:2}" ;;
  esac
}

uninstall() {
  case $kind in
  nsis) run uninstall "$(windows_path "$product_dir/uninstall.exe")" '"uninstall.exe" /S' ;;
  msi) run uninstall 'C:\windows\system32\msiexec.exe' "msiexec /x \"$(windows_path "$installer")\" /qn /l*v \"$(windows_path "$work/uninstall.log")\"" ;;
  esac
}

# The installer's log as plain text: NSIS's own in %TEMP%, or the log msiexec was given.
log_text() {
  local file
  if [ "$kind" = nsis ]; then
    file=$(find "$user_dir" -name Zentrafin5x32-setup.log | head -n 1)
  else
    file=$work/$1.log
  fi
  [ -f "$file" ] && tr -d '\0\r' <"$file"
}

expect_status() {
  [ "$status" = "$1" ] || fail "$2 ended with status $status, expected $1"
}

expect_logged() {
  grep -qF "$2" <<<"$(log_text "$1")" || fail "the $1 log does not say \"$2\""
}

expect_boxes() {
  local shown
  shown=$(tr -d '\r' <"$work/$1.out" | sed -n 's/^box=//p')
  [ "$shown" = "$2" ] || fail "$1 showed ${shown:-no} boxes, expected $2"
}

# The product installed: both files, the library's keys, one uninstall entry.
expect_installed() {
  local file
  for file in comreg32.exe Zentrafin5x32.dll; do
    [ -f "$product_dir/$file" ] || fail "$product_dir/$file is missing"
  done
  grep -qF "CLSID\\\\$clsid\\\\InprocServer32]" "$WINEPREFIX/user.reg" || fail "the library's CLSID key is missing"
  grep -qF '"DisplayName"="Zentrafin5x32"' "$WINEPREFIX/user.reg" "$WINEPREFIX/system.reg" ||
    fail "no uninstall entry names Zentrafin5x32"
}

# Nothing of the product: no folder, no key or value of the library, no uninstall entry.
expect_nothing_left() {
  [ ! -e "$product_dir" ] || fail "$product_dir is still there: $(ls -A "$product_dir" | tr '\n' ' ')"
  ! grep -qF "$clsid" "$WINEPREFIX/user.reg" || fail "the registry still holds the library's CLSID $clsid"
  ! grep -qF '"DisplayName"="Zentrafin5x32"' "$WINEPREFIX/user.reg" "$WINEPREFIX/system.reg" ||
    fail "an uninstall entry still names Zentrafin5x32"
}

case $case in
install)
  install install
  expect_status 0 install
  expect_boxes install 0
  expect_installed
  expect_logged install "comreg32.exe -rs32 ended with status 0"
  ;;
install_window)
  install install --window
  expect_status 0 install
  expect_boxes install 0
  expect_installed
  expect_logged install "comreg32.exe -rs32 ended with status 11"
  expect_logged install "restart it before the Zentrafin toolbar appears"
  ;;
install_fault)
  # The test library raises the language-level code 0x0EEDFADE with 0x12345678 as the
  # fault address: 217, and one box that the runner answers.
  COMREG32_TEST_MODE=langexc install install
  [ "$status" != 0 ] || fail "the install succeeded though the library's routine faulted"
  expect_boxes install 1
  grep -qx 'text=Runtime error 217 at 12345678' <<<"$(tr -d '\r' <"$work/install.out")" ||
    fail "the helper's box did not say \"Runtime error 217 at 12345678\""
  expect_logged install "registering Zentrafin5x32.dll ended with status 217"
  expect_nothing_left
  ;;
uninstall)
  install install
  expect_status 0 install
  expect_installed
  uninstall
  expect_status 0 uninstall
  expect_boxes uninstall 0
  expect_logged uninstall "comreg32.exe -urs32 ended with status 0"
  expect_nothing_left
  ;;
*)
  echo "unknown case $case" >&2
  exit 2
  ;;
esac

if [ $failures -eq 0 ]; then
  echo "PASS: $kind $case"
else
  echo "FAILED: $kind $case ($failures)"
  exit 1
fi
