#!/usr/bin/env bash
# Installs a build tree into a fresh prefix, builds packaging/consumer against it with the same
# cross compiler (find_package(zx_winsys) and zx::winsys), and runs the result under Wine with the
# installed bin/ on its DLL path. Exits 77 (skipped) when the host cannot run the tree's programs.
#   scripts/test-consumer.sh BUILD_DIR x64|x86
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1")
arch=$2
case $arch in x64) triple=x86_64-w64-mingw32 ;; x86) triple=i686-w64-mingw32 ;; *) echo "unknown arch $arch"; exit 2 ;; esac
work=$build/consumer-test
rm -rf "$work"
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/zx_winsys.dll bin/zx_pthreads.dll bin/zx_gensys.dll bin/zx_tracewatch.exe lib/libzx_winsys.dll.a \
         include/zx_winsys/zx_winsys.h include/zx_winsys/qx_net.h include/zx_pthreads/zx_pthreads.h \
         include/zx_gensys/zx_gensys.h lib/cmake/zx_winsys/zx_winsysConfig.cmake; do
  [ -e "$prefix/$f" ] || { echo "FAIL: the installed tree has no $f"; exit 1; }
done
if [ "$arch" = x64 ]; then
  [ -e "$prefix/bin/settingsxfer.exe" ] || { echo "FAIL: settingsxfer.exe is not installed"; exit 1; }
  [ ! -e "$prefix/bin/setupaid.dll" ] || { echo "FAIL: the 64-bit test build of setupaid is installed"; exit 1; }
else
  [ -e "$prefix/bin/setupaid.dll" ] || { echo "FAIL: setupaid.dll is not installed"; exit 1; }
fi
if find "$prefix/include" -path '*internal*' | grep -q .; then echo "FAIL: internal headers installed"; exit 1; fi

cmake -S "$root/packaging/consumer" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$triple.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/build"

# The program finds the installed DLLs through the path, as a program of another project would.
export WINEPATH="Z:${prefix//\//\\}\\bin"
"$root/scripts/wine-run.sh" "$root/build/wineprefix" "$work/build/zx_consumer.exe"
