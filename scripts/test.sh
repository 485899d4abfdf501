#!/usr/bin/env bash
# The test command: installs what is missing (as root), builds, and runs every test under Wine.
# Extra arguments go to ctest.
set -euo pipefail
. "$(dirname "$0")/prepare.sh"
wine_session_start "$build"
wine_discover_cases "$build"
# The emulated machine's watch over the run scales with the number of cases asked for.
if [ -n "${KESTRUNE_PLAN:-}" ]; then
  echo "kestrune: cases $(ctest --test-dir "$build" -N "$@" | sed -n 's/^Total Tests: //p')" >"$KESTRUNE_PLAN"
fi
ctest --test-dir "$build" -j "$(nproc)" --output-on-failure --timeout 300 "$@"
