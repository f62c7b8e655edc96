#!/usr/bin/env bash
# Builds kml2mif on this machine and converts the given KML files, or a copy of the bundled
# example when none is given, then shows what was written.
# Usage: ./run.sh [OPTION|FILE.kml ...]   (from any folder: paths are taken from where it starts)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/scripts/install-deps.sh" native
cmake -S "$here" --preset native >/dev/null
cmake --build "$here/build/native" --target kml2mif >/dev/null
tool="$here/build/native/cli/kml2mif"
if [ $# -gt 0 ]; then
  # Run from the caller's folder, so that relative names mean what the caller meant.
  exec "$tool" "$@"
fi
example="$here/build/example"
mkdir -p "$example"
cp "$here/examples/route.kml" "$example/route.kml"
"$tool" "$example/route.kml"
for output in "$example/route.mif" "$example/route.mid"; do
  # The text is GBK (the default character set) with CR LF line ends: shown in UTF-8, each CR
  # LF as "\r" at the end of its line.
  echo "--- ${output#"$here"/} (GBK shown as UTF-8, CR LF as \\r)"
  iconv -f GBK -t UTF-8 "$output" | sed 's/\r$/\\r/' | head -20
done
