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

# zx_wine_prefix PREFIX: exports WINEPREFIX and friends and creates the prefix once. A prefix that
# cannot be created stops the calling script here, with Wine's own output as the reason.
zx_wine_prefix() {
  export WINEPREFIX=$1
  export WINEARCH=win64
  export WINEDEBUG=${WINEDEBUG:--all}
  # No runtime installers for .NET or HTML in a test prefix.
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  [ -f "$WINEPREFIX/.zx-ready" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")" || return 1
  (
    flock 9
    [ -f "$WINEPREFIX/.zx-ready" ] && exit 0
    log=$(mktemp)
    if ! WINEDEBUG=err+all zx_wine wineboot.exe -i >"$log" 2>&1 || ! wineserver -w ||
      [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "error: cannot create the Wine prefix $WINEPREFIX with $ZX_WINE64 wineboot.exe -i:" >&2
      tail -n 20 "$log" >&2
      rm -f "$log"
      exit 1
    fi
    rm -f "$log"
    touch "$WINEPREFIX/.zx-ready"
  ) 9>"$WINEPREFIX.lock"
}
