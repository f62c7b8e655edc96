#!/usr/bin/env bash
# Builds kml2mif on this machine and converts the given KML files, or a copy of the bundled
# example when none is given, then shows what was written.
# Usage: ./run.sh [FILE.kml ...]
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh native
cmake --preset native >/dev/null
cmake --build --preset native --target kml2mif >/dev/null
tool=build/native/cli/kml2mif
if [ $# -gt 0 ]; then
  exec "$tool" "$@"
fi
mkdir -p build/example
cp examples/route.kml build/example/route.kml
"$tool" build/example/route.kml
for output in build/example/route.mif build/example/route.mid; do
  echo "--- $output (line ends shown as \$)"
  cat -A "$output" | head -20
done
