#!/usr/bin/env bash
# The X display of a run of the Windows tests: an Xvfb on a free display
# number, written to DIR/display for scripts/wine-run (SALVIX_WINE_DISPLAY_FILE),
# so that every program of the run, windows or not, shares one Wine session.
#   xvfb.sh start DIR
#   xvfb.sh stop DIR PREFIX     ends the run's Wine session, then the Xvfb
set -euo pipefail
action=$1 dir=$2
mkdir -p "$dir"

stop_xvfb() {
  local pid
  pid=$(cat "$dir/xvfb.pid" 2>/dev/null || true)
  # Only the Xvfb this script started, still running under that number.
  if [ -n "$pid" ] && tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | grep -q '^Xvfb '; then
    kill "$pid" 2>/dev/null || true
  fi
  rm -f "$dir/xvfb.pid" "$dir/display"
}

case $action in
start)
  stop_xvfb
  rm -f "$dir/display.new"
  setsid Xvfb -displayfd 3 -screen 0 "${SALVIX_XVFB_SCREEN:-1024x768x24}" -nolisten tcp 3>"$dir/display.new" \
    </dev/null >"$dir/xvfb.log" 2>&1 &
  echo $! > "$dir/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$dir/display.new" ] && break
    sleep 0.1
  done
  if [ ! -s "$dir/display.new" ]; then
    echo "xvfb.sh: Xvfb did not start:" >&2
    cat "$dir/xvfb.log" >&2
    exit 1
  fi
  tr -dc '0-9' < "$dir/display.new" > "$dir/display"
  rm -f "$dir/display.new"
  ;;
stop)
  prefix=${3:-}
  # The run's Wine session holds the display; it goes first.
  if [ -n "$prefix" ] && [ -e "$prefix/.salvix-made" ]; then
    WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true
  fi
  stop_xvfb
  ;;
*)
  echo "usage: xvfb.sh start|stop DIR [PREFIX]" >&2
  exit 2
  ;;
esac
