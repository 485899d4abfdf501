#!/usr/bin/env bash
# The test command: installs what is missing (as root), builds, and runs every test under Wine.
set -euo pipefail
. "$(dirname "$0")/prepare.sh"
if ! wine_runs_here; then
  # Nothing here can run a Windows program: say so plainly instead of failing every case.
  echo "test.sh: NO TEST RAN: $wine_cannot_run." >&2
  echo "test.sh: everything is built in $build; run this command on a machine that runs 32-bit x86 programs to test it, or here scripts/emulated.sh test.sh (slow)." >&2
  echo "tests: 0 passed, 0 failed"
  exit 0
fi
wine_session_start "$build"
ctest --test-dir "$build" -j "$(nproc)" --output-on-failure --timeout 300 "$@"
