#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, once; later runs only check.
# Usage: scripts/install-deps.sh [native|all]
# With "all" it also unpacks expat's Debian source package into build/third_party/expat, from
# which the MinGW builds make their static expat (no MinGW package of it exists).
set -euo pipefail
what="${1:-all}"
root="$(cd "$(dirname "$0")/.." && pwd)"
native=(cmake g++ ninja-build libgtest-dev libgmock-dev libexpat1-dev zlib1g-dev
        libgeographiclib-dev)
all=("${native[@]}" g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 xvfb x11-utils
     locales fonts-wqy-zenhei imagemagick gdal-bin clang libclang-rt-14-dev libbenchmark-dev
     python3 python3-gdal time libz-mingw-w64-dev dpkg-dev file man-db proj-bin)
# The expat the Windows programs are built with: a version of bookworm's main archive.
expat_version=2.5.0-1+deb12u2
if [ "$what" = native ]; then wanted=("${native[@]}"); else wanted=("${all[@]}"); fi
missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
# bookworm's first expat (2.5.0-1+deb12u1) loses its entity-amplification limit and then fails
# with "recursive entity reference" when a parser suspended inside an entity is resumed, which
# the reader does; a machine that has it gets the archive's current one.
expat_installed=$(dpkg-query -W -f='${Version}' libexpat1-dev 2>/dev/null || true)
if [ -n "$expat_installed" ] && dpkg --compare-versions "$expat_installed" lt "$expat_version"; then
  missing+=(libexpat1-dev libexpat1)
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
    "${missing[@]}" >/dev/null
fi
if [ "$what" = all ] && ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  # Wine shows Chinese only under a generated zh_CN.UTF-8 locale.
  $sudo sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  $sudo locale-gen >/dev/null
fi

fetch_expat() {
  local dest="$root/build/third_party/expat"
  if [ "$(cat "$dest/.debian-version" 2>/dev/null)" = "$expat_version" ]; then return; fi
  local sources=/etc/apt/sources.list.d/kml2mif-src.sources
  if [ ! -f "$sources" ]; then
    # Source packages of the main archive only: the security archive's pool is not reachable
    # from every build machine.
    printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' \
      'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
      $sudo tee "$sources" >/dev/null
    $sudo apt-get update -qq
  fi
  local version="$expat_version"
  if ! apt-cache showsrc expat | grep -qx "Version: $version"; then
    $sudo apt-get update -qq
  fi
  if ! apt-cache showsrc expat | grep -qx "Version: $version"; then
    # A point release replaced it; take what the archive has now rather than fail.
    version=$(apt-cache showsrc expat | sed -n 's/^Version: //p' | sort -V | tail -n 1)
    echo "expat $expat_version is no longer in the archive; using $version"
  fi
  echo "unpacking expat $version into build/third_party"
  mkdir -p "$root/build/third_party"
  local work
  work=$(mktemp -d "$root/build/third_party/expat.XXXXXX")
  (cd "$work" && apt-get source -qq "expat=$version" >/dev/null 2>"$work/log") || {
    cat "$work/log" >&2
    rm -rf "$work"
    return 1
  }
  rm -rf "$dest"
  mv "$work"/expat-*/expat "$dest"
  rm -rf "$work"
  echo "$expat_version" >"$dest/.debian-version"
}
if [ "$what" = all ]; then fetch_expat; fi

# GeographicLib for the MinGW builds (natively the system's libgeographiclib-dev): Debian's
# source package, a version of bookworm's main archive, unpacked whole into
# third_party/geographiclib; cmake/geographiclib.cmake compiles the few sources crs/ uses.
geographiclib_version=2.1.2-1
fetch_geographiclib() {
  local dest="$root/third_party/geographiclib"
  if [ "$(cat "$dest/.debian-version" 2>/dev/null)" = "$geographiclib_version" ]; then return; fi
  local sources=/etc/apt/sources.list.d/kml2mif-src.sources
  if [ ! -f "$sources" ]; then
    printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' \
      'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
      $sudo tee "$sources" >/dev/null
    $sudo apt-get update -qq
  fi
  if ! apt-cache showsrc geographiclib | grep -qx "Version: $geographiclib_version"; then
    $sudo apt-get update -qq
  fi
  echo "unpacking geographiclib $geographiclib_version into third_party"
  mkdir -p "$root/third_party"
  local work
  work=$(mktemp -d "$root/third_party/geographiclib.XXXXXX")
  (cd "$work" && apt-get source -qq "geographiclib=$geographiclib_version" >/dev/null \
    2>"$work/log") || {
    cat "$work/log" >&2
    rm -rf "$work"
    return 1
  }
  rm -rf "$dest"
  mv "$work"/geographiclib-*/ "$dest"
  rm -rf "$work"
  echo "$geographiclib_version" >"$dest/.debian-version"
}
if [ "$what" = all ]; then fetch_geographiclib; fi
