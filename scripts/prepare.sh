# Sourced by the commands (with their arguments): installs what is missing, builds, and loads the
# Wine session helpers. Sets root and build. Where this machine cannot run Wine's 32-bit programs
# (or KESTRUNE_EMULATE=1 asks), the command then runs itself, with the same arguments, inside an
# emulated machine that can, and ends here with that run's status.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KESTRUNE_BUILD:-$root/build}
case $build in /*) ;; *) build=$PWD/$build ;; esac
export KESTRUNE_BUILD=$build
. "$root/scripts/wine-session.sh"
# KESTRUNE_PREBUILT: the build is ready (the emulated machine runs the command on it).
if [ -z "${KESTRUNE_PREBUILT:-}" ]; then
  bash "$root/scripts/setup.sh"
  . "$root/scripts/emulated-machine.sh"
  if emulated_wanted; then
    emulated_command "$(basename "$0")" "$@"
  fi
  if [ -n "${KESTRUNE_QUIET_BUILD:-}" ]; then
    bash "$root/scripts/build.sh" >/dev/null
  else
    bash "$root/scripts/build.sh"
  fi
fi
