#!/usr/bin/env bash
# Takes the pictures of the tracing windows for the documentation: runs zx_tracewatch --demo and
# captures its windows into OUTDIR/tracing-window-1.png and tracing-window-2.png.
#   scripts/screenshot-trace.sh OUTDIR
# Needs ImageMagick ("import") and xwininfo; Wine draws the window frames itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "$1")
mkdir -p "$out"
. "$root/scripts/session.sh"
zx_session_start "$root/build/wineprefix"
"$root/scripts/wine-run.sh" "$WINEPREFIX" "$root/build/x64/bin/zx_tracewatch.exe" --demo >/dev/null 2>&1 &
sleep 6
for id in 1 2; do
  window=$(xwininfo -root -tree | grep -F "\"Tracing Window ID: $id\"" | head -1 | awk '{print $1}')
  import -window "$window" "$out/tracing-window-$id.png"
  echo "$out/tracing-window-$id.png"
done
wineserver -k
