#!/usr/bin/env bash
# Every name that a contract's .def lists must be among the exports of the stand-in DLL of the
# same name, byte for byte: the package is linked against the contract, the tests run it against
# the stand-in. Usage: check-contract-exports.sh <objdump> <contracts folder> <dll folder> <Name>...
set -euo pipefail
objdump=$1 contracts=$2 dlls=$3
shift 3
status=0
for name in "$@"; do
  # A name is the last field of its table line: "[   0] Name" (binutils 2.40), "[   0] +base[   1]  0000 Name" (2.47).
  exported=$("$objdump" -p "$dlls/$name.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^[ \t]*\[ *[0-9]+\]/ {print $NF}')
  listed=$(sed -e 's/;.*//' "$contracts/$name.def" | awk '/^EXPORTS/ {on = 1; next} on && NF {print $1}')
  [ -n "$listed" ] || { echo "$name.def lists no export"; status=1; }
  library=$(awk '$1 == "LIBRARY" {print $2}' "$contracts/$name.def")
  [ "$library" = "$name.dll" ] || { echo "$name.def names the library '$library'"; status=1; }
  for symbol in $listed; do
    grep -qxF -- "$symbol" <<<"$exported" || { echo "$name.dll does not export $symbol"; status=1; }
  done
done
[ $status -eq 0 ] && echo "every contract export is exported by its stand-in"
exit $status
