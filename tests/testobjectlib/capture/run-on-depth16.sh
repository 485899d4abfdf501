#!/usr/bin/env bash
# Runs the capture tests on a 16-bit screen: its own Xvfb, and its own prefix and wineserver, so
# that the main session's display stays as it is.
# Usage: run-on-depth16.sh <test program> <wine prefix> [gtest arguments...]
set -euo pipefail
program=$1 prefix=$2
shift 2

n=140
xvfb=
cleanup() {
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 </dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" >/dev/null 2>&1 || true
}
trap cleanup EXIT
# Another session may take a display number at the same moment: try the next one.
for _ in $(seq 20); do
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x16 -nolisten tcp >/dev/null 2>&1 </dev/null &
  xvfb=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  kill -0 "$xvfb" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ] && break
  xvfb=
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
