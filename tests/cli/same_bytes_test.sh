#!/usr/bin/env bash
# The Windows kml2mif.exe, run under Wine, must write the same bytes as the native kml2mif: the
# differential corpus (every kind of geometry, in every encoding, and KMZ) is converted by both,
# in the default character set and in UTF-8, and every .mif and .mid is compared. Then the
# corpus (whose points lie around Beijing) and a track of 20,000 points are converted into each
# family of coordinate systems, the datum shifts and the web maps' too.
# Usage: same_bytes_test.sh NATIVE_KML2MIF WINE_RUN KML2MIF_EXE
set -uo pipefail
native="$1"
wine_run="$2"
exe="$3"
here="$(cd "$(dirname "$0")" && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
python3 "$here/../differential/make_corpus.py" "$scratch/corpus" >/dev/null || exit 1
# Wine has no GB18030 code page (Windows has, as 54936): a GB18030 document that uses its
# four-byte forms cannot be read there, and is left out.
python3 - "$scratch/corpus" <<'PY'
import os, re, sys
four_byte = re.compile(rb'[\x81-\xfe][\x30-\x39][\x81-\xfe][\x30-\x39]')
for name in os.listdir(sys.argv[1]):
    path = os.path.join(sys.argv[1], name)
    if '.gb18030.' in name and four_byte.search(open(path, 'rb').read()):
        print('left out (four-byte GB18030 forms):', name)
        os.remove(path)
PY
passed=0
failed=0
for charset in WindowsSimpChinese UTF-8; do
  for side in native windows; do
    mkdir -p "$scratch/$side-$charset"
    cp "$scratch/corpus/"* "$scratch/$side-$charset/"
  done
  (cd "$scratch/native-$charset" && "$native" -q -k --charset "$charset" ./*.kml ./*.kmz) ||
    { echo "FAIL: native kml2mif ($charset)"; failed=$((failed + 1)); }
  (cd "$scratch/windows-$charset" && "$wine_run" "$exe" -q -k --charset "$charset" ./*.kml ./*.kmz \
    >/dev/null) || { echo "FAIL: kml2mif.exe ($charset)"; failed=$((failed + 1)); }
  for output in "$scratch/native-$charset/"*.mif "$scratch/native-$charset/"*.mid; do
    name="$(basename "$output")"
    if cmp -s "$output" "$scratch/windows-$charset/$name"; then
      passed=$((passed + 1))
    else
      echo "FAIL: $charset $name differs"
      failed=$((failed + 1))
    fi
  done
done
python3 "$here/../../bench/make_kml.py" --kind track 20000 "$scratch/corpus/track.kml" ||
  exit 1
towgs84=24.47,-130.89,-81.56,1.8,-2.9,3.7,5.2
projections=("--coordsys EPSG:4527" "--coordsys cgcs2000-gk6 --from gcj02"
             "--coordsys EPSG:2401 --towgs84 $towgs84" "--coordsys EPSG:4610 --towgs84 $towgs84"
             "--coordsys cgcs2000 --from bd09")
for index in "${!projections[@]}"; do
  read -r -a options <<<"${projections[$index]}"
  for side in native windows; do
    mkdir -p "$scratch/$side-crs$index"
    cp "$scratch/corpus/"* "$scratch/$side-crs$index/"
  done
  (cd "$scratch/native-crs$index" && "$native" -q -k --charset UTF-8 "${options[@]}" ./*.kml \
    ./*.kmz) || { echo "FAIL: native kml2mif ${options[*]}"; failed=$((failed + 1)); }
  (cd "$scratch/windows-crs$index" && "$wine_run" "$exe" -q -k --charset UTF-8 "${options[@]}" \
    ./*.kml ./*.kmz >/dev/null) || { echo "FAIL: kml2mif.exe ${options[*]}"; failed=$((failed + 1)); }
  for output in "$scratch/native-crs$index/"*.mif "$scratch/native-crs$index/"*.mid; do
    name="$(basename "$output")"
    if cmp -s "$output" "$scratch/windows-crs$index/$name"; then
      passed=$((passed + 1))
    else
      echo "FAIL: ${options[*]} $name differs"
      failed=$((failed + 1))
    fi
  done
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
