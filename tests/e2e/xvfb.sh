# start_xvfb SCREEN LOG: starts Xvfb with a screen of SCREEN (e.g. 1024x768x24) on a display
# number that no X server uses (another test may take one at the same moment: then the next),
# exports DISPLAY and sets xvfb_pid; exits 1 when none starts. Sourced by the Wine tests, which
# kill $xvfb_pid when they end.
start_xvfb() {
  xvfb_pid=
  local n
  for n in $(seq 70 199); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 "$1" -nolisten tcp >>"$2" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      export DISPLAY=":$n"
      return 0
    fi
    kill "$xvfb_pid" 2>/dev/null
    xvfb_pid=
  done
  echo "cannot start Xvfb" >&2
  exit 1
}
