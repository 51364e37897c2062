#!/usr/bin/env bash
# settingsxfer imports a package into a store on a drive that fills up half way: the elements that
# fit are imported whole, the others stay as they were, and the exit code says that elements could
# not be written (-10). The store folder of the test prefix is pointed at a small tmpfs for it; a
# host that cannot mount one skips the test with the reason.
# Usage: settingsxfer_full_drive_test.sh BINDIR
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$1
. "$root/scripts/wine-prefix.sh"
prefix=$root/build/wineprefix
store=$prefix/drive_c/ProgramData/Varnholt/Platform
# shellcheck source=scripts/tests/small-volume.sh
. "$root/scripts/tests/small-volume.sh"
zx_small_volume size=192k
aside=""
cleanup() {
  rm -f "$store"
  [ -n "$aside" ] && mv "$aside" "$store"
  umount "$small" && rmdir "$small"
  rm -f "$prefix/drive_c/zx-full-drive.bin"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
run() { "$root/scripts/wine-run.sh" "$prefix" "$bin/settingsxfer.exe" "$@"; }

if [ -e "$store" ]; then aside=$store.zx-aside; mv "$store" "$aside"; fi
mkdir -p "$store"
elements="AutoConf Layouts UserKernels Devices OpticalConfigs Objectives UserManager GUILayouts"
for e in $elements; do yes "$e" | head -c 65536 >"$store/$e.xml"; done
run -out 'C:\zx-full-drive.bin' >/dev/null || fail "export"
rm -rf "$store"
ln -s "$small" "$store"

run -in 'C:\zx-full-drive.bin' >/dev/null
code=$?
[ $code = 246 ] || fail "import onto a full drive ended with $code, not -10 (246)"
written=0
for e in $elements; do
  [ -e "$small/$e.xml" ] || continue
  written=$((written + 1))
  cmp -s <(yes "$e" | head -c 65536) "$small/$e.xml" || fail "$e.xml is not whole"
done
if [ "$written" -lt 1 ] || [ "$written" -ge 8 ]; then fail "$written of 8 elements written"; fi
leftover=$(find "$small" -maxdepth 1 -name '*.tmp' | head -1)
[ -z "$leftover" ] || fail "left behind: $leftover"
echo "a full drive: $written of 8 elements imported whole, the rest reported (exit code -10), nothing left behind"
