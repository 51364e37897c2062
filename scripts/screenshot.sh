#!/usr/bin/env bash
# Takes a picture of settingsxfer's main window, as it opens (on its Export page), for the
# documentation:
#   scripts/screenshot.sh OUT.png
# Needs ImageMagick ("import"); Wine draws the window frame itself (no window manager runs).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "$1")
. "$root/scripts/session.sh"
zx_session_start "$root/build/wineprefix"
"$root/scripts/wine-run.sh" "$WINEPREFIX" "$root/build/x64/bin/settingsxfer.exe" >/dev/null 2>&1 &
sleep 5
id=$(xwininfo -root -tree | grep -F 'Lumetra Settings' | head -1 | awk '{print $1}')
import -window "$id" "$out"
echo "$out"
