#!/usr/bin/env bash
# The main job: builds the package and shows what it holds so far.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRUNE_BUILD:-$root/build}
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
echo
echo "Modules built (32-bit Windows PE):"
for f in "$build"/bin/*.dll; do
  [ -e "$f" ] || continue
  printf '  %s\n' "$(basename "$f")"
  i686-w64-mingw32-objdump -p "$f" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^$/{t=0} t{print "      export " $NF}'
done
