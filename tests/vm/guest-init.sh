#!/bin/bash
# PID 1 of the 32-bit machine, started by the initramfs from the run's tar (so a change
# here needs no new image). /run/comreg32 holds this script, vm.env (written by
# scripts/vm-run.sh) and payload/. It starts one wineserver, runs payload/run.sh with the
# results folder as its argument, writes that folder as a tar onto the results disk
# (vdc), prints the completion marker and powers the machine off.
set -u
run=/run/comreg32
say() { echo "comreg32-guest: $*"; }
power_off() {
  echo 1 >/proc/sys/kernel/sysrq
  echo o >/proc/sysrq-trigger
  # Power-off is asynchronous; returning from PID 1 now would panic the kernel first.
  while :; do sleep 10; done
}
# shellcheck source=/dev/null
. "$run/vm.env" || { say "FAILED: no vm.env"; power_off; }

mount -t tmpfs -o mode=1777 tmpfs /tmp
mkdir -p /dev/shm /dev/pts
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
mount -t devpts devpts /dev/pts
hostname comreg32-vm

export HOME=/root
export PATH=/usr/local/bin:/usr/bin:/bin:/usr/local/sbin:/usr/sbin:/sbin
export WINEPREFIX=$VM_WINEPREFIX
export WINEDEBUG=-all
export LANG=C.UTF-8
results=/tmp/results
mkdir -p "$results"
# run.sh's budget is what is left of the host's limit, less the time to write the
# results and power off, so a run that overruns still brings back what it wrote.
started=$(cut -d' ' -f1 /proc/uptime)
budget=$(awk -v limit="$VM_BUDGET_SECONDS" -v up="$started" 'BEGIN { b = int(limit - up - 15); print (b < 5 ? 5 : b) }')
say "kernel $(uname -r), up $started s; running run.sh (budget $budget s)"
wineserver -p
cd "$run/payload" || { say "FAILED: no payload folder"; power_off; }
chmod +x run.sh 2>/dev/null
SECONDS=0
timeout -k 5 "$budget" ./run.sh "$results" </dev/null
status=$?
outcome=finished
# 124 is also a status run.sh may return itself; only a full budget means it overran.
if [ $status -eq 124 ] && [ $SECONDS -ge "$budget" ]; then
  outcome=overran
  say "run.sh did not finish within $budget s"
fi
cd /
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null

tar -c -f /tmp/results.tar -C "$results" . || { say "FAILED: cannot pack the results"; power_off; }
size=$(stat -c %s /tmp/results.tar)
disk=$(blockdev --getsize64 /dev/vdc)
if [ "$size" -gt "$disk" ]; then
  say "FAILED: results are $size bytes, the results disk $disk"
  power_off
fi
dd if=/tmp/results.tar of=/dev/vdc bs=1M conv=fsync status=none || { say "FAILED: cannot write the results disk"; power_off; }
sync
say "$outcome $VM_NONCE status=$status up=$(cut -d' ' -f1 /proc/uptime)"
power_off
