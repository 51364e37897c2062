#!/usr/bin/env bash
# Runs a benchmark of the 64-bit build under Wine: scripts/bench.sh NAME [ARGS...]
# (NAME without "_bench.exe", e.g. asynccopy).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
. "$root/scripts/session.sh"
zx_session_start "$root/build/wineprefix"
name=$1
shift
"$root/scripts/wine-run.sh" "$root/build/wineprefix" "$root/build/x64/bin/${name}_bench.exe" "$@"
