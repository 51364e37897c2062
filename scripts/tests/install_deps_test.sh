#!/usr/bin/env bash
# The checks are functions that the rows call through "$@", which shellcheck cannot follow.
# shellcheck disable=SC2317
# scripts/install-deps.sh against stand-ins for apt-get, dpkg, dpkg-query and sudo: a package
# index that fails, a 32-bit Wine that cannot be installed, a 64-bit package that cannot be, a
# server that fails once. Runs without network and changes nothing on the machine.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; fail=1; fi
}

mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
# Installed packages are files in $STANDIN/installed; every call is logged in $STANDIN/calls.
echo "$*" >>"$STANDIN/calls"
cmd=""; pkgs=()
for a in "$@"; do
  case $a in update|install) cmd=$a ;; -*|bookworm) ;; *) pkgs+=("$a") ;; esac
done
if [ "$cmd" = update ]; then
  if [ -n "${STANDIN_FAIL_ONCE:-}" ] && [ ! -e "$STANDIN/failed-once" ]; then
    touch "$STANDIN/failed-once"
    echo "E: Failed to fetch http://deb.example/dists/bookworm/InRelease  503  Service Unavailable"; exit 100
  fi
  if [ -n "${STANDIN_BAD_INDEX:-}" ]; then
    echo "E: Failed to fetch http://deb.example/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."; exit 100
  fi
  exit 0
fi
for p in "${pkgs[@]}"; do
  for r in ${STANDIN_REFUSE:-}; do
    if [ "$p" = "$r" ]; then
      echo " ${p%%:*}-libs : Depends: libshared:${p##*:} (>= 1.0) but it is not installable"
      echo "E: Unable to correct problems, you have held broken packages."; exit 100
    fi
  done
done
for p in "${pkgs[@]}"; do touch "$STANDIN/installed/$p"; done
STANDIN
cat >"$work/bin/dpkg-query" <<'STANDIN'
#!/usr/bin/env bash
[ -e "$STANDIN/installed/${!#}" ] && printf 'install ok installed'
STANDIN
cat >"$work/bin/dpkg" <<'STANDIN'
#!/usr/bin/env bash
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0
STANDIN
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
printf '#!/bin/sh\necho wine-8.0\n' >"$work/bin/wine64"
chmod +x "$work/bin/"*

# run NAME [VAR=VALUE...]: the script in a fresh state; its output in $work/NAME.out, code in rc.
run() {
  local name=$1; shift
  export STANDIN=$work/$name
  mkdir -p "$STANDIN/installed"
  for p in ${PREINSTALLED:-}; do touch "$STANDIN/installed/$p"; done
  env PATH="$work/bin:$PATH" ZX_WINE64="$work/bin/wine64" ZX_APT_PAUSE=0 \
    ZX_X86_WHY_FILE="$STANDIN/why" "$@" bash "$root/scripts/install-deps.sh" >"$STANDIN.out" 2>&1
  rc=$?
}
installed() { [ -e "$STANDIN/installed/$1" ]; }
said() { grep -q -- "$1" "$STANDIN.out"; }
all64="cmake ninja-build mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 xvfb x11-apps doctest-dev nsis
  shellcheck"
all_installed() { local p; for p in $all64; do installed "$p" || return 1; done; }

run broken-index STANDIN_BAD_INDEX=1 STANDIN_REFUSE=wine32:i386
check "a failed index and a refused 32-bit Wine: exit 0" [ $rc -eq 0 ]
check "... the 64-bit set is installed" all_installed
check "... the index failure is reported" said "unexpected size"
check "... the 32-bit reason in one line" said "^NOTE: .*wine32:i386.*libshared:i386 (>= 1.0) but it is not installable"
check "... and kept for the test scripts" grep -q "not installable" "$STANDIN/why"
check "... the fallback was one transaction that removes nothing" \
  grep -q -- "-t bookworm --no-remove .*shellcheck wine32:i386" "$STANDIN/calls"
x86_why=$(env -u ZX_HOST_X86 -u ZX_HOST_X86_WHY ZX_WINE32=/nonexistent ZX_X86_WHY_FILE="$STANDIN/why" bash -c \
  ". '$root/scripts/wine-prefix.sh'; zx_host_x86; echo \"\$ZX_HOST_X86 \$ZX_HOST_X86_WHY\"")
check "... the tests' skip reason names it" grep -q "^0 .*not installed (wine32:i386 cannot be installed: " <<<"$x86_why"

run refused-64 STANDIN_REFUSE=nsis
check "a refused 64-bit package: failure" [ $rc -ne 0 ]
check "... naming it" said "^  nsis: .*not installable"
check "... and only it" bash -c "! grep -q '^  cmake' '$STANDIN.out'"

run transient STANDIN_FAIL_ONCE=1
check "a server error once: tried again, everything installed" [ $rc -eq 0 ]
check "... two updates" [ "$(grep -c '^update' "$STANDIN/calls")" = 2 ]
check "... both Wines" installed wine32:i386
check "... no 32-bit reason left" [ ! -e "$STANDIN/why" ]

PREINSTALLED="$all64 wine32:i386" run nothing-missing
check "nothing missing: no apt-get call" [ ! -e "$STANDIN/calls" ]
exit $fail
