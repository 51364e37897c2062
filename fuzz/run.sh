#!/usr/bin/env bash
# Builds the fuzz targets natively with clang and runs each for a bounded time.
# Usage: fuzz/run.sh [SECONDS_PER_TARGET] (default 600). Findings land in fuzz/build/findings.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-600}
need=()
for p in clang libclang-rt-14-dev cmake ninja-build; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
build=$here/build
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"
mkdir -p "$build/corpus/treefile" "$build/corpus/xml" "$build/corpus/treestream" "$build/findings"
"$build/make_seeds" "$build/corpus/treefile" "$build/corpus/xml"
status=0
cp "$build"/corpus/treefile/* "$build/corpus/treestream/" 2>/dev/null || true
# Under a memory limit: a reader that allocated for what a file only claims, or a writer that held
# what it wrote, would pass it.
for target in treefile xml treestream; do
  echo "== ${target}_fuzz for ${seconds}s"
  "$build/${target}_fuzz" -max_total_time="$seconds" -max_len=16384 -print_final_stats=1 \
    -rss_limit_mb=1024 -malloc_limit_mb=512 \
    -artifact_prefix="$build/findings/${target}-" "$build/corpus/$target" 2>&1 | tail -n 12 || status=1
done
exit $status
