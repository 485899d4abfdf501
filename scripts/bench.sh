#!/usr/bin/env bash
# Runs every benchmark program under Wine and prints its BENCH lines.
set -euo pipefail
. "$(dirname "$0")/prepare.sh"
wine_session_start "$build"
status=0
for exe in "$build"/bin/bench_*.exe; do
  [ -e "$exe" ] || continue
  echo "# $(basename "$exe")"
  (cd "$build/bin" && wine "$exe") || status=1
done
exit $status
