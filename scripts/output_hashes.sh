#!/usr/bin/env bash
# Hashes of everything kml2mif writes for a fixed set of inputs: the differential corpus (every
# geometry in every encoding, and KMZ), the example, the fuzz seeds of the full conversion and
# two benchmark files (100,000 placemarks, a 300,000-point track), converted in every mode and
# character set. Two builds that print the same lines write the same bytes.
# Usage: scripts/output_hashes.sh KML2MIF [WORKDIR] [-- EXTRA OPTIONS...] > hashes.txt
set -euo pipefail
tool="$(realpath "$1")"
shift
work="${1:-$(mktemp -d)}"
[ $# -gt 0 ] && shift
[ "${1:-}" = -- ] && shift
extra=("$@")
root="$(cd "$(dirname "$0")/.." && pwd)"
inputs="$work/inputs"
if [ ! -d "$inputs" ]; then
  mkdir -p "$inputs.new"
  python3 "$root/tests/differential/make_corpus.py" "$inputs.new" >/dev/null
  cp "$root/examples/route.kml" "$inputs.new/"
  for seed in "$root"/fuzz/corpus/kml/*; do
    [ -f "$seed" ] && cp "$seed" "$inputs.new/seed-$(basename "$seed").kml"
  done
  python3 "$root/bench/make_kml.py" --kind placemarks 100000 "$inputs.new/placemarks.kml"
  python3 "$root/bench/make_kml.py" --kind track 300000 "$inputs.new/track.kml"
  mv "$inputs.new" "$inputs"
fi
for mode in first-line WindowsSimpChinese UTF-8 WindowsLatin1 Neutral; do
  out="$work/$mode"
  rm -rf "$out"
  mkdir -p "$out"
  if [ "$mode" = first-line ]; then options=(--first-line); else options=(--charset "$mode"); fi
  # Every input on its own, so that one refused file does not hide the others' outputs.
  for input in "$inputs"/*; do
    status=0
    "$tool" -q "${options[@]}" "${extra[@]}" -o "$out" "$input" >/dev/null 2>"$out/.err" ||
      status=$?
    echo "$mode $(basename "$input") exit=$status $(sed "s|$inputs/||g; s|$out/||g" "$out/.err" |
      sha256sum | cut -c1-16)"
  done
  rm -f "$out/.err"
  (cd "$out" && sha256sum -- * | sed "s/^/$mode /")
done
