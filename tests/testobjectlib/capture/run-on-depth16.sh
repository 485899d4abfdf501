#!/usr/bin/env bash
# Runs the capture tests on a 16-bit screen: its own Xvfb, and its own prefix and wineserver, so
# that the main session's display stays as it is.
# Usage: run-on-depth16.sh <test program> <wine prefix> [gtest arguments...]
set -euo pipefail
program=$1 prefix=$2
shift 2

n=140
xvfb= ready=0
trap 'ready=1' USR1
stop_xvfb() {
  [ -n "$xvfb" ] || return 0
  kill "$xvfb" >/dev/null 2>&1 || true
  wait "$xvfb" >/dev/null 2>&1 || true
  xvfb=
}
cleanup() {
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 </dev/null || true
  stop_xvfb
}
trap cleanup EXIT
for _ in $(seq 20); do
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  # Started with SIGUSR1 ignored, Xvfb sends it to this shell once it takes connections; only a
  # hang runs out the wait.
  ready=0
  (trap '' USR1; exec Xvfb ":$n" -screen 0 1280x1024x16 -nolisten tcp >/dev/null 2>&1 </dev/null) &
  xvfb=$!
  for _ in $(seq 1200); do
    [ "$ready" = 1 ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  [ "$ready" = 1 ] && break
  if kill -0 "$xvfb" 2>/dev/null; then
    stop_xvfb
    echo "Xvfb :$n was not ready after 120 s" >&2
    exit 1
  fi
  wait "$xvfb" >/dev/null 2>&1 || true
  xvfb=
  # Another session took the number between the look and the start: the next one.
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { echo "Xvfb :$n ended before it was ready" >&2; exit 1; }
  n=$((n + 1))
done
[ -n "$xvfb" ] || { echo "no 16-bit display could be started" >&2; exit 1; }

export DISPLAY=":$n" WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export KESTRUNE_SCREEN_DEPTH=16
mkdir -p "$prefix"
wineserver -p >/dev/null 2>&1 </dev/null || true
[ -f "$prefix/system.reg" ] || wine wineboot -i >/dev/null 2>&1 </dev/null || true
cd "$(dirname "$program")"
wine "$program" "$@" </dev/null
