#!/usr/bin/env bash
# Reads the MIF file that kml2mif makes of the bundled example with GDAL's ogrinfo: it must be
# one LINESTRING of the example's six points. Skipped (exit 77) when ogrinfo is not installed.
# Usage: ogrinfo_test.sh KML2MIF EXAMPLE_KML
set -euo pipefail
command -v ogrinfo >/dev/null || { echo "ogrinfo not installed"; exit 77; }
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cp "$2" "$scratch/route.kml"
"$1" --quiet "$scratch/route.kml"
report="$(ogrinfo -ro -al "$scratch/route.mif")"
geometry="$(echo "$report" | grep -o 'LINESTRING ([^)]*)')" || {
  echo "no LINESTRING in: $report" >&2
  exit 1
}
points="$(echo "$geometry" | tr ',' '\n' | wc -l)"
[ "$points" = 6 ] || { echo "$points points in $geometry" >&2; exit 1; }
echo "$geometry"
