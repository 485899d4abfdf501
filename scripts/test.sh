#!/usr/bin/env bash
# The test command: installs what is missing (as root), builds, and runs every test under Wine.
# Extra arguments go to ctest.
set -euo pipefail
. "$(dirname "$0")/prepare.sh"
wine_session_start "$build"
wine_discover_cases "$build"
# The emulated machine's watch over the run scales with the number of cases asked for, each as
# many times as ctest is asked to repeat it.
if [ -n "${KESTRUNE_PLAN:-}" ]; then
  repeat=1
  for arg in "$@"; do
    case $arg in
      --repeat-until-fail | --repeat) repeat=next ;;
      until-*:[0-9]* | after-timeout:[0-9]* | --repeat=*:[0-9]*) repeat=${arg##*:} ;;
      [0-9]*) [ "$repeat" = next ] && repeat=$arg ;; esac
  done
  [ "$repeat" = next ] && repeat=1
  echo "kestrune: cases $(($(ctest --test-dir "$build" -N "$@" | sed -n 's/^Total Tests: //p') * repeat))" >"$KESTRUNE_PLAN"
fi
ctest --test-dir "$build" -j "$(nproc)" --output-on-failure --timeout 300 "$@"
