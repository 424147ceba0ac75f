#!/usr/bin/env bash
# Installs, with apt and only when missing, every tool the build and the tests use.
# Idempotent: a machine that has everything costs one dpkg query per package.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 qemu-user-static
  clang libclang-rt-14-dev clang-format clang-tidy cppcheck valgrind
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync fails one index now and then; retry, and go on with what came.
for attempt in 1 2 3; do
  apt-get update -qq >&2 && break
  echo "apt-get update failed (attempt $attempt); retrying" >&2
  sleep 5
done
apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
