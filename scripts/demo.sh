#!/usr/bin/env bash
# Shows the helper's main job: the shipped 32-bit comreg32.exe runs under 32-bit Wine
# with the sample Zentrafin5x32.dll (32-bit too) beside it, in a prefix that runs
# 32-bit programs, the way 64-bit Windows runs it under WOW64. The demo prints which
# exe it ran, the command line, the exit status with its meaning, and what changed in
# the current user's registry keys the library writes. The demo prefix persists, so
# `demo.sh -rs32` then `demo.sh -urs32` shows the keys appear and go again.
#
#   scripts/demo.sh [--x86_64] [ARGUMENT...]   e.g. -rs32, -urs32, anything else, or nothing
#
# --x86_64 runs the exe's x64 twin (the same sources) under 64-bit Wine instead.
# COMREG32_BUILD_DIR    the build to use (default build/i686, or build/x86_64 with --x86_64)
# COMREG32_DEMO_PREFIX  the demo's Wine prefix (default build/demo-prefix-i686 or -x86_64)
set -euo pipefail
export LC_ALL=C

repo=$(cd "$(dirname "$0")/.." && pwd)
arch=i686
if [ "${1:-}" = "--x86_64" ]; then
  arch=x86_64
  shift
fi
build_dir=${COMREG32_BUILD_DIR:-$repo/build/$arch}
prefix=${COMREG32_DEMO_PREFIX:-$repo/build/demo-prefix-$arch}
wine64=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
if [ "$arch" = i686 ]; then
  wine=/usr/lib/wine/wine
  prefix_mode=--wow64
  # A 32-bit process sees the registry's 32-bit view; reg shows the same view with /reg:32.
  registry_view=/reg:32
else
  wine=$wine64
  prefix_mode=
  registry_view=/reg:64
fi
folder_windows='C:\comreg32'
watched_keys=('HKCU\Software\Classes\CLSID' 'HKCU\Software\Microsoft\Internet Explorer\Toolbar')
run_limit_seconds=120

"$repo/scripts/ensure-tools.sh" demo "$arch"
[ "$arch" = i686 ] && "$repo/scripts/qemu-binfmt.sh"

# Builds the helper and the sample library (only these two targets), configuring first
# when the build directory is new or does not know them yet; quiet unless it fails.
build_helper_and_library() {
  local log
  log=$(mktemp)
  if [ ! -f "$build_dir/CMakeCache.txt" ] || ! build_two_targets >"$log" 2>&1; then
    if ! { (cd "$repo" && cmake --preset "$arch" -B "$build_dir") && build_two_targets; } >"$log" 2>&1; then
      cat "$log" >&2
      rm -f "$log"
      echo "demo: the build failed" >&2
      exit 1
    fi
  fi
  rm -f "$log"
}

# Runs the build step for comreg32.exe and Zentrafin5x32.dll.
build_two_targets() {
  if [ "$build_dir" -ef "$repo/build/$arch" ]; then
    (cd "$repo" && cmake --build --preset "$arch" --target comreg32 sample_library)
  else
    cmake --build "$build_dir" --target comreg32 sample_library
  fi
}

# Prints the watched keys as sortable rows: "PATH<TAB>0" for a key, "PATH<TAB>1<TAB>NAME<TAB>TYPE<TAB>DATA"
# for a value (reg query's output: key lines, then values indented by four spaces).
snapshot_registry() {
  local key output
  for key in "${watched_keys[@]}"; do
    output=$("$wine64" reg query "$key" /s "$registry_view" 2>/dev/null) || continue  # a missing key has nothing to show
    printf '%s\t0\n' "$key"
    printf '%s\n' "$output" | tr -d '\r' | awk -v root="$key" '
      /^HKEY_CURRENT_USER\\/ { path = "HKCU" substr($0, length("HKEY_CURRENT_USER") + 1); print path "\t0"; next }
      /^    / {
        line = substr($0, 5)
        name = line; sub(/    .*/, "", name)
        rest = substr(line, length(name) + 5)
        type = rest; sub(/    .*/, "", type)
        data = substr(rest, length(type) + 5)
        print (path == "" ? root : path) "\t1\t" name "\t" type "\t" data
      }'
  done | sort -u
}

