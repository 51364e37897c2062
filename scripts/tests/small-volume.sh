# shellcheck shell=bash
# Sourced by the script tests that need a small volume: mounts a tmpfs with the given options on a
# new folder and sets $small, or says why it cannot and exits with 77 (ctest's "skipped").
# Usage: zx_small_volume OPTIONS
zx_small_volume() {
  small=$(mktemp -d)
  if ! mount -t tmpfs -o "$1" zxsmall "$small" 2>/dev/null; then
    rmdir "$small"
    echo "SKIPPED: this host cannot mount a small tmpfs for a full drive (needs root and mount)"
    exit 77
  fi
}
