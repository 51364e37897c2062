#!/usr/bin/env bash
# With "pages64": builds the installers and runs the page test against the 64-bit installer of the
# same pages (on every host). Otherwise builds the installer, then (where the host runs 32-bit
# programs: the installer is one) installs
# silently under Wine into a folder of its own, checks what was installed, uninstalls silently and
# checks that it is all gone again and that the settings store was left alone; then runs the
# installer page by page with real clicks (packaging/installer/tests/installer_pages_test.cpp).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-prefix.sh"
installer=$("$root/scripts/build-installer.sh" | tail -1)
export WINEPREFIX=$root/build/wineprefix
run() { "$root/scripts/wine-run.sh" "$WINEPREFIX" "$@"; }
if [ "${1:-}" = pages64 ]; then
  # The pages as a 64-bit program, with the 64-bit setupaid: on every host.
  ZX_INSTALLER=$(zx_wine winepath.exe -w "$root/build/installer/zx_platform-pages-test64.exe" | tr -d "\r") \
    run "$root/build/x64/bin/zx_installer_pages.exe"
  echo "page by page (64-bit pages): the link clicks once, the feature tree decides, the message window paints"
  exit 0
fi
zx_host_x86
if [ "$ZX_HOST_X86" != 1 ]; then
  echo "SKIPPED: the installer is a 32-bit program and $ZX_HOST_X86_WHY"
  exit 77
fi
drive=$WINEPREFIX/drive_c
target=$drive/zx-installer-test/LumetraPlatform
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Lumetra Platform"
store=$drive/ProgramData/Varnholt/Platform
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\LumetraPlatform'
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$drive/zx-installer-test"

# Something of the settings store, which the uninstaller must not touch.
mkdir -p "$store"
echo "kept" >"$store/installer-test-marker.txt"
trap 'rm -f "$store/installer-test-marker.txt"; rm -rf "$drive/zx-installer-test"' EXIT

run "$installer" /S '/D=C:\zx-installer-test\LumetraPlatform'
while read -r path; do
  rel=${path#\$INSTDIR\\}
  [ -f "$target/${rel//\\//}" ] || fail "not installed: $rel"
done <"$root/build/installer/files/installed.txt"
[ -f "$target/uninstall.exe" ] || fail "no uninstaller"
[ -f "$menu/Lumetra Settings Transfer.lnk" ] || fail "no Start-menu entry"
shortcut=$(run "$root/build/x86/bin/zx_shortcut_probe.exe" \
  'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Lumetra Platform\Lumetra Settings Transfer.lnk' | tr -d '\r')
[ "$shortcut" = 'C:\zx-installer-test\LumetraPlatform\bin\settingsxfer.exe
C:\zx-installer-test\LumetraPlatform\bin' ] || fail "the Start-menu entry reads: $shortcut"
if [ -e "$target/x86/bin/setupaid.dll" ] || [ -e "$target/bin/setupaid.dll" ]; then fail "setupaid.dll installed"; fi
cmp -s "$target/bin/zx_winsys.dll" "$root/build/x64/bin/zx_winsys.dll" || fail "bin/zx_winsys.dll is not the 64-bit build"
cmp -s "$target/x86/bin/zx_winsys.dll" "$root/build/x86/bin/zx_winsys.dll" || fail "x86/bin/zx_winsys.dll is not the 32-bit build"
run reg.exe query "$key" /v DisplayVersion | grep -q "$(cat "$root/build/x64/zx_version.txt")" || fail "no uninstall entry"
echo "installed: $(wc -l <"$root/build/installer/files/installed.txt") files, the uninstaller, the Start-menu entry"

# The uninstaller copies itself away and runs from there: wait for the folder to go.
run "$target/uninstall.exe" /S
for _ in $(seq 1 120); do
  [ -e "$target" ] || break
  sleep 0.5
done
[ ! -e "$target" ] || fail "left behind: $(cd "$target" && find . | head -5 | tr '\n' ' ')"
[ ! -e "$menu" ] || fail "the Start-menu folder is left behind"
if run reg.exe query "$key" >/dev/null 2>&1; then fail "the uninstall entry is left behind"; fi
[ "$(cat "$store/installer-test-marker.txt")" = kept ] || fail "the settings store was touched"
echo "uninstalled: every file, folder, entry and key is gone; the settings store is untouched"

# Page by page with real clicks (the link, Back and Next, the feature tree, the message window
# during the copy), into a folder the installer makes, which the uninstaller takes again.
# ZX_PICTURES=<Windows folder> saves each page there as a bitmap.
ZX_INSTALLER=$(winepath -w "$installer") run "$root/build/x86/bin/zx_installer_pages.exe"
echo "page by page: the link clicks once, the feature tree decides, the message window paints"
