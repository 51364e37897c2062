#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's prefix: wine-run.sh PREFIX PROGRAM [ARGS...].
# CMake uses it as the emulator of every test program.
#
# A 32-bit program on a host that cannot run 32-bit programs is not started: the script says why
# and exits with 77, which ctest reports as "skipped" (ZX_REQUIRE_X86=1 makes it a failure).
#
# The program's output goes through a file: Wine's background services, started by the first
# program of a session, inherit its output handles and would keep a pipe (ctest's) open forever.
set -u
. "$(dirname "$0")/wine-prefix.sh"

# The machine field of a PE file's header: 014c for i386, 8664 for x86-64.
pe_machine() {
  local lfanew
  lfanew=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$lfanew" ] || return 0
  od -An -t x2 -j $((lfanew + 4)) -N 2 "$1" 2>/dev/null | tr -d ' '
}

prefix=$1
shift
if [ -f "$1" ] && [ "$(pe_machine "$1")" = "014c" ]; then
  zx_host_x86
  if [ "$ZX_HOST_X86" != 1 ]; then
    if [ "${ZX_REQUIRE_X86:-0}" = 1 ]; then
      echo "FAILED: $(basename "$1") is 32-bit and $ZX_HOST_X86_WHY (ZX_REQUIRE_X86=1)"
      exit 1
    fi
    echo "SKIPPED: $(basename "$1") is 32-bit and $ZX_HOST_X86_WHY"
    exit 77
  fi
fi
zx_wine_prefix "$prefix" || exit 1
out=$(mktemp)
trap 'rm -f "$out"' EXIT
zx_wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
exit $rc
