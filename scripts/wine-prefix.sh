# Sourced by the other scripts: creates the build's own Wine prefix once.
# zx_wine_prefix PREFIX: exports WINEPREFIX and friends and makes sure the prefix exists.
zx_wine_prefix() {
  export WINEPREFIX=$1
  export WINEARCH=win64
  export WINEDEBUG=${WINEDEBUG:--all}
  # No runtime installers for .NET or HTML in a test prefix.
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  if [ ! -f "$WINEPREFIX/.zx-ready" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
      flock 9
      if [ ! -f "$WINEPREFIX/.zx-ready" ]; then
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
        touch "$WINEPREFIX/.zx-ready"
      fi
    ) 9>"$WINEPREFIX.lock"
  fi
}
