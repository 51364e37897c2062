# shellcheck shell=bash
# Sourced by the other scripts: the Wine loaders, whether this host runs 32-bit programs, and
# the build's own Wine prefix.
#
# Every Wine call goes through the 64-bit loader (zx_wine). Debian's "wine" wrapper, "wineboot" and
# "winepath" start the 32-bit loader whenever wine32 is installed, even for 64-bit programs, and
# some hosts cannot execute 32-bit Linux programs at all ("Exec format error"). The 64-bit loader
# starts the 32-bit one by itself when a 32-bit Windows program needs it.

ZX_WINE64=${ZX_WINE64:-/usr/lib/wine/wine64}
ZX_WINE32=${ZX_WINE32:-/usr/lib/wine/wine}
export WINELOADER=$ZX_WINE64

# zx_wine ARGS...: runs a Windows program (or a builtin such as wineboot, winepath, reg).
zx_wine() {
  "$ZX_WINE64" "$@"
}

# Sets and exports ZX_HOST_X86 (1 or 0) and ZX_HOST_X86_WHY, once per run: a child script
# inherits the answer instead of asking again.
zx_host_x86() {
  [ -n "${ZX_HOST_X86:-}" ] && return 0
  local out
  if [ ! -e "$ZX_WINE32" ]; then
    ZX_HOST_X86=0
    ZX_HOST_X86_WHY="the 32-bit Wine loader $ZX_WINE32 is not installed"
    # scripts/install-deps.sh keeps the reason when it could not install it.
    local why_file=${ZX_X86_WHY_FILE:-$(dirname "${BASH_SOURCE[0]}")/../build/x86-install.why}
    [ -s "$why_file" ] && ZX_HOST_X86_WHY="$ZX_HOST_X86_WHY ($(head -n 1 "$why_file"))"
  elif out=$("$ZX_WINE32" --version 2>&1); then
    ZX_HOST_X86=1
    ZX_HOST_X86_WHY=""
  else
    ZX_HOST_X86=0
    out=$(printf '%s' "$out" | tail -n 1)
    ZX_HOST_X86_WHY="this host cannot run 32-bit programs ($ZX_WINE32 --version: ${out##*: })"
  fi
  export ZX_HOST_X86 ZX_HOST_X86_WHY
}

ZX_TEST_PREFIX=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wineprefix
# Version of the settings below; a prefix made with older ones is brought up to date.
ZX_PREFIX_VERSION=2

# Settings of the build's own test prefix: a crashing program ends at once with a backtrace on its
# standard error (no crash dialog that would hold the test until its time-out), and windows are
# not handed to a window manager (destroying one takes milliseconds instead of seconds).
zx_test_prefix_settings() {
  zx_wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
    zx_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
}

# A test prefix made before the 32-bit Wine was installed has no 32-bit system folder; once the
# 32-bit loader is there, the prefix is made anew.
zx_prefix_lacks_x86() {
  [ -f "$WINEPREFIX/.zx-ready" ] && [ "$WINEPREFIX" -ef "$ZX_TEST_PREFIX" ] || return 1
  [ ! -e "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] || return 1
  zx_host_x86
  [ "$ZX_HOST_X86" = 1 ]
}
zx_prefix_current() {
  [ "$(cat "$WINEPREFIX/.zx-ready" 2>/dev/null)" = "$ZX_PREFIX_VERSION" ] && ! zx_prefix_lacks_x86
}

# zx_wine_prefix PREFIX: exports WINEPREFIX and friends and creates the prefix once. A prefix that
# cannot be created stops the calling script here, with Wine's own output as the reason.
zx_wine_prefix() {
  export WINEPREFIX=$1
  export WINEARCH=win64
  export WINEDEBUG=${WINEDEBUG:--all}
  # No runtime installers for .NET or HTML in a test prefix.
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  zx_prefix_current && return 0
  mkdir -p "$(dirname "$WINEPREFIX")" || return 1
  (
    flock 9
    zx_prefix_current && exit 0
    if zx_prefix_lacks_x86; then
      # Made while the 32-bit Wine was missing: such a prefix never runs a 32-bit program.
      echo "note: re-creating $WINEPREFIX, which was made without the 32-bit Wine" >&2
      wineserver -k >/dev/null 2>&1
      rm -rf "$WINEPREFIX"
    fi
    log=$(mktemp)
    ok=1
    if [ ! -f "$WINEPREFIX/.zx-ready" ]; then
      WINEDEBUG=err+all zx_wine wineboot.exe -i >"$log" 2>&1 && wineserver -w &&
        [ -f "$WINEPREFIX/system.reg" ] || ok=0
    fi
    if [ $ok = 1 ] && [ "$WINEPREFIX" -ef "$ZX_TEST_PREFIX" ]; then
      zx_test_prefix_settings >>"$log" 2>&1 || ok=0
    fi
    # The settings leave a server running; the session's persistent server cannot start beside it.
    wineserver -w
    if [ $ok = 0 ]; then
      echo "error: cannot set up the Wine prefix $WINEPREFIX with $ZX_WINE64:" >&2
      tail -n 20 "$log" >&2
      rm -f "$log"
      exit 1
    fi
    rm -f "$log"
    echo "$ZX_PREFIX_VERSION" >"$WINEPREFIX/.zx-ready"
  ) 9>"$WINEPREFIX.lock"
}
