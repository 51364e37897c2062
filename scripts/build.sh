#!/usr/bin/env bash
# Configures and builds the 64-bit and the 32-bit trees under build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
for arch in x64 x86; do
  case $arch in
    x64) triple=x86_64-w64-mingw32 ;;
    x86) triple=i686-w64-mingw32 ;;
  esac
  if [ ! -f "$root/build/$arch/build.ninja" ]; then
    cmake -S "$root" -B "$root/build/$arch" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$triple.cmake" \
      -DCMAKE_BUILD_TYPE=Release \
      -DZX_WINE_PREFIX="$root/build/wineprefix" >/dev/null
  fi
  cmake --build "$root/build/$arch"
done
