# Sourced: starts Xvfb, a persistent wineserver and an initialised prefix for this build tree,
# and stops them again on exit. Their output goes to /dev/null: wine's background services would
# otherwise hold the caller's pipes open.
wine_session_start() {
  local build=$1
  export WINEPREFIX="$build/wineprefix" WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  local n=${KESTRUNE_DISPLAY:-99}
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  export DISPLAY=":$n"
  Xvfb "$DISPLAY" -screen 0 1280x1024x${KESTRUNE_DEPTH:-24} -nolisten tcp >/dev/null 2>&1 &
  KESTRUNE_XVFB_PID=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wine wineboot -i >/dev/null 2>&1 </dev/null || true
  trap wine_session_stop EXIT
}

wine_session_stop() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${KESTRUNE_XVFB_PID:-}" ] && kill "$KESTRUNE_XVFB_PID" >/dev/null 2>&1 || true
}
