#!/usr/bin/env bash
# The main job: builds settingsxfer and runs it under Wine to export the settings store of the
# default Wine prefix (~/.wine, or $WINEPREFIX) into one package file.
#   scripts/run-main.sh [PACKAGE]   (default: out/settings.bin)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
package=$(realpath -m "${1:-$root/out/settings.bin}")
mkdir -p "$(dirname "$package")"
rm -f "$package"
. "$root/scripts/session.sh"
zx_session_start "${WINEPREFIX:-$HOME/.wine}"
set +e
"$root/scripts/wine-run.sh" "$WINEPREFIX" "$root/build/x64/bin/settingsxfer.exe" -out "$(zx_wine winepath.exe -w "$package")"
code=$?
set -e
store=$(zx_wine winepath.exe -u 'C:\ProgramData\Varnholt\Platform' 2>/dev/null || true)
if [ $code -eq 0 ] && [ -f "$package" ]; then
  echo "settingsxfer exported the settings store ($store) of the Wine prefix $WINEPREFIX"
  echo "package written to $package ($(stat -c %s "$package") bytes)"
else
  echo "settingsxfer failed (exit code $code); no package at $package" >&2
  exit 1
fi
