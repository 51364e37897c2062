#!/usr/bin/env bash
# The log file on a small volume (4 MiB, room for three files): a drive that fills up mid-line
# leaves no fragment and every lost line is reported once space returns; a folder where no new
# file can be made keeps the lines in the current file until one can. The diagnostics tests' log
# folder is pointed at a small tmpfs for it; a host that cannot mount one skips the test with the
# reason.
# Usage: logfile_small_volume_test.sh BINDIR
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$1
prefix=$root/build/wineprefix
folder=$prefix/drive_c/ProgramData/ZxTest/diag/Logfiles
# shellcheck source=scripts/tests/small-volume.sh
. "$root/scripts/tests/small-volume.sh"
zx_small_volume size=4m,nr_inodes=4
aside=""
cleanup() {
  rm -f "$folder"
  [ -n "$aside" ] && mv "$aside" "$folder"
  umount "$small" && rmdir "$small"
}
trap cleanup EXIT

mkdir -p "$(dirname "$folder")"
if [ -e "$folder" ]; then aside=$folder.zx-aside; mv "$folder" "$aside"; fi
ln -s "$small" "$folder"
"$root/scripts/wine-run.sh" "$prefix" "$bin/zx_winsys_diag_tests.exe" --zx-child=log_small_volume
code=$?
[ $code = 0 ] || { echo "FAIL: the small-volume scenario ended with $code"; exit 1; }
echo "a full drive and a folder without free entries: whole lines only, every loss reported"
