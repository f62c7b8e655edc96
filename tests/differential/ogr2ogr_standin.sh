#!/usr/bin/env bash
# Stands in for kml2mif while trying out compare.py: takes the same arguments
# ([--quiet] [--charset NAME] FILE) and writes FILE's pair beside it through ogr2ogr. It writes
# one GDAL layer only (ogr2ogr cannot put a KML's Folders into one MIF file), so it suits the
# documents without Folders: compare.py --files '*-plain.*'
set -euo pipefail
charset=UTF-8
while [ $# -gt 1 ]; do
  case "$1" in
    --quiet) shift ;;
    --charset) charset="$2"; shift 2 ;;
    *) break ;;
  esac
done
case "$charset" in
  UTF-8) encoding=UTF-8 ;;
  WindowsSimpChinese) encoding=CP936 ;;
  *) echo "ogr2ogr_standin.sh: no stand-in for --charset $charset" >&2; exit 2 ;;
esac
input="$1"
exec ogr2ogr -f "MapInfo File" -dsco FORMAT=MIF -lco ENCODING="$encoding" \
  "${input%???}mif" "$input" 2>/dev/null
