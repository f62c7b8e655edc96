#!/usr/bin/env bash
# Installs what is needed, builds every configuration and runs every test:
# native, AddressSanitizer/UBSan, the Windows x86_64 build under Wine (unit and end-to-end),
# the 32-bit Windows build (must build; it cannot run here), the release packages (the Windows
# zips checked, the Debian package installed, used and removed), and a bounded fuzzing run.
# Usage: ./test.sh            everything
#        ./test.sh native     only the native build and its tests
#        ./test.sh packages   only the release packages (builds what they need)
set -euo pipefail
cd "$(dirname "$0")"
what="${1:-all}"
jobs="${JOBS:-2}"
step() { printf '\n=== %s\n' "$*"; }
passed=0
failed=0
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
# Runs ctest, adding its counts to the totals printed at the end.
run_ctest() {
  local status=0
  ctest "$@" 2>&1 | tee "$log" || status=$?
  local total bad
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  bad=$(sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' "$log" | tail -n 1)
  passed=$((passed + ${total:-0} - ${bad:-0}))
  failed=$((failed + ${bad:-0}))
  if [ "$status" -ne 0 ]; then
    echo "$passed passed, $((failed > 0 ? failed : 1)) failed"
    exit "$status"
  fi
}

# The zips and the .deb from the builds (reused when they are up to date), each checked as its
# user receives it; the .deb is installed into this machine's root and removed again.
packages() {
  step "release packages: Windows zips, Debian package installed and removed"
  rm -rf build/win32/packages build/native/packages
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 -j "$jobs"
  cpack --preset win32 >/dev/null
  python3 tests/package/check_windows_zip.py build/win32/packages \
    i686-w64-mingw32-objdump i686-w64-mingw32-objcopy
  cmake --preset native >/dev/null
  cmake --build --preset native -j "$jobs"
  cpack --preset deb >/dev/null
  if command -v lintian >/dev/null; then
    lintian --fail-on error build/native/packages/kml2mif_*.deb
  fi
  local sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo tests/package/deb_install_test.sh build/native/packages/kml2mif_*.deb examples/route.kml
  passed=$((passed + 2))
}

scripts/install-deps.sh "$([ "$what" = native ] && echo native || echo all)"
if [ "$what" = packages ]; then
  packages
  echo "$passed passed, $failed failed"
  exit 0
fi

step "native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
run_ctest --preset native -j "$jobs"
if [ "$what" = native ]; then
  echo "$passed passed, $failed failed"
  exit 0
fi

step "sanitizer build (ASan + UBSan) and tests"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j "$jobs"
run_ctest --preset sanitize -j "$jobs"

step "Windows x86_64 build, tests under Wine"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
run_ctest --preset win64 -j 1

step "the same bytes from kml2mif.exe under Wine as from the native kml2mif"
if tests/cli/same_bytes_test.sh "$PWD/build/native/cli/kml2mif" "$PWD/build/win64/wine-run.sh" \
  "$PWD/build/win64/cli/kml2mif.exe" | tee "$log"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  echo "$passed passed, $failed failed"
  exit 1
fi

step "Windows i686 build (the shipping target)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"

packages

if [ -x fuzz/run.sh ]; then
  step "fuzzing (bounded)"
  fuzz/run.sh "${FUZZ_SECONDS:-60}"
fi
step "all tests passed"
echo "$passed passed, $failed failed"
