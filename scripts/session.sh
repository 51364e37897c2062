# shellcheck shell=bash
# Sourced by the scripts that run programs: a display for windowed programs and one
# persistent wineserver for the whole run, both stopped when the calling shell exits.
# The display comes first, so that no Wine process of the session starts without one.
zx_session_start() {
  local prefix=$1
  . "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
  ZX_XVFB_PID=""
  if [ -z "${DISPLAY:-}" ]; then
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    # Under Wine every thread with windows is a client of its own: the tracing windows alone may be
    # 256 of them.
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -maxclients 1024 >/dev/null 2>&1 &
    ZX_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  trap zx_session_stop EXIT
  zx_wine_prefix "$prefix"
  # Fails only when a server already runs for the prefix (another script's session); that one
  # serves this session too.
  wineserver -p || echo "note: a Wine server already runs for $WINEPREFIX" >&2
  zx_host_x86
}
zx_session_stop() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [ -n "${ZX_XVFB_PID:-}" ]; then kill "$ZX_XVFB_PID" >/dev/null 2>&1 || true; fi
}
