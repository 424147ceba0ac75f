#!/usr/bin/env bash
# Installs, with apt and only when missing, every tool the build and the tests use.
# Idempotent: a machine that has everything costs one dpkg query per package.
#
# qemu-user comes from the release's backports suite: the release's qemu 7.2 takes
# about a minute to start every 32-bit Wine process, 9.1 and later a fraction of a
# second. The suite is added on the mirror that the system's own apt sources already
# name for the release, so no host is written here.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev python3 python3-pefile
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 wine32:i386
  clang libclang-rt-14-dev clang-format clang-tidy cppcheck valgrind
  osslsigncode openssl
  debootstrap cpio e2fsprogs kmod
)
backports_package=qemu-user
# The full-system emulator shares qemu-user's common files, so it comes from the same suite.
backports_companions=(qemu-system-x86)
oldest_fast_qemu=9.1
backports_list=/etc/apt/sources.list.d/comreg32-backports.sources

say() { echo "ensure-tools: $*" >&2; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# True when the installed qemu-user is new enough to start 32-bit Wine quickly.
qemu_is_fast() {
  local version
  installed "$backports_package" || return 1
  version=$(dpkg-query -W -f='${Version}' "$backports_package")
  dpkg --compare-versions "$version" ge "1:$oldest_fast_qemu~"
}

release_codename() { . /etc/os-release && echo "$VERSION_CODENAME"; }

# Adds the backports suite once, on the release's own mirror and with its keyring.
add_backports_suite() {
  local codename mirror
  codename=$(release_codename)
  [ -e "$backports_list" ] && return 0
  mirror=$("$(dirname "$0")/apt-mirror.sh") || true
  if [ -z "$mirror" ]; then
    say "no apt source names the $codename suite; cannot add $codename-backports for $backports_package"
    exit 1
  fi
  cat >"$backports_list" <<EOF
# Added by comreg32's scripts/ensure-tools.sh: the release's backports suite on the
# mirror the release itself uses, for $backports_package (fast 32-bit Wine).
Types: deb
URIs: $mirror
Suites: $codename-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  say "added $codename-backports on $mirror"
}

# A mirror caught between two syncs serves an index that does not match its signed
# Release file now and then; fetching every index by the hash that the Release file
# names is apt's own remedy. Nothing is fetched around apt.
update_indexes() {
  local attempt by_hash=()
  for attempt in 1 2 3; do
    apt-get update -qq -o Acquire::Retries=2 -o Acquire::http::Timeout=60 "${by_hash[@]}" >&2 && return 0
    say "apt-get update failed (attempt $attempt); retrying by hash"
    by_hash=(-o Acquire::By-Hash=force)
    sleep 5
  done
  say "apt-get update failed three times; going on with the indexes that came"
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
need_backports=0
qemu_is_fast || need_backports=1
for p in "${backports_companions[@]}"; do
  installed "$p" || need_backports=1
done
[ ${#missing[@]} -eq 0 ] && [ $need_backports -eq 0 ] && exit 0

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
[ $need_backports -eq 1 ] && add_backports_suite
wanted=("${missing[@]}")
[ $need_backports -eq 1 ] && wanted+=("$backports_package ${backports_companions[*]} (backports)")
say "installing: ${wanted[*]}"
update_indexes
if [ ${#missing[@]} -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi
if [ $need_backports -eq 1 ]; then
  codename=$(release_codename)
  if ! apt-get install -y -qq --no-install-recommends -t "$codename-backports" \
    "$backports_package" "${backports_companions[@]}" >&2 ||
    ! qemu_is_fast; then
    say "could not install $backports_package $oldest_fast_qemu or later from $codename-backports" \
      "(is the suite reachable on the mirror in $backports_list?); without it every 32-bit Wine" \
      "process takes about a minute, so the tests stop here"
    exit 1
  fi
fi
