#!/usr/bin/env bash
# Runs one test program of a build under Wine, for a developer's quick loop:
#   scripts/wine-test.sh [x64|x86] PROGRAM [doctest options...]
# e.g. scripts/wine-test.sh x64 zx_gensys_tests -tc="XML*"
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=x64
case ${1:-} in x64|x86) arch=$1; shift ;; esac
program=$1
shift
. "$root/scripts/session.sh"
zx_session_start "$root/build/wineprefix"
"$root/scripts/wine-run.sh" "$root/build/wineprefix" "$root/build/$arch/bin/$program.exe" "$@"
