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

# A display number that no X server uses (another test may take one at the same moment: then
# the next).
xvfb_pid=
for n in $(seq 70 199); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >>"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
    export DISPLAY=":$n"
    break
  fi
  kill "$xvfb_pid" 2>/dev/null
  xvfb_pid=
done
[ -n "$xvfb_pid" ] || { echo "cannot start Xvfb" >&2; exit 1; }

# Wine sees the machine's root as drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
timeout 300 "$wine_run" "$driver" "$(windows_path "$program")" "$(windows_path "$work")"
status=$?
[ "$status" = 124 ] && echo "the driver timed out" >&2
exit "$status"
