#!/usr/bin/env bash
# The Windows kml2mif.exe, run under Wine, must write the same bytes as the native kml2mif: the
# differential corpus (every kind of geometry, in every encoding, and KMZ) is converted by both,
# in the default character set and in UTF-8, and every .mif and .mid is compared.
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
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
