#!/usr/bin/env bash
# Takes the picture of a setup page dressed by setupaid for the documentation: runs setupaid_demo
# (the 64-bit test build of the library) and captures its page and the message window together
# into OUTDIR/setupaid-page.png.
#   scripts/screenshot-setupaid.sh OUTDIR
# Needs ImageMagick ("import", "convert") and xwininfo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "$1")
mkdir -p "$out"
. "$root/scripts/session.sh"
zx_session_start "$root/build/wineprefix"
"$root/scripts/wine-run.sh" "$WINEPREFIX" "$root/build/x64/bin/setupaid_demo.exe" 12 >/dev/null 2>&1 &
sleep 6
tree=$(xwininfo -root -tree)
page=$(grep -F '"Setup - Components": ("setupaid_demo.exe"' <<<"$tree" | head -1)
# The message window has no title; it is the demo's unnamed window of more than one pixel.
message=$(grep -F '(has no name): ("setupaid_demo.exe"' <<<"$tree" | grep -v ' 1x1+' | head -1)
# The union of both windows' "WxH+X+Y", with a margin.
crop=$(printf '%s\n%s\n' "$page" "$message" | sed -n 's/.* \([0-9]*\)x\([0-9]*\)+\([0-9-]*\)+\([0-9-]*\) .*/\1 \2 \3 \4/p' |
  awk 'NR == 1 { l = $3; t = $4; r = $3 + $1; b = $4 + $2 }
       { if ($3 < l) l = $3; if ($4 < t) t = $4; if ($3 + $1 > r) r = $3 + $1; if ($4 + $2 > b) b = $4 + $2 }
       END { m = 10; printf "%dx%d+%d+%d", r - l + 2 * m, b - t + 2 * m, l - m, t - m }')
import -window root "$out/screen.png"
convert "$out/screen.png" -crop "$crop" +repage "$out/setupaid-page.png"
rm -f "$out/screen.png"
echo "$out/setupaid-page.png"
wineserver -k
