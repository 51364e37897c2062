#!/usr/bin/env bash
# The main job: installs what is missing and builds both architectures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
echo "built: $root/build/x64/bin and $root/build/x86/bin"
