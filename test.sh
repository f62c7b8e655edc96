#!/usr/bin/env bash
# Builds every configuration and runs every test: native, AddressSanitizer/UBSan, the Windows
# x86_64 build under Wine (unit and end-to-end), the 32-bit Windows build (must build; it cannot
# run here), the release packages (the Windows zips checked, the Debian package installed, used
# and removed, and all three made again in a second folder and compared byte for byte), and a
# bounded fuzzing run. The machine is set up first by scripts/install-deps.sh.
# Usage: ./test.sh            everything
#        ./test.sh native     only the native build and its tests
#        ./test.sh packages   only the release packages (builds what they need)
# Builds with as many jobs as the machine has cores (JOBS=n to change); each step ends with the
# seconds it took and the load average, and a full run ends with a table of them.
set -euo pipefail
cd "$(dirname "$0")"
what="${1:-all}"
jobs="${JOBS:-$(nproc)}"
passed=0
failed=0
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

# Build trees configured from here compile through ccache. A fresh machine gains nothing from it
# (no two builds of a run compile the same file with the same options); a run after
# `rm -rf build` or a change of few files does.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
fi

step_name=""
step_start=$SECONDS
step_times=()
step() {
  end_step
  step_name="$*"
  step_start=$SECONDS
  printf '\n=== %s\n' "$*"
}
# Closes the current step: its seconds and the load average (the machine may be shared).
end_step() {
  [ -n "$step_name" ] || return 0
  local seconds=$((SECONDS - step_start))
  local load
  load="$(cut -d ' ' -f 1-3 /proc/loadavg)"
  printf -- '--- %d s (load %s)\n' "$seconds" "$load"
  step_times+=("$(printf '%6d s  %s (load %s)' "$seconds" "$step_name" "$load")")
  step_name=""
}
finish() {
  end_step
  if [ ${#step_times[@]} -gt 1 ]; then
    printf '\n=== step times on %d cores\n' "$(nproc)"
    printf '%s\n' "${step_times[@]}"
    printf '%6d s  in all\n' "$SECONDS"
  fi
  printf '\n=== all tests passed\n'
  echo "$passed passed, $failed failed"
  exit 0
}
fail() {
  failed=$((failed + 1))
  echo "$passed passed, $failed failed"
  exit 1
}

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

# build PRESET [TARGET...]: configures PRESET and builds the targets given, or all of them.
build() {
  local preset="$1"
  shift
  local targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" "${targets[@]}"
}

native() {
  step "native build and tests"
  build native
  run_ctest --preset native -j "$jobs"
}

sanitize() {
  step "sanitizer build (ASan + UBSan) and tests"
  build sanitize
  run_ctest --preset sanitize -j "$jobs"
}

win64() {
  step "Windows x86_64 build, tests under Wine"
  build win64
  # A test under Wine mostly waits (for Wine to start, for the dialog): twice as many at a time
  # as there are cores. They share the build tree's Wine prefix, the dialog test has its own.
  run_ctest --preset win64 -j $((2 * jobs))

  step "the same bytes from kml2mif.exe under Wine as from the native kml2mif"
  tests/cli/same_bytes_test.sh "$PWD/build/native/cli/kml2mif" "$PWD/build/win64/wine-run.sh" \
    "$PWD/build/win64/cli/kml2mif.exe" || fail
  passed=$((passed + 1))
}

win32() {
  step "Windows i686 build (the shipping target)"
  build win32
}

# The zips and the .deb from the builds (reused when they are up to date), each checked as its
# user receives it; the .deb is installed into this machine's root and removed again. Then all
# three are made again in a second folder and must be the same, byte for byte.
packages() {
  step "release packages: Windows zips, Debian package installed and removed"
  rm -rf build/win32/packages build/native/packages
  build win32
  cpack --preset win32 >/dev/null
  python3 tests/package/check_windows_zip.py build/win32/packages \
    i686-w64-mingw32-objdump i686-w64-mingw32-objcopy || fail
  build native kml2mif compressed_docs
  cpack --preset deb >/dev/null
  if command -v lintian >/dev/null; then
    lintian --fail-on error build/native/packages/kml2mif_*.deb || fail
  fi
  local sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo tests/package/deb_install_test.sh build/native/packages/kml2mif_*.deb examples/route.kml ||
    fail
  passed=$((passed + 2))

  step "release packages made again in a second folder: the same bytes"
  tests/package/reproducible_test.sh "$PWD" || fail
  passed=$((passed + 1))
}

fuzz() {
  step "fuzzing (bounded)"
  fuzz/run.sh "${FUZZ_SECONDS:-60}"
}

step "machine set-up"
scripts/install-deps.sh "$([ "$what" = native ] && echo native || echo all)"
case "$what" in
  native) native ;;
  packages) packages ;;
  all)
    native
    sanitize
    win64
    win32
    packages
    fuzz
    ;;
  *)
    echo "usage: $0 [native|packages]" >&2
    exit 2
    ;;
esac
finish
