#!/usr/bin/env bash
# Boots the 32-bit machine (scripts/vm-image.sh, built first when missing) once and runs
# a payload in it under 32-bit Wine on a real 32-bit kernel:
#
#   scripts/vm-run.sh PAYLOAD_DIR RESULTS_DIR [LIMIT_SECONDS]
#
# PAYLOAD_DIR holds run.sh and whatever it needs; in the guest it is a copy in
# /run/comreg32/payload (tmpfs) and run.sh runs there as root, with one argument, the
# folder for its results, and WINEPREFIX (the image's headless prefix, fresh each boot),
# WINEDEBUG=-all, HOME=/root, PATH and LANG set, one wineserver already running, and
# stdin from /dev/null. Its output goes to the serial console. What it leaves in its
# results folder lands in RESULTS_DIR (missing or empty before the run), beside
# console.log, the whole serial console (a name run.sh cannot use).
#
# LIMIT_SECONDS (default 240) bounds the whole boot on the wall clock; qemu is killed
# past it. Inside, run.sh gets what is left of it less 15 s, so an overrunning run.sh is
# stopped in time for its results to come back.
#
# Exit status: 0 run.sh finished with status 0 and its results came back; 1 it finished
# with another status (printed); 2 bad arguments or no image; 3 the machine failed
# (kernel panic, past the limit, run.sh overran its budget, no completion marker, or no
# results): the console's tail is printed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
say() { echo "vm-run: $*" >&2; }
usage() {
  say "usage: vm-run.sh PAYLOAD_DIR RESULTS_DIR [LIMIT_SECONDS]"
  exit 2
}
if [ $# -lt 2 ] || [ $# -gt 3 ]; then usage; fi
payload=$1 results=$2 limit=${3:-240}
if ! [[ $limit =~ ^[0-9]+$ ]] || [ "$limit" -lt 30 ]; then
  say "LIMIT_SECONDS must be a whole number of seconds, 30 or more"
  exit 2
fi
[ -f "$payload/run.sh" ] || {
  say "$payload/run.sh is missing"
  exit 2
}
if [ -e "$results" ] && [ -n "$(ls -A "$results")" ]; then
  say "$results is not empty; give a new or empty folder"
  exit 2
fi
mkdir -p "$results"
console=$(realpath "$results")/console.log

image=$("$here/vm-image.sh") || {
  say "no machine image"
  exit 2
}
prefix=$(awk '$1 == "wine" && $2 == "prefix" { print $3 }' "$image/manifest")

work=$(mktemp -d "${TMPDIR:-/tmp}/comreg32-vm-run.XXXXXX")
qemu_pid=
cleanup() {
  [ -n "$qemu_pid" ] && kill -TERM "$qemu_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The payload disk: a tar of the guest's init, its settings and the payload. The nonce
# lets the host tell the guest's completion marker from anything run.sh prints.
nonce=$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')
mkdir -p "$work/stage/payload"
cp "$repo/tests/vm/guest-init.sh" "$work/stage/guest-init.sh"
chmod 755 "$work/stage/guest-init.sh"
cat >"$work/stage/vm.env" <<EOF
VM_NONCE=$nonce
VM_BUDGET_SECONDS=$limit
VM_WINEPREFIX=$prefix
EOF
cp -a "$payload/." "$work/stage/payload/"
tar -c -f "$work/payload.img" -C "$work/stage" --owner=0 --group=0 .
truncate -s %1M "$work/payload.img"
# The results disk: the guest writes a tar of run.sh's folder at its start.
truncate -s 512M "$work/results.img"

say "booting $image (limit $limit s, console in $console)"
started=$(date +%s)
timeout -k 10 "$limit" qemu-system-i386 -m 2048 -smp 1 -cpu core2duo -nographic -no-reboot \
  -monitor none -serial "file:$console" -nic none \
  -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
  -append "console=ttyS0 panic=-1 quiet" \
  -drive "file=$image/disk.img,if=virtio,format=raw,snapshot=on" \
  -drive "file=$work/payload.img,if=virtio,format=raw,readonly=on" \
  -drive "file=$work/results.img,if=virtio,format=raw" \
  </dev/null >"$work/qemu.out" 2>&1 &
qemu_pid=$!
status=0
wait "$qemu_pid" || status=$?
qemu_pid=
seconds=$(($(date +%s) - started))

fail() {
  say "FAILED after $seconds s: $*"
  [ -s "$work/qemu.out" ] && sed 's/^/qemu: /' "$work/qemu.out" >&2
  say "last lines of $console:"
  # Without the carriage returns and the firmware's terminal escapes.
  tail -n 40 "$console" | tr -d '\r' | sed 's/\x1b\[[0-9;?]*[A-Za-z]//g; s/\x1bc//g; s/^/  /' >&2
  exit 3
}
[ $status -eq 124 ] || [ $status -eq 137 ] && fail "the machine was still running at the limit of $limit s"
panic=$(tr -d '\r' <"$console" | grep -m1 'Kernel panic' || true)
[ -z "$panic" ] || fail "the guest kernel panicked (${panic#*] })"
[ $status -eq 0 ] || fail "qemu ended with status $status"
marker=$(tr -d '\r' <"$console" | grep -E "^comreg32-guest: (finished|overran) $nonce " | tail -n 1 || true)
[ -n "$marker" ] || fail "the guest powered off without its completion marker"
tar -x -f "$work/results.img" -C "$results" --no-same-owner --exclude=./console.log ||
  fail "the results disk holds no readable tar"
run_status=${marker##*status=}
run_status=${run_status%% *}
case $marker in
*" overran "*) fail "run.sh did not finish within its budget (its results are in $results)" ;;
esac
say "run.sh finished with status $run_status; boot to power-off $seconds s; results in $results"
[ "$run_status" = 0 ] || exit 1
exit 0
