#!/usr/bin/env bash
# Configures and builds the 64-bit and the 32-bit trees under build/:
#   scripts/build.sh              both trees, everything
#   scripts/build.sh ARCH [TARGET...]
#                                 one tree (x64 or x86), only the targets named (all without any)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arches=(x64 x86)
targets=()
if [ $# -gt 0 ]; then
  arches=("$1")
  shift
  for t in "$@"; do targets+=(--target "$t"); done
fi
for arch in "${arches[@]}"; do
  case $arch in
    x64) triple=x86_64-w64-mingw32 ;;
    x86) triple=i686-w64-mingw32 ;;
    *) echo "build.sh: no tree $arch (x64 or x86)" >&2; exit 2 ;;
  esac
  if [ ! -f "$root/build/$arch/build.ninja" ]; then
    cmake -S "$root" -B "$root/build/$arch" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$triple.cmake" \
      -DCMAKE_BUILD_TYPE=Release \
      -DZX_WINE_PREFIX="$root/build/wineprefix" >/dev/null
  fi
  cmake --build "$root/build/$arch" "${targets[@]}"
done
