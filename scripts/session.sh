# Sourced by the scripts that run programs: a display for windowed programs and one
# persistent wineserver for the whole run, both stopped when the calling shell exits.
zx_session_start() {
  local prefix=$1
  . "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
  zx_wine_prefix "$prefix"
  ZX_XVFB_PID=""
  if [ -z "${DISPLAY:-}" ]; then
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    ZX_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  wineserver -p
  trap zx_session_stop EXIT
}
zx_session_stop() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  [ -n "${ZX_XVFB_PID:-}" ] && kill "$ZX_XVFB_PID" >/dev/null 2>&1 || true
}
