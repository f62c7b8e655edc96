#!/usr/bin/env bash
# Runs the dialog driver against KmlConverter.exe under Wine on a virtual X display of its own,
# in a Wine prefix of its own, and always ends Xvfb and the prefix's Wine processes.
#
# Usage: run_dialog_test.sh <wine-run.sh> <kml_dialog_driver.exe> <KmlConverter.exe> <work folder>
# Leaves screenshots in <work folder>: screen.png (the whole screen), dialog.png (the dialog).
set -u
wine_run=$1 driver=$2 program=$3 work=$4

export KML2MIF_WINEPREFIX="${KML2MIF_DIALOG_WINEPREFIX:-$(dirname "$wine_run")/wineprefix-dialog}"
rm -rf "$work"
mkdir -p "$work"

cleanup() {
  [ -n "${watcher_pid:-}" ] && kill "$watcher_pid" 2>/dev/null
  [ -n "${driver_pid:-}" ] && kill "$driver_pid" 2>/dev/null
  WINEPREFIX="$KML2MIF_WINEPREFIX" timeout 30 /usr/lib/wine/wineserver64 -k 2>/dev/null
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# A virtual display of its own.
# shellcheck source=/dev/null
source "$(dirname "$0")/xvfb.sh"
start_xvfb 1280x1024x24 "$work/xvfb.log"

# Wine's browser launcher runs this for the web-site button.
cat >"$work/browser.sh" <<SCRIPT
#!/bin/sh
printf '%s\n' "\$1" >>"$work/browser.log"
SCRIPT
chmod +x "$work/browser.sh"

# Takes the screenshot when the driver asks for it, and reads the icon of the dialog's X window.
caption='KML文件转换工具 v1.0 - 朔维软件'
(
  while :; do
    if [ -e "$work/screenshot.request" ]; then
      rm -f "$work/screenshot.request"
      import -window root "$work/screen.png" 2>>"$work/import.log"
      window=$(LC_ALL=C.UTF-8 xwininfo -root -tree | grep -F "\"$caption\"" | awk '{print $1; exit}')
      if [ -n "$window" ]; then
        import -window "$window" "$work/dialog.png" 2>>"$work/import.log"
        xprop -id "$window" _NET_WM_ICON 2>&1 | head -1 >"$work/window-icon.txt"
      fi
      touch "$work/screenshot.done"
    fi
    sleep 0.2
  done
) &
watcher_pid=$!

timeout 420 "$wine_run" "$driver" "$program" "$work" &
driver_pid=$!
wait "$driver_pid"
status=$?
driver_pid=
[ "$status" = 124 ] && echo "the driver timed out" >&2
exit "$status"
