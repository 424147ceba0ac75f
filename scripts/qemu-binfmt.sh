#!/usr/bin/env bash
# Lets this kernel start 32-bit x86 Linux programs (32-bit Wine) through qemu-i386:
# mounts binfmt_misc if needed and registers /usr/bin/qemu-i386 for i386 ELF files.
# Idempotent; needs root.
#
# With flag F the kernel opens the interpreter at registration and keeps that file, so
# an entry made before qemu was upgraded still runs the old binary. The entry is made
# again when it names another interpreter, or when the interpreter's file is not the
# one recorded at registration (a stamp in /run, which like the entry lasts until the
# next boot).
set -euo pipefail

binfmt=/proc/sys/fs/binfmt_misc
interpreter=/usr/bin/qemu-i386
entry=$binfmt/qemu-i386
stamp=/run/comreg32-qemu-i386.stamp

if [ ! -x "$interpreter" ]; then
  echo "qemu-binfmt: $interpreter is missing (scripts/ensure-tools.sh installs qemu-user)" >&2
  exit 1
fi
[ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"

identity=$(stat -L -c '%d:%i:%Y:%s' "$interpreter")
if [ -e "$entry" ]; then
  if grep -qx "interpreter $interpreter" "$entry" && grep -qx enabled "$entry" &&
    [ "$(cat "$stamp" 2>/dev/null)" = "$identity" ]; then
    exit 0
  fi
  echo -1 >"$entry"
fi
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# F: the interpreter is opened now, so it works inside other mount namespaces too.
echo ":qemu-i386:M::$magic:$mask:$interpreter:F" >"$binfmt/register"
echo "$identity" >"$stamp"
