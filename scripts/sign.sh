#!/usr/bin/env bash
# Signs a copy of a Windows exe with an Authenticode signature (SHA-256), using
# osslsigncode:
#
#   scripts/sign.sh IN OUT PFX [PASSWORD-FILE] [TIMESTAMP-URL]
#
#   IN             the exe to sign; it is left as it is
#   OUT            the signed copy; written only once signing has succeeded (a failed
#                  run leaves no OUT, and an OUT from before as it was)
#   PFX            the code-signing certificate and its private key (PKCS#12)
#   PASSWORD-FILE  a file whose first line is the PFX's password; absent, "" or an
#                  empty file for a PFX without one. The password never goes on a
#                  command line, where other users of the machine could read it.
#   TIMESTAMP-URL  an RFC 3161 time-stamping service (needs the network): the
#                  signature then stays valid after the certificate expires
#
# Ends with status 0 once OUT is written, 1 with a message when it cannot sign, 2 for
# wrong arguments.
set -euo pipefail

usage="usage: scripts/sign.sh IN OUT PFX [PASSWORD-FILE] [TIMESTAMP-URL]"
fail() {
  echo "sign.sh: $*" >&2
  exit 1
}

if [ $# -lt 3 ] || [ $# -gt 5 ]; then
  echo "$usage" >&2
  exit 2
fi
in=$1 out=$2 pfx=$3 password_file=${4:-} timestamp_url=${5:-}

for tool in osslsigncode openssl od; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/ensure-tools.sh installs it)"
done

# A PE file: "MZ", and at the offset stored at 0x3C the signature "PE\0\0".
is_pe() {
  local offset
  [ "$(od -An -tx1 -N2 "$1" 2>/dev/null | tr -d ' \n')" = 4d5a ] || return 1
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' \n')
  [ -n "$offset" ] && [ "$(od -An -tx1 -j "$offset" -N4 "$1" 2>/dev/null | tr -d ' \n')" = 50450000 ]
}

[ -f "$in" ] && [ -r "$in" ] || fail "$in: no such readable file"
is_pe "$in" || fail "$in is not a PE file (no MZ header leading to a PE signature); nothing signed"
[ -f "$pfx" ] && [ -r "$pfx" ] || fail "$pfx: no such readable PFX file"
out_dir=$(dirname "$out")
[ -d "$out_dir" ] && [ -w "$out_dir" ] || fail "$out_dir: no such writable folder for $out"
if [ -n "$password_file" ]; then
  [ -f "$password_file" ] && [ -r "$password_file" ] || fail "$password_file: no such readable password file"
fi

# Open the PFX first, so that a wrong or missing password gets a message of its own.
# OpenSSL 3 reads older PFX files (RC2, as some exports make them) only with -legacy.
if [ -n "$password_file" ] && [ -s "$password_file" ]; then
  passin=(-passin "file:$password_file")
  readpass=(-readpass "$password_file")
else
  passin=(-passin pass:)
  readpass=()
fi
if ! answer=$(openssl pkcs12 -in "$pfx" -noout "${passin[@]}" 2>&1) &&
  ! openssl pkcs12 -legacy -in "$pfx" -noout "${passin[@]}" >/dev/null 2>&1; then
  if [[ "$answer" != *"invalid password"* ]]; then
    fail "$pfx is not a PKCS#12 file that openssl can read; nothing signed"
  elif [ ${#readpass[@]} -eq 0 ]; then
    fail "$pfx needs a password: give a PASSWORD-FILE; nothing signed"
  else
    fail "the password in $password_file does not open $pfx (wrong password); nothing signed"
  fi
fi

# Sign into a folder beside OUT, then move the finished file into place in one rename.
work=$(mktemp -d "$out_dir/.sign.XXXXXX")
trap 'rm -rf "$work"' EXIT
timestamp=()
[ -n "$timestamp_url" ] && timestamp=(-ts "$timestamp_url")
if ! osslsigncode sign -pkcs12 "$pfx" "${readpass[@]}" -h sha256 "${timestamp[@]}" \
  -in "$in" -out "$work/signed" >"$work/log" 2>&1; then
  cat "$work/log" >&2
  fail "osslsigncode could not sign $in; nothing written to $out"
fi
chmod --reference="$in" "$work/signed"
mv -f "$work/signed" "$out"
echo "signed $in into $out (Authenticode, SHA-256${timestamp_url:+, time-stamped by $timestamp_url})"
