#!/usr/bin/env bash
# Builds the installer build/installer/zx_platform-setup-<version>.exe from both build trees
# (scripts/build.sh first): installs each tree into build/stage/<arch>, lists their files for the
# install and uninstall sections, and runs makensis on packaging/installer/zx_platform.nsi.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(cat "$root/build/x64/zx_version.txt")
stage=$root/build/stage
out=$root/build/installer
files=$out/files
rm -rf "$stage" "$files"
mkdir -p "$files"
for arch in x64 x86; do
  cmake --install "$root/build/$arch" --prefix "$stage/$arch" >/dev/null
done

# NSIS lines that install every file below SOURCE into TARGET (an $INSTDIR path), except those named
# in SKIP; each installed path is also recorded for the uninstaller.
list() {
  local source=$1 target=$2 skip=${3:-}
  [ -d "$source" ] || return 0
  (cd "$source" && find . -type f | sort) | while read -r f; do
    f=${f#./}
    [ -n "$skip" ] && [ "$(basename "$f")" = "$skip" ] && continue
    local dir; dir=$(dirname "$f")
    local windir=$target; [ "$dir" != . ] && windir="$target\\${dir//\//\\}"
    echo "SetOutPath \"$windir\""
    echo "File \"$source/$f\""
    echo "$windir\\$(basename "$f")" >>"$files/installed.txt"
  done
}
: >"$files/installed.txt"
# The installer's own variables ($INSTDIR) are written as they stand.
# shellcheck disable=SC2016
{
  list "$stage/x64/bin" '$INSTDIR\bin'
  # setupaid dresses the installer only.
  list "$stage/x86/bin" '$INSTDIR\x86\bin' setupaid.dll
} >"$files/runtime.nsh"
{
  for part in include lib; do
    list "$stage/x64/$part" "\$INSTDIR\\$part"
    list "$stage/x86/$part" "\$INSTDIR\\x86\\$part"
  done
} >"$files/development.nsh"

# The uninstaller deletes exactly those files, then every folder they were in that is empty then,
# deepest first.
# shellcheck disable=SC2016,SC1003
{
  sed 's/^\(.*\)$/Delete "\1"/' "$files/installed.txt"
  sed 's/\\[^\\]*$//' "$files/installed.txt" | sort -u | while read -r d; do
    while [ "$d" != '$INSTDIR' ]; do echo "$d"; d=${d%\\*}; done
  done | sort -u | awk -F'\\' '{ print NF "\t" $0 }' | sort -rn | cut -f2- | sed 's/^\(.*\)$/RMDir "\1"/'
} >"$files/uninstall.nsh"

makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DFILES="$files" \
  -DOUTFILE="$out/zx_platform-setup-$version.exe" "$root/packaging/installer/zx_platform.nsi"
# The same pages as a 64-bit program, for the page tests where 32-bit programs cannot run.
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DFILES="$files" -DTARGET=amd64-unicode \
  -DSETUPAID_DLL="$root/build/x64/bin/setupaid.dll" -DOUTFILE="$out/zx_platform-pages-test64.exe" \
  "$root/packaging/installer/zx_platform.nsi"
echo "$out/zx_platform-setup-$version.exe"
