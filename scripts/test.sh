#!/usr/bin/env bash
# The test command: installs what is missing (as root), builds, and runs every test under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRUNE_BUILD:-$root/build}
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
. "$root/scripts/wine-session.sh"
wine_session_start "$build"
ctest --test-dir "$build" -j "$(nproc)" --output-on-failure --timeout 300 "$@"
