#!/usr/bin/env bash
# The main job: installs what is missing, builds, then under Wine and Xvfb registers the package,
# sets it up through the host, records real clicks on the ActiveX controls of the application under
# test, replays the recorded test through cscript against a fresh start of the application,
# captures a control and writes the step report (into build/demo). Any failing phase ends it with a
# non-zero status and a line that says what failed.
set -euo pipefail
KESTRUNE_QUIET_BUILD=1 . "$(dirname "$0")/prepare.sh"
wine_session_start "$build"
out="$build/demo"
rm -rf "$out"
mkdir -p "$out"
echo "Kestrune main job (built in $build, Wine prefix $WINEPREFIX, display $DISPLAY)"
cd "$build/bin"
status=0
wine KestruneDemo.exe --register --out "$(winepath -w "$out" 2>/dev/null)" --script Replay.vbs 2>"$out/wine.log" |
  tr -d '\r' || status=$?
if [ "$status" -ne 0 ]; then
  echo "the main job failed (status $status); Wine's messages: $out/wine.log" >&2
fi
exit "$status"
