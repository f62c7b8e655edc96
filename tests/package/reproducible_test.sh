#!/usr/bin/env bash
# Makes the release packages a second time, from a copy of the sources in another folder,
# compiling and linking everything again (no compiler cache) under another umask and time zone,
# as another machine might be set up, and compares them byte for byte with those of the first
# build: the Windows zip, its debug zip and the Debian package. A difference fails and names the
# package (for a zip, also the entries that differ).
# Usage: reproducible_test.sh [--build-only|--compare-only] SOURCE_DIR
#   after `cpack --preset win32` and `cpack --preset deb` in SOURCE_DIR. The second build stays
#   in SOURCE_DIR/build/reproduce for a closer look (diffoscope shows any difference in detail).
#   --build-only makes the second packages and stops (it may run before or beside the first
#   build); --compare-only compares those already made.
set -euo pipefail
mode=all
case "${1:-}" in
  --build-only) mode=build && shift ;;
  --compare-only) mode=compare && shift ;;
esac
source_dir="$(realpath "$1")"
jobs="${JOBS:-$(nproc)}"
second="$source_dir/build/reproduce/kml2mif"
packages=(build/win32/packages/kml2mif-*-win32.zip build/win32/packages/kml2mif-*-win32-debug.zip
          build/native/packages/kml2mif_*.deb)

if [ "$mode" != compare ]; then
  rm -rf "$source_dir/build/reproduce"
  mkdir -p "$second"
  # The sources as they are, changes not yet committed included, with git's record of the commit
  # (the packages' time) and the unpacked third-party sources; no build tree.
  tar -C "$source_dir" --anchored --exclude=./build -cf - . | tar -C "$second" -xf -
  cd "$second"
  unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
  export CCACHE_DISABLE=1
  umask 002
  export TZ=Asia/Shanghai
  {
    cmake --preset win32 && cmake --build --preset win32 -j "$jobs" && cpack --preset win32 &&
      cmake --preset native &&
      cmake --build --preset native -j "$jobs" --target kml2mif compressed_docs &&
      cpack --preset deb
  } >"$source_dir/build/reproduce/build.log" 2>&1 || {
    tail -n 30 "$source_dir/build/reproduce/build.log"
    echo "FAIL: the second build failed (log: $source_dir/build/reproduce/build.log)"
    exit 1
  }
fi
[ "$mode" != build ] || exit 0
cd "$second"

failures=0
for pattern in "${packages[@]}"; do
  for package in $pattern; do
    first="$source_dir/$package"
    if [ ! -f "$first" ] || [ ! -f "$package" ]; then
      failures=$((failures + 1))
      echo "FAIL: no $package in $source_dir or in $second"
      continue
    fi
    if cmp -s "$first" "$package"; then
      echo "same bytes: $(sha256sum "$package" | cut -c 1-64)  $(basename "$package")"
      continue
    fi
    failures=$((failures + 1))
    echo "FAIL: $(basename "$package") differs between $first and $second/$package"
    case "$package" in
      *.zip)
        python3 - "$first" "$package" <<'PY'
import sys
import zipfile
first, second = (zipfile.ZipFile(name) for name in sys.argv[1:])
def entries(archive):
    return {info.filename: (info.date_time, info.external_attr, archive.read(info))
            for info in archive.infolist()}
a, b = entries(first), entries(second)
for name in sorted(set(a) | set(b)):
    if a.get(name) != b.get(name):
        print(f"  entry {name} differs")
if list(a) != list(b):
    print("  the entries are in another order")
PY
        ;;
    esac
  done
done
exit $((failures > 0))
