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
  local fresh=1
  [ -e "$WINEPREFIX/system.reg" ] && fresh=0
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wine wineboot -i >/dev/null 2>&1 </dev/null || true
  if [ "$fresh" = 1 ]; then
    # The session that created the prefix does not serve one process's class objects to another
    # (a script client then cannot create them): start over on the finished prefix.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    wineserver -p >/dev/null 2>&1 </dev/null || true
    wine wineboot >/dev/null 2>&1 </dev/null || true
  fi
  trap wine_session_stop EXIT
}

wine_session_stop() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${KESTRUNE_XVFB_PID:-}" ] && kill "$KESTRUNE_XVFB_PID" >/dev/null 2>&1 || true
}
