#!/usr/bin/env bash
# Installs what is missing, builds both architectures and runs every test under Wine.
# Fails when a test fails or when a tree has no tests. On a host that cannot run 32-bit programs
# the 32-bit tree is still built and checked, and its Wine-run tests are reported as skipped;
# ZX_REQUIRE_X86=1 makes that a failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
. "$root/scripts/session.sh"
zx_session_start "$root/build/wineprefix"
status=0
for arch in x64 x86; do
  echo "== tests, $arch"
  if [ $arch = x86 ] && [ "$ZX_HOST_X86" != 1 ]; then
    if [ "${ZX_REQUIRE_X86:-0}" = 1 ]; then
      echo "FAILED: 32-bit tests cannot run: $ZX_HOST_X86_WHY (ZX_REQUIRE_X86=1)"
      status=1
    else
      echo "NOTE: 32-bit tests that run under Wine are skipped: $ZX_HOST_X86_WHY"
    fi
  fi
  ctest --test-dir "$root/build/$arch" --output-on-failure --no-tests=error -j2 --timeout 900 || status=1
done
exit $status
