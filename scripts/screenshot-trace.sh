#!/usr/bin/env bash
# Takes the pictures of the tracing windows for the documentation:
#   OUTDIR/tracing-window-1.png, tracing-window-2.png  zx_tracewatch --demo, its two windows
#   OUTDIR/tracing-find.png                             a find in progress in the first window
#   OUTDIR/tracing-replay.png                           the demo's records replayed from today's log
#   scripts/screenshot-trace.sh OUTDIR
# Needs ImageMagick ("import", "convert"), xwininfo and xdotool; Wine draws the window frames itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "$1")
mkdir -p "$out"
. "$root/scripts/session.sh"
zx_session_start "$root/build/wineprefix"
viewer="$root/build/x64/bin/zx_tracewatch.exe"

window_of() { xwininfo -root -tree | grep -F "\"$1\"" | head -1 | awk '{print $1}'; }
# The area of the root window that holds all the given windows, as a crop geometry.
area_of() {
  local x0=100000 y0=100000 x1=0 y1=0 w x=0 y=0 wd=0 ht=0
  for w in "$@"; do
    eval "$(xwininfo -id "$w" | awk '/Absolute upper-left X/{print "x="$4} /Absolute upper-left Y/{print "y="$4}
      /Width:/{print "wd="$2} /Height:/{print "ht="$2}')"
    [ "$x" -lt "$x0" ] && x0=$x; [ "$y" -lt "$y0" ] && y0=$y
    [ $((x + wd)) -gt "$x1" ] && x1=$((x + wd)); [ $((y + ht)) -gt "$y1" ] && y1=$((y + ht))
  done
  echo "$((x1 - x0))x$((y1 - y0))+$x0+$y0"
}

"$root/scripts/wine-run.sh" "$WINEPREFIX" "$viewer" --demo >/dev/null 2>&1 &
sleep 6
for id in 1 2; do
  import -window "$(window_of "Tracing Window ID: $id")" "$out/tracing-window-$id.png"
  echo "$out/tracing-window-$id.png"
done
first=$(window_of "Tracing Window ID: 1")
# A click on a row gives the window the keyboard (there is no window manager to ask).
xdotool mousemove --window "$first" 300 60 click 1
sleep 0.5
xdotool key ctrl+f
sleep 1
xdotool type --delay 50 "frame"
xdotool key Return
sleep 1
find=$(window_of Find)
xdotool windowmove --sync "$find" 160 130 # below the row found
sleep 1
xdotool windowsize --sync "$first" 800 101
sleep 1
import -window root -crop "$(area_of "$first" "$find")" "$out/tracing-find.png"
echo "$out/tracing-find.png"
wineserver -k
sleep 1

# The demo's records went to today's log as well.
zx_session_start "$root/build/wineprefix"
"$root/scripts/wine-run.sh" "$WINEPREFIX" "$viewer" -today >/dev/null 2>&1 &
sleep 6
y=0
windows=()
for title in "Tracing Window ID: 1" "Tracing Window ID: 2" "$(xwininfo -root -tree | grep -o '"qxapp_[^"]*"' | head -1 | tr -d '"')"; do
  w=$(window_of "$title")
  # Moved apart and resized once, which redraws them whole.
  xdotool windowmove --sync "$w" 0 "$y" windowsize --sync "$w" 800 141
  windows+=("$w")
  y=$((y + 150))
done
sleep 1
for w in "${windows[@]}"; do xdotool windowsize --sync "$w" 800 140; done
sleep 1
import -window root -crop "$(area_of "${windows[@]}")" "$out/tracing-replay.png"
echo "$out/tracing-replay.png"
wineserver -k
