#!/usr/bin/env bash
# Looks for cases that fail by chance (not part of CI): builds as the test command does, then runs
# the whole suite N times at twice the cores' jobs, each pass one ctest run so that every lock of
# the suite holds. Prints every case that ever failed (with the passes it failed in) and ends
# non-zero if one did. Usage: scripts/stress.sh N
set -uo pipefail
runs=${1:-1}
case $runs in '' | *[!0-9]* | 0) echo "usage: scripts/stress.sh N (N whole runs, N >= 1)" >&2; exit 2 ;; esac
set -e
. "$(dirname "$0")/prepare.sh"
set +e
wine_session_start "$build"
wine_discover_cases "$build"
if [ -n "${KESTRUNE_PLAN:-}" ]; then
  echo "kestrune: cases $((runs * $(ctest --test-dir "$build" -N | sed -n 's/^Total Tests: //p')))" >"$KESTRUNE_PLAN"
fi
jobs=$((2 * $(nproc)))
logs="$build/stress"
rm -rf "$logs" && mkdir -p "$logs"

# One ctest pass: its output goes to $logs/<name>.log, and each case that failed to
# $logs/failed as "<case> <name>".
pass() {
  local name=$1
  rm -f "$build"/Testing/Temporary/LastTestsFailed*.log
  ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 300 >"$logs/$name.log" 2>&1
  local rc=$? found=0 list
  for list in "$build"/Testing/Temporary/LastTestsFailed*.log; do
    [ -e "$list" ] || continue
    sed "s/^[0-9]*://; s/\$/ $name/" "$list" >>"$logs/failed"
    found=1
  done
  # A failure ctest lists no case for (a test program that did not start) still counts.
  [ "$rc" != 0 ] && [ "$found" = 0 ] && echo "(ctest ended with status $rc) $name" >>"$logs/failed"
  echo "stress: $name: $(grep -E '^[0-9]+% tests passed' "$logs/$name.log" || echo "ctest ended with status $rc")," \
    "$(grep -oE '[0-9.]+ sec' <(grep -E '^Total Test time' "$logs/$name.log") || echo "? sec")"
}

touch "$logs/failed"
for run in $(seq "$runs"); do pass "run$run"; done

echo "stress: $runs whole runs at -j $jobs (logs in $logs)"
if [ -s "$logs/failed" ]; then
  echo "stress: cases that failed (the passes they failed in):"
  awk '{ name = $NF; $NF = ""; sub(/ $/, ""); seen[$0] = seen[$0] " " name } END { for (c in seen) print "  " c ":" seen[c] }' \
    "$logs/failed" | sort
  exit 1
fi
echo "stress: no case failed"
