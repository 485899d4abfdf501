#!/usr/bin/env bash
# Installs everything the build and the tests need. Idempotent; run as root.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  echo "setup.sh must run as root (apt-get)" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive

. "$(dirname "$0")/apt-sources.sh"

# i386 for wine32; deb-src for libpng's source package, from the mirror this machine's apt uses for
# the release (rewritten when that changes).
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt_release_mirror || exit 1
release=$(apt_release)
suites=$release
case " $apt_suites " in *" $release-updates "*) suites="$release $release-updates" ;; esac
src=/etc/apt/sources.list.d/kestrune-src.sources
want="Types: deb-src
URIs: $apt_mirror
Suites: $suites
Components: main${apt_keyring:+
Signed-By: $apt_keyring}"
if [ "$(cat "$src" 2>/dev/null)" != "$want" ]; then
  printf '%s\n' "$want" >"$src"
  rm -f /var/lib/apt/kestrune-updated
fi

pkgs=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-tools
      mingw-w64-i686-dev libwine-dev wine wine32:i386 xvfb xauth x11-utils libz-mingw-w64-dev
      googletest cmake ninja-build dpkg-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# If an index still fails after the retries, go on with the indexes that did arrive, preferring the
# base release so that both architectures of a library come from the same index.
update_failed=""
apt_update() {
  if apt_update_retry; then
    update_failed=""
    return 0
  fi
  update_failed=$apt_update_failed
  echo "setup.sh: the package mirror failed, not the project: index $update_failed did not download after 4 tries; going on with the indexes that did" >&2
  return 1
}
mirror_failed() {
  echo "setup.sh: the package mirror failed, not the project: index $update_failed did not download, and $1 could not be installed without it" >&2
  exit 1
}

stamp=/var/lib/apt/kestrune-updated
if [ ${#missing[@]} -gt 0 ] || [ ! -f "$stamp" ]; then
  apt_update || true
  touch "$stamp"
fi
if [ ${#missing[@]} -gt 0 ]; then
  if ! apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
    [ -n "$update_failed" ] || exit 1
    apt-get install -y -qq --no-install-recommends -t "$release" "${missing[@]}" \
      || mirror_failed "the build's packages"
  fi
fi

# libpng's source package, unpacked once into a cache outside the work tree; the build compiles
# it as the Tamsel DLL.
png_src=${KESTRUNE_LIBPNG_SOURCE:-/var/cache/kestrune/libpng}
if [ ! -f "$png_src/png.h" ]; then
  work=$(mktemp -d)
  chmod 755 "$work"
  id _apt >/dev/null 2>&1 && chown _apt "$work"
  fetch() { (cd "$work" && apt-get source --download-only -qq libpng1.6); }
  if ! fetch; then
    apt_update || true
    fetch || { [ -z "$update_failed" ] || mirror_failed "libpng's source"; exit 1; }
  fi
  (cd "$work" && dpkg-source -x --no-check ./*.dsc unpacked >/dev/null)
  mkdir -p "$(dirname "$png_src")"
  rm -rf "$png_src"
  mv "$work/unpacked" "$png_src"
  rm -rf "$work"
fi
