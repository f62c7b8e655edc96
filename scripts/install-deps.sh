#!/usr/bin/env bash
# Sets up a Debian 12 machine for building and testing, once; later runs only check.
# Usage: scripts/install-deps.sh [native|all]
# "native": what building and testing kml2mif on this machine needs. "all": also the MinGW
# cross compilers, Wine, the tools of the tests and packages, the zh_CN.UTF-8 locale, and the
# Debian source packages of expat and GeographicLib unpacked into third_party/ (ignored by git,
# never committed), from which the MinGW builds make their static libraries (no MinGW packages
# of them exist).
set -euo pipefail
what="${1:-all}"
root="$(cd "$(dirname "$0")/.." && pwd)"
native=(cmake g++ ninja-build libgtest-dev libgmock-dev libexpat1-dev zlib1g-dev
        libgeographiclib-dev)
all=("${native[@]}" g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 xvfb x11-utils
     locales fonts-wqy-zenhei imagemagick gdal-bin clang libclang-rt-14-dev libbenchmark-dev
     python3 python3-gdal time libz-mingw-w64-dev dpkg-dev file man-db proj-bin ccache)
# The expat and GeographicLib that the Windows programs are built with: versions of bookworm's
# main archive.
expat_version=2.5.0-1+deb12u2
geographiclib_version=2.1.2-1
if [ "$what" = native ]; then wanted=("${native[@]}"); else wanted=("${all[@]}"); fi
missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep 'install ok installed' >/dev/null ||
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
if [ "$what" = all ] && ! locale -a 2>/dev/null | grep -i '^zh_CN.utf8$' >/dev/null; then
  # Wine shows Chinese only under a generated zh_CN.UTF-8 locale.
  $sudo sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  $sudo locale-gen >/dev/null
fi

# Source packages of the main archive only: the security archive's pool is not reachable from
# every build machine.
enable_source_packages() {
  local sources=/etc/apt/sources.list.d/kml2mif-src.sources
  [ ! -f "$sources" ] || return 0
  printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' \
    'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
    $sudo tee "$sources" >/dev/null
  $sudo apt-get update -qq
}

# fetch_source NAME VERSION KEEP: unpacks Debian's source package NAME, version VERSION, into
# third_party/NAME, keeping only its folder KEEP ("." for all of it). Nothing is done when that
# version is there already; when a point release has replaced VERSION in the archive, the
# archive's current version is taken rather than failing.
fetch_source() {
  local name="$1" pinned="$2" keep="$3"
  local dest="$root/third_party/$name"
  if [ "$(cat "$dest/.debian-version" 2>/dev/null)" = "$pinned" ]; then return; fi
  enable_source_packages
  local version="$pinned"
  if ! apt-cache showsrc "$name" | grep -x "Version: $version" >/dev/null; then
    $sudo apt-get update -qq
  fi
  if ! apt-cache showsrc "$name" | grep -x "Version: $version" >/dev/null; then
    version=$(apt-cache showsrc "$name" | sed -n 's/^Version: //p' | sort -V | tail -n 1)
    echo "$name $pinned is no longer in the archive; using $version"
  fi
  echo "unpacking $name $version into third_party/$name"
  mkdir -p "$root/third_party"
  local work
  work=$(mktemp -d "$root/third_party/.$name.XXXXXX")
  (cd "$work" && apt-get source -qq "$name=$version" >/dev/null 2>"$work/log") || {
    cat "$work/log" >&2
    rm -rf "$work"
    return 1
  }
  local unpacked=("$work/$name"-*/)
  local kept="${unpacked[0]%/}"
  [ "$keep" = . ] || kept="$kept/$keep"
  rm -rf "$dest"
  mv "$kept" "$dest"
  rm -rf "$work"
  echo "$pinned" >"$dest/.debian-version"
}
if [ "$what" = all ]; then
  fetch_source expat "$expat_version" expat
  # GeographicLib for the MinGW builds (natively the system's libgeographiclib-dev), whole:
  # cmake/geographiclib.cmake compiles the few sources crs/ uses.
  fetch_source geographiclib "$geographiclib_version" .
fi
