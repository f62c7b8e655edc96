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
# Ends what runs in the background when a step fails.
trap 'kill $(jobs -p) 2>/dev/null || true
  rm -f "$log" "$log.times" "$log.same" "$log.background" "$log.reproduce"' EXIT
background=""
reproduce=""

# Build trees configured from here compile through ccache. A fresh machine gains nothing from it
# (no two builds of a run compile the same file with the same options); a run after
# `rm -rf build` or a change of few files does.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
fi

# Sets cpu to the processor seconds (user and system) of the commands run so far that have ended.
# (Not in a subshell: its own children are none of these.)
read_cpu() {
  times >"$log.times"
  cpu=$(awk 'NR == 2 {
    split($1, user, /[ms]/)
    split($2, kernel, /[ms]/)
    printf "%d", user[1] * 60 + user[2] + kernel[1] * 60 + kernel[2]
  }' "$log.times")
}
step_name=""
step_start=$SECONDS
step_cpu=0
cpu=0
step_times=()
step() {
  end_step
  step_name="$*"
  step_start=$SECONDS
  read_cpu
  step_cpu=$cpu
  printf '\n=== %s\n' "$*"
}
# Closes the current step: its seconds, the processor seconds it took, and the load average (on a
# shared machine the seconds grow with the load, the processor seconds hardly).
end_step() {
  [ -n "$step_name" ] || return 0
  local seconds=$((SECONDS - step_start))
  read_cpu
  local used=$((cpu - step_cpu))
  local load
  load="$(cut -d ' ' -f 1-3 /proc/loadavg)"
  printf -- '--- %d s, %d s of processor time (load %s)\n' "$seconds" "$used" "$load"
  step_times+=("$(printf '%6d s %6d s  %s (load %s)' "$seconds" "$used" "$step_name" "$load")")
  step_name=""
}
finish() {
  end_step
  if [ ${#step_times[@]} -gt 1 ]; then
    printf '\n=== step times on %d cores: elapsed, processor\n' "$(nproc)"
    printf '%s\n' "${step_times[@]}"
    read_cpu
    printf '%6d s %6d s  in all\n' "$SECONDS" "$cpu"
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

# Only the XML reader's tests: the one place where a second thread runs (the parse ahead of the
# reader). The tsan preset lists more tests that cross the hand-over; they take ten minutes.
thread_sanitizer() {
  step "ThreadSanitizer build of the XML reader and its tests (the parse on a thread of its own)"
  build tsan xml_test
  run_ctest --test-dir build/tsan -R '^XmlReader' -j "$jobs" --output-on-failure
}

win64() {
  step "Windows x86_64 build, tests under Wine, the same bytes from kml2mif.exe as from kml2mif"
  build win64
  # A test under Wine mostly waits (for Wine to start, for the dialog): twice as many at a time
  # as there are cores, and beside them kml2mif.exe converts the differential corpus, which must
  # give the same bytes as the native kml2mif. The dialog test has a Wine prefix of its own, the
  # others share the build tree's.
  # ctest starts the longest tests first once it has their times from an earlier run; a new build
  # tree has none, and the dialog test, over a minute, would start among the last.
  local costs=build/win64/Testing/Temporary/CTestCostData.txt
  if [ ! -f "$costs" ]; then
    mkdir -p "$(dirname "$costs")"
    printf '%s\n' 'kml_dialog_end_to_end 1 90' '---' >"$costs"
  fi
  tests/cli/same_bytes_test.sh "$PWD/build/native/cli/kml2mif" "$PWD/build/win64/wine-run.sh" \
    "$PWD/build/win64/cli/kml2mif.exe" >"$log.same" 2>&1 &
  local same=$!
  # The Wine tests leave the processors mostly idle: the builds that later steps need (the 32-bit
  # Windows programs, the fuzz targets) run meanwhile, at a lower priority than the tests.
  (
    renice -n 10 -p "$BASHPID" >/dev/null
    build win32 && fuzz/run.sh 0
  ) >"$log.background" 2>&1 &
  background=$!
  # So do the release packages' second build in a folder of their own, compared in packages.
  (
    renice -n 10 -p "$BASHPID" >/dev/null
    tests/package/reproducible_test.sh --build-only "$PWD"
  ) >"$log.reproduce" 2>&1 &
  reproduce=$!
  run_ctest --preset win64 -j $((2 * jobs))
  local status=0
  wait "$same" || status=$?
  echo "the same bytes from kml2mif.exe under Wine as from the native kml2mif:"
  cat "$log.same"
  [ "$status" -eq 0 ] || fail
  passed=$((passed + 1))
}

# The processes started by process $1, and theirs.
descendants() {
  local child
  for child in $(pgrep -P "$1"); do
    echo "$child"
    descendants "$child"
  done
}

# wait_beside PID LOG WHAT: waits for a job started beside the Wine tests, which needs its
# priority back (where the user may raise it: root), prints WHAT and its log; its failure fails.
wait_beside() {
  renice -n 0 -p "$1" $(descendants "$1") >/dev/null 2>&1 || true
  local status=0
  wait "$1" || status=$?
  echo "$3"
  cat "$2"
  [ "$status" -eq 0 ] || fail
}

win32() {
  step "Windows i686 build (the shipping target)"
  if [ -n "$background" ]; then
    wait_beside "$background" "$log.background" \
      "(built beside the Wine tests, with the fuzz targets)"
    background=""
  fi
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
  if [ -n "$reproduce" ]; then
    wait_beside "$reproduce" "$log.reproduce" "(made beside the Wine tests)"
    reproduce=""
    tests/package/reproducible_test.sh --compare-only "$PWD" || fail
  else
    tests/package/reproducible_test.sh "$PWD" || fail
  fi
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
    thread_sanitizer
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
