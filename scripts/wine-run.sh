#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's prefix: wine-run.sh PREFIX PROGRAM [ARGS...].
# CMake uses it as the emulator of every test program.
#
# The program's output goes through a file: Wine's background services, started by the first
# program of a session, inherit its output handles and would keep a pipe (ctest's) open forever.
set -u
. "$(dirname "$0")/wine-prefix.sh"
zx_wine_prefix "$1"
shift
out=$(mktemp)
trap 'rm -f "$out"' EXIT
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
exit $rc
