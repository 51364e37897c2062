#!/usr/bin/env bash
# The main job on a fresh Wine prefix: it lays down the sample store, exports it and prints the
# package's summary (the shared elements and each sample user's); run again, it leaves the store
# as it is and exports the same.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { local what=$1; shift; if "$@"; then echo "ok   $what"; else echo "FAIL $what"; fail=1; fi; }
# shellcheck disable=SC2317 # called through check
said() { grep -q -- "$1" "$work/run.log"; }

WINEPREFIX=$work/prefix "$root/scripts/run-main.sh" "$work/settings.bin" >"$work/run.log" 2>&1
rc=$?
check "a fresh prefix: exit 0" [ $rc -eq 0 ]
check "... the sample store is laid down, in one line" said "^no settings store here: laid down a sample one"
check "... the package holds the nineteen shared elements" said "^  shared: 19 elements$"
user=$(sed -n 's/.*elements shared and for [0-9]* users\{0,1\}: \([^,)]*\).*/\1/p' "$work/run.log")
check "... and the sample user's ($user)" said "^  $user: 19 elements$"
cp "$work/settings.bin" "$work/first.bin"

WINEPREFIX=$work/prefix "$root/scripts/run-main.sh" "$work/settings.bin" >"$work/run.log" 2>&1
rc=$?
check "a prefix with a store: exit 0" [ $rc -eq 0 ]
check "... the store is exported as it is" said "^a settings store is there already"
check "... the same summary" said "^  $user: 19 elements$"
check "... the same size" [ "$(stat -c %s "$work/settings.bin")" = "$(stat -c %s "$work/first.bin")" ]
[ $fail -eq 0 ] || sed 's/^/  | /' "$work/run.log"
exit $fail
