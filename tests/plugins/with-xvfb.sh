#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb on a free display), which ends with it.
# Usage: with-xvfb.sh COMMAND [ARGS...]
set -uo pipefail
work=$(mktemp -d)
xvfb_pid=
finish() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

# Xvfb picks the display and names it on descriptor 3 once it accepts clients;
# -noreset keeps it from resetting (and refusing clients meanwhile) each time
# its last client leaves, as the editors' short-lived connections do.
Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 200); do
  [ -s "$work/display" ] && break
  sleep 0.05
done
if [ ! -s "$work/display" ]; then
  echo "Xvfb did not start"
  cat "$work/xvfb.log"
  exit 1
fi
DISPLAY=:$(cat "$work/display") "$@"
status=$?
# A command run under Wine leaves Wine's desktop processes on the display:
# the server stays until they have ended (at once when Wine is not running).
if command -v wineserver >/dev/null; then wineserver -w; fi
exit $status
