#!/usr/bin/env bash
# salvix.exe itself under Wine: its window comes up from the resources and
# manifest linked into it, with its caption, and Esc ends it with code 0.
#   program-test.sh SALVIX_EXE      (through ctest: display and disk set)
set -euo pipefail
exe=$1
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../scripts/wine-run"
[ -s "${SALVIX_WINE_DISPLAY_FILE:-}" ] || { echo "program-test.sh: run through ctest" >&2; exit 1; }
export DISPLAY=":$(cat "$SALVIX_WINE_DISPLAY_FILE")"

"$wine_run" "$exe" </dev/null >/dev/null 2>&1 &
pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Orvane v2\.1$' | head -1) || true
if [ -z "$window" ]; then
  kill "$pid" 2>/dev/null || true
  echo "program-test.sh: no window \"Orvane v2.1\" within 20 s" >&2
  exit 1
fi
xdotool windowfocus --sync "$window" key Escape
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  kill "$pid" 2>/dev/null || true
  echo "program-test.sh: Esc did not end the program within 10 s" >&2
  exit 1
fi
wait "$pid"