# Prints the rows only in the first or only in the second snapshot, grouped by key:
# "+" added, "-" removed; a key line without a sign has only changed values.
print_registry_changes() {
  local before=$1 after=$2
  { comm -13 "$before" "$after" | sed 's/^/+\t/'; comm -23 "$before" "$after" | sed 's/^/-\t/'; } |
    sort -t $'\t' -k2,2 -k3,3n -k4,4 -k1,1r |
    awk -F '\t' '
      $3 == 0 { printf "  %s %s\n", $1, $2; shown[$2] = 1; next }
      {
        if (!($2 in shown)) { printf "    %s\n", $2; shown[$2] = 1 }
        printf "  %s     %s = %s  (%s)\n", $1, $4, $6, $5
      }'
}

# Tells what an exit status of the helper means.
describe_status() {
  case $1 in
    0) echo "no Internet Explorer window (class IEFrame) is open" ;;
    11) echo "an Internet Explorer window (class IEFrame) is open" ;;
    200) echo "runtime error: division by zero in the library" ;;
    201) echo "runtime error: range check (array bounds exceeded) in the library" ;;
    202) echo "runtime error: stack overflow in the library" ;;
    203) echo "runtime error: out of memory" ;;
    204) echo "runtime error: invalid pointer operation (a release was rejected)" ;;
    205) echo "runtime error: floating-point overflow in the library" ;;
    206) echo "runtime error: floating-point underflow in the library" ;;
    207) echo "runtime error: invalid floating-point operation in the library" ;;
    215) echo "runtime error: arithmetic overflow in the library" ;;
    216) echo "the library lacks the registration export, or an access violation in it" ;;
    217) echo "runtime error: unhandled exception (or Ctrl-C) in the library" ;;
    218) echo "runtime error: privileged instruction in the library" ;;
    255) echo "runtime error: another exception in the library" ;;
    124) echo "no end within ${run_limit_seconds} s (a report box waiting for OK?); stopped" ;;
    *) echo "not a status the helper gives" ;;
  esac
}

# Names the machine type in a PE file's header: what the demo ran.
describe_machine() {
  local header machine
  header=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j $((header + 4)) -N 2 "$1" | tr -d ' ')
  case $machine in
    014c) echo "i386, 32-bit" ;;
    8664) echo "x86-64, 64-bit" ;;
    *) echo "machine type 0x$machine" ;;
  esac
}

# Writes the arguments as Windows receives them from Wine: quoted when empty or holding blanks.
windows_arguments() {
  local argument text=""
  for argument in "$@"; do
    case $argument in
      '' | *[[:space:]]*) text+=" \"$argument\"" ;;
      *) text+=" $argument" ;;
    esac
  done
  printf '%s' "$text"
}

echo "demo: building comreg32.exe and the sample library in ${build_dir#"$repo"/}"
build_helper_and_library
if [ ! -f "$prefix/.comreg32-prefix$prefix_mode" ]; then
  echo "demo: making the Wine prefix ${prefix#"$repo"/} (once)"
fi
"$repo/scripts/wine-prefix.sh" "$prefix" $prefix_mode
export WINEPREFIX
WINEPREFIX=$(realpath "$prefix")
export WINEDEBUG=-all
folder="$WINEPREFIX/drive_c/comreg32"
mkdir -p "$folder"
cp "$build_dir/comreg32.exe" "$build_dir/sample/Zentrafin5x32.dll" "$folder/"

work=$(mktemp -d)
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$work"' EXIT

snapshot_registry >"$work/before"
echo "exe:          ${build_dir#"$repo"/}/comreg32.exe ($(describe_machine "$build_dir/comreg32.exe"))"
echo "prefix:       ${prefix#"$repo"/} ($folder_windows holds comreg32.exe and Zentrafin5x32.dll)"
echo "command line: $folder_windows\\comreg32.exe$(windows_arguments "$@")"
status=0
(cd "$folder" && timeout "$run_limit_seconds" "$wine" "$folder_windows\\comreg32.exe" "$@") || status=$?
echo "exit status:  $status ($(describe_status "$status"))"
snapshot_registry >"$work/after"

echo "registry:     HKCU\\Software\\Classes\\CLSID and HKCU\\Software\\Microsoft\\Internet Explorer\\Toolbar"
if cmp -s "$work/before" "$work/after"; then
  echo "  no change"
else
  print_registry_changes "$work/before" "$work/after"
fi
