#!/bin/sh
# Runs a command (the runner under Wine) with its output in a file, then shows it and
# ends with its status. Wine's background processes (the explorer that serves a new
# desktop, say) may inherit a pipe and keep it open long after, and CTest would wait.
out=$(mktemp)
"$@" >"$out" 2>&1
status=$?
tr -d '\r' <"$out"
rm -f "$out"
exit $status
