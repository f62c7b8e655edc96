#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, once; later runs only check.
# Usage: scripts/install-deps.sh [native|all]
set -euo pipefail
what="${1:-all}"
native=(cmake g++ ninja-build libgtest-dev libgmock-dev)
all=("${native[@]}" g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 xvfb x11-utils
     locales fonts-wqy-zenhei imagemagick gdal-bin clang libclang-rt-14-dev libbenchmark-dev
     python3 time)
if [ "$what" = native ]; then wanted=("${native[@]}"); else wanted=("${all[@]}"); fi
missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
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
