#!/usr/bin/env bash
# The main job: builds settingsxfer (the 64-bit tree, only what runs here) and runs it under Wine to
# export the settings store of the default Wine prefix (~/.wine, or $WINEPREFIX) into one package
# file. A prefix without a store first gets a sample one (and says so); a prefix with a store is
# exported as it is. Then prints what the package holds, read back from the file.
#   scripts/run-main.sh [PACKAGE]   (default: out/settings.bin)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" x64 settingsxfer settingsxfer_sample
package=$(realpath -m "${1:-$root/out/settings.bin}")
mkdir -p "$(dirname "$package")"
rm -f "$package"
. "$root/scripts/session.sh"
zx_session_start "${WINEPREFIX:-$HOME/.wine}"
bin=$root/build/x64/bin
run() { "$root/scripts/wine-run.sh" "$WINEPREFIX" "$@"; }

set +e
run "$bin/settingsxfer_sample.exe" lay | tr -d '\r'
laid=${PIPESTATUS[0]}
set -e
if [ "$laid" -ne 0 ] && [ "$laid" -ne 3 ]; then
  echo "no sample settings store could be laid down (exit code $laid)" >&2
  exit 1
fi

set +e
run "$bin/settingsxfer.exe" -out "$(zx_wine winepath.exe -w "$package")"
code=$?
set -e
store=$(zx_wine winepath.exe -u 'C:\ProgramData\Varnholt\Platform' 2>/dev/null || true)
if [ $code -ne 0 ] || [ ! -f "$package" ]; then
  echo "settingsxfer failed (exit code $code); no package at $package" >&2
  exit 1
fi
echo "settingsxfer exported the settings store ($store) of the Wine prefix $WINEPREFIX"
echo "package written to $package ($(stat -c %s "$package") bytes)"
run "$bin/settingsxfer_sample.exe" summary "$(zx_wine winepath.exe -w "$package")" | tr -d '\r'
