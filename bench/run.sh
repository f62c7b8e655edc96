#!/usr/bin/env bash
# Benchmark: kml2mif against `cat in > out`, `dd conv=fsync` and (when installed) ogr2ogr, on KML
# tracks of 10^3 to 10^7 points in one coordinate line (10^7 points make 230 MB).
# Usage: bench/run.sh [WORKDIR] [extra bench.py options, e.g. --reps 7 --ogr-max 1000000]
#        bench/run.sh WORKDIR --full [--reps 7] [--no-big]: the full conversion (placemarks against
#        ogr2ogr, a long track against --first-line, peak memory on files of up to 2 GB, which
#        are made in WORKDIR and deleted after use; WORKDIR needs some 7 GB free for them),
#        the placemarks and the track projected (--coordsys) against the same unprojected, and a
#        bare expat parse of the placemarks (bench/expat_only.c) as a bound
# Builds kml2mif (Release) in build/bench, prints the machine and a Markdown table.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
workdir="${1:-/tmp/kml2mif-bench}"
shift || true

cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKML2MIF_TESTS=OFF >/dev/null
cmake --build "$root/build/bench" --target kml2mif -j 2 >/dev/null
# The bare expat parse the placemark case is compared with.
expat_only=()
if [ "${1:-}" = --full ] && cc -O2 -o "$root/build/bench/expat_only" "$root/bench/expat_only.c" \
    -lexpat 2>/dev/null; then
  expat_only=(--expat-only "$root/build/bench/expat_only")
fi

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')," \
  "$(free -g | awk '/Mem:/ {print $2}') GiB memory, $(uname -sr)"
echo "file system of $workdir: $(df -T "$(dirname "$workdir")" | awk 'NR==2 {print $2}')"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
if command -v ogr2ogr >/dev/null; then ogr2ogr --version; fi
python3 "$root/bench/bench.py" "$root/build/bench/cli/kml2mif" "$workdir" "$@" "${expat_only[@]}"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
