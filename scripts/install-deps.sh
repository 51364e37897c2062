#!/usr/bin/env bash
# Installs the cross compilers, Wine (64- and 32-bit), Xvfb, doctest and NSIS (the installer) on
# Debian 12.
# Idempotent and non-interactive; does nothing when everything is already present.
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for p in cmake ninja-build mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 wine32:i386 \
         xvfb doctest-dev nsis; do
  have_pkg "$p" || need+=("$p")
done
[ ${#need[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
