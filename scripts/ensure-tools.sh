#!/usr/bin/env bash
# Installs, with apt and only when missing, every tool the build and the tests use.
# Idempotent: a machine that has everything costs one dpkg query per package.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev python3 curl xz-utils
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

# A security mirror caught between two syncs serves an i386 package index that does
# not match its Release file; apt then drops it, and wine32:i386 cannot be installed
# because its i386 libraries no longer match the installed amd64 versions. The index
# itself is sound (only newer), so put it where apt would have put it.
repair_i386_security_index() {
  local lists=/var/lib/apt/lists
  local name=deb.debian.org_debian-security_dists_bookworm-security_main_binary-i386_Packages
  [ -e "$lists/$name" ] && return 0
  ls "$lists"/*debian-security*InRelease >/dev/null 2>&1 || return 0
  local tmp
  tmp=$(mktemp)
  if curl -fsS -o "$tmp" http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz &&
    xz -dc "$tmp" >"$lists/$name.part"; then
    mv "$lists/$name.part" "$lists/$name"
    echo "i386 security index taken from the mirror as served" >&2
  fi
  rm -f "$tmp" "$lists/$name.part"
}
# A mirror caught mid-sync fails one index now and then; retry, and go on with what came.
for attempt in 1 2 3; do
  apt-get update -qq >&2 && break
  echo "apt-get update failed (attempt $attempt); retrying" >&2
  sleep 5
done
repair_i386_security_index
apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
