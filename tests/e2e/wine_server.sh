#!/usr/bin/env bash
# Set-up and clean-up of the end-to-end tests' Wine session.
#
#   wine_server.sh start PREFIX [--wow64]   creates the prefix once (scripts/wine-prefix.sh)
#                                           and starts a persistent wineserver for it
#   wine_server.sh stop PREFIX              stops that wineserver
set -euo pipefail

action=${1:?usage: wine_server.sh start|stop PREFIX [--wow64]}
prefix=${2:?usage: wine_server.sh start|stop PREFIX [--wow64]}
mode=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX
WINEPREFIX=$(realpath -m "$prefix")
export WINEDEBUG=-all

case "$action" in
start)
  if [ "$mode" = "--wow64" ]; then
    "$here/../../scripts/qemu-binfmt.sh"
    "$here/../../scripts/wine-prefix.sh" "$WINEPREFIX" --wow64
  else
    "$here/../../scripts/wine-prefix.sh" "$WINEPREFIX"
  fi
  # A server left over from an interrupted run would hold stale state: replace it.
  "$wineserver" -k >/dev/null 2>&1 || true
  # The server outlives this script: keep it away from CTest's output pipes.
  "$wineserver" -p </dev/null >/dev/null 2>&1
  echo "wineserver running for $WINEPREFIX"
  ;;
stop)
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
  echo "wineserver stopped for $WINEPREFIX"
  ;;
*)
  echo "unknown action: $action" >&2
  exit 2
  ;;
esac
