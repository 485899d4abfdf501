# Sourced by the commands: installs what is missing, builds, and loads the Wine session helpers.
# Sets root and build.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KESTRUNE_BUILD:-$root/build}
# KESTRUNE_PREBUILT: the build is ready (an emulated machine, scripts/emulated.sh, runs it).
if [ -z "${KESTRUNE_PREBUILT:-}" ]; then
  bash "$root/scripts/setup.sh"
  if [ -n "${KESTRUNE_QUIET_BUILD:-}" ]; then
    bash "$root/scripts/build.sh" >/dev/null
  else
    bash "$root/scripts/build.sh"
  fi
fi
. "$root/scripts/wine-session.sh"
