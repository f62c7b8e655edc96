#!/usr/bin/env bash
# Runs the console driver against kml2mif.exe under Wine on a virtual X display of its own (Wine
# gives a program a console window of its own only where it can draw one), in a Wine prefix of
# its own, as an English system; always ends Xvfb and the prefix's Wine processes.
#
# Usage: run_console_test.sh <wine-run.sh> <kml2mif_console_driver.exe> <kml2mif.exe> <example.kml>
#        <work folder>
set -u
wine_run=$1 driver=$2 program=$3 example=$4 work=$5

export KML2MIF_WINEPREFIX="${KML2MIF_CONSOLE_WINEPREFIX:-$(dirname "$wine_run")/wineprefix-console}"
export KML2MIF_WINE_LANG=C.UTF-8
rm -rf "$work"
mkdir -p "$work"
cp "$example" "$work/a.kml"

cleanup() {
  WINEPREFIX="$KML2MIF_WINEPREFIX" timeout 30 /usr/lib/wine/wineserver64 -k 2>/dev/null
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# A virtual display of its own.
# shellcheck source=/dev/null
source "$(dirname "$0")/../e2e/xvfb.sh"
start_xvfb 1024x768x24 "$work/xvfb.log"

# Wine sees the machine's root as drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
timeout 300 "$wine_run" "$driver" "$(windows_path "$program")" "$(windows_path "$work")"
status=$?
[ "$status" = 124 ] && echo "the driver timed out" >&2
exit "$status"
