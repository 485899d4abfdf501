#!/usr/bin/env bash
# Configures and builds everything (package, stand-ins, tests, benchmarks) into ./build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRUNE_BUILD:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${KESTRUNE_BUILD_TYPE:-RelWithDebInfo} \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
cmake --build "$build" -j "$(nproc)"
