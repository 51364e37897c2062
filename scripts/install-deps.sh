#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, in two steps: the 64-bit set (cross
# compilers for both targets, the 64-bit Wine, Xvfb and its picture tool xwd, doctest, NSIS, CMake,
# Ninja, shellcheck) and the 32-bit Wine. Idempotent and non-interactive; does nothing when
# everything is already present.
#
# A package index that cannot be fetched is reported and the install goes on with what the
# server gives. The script fails only when a package of the 64-bit set cannot be installed, and
# names it. When the 32-bit Wine cannot be had, it says why in one line, records the reason for
# the test scripts (which then skip the 32-bit tests that run under Wine) and exits 0.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Where the reason for a missing 32-bit Wine is kept for scripts/wine-prefix.sh.
x86_why_file=${ZX_X86_WHY_FILE:-$root/build/x86-install.why}
ZX_WINE64=${ZX_WINE64:-/usr/lib/wine/wine64}
tries=${ZX_APT_TRIES:-3}
pause=${ZX_APT_PAUSE:-5}

set64=(cmake ninja-build mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 xvfb x11-apps doctest-dev nsis
  shellcheck)
set32=(wine32:i386)

have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing() { local p; for p in "$@"; do have_pkg "$p" || echo "$p"; done; }
mapfile -t need64 < <(missing "${set64[@]}")
mapfile -t need32 < <(missing "${set32[@]}")
if [ ${#need32[@]} -eq 0 ]; then rm -f "$x86_why_file"; fi
[ ${#need64[@]} -eq 0 ] && [ ${#need32[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# apt ARGS...: runs apt-get, its output in $log; a transient failure (a time-out, a refused or
# reset connection, a server error) is tried again a few times after a short pause.
transient='Temporary failure|timed out|Could not connect|Connection failed|Connection reset|Unable to connect| 5[0-9][0-9] +[A-Za-z]|Hash Sum mismatch|Mirror sync in progress'
apt() {
  local i rc
  for ((i = 1; ; i++)); do
    $SUDO apt-get "$@" >"$log" 2>&1
    rc=$?
    [ $rc -eq 0 ] && return 0
    if [ $i -ge "$tries" ] || ! grep -q -E "$transient" "$log"; then return $rc; fi
    echo "note: apt-get $1 failed for a passing reason, trying again in ${pause}s" >&2
    sleep "$pause"
  done
}
# The first line of apt-get's output that says what went wrong.
apt_reason() {
  { grep -E '^E: ' "$log" | grep -v -E 'Unable to correct problems|Some index files failed' ||
      grep -E 'is not installable|has no installation candidate' "$log" ||
      grep -E ' : Depends: |^E: ' "$log" || tail -n 1 "$log"; } | head -n 1 | sed -e 's/^ *//' -e 's/^E: //'
}
install() { apt install -y -qq --no-install-recommends "$@"; }

if [ ${#need32[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386 || echo "note: cannot add the i386 architecture" >&2
fi
if ! apt update -qq; then
  echo "note: some package lists could not be fetched; installing from what the server gives:" >&2
  grep -E '^(E|W): ' "$log" | grep -v 'Some index files failed' | head -n 5 | sed 's/^/  /' >&2
fi

# Everything at once first: a machine whose indexes are complete is done in one transaction.
if install "${need64[@]}" "${need32[@]}"; then
  rm -f "$x86_why_file"
  exit 0
fi
if [ ${#need32[@]} -gt 0 ]; then
  # With the security list of one architecture missing, the two architectures are offered a
  # shared library at different versions. The main archive's versions exist for both alike:
  # prefer them, all packages in one transaction and never removing anything, then check that
  # the 64-bit loader still runs.
  if install -t bookworm --no-remove "${need64[@]}" "${need32[@]}" && "$ZX_WINE64" --version >/dev/null 2>&1; then
    echo "note: installed from the main archive's versions (an update list was missing)" >&2
    rm -f "$x86_why_file"
    exit 0
  fi
fi

# Step 1, the 64-bit set: a failure here is fatal and names the package.
if [ ${#need64[@]} -gt 0 ] && ! install "${need64[@]}"; then
  # One at a time, to name the ones that cannot be had.
  failed=()
  for p in "${need64[@]}"; do
    install "$p" || failed+=("$p: $(apt_reason)")
  done
  if [ ${#failed[@]} -gt 0 ]; then
    echo "error: cannot install the packages the build needs:" >&2
    printf '  %s\n' "${failed[@]}" >&2
    exit 1
  fi
fi

# Step 2, the 32-bit Wine: without it, the 32-bit tests that run under Wine are skipped.
[ ${#need32[@]} -eq 0 ] && exit 0
if install "${need32[@]}"; then
  rm -f "$x86_why_file"
  exit 0
fi
why32=$(apt_reason)
echo "NOTE: the 32-bit Wine (${need32[*]}) cannot be installed, 32-bit tests will be skipped: $why32"
mkdir -p "$(dirname "$x86_why_file")" && echo "${need32[*]} cannot be installed: $why32" >"$x86_why_file"
exit 0
