#!/usr/bin/env bash
# Every shell script of the project passes shellcheck (the sourced ones followed from their users).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
if ! command -v shellcheck >/dev/null; then
  echo "SKIPPED: shellcheck is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
mapfile -t scripts < <(find scripts fuzz -name '*.sh' | sort)
shellcheck -x --source-path=SCRIPTDIR "${scripts[@]}" .ci/run
echo "${#scripts[@]} scripts and .ci/run pass shellcheck"
