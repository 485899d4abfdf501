# Sourced: wine_runs_here tells whether this machine can run Wine's 32-bit programs at all;
# wine_session_start starts Xvfb, a persistent wineserver and an initialised prefix for this build tree,
# and stops them again on exit. Their output goes to /dev/null: wine's background services would
# otherwise hold the caller's pipes open.
wine_session_start() {
  local build=$1
  # Wine names Linux files in the locale's character set: under a locale without UTF-8 (a fresh
  # root shell's C) a name such as "Übernehmen.desc" cannot be made. C.UTF-8 keeps C's language, so
  # Wine's code pages stay as they were.
  case $(locale charmap 2>/dev/null) in UTF-8) ;; *) export LC_ALL=C.UTF-8 ;; esac
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
  wine_desktop_keep "$build"
}

# Wine closes the desktop a second after its last other process ends; the next process that needs
# the desktop window then starts explorer.exe and hands it its own standard error. Under ctest that
# is a case's output pipe, and ctest waits for that pipe until the explorer ends, long after the case
# has: a passed case times out. The keeper, started here with its output away from any caller's,
# starts the explorer itself and holds the desktop open until the session ends.
wine_desktop_keep() {
  local keeper=$1/bin/DesktopKeeper.exe ready=$1/desktop-keeper.out
  [ -f "$keeper" ] || return 0
  rm -f "$ready"
  wine "$keeper" >"$ready" 2>/dev/null </dev/null &
  for _ in $(seq 240); do
    grep -qs ready "$ready" && return 0
    sleep 0.5
  done
  echo "wine-session: the desktop keeper did not start; a passed case may wait on its output" >&2
}

# Every test program lists its cases under Wine before ctest can run one, and ctest lists them one
# after another: list those whose list is not up to date side by side first.
wine_discover_cases() {
  local build=$1
  find "$build/tests" -name '*_include.cmake' -print0 |
    xargs -0 -r -P "$(nproc)" -I{} cmake -DINCLUDE={} -P "$root/cmake/DiscoverCases.cmake" >/dev/null 2>&1 || true
}

wine_session_stop() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${KESTRUNE_XVFB_PID:-}" ] && kill "$KESTRUNE_XVFB_PID" >/dev/null 2>&1 || true
}

# Wine's 32-bit loader is an i386 Linux program: a kernel with IA-32 emulation switched off (some
# virtual machines do) refuses it. An i386 emulator registered with binfmt_misc would start it, but
# each Windows process then takes minutes, far past the tests' time-outs, so it counts as "cannot".
# Sets wine_cannot_run to the reason.
wine_runs_here() {
  wine_cannot_run=""
  local loader=/usr/lib/wine/wine
  if grep -qsx 'magic 7f454c4601010100000000000000000002000300' /proc/sys/fs/binfmt_misc/*; then
    wine_cannot_run="i386 programs on this machine run through an emulator registered with binfmt_misc"
  elif ! "$loader" --version >/dev/null 2>&1; then
    wine_cannot_run="this machine's kernel does not run 32-bit x86 programs ($loader: exec format error)"
    local why
    why=$(dmesg 2>/dev/null | grep -m1 -i -E 'ia-?32 emulation' | sed 's/^\[[^]]*\] *//')
    [ -z "$why" ] || wine_cannot_run="$wine_cannot_run; the kernel says: $why"
  fi
  [ -z "$wine_cannot_run" ]
}
