#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang) and runs each for SECONDS (default 60),
# starting from its seed corpus and the regressions, as many at a time as the machine has cores
# (JOBS=n to change; each fuzzer is one process on one core, so running them side by side
# leaves each the processor time it has alone). Prints the executions and processor seconds
# per target and
# fails on any crash, leak, sanitizer report or disagreement with a reference; the input that
# caused it is kept in build/fuzz/artifacts/<target>/ and belongs in fuzz/regressions/<target>/
# (the replay tests then run it in every build).
# Usage: fuzz/run.sh [SECONDS] [TARGET...]   (SECONDS 0: only build them)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(line_reader cstring coordinate_scan kml)

jobs="${JOBS:-$(nproc)}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" --target "${targets[@]/#/fuzz_}"
[ "$seconds" -gt 0 ] || exit 0

build=build/fuzz
# Every execution writes a scratch file: keep them in memory where that is possible.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

# fuzz_target TARGET: fuzzes it, leaving its output in $build/fuzz_TARGET.log and its exit status
# and processor seconds in $build/fuzz_TARGET.status. (It runs in a subshell of its own, whose
# finished children are the fuzzer alone.)
fuzz_target() {
  local target="$1"
  local work="$build/corpus/$target" artifacts="$build/artifacts/$target/"
  mkdir -p "$work" "$artifacts"
  local corpora=("$work" "fuzz/corpus/$target")
  [ -d "fuzz/regressions/$target" ] && corpora+=("fuzz/regressions/$target")
  local result=0
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=30 \
    -max_len=8192 -print_final_stats=1 -artifact_prefix="$artifacts" \
    "${corpora[@]}" >"$build/fuzz_$target.log" 2>&1 || result=$?
  times >"$build/fuzz_$target.times"
  local cpu
  cpu=$(awk 'NR == 2 {
    split($1, user, /[ms]/)
    split($2, kernel, /[ms]/)
    printf "%d", user[1] * 60 + user[2] + kernel[1] * 60 + kernel[2]
  }' "$build/fuzz_$target.times")
  echo "$result $cpu" >"$build/fuzz_$target.status"
}

running=0
for target in "${targets[@]}"; do
  rm -f "$build/fuzz_$target.status"
  fuzz_target "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

status=0
for target in "${targets[@]}"; do
  log="$build/fuzz_$target.log"
  artifacts="$build/artifacts/$target/"
  read -r result cpu <"$build/fuzz_$target.status" || result=1
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  [ -n "$runs" ] || runs=$(sed -n 's/^#\([0-9]*\).*DONE.*/\1/p' "$log" | tail -1)
  if [ "$result" -eq 0 ]; then
    printf '%-16s %10s executions in %ss (%ss of processor time), no failure\n' "$target" \
      "${runs:-?}" "$seconds" "${cpu:-?}"
  else
    status=1
    printf '%-16s FAILED after %s executions (exit %d); inputs in %s, log %s:\n' \
      "$target" "${runs:-?}" "$result" "$artifacts" "$log"
    grep -E 'MISMATCH|expected:|actual:|ERROR: |SUMMARY|Test unit written' "$log" | head -20
  fi
done
exit $status
