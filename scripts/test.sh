#!/usr/bin/env bash
# Installs what is missing, builds both architectures and runs every test under Wine.
# Fails when a test fails or when a tree has no tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
. "$root/scripts/session.sh"
zx_session_start "$root/build/wineprefix"
status=0
for arch in x64 x86; do
  echo "== tests, $arch"
  ctest --test-dir "$root/build/$arch" --output-on-failure --no-tests=error -j2 --timeout 900 || status=1
done
exit $status
