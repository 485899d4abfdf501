#!/usr/bin/env bash
# The test command: installs what is missing (as root), builds, and runs every test under Wine.
set -euo pipefail
. "$(dirname "$0")/prepare.sh"
wine_session_start "$build"
ctest --test-dir "$build" -j "$(nproc)" --output-on-failure --timeout 300 "$@"
