#!/usr/bin/env bash
# The CV plug-in live in jalv on a private JACK server (dummy backend, no sound
# card), fed and recorded in freewheel mode by our own JACK client, with a
# moving Pitch CV: the output must equal `vexa-host render` of the same input
# and CVs in the same blocks, allowing for the one period JACK delays it.
# Usage: jack-live.sh PLUGIN_DIR VEXA_HOST WAV_TOOL JACK_FEEDER
set -uo pipefail

plugins=$(realpath "$1")
vexa_host=$(realpath "$2")
wav_tool=$(realpath "$3")
feeder=$(realpath "$4")
export LV2_PATH=$plugins/lv2
work=$(mktemp -d)

period=256
rate=48000
frames=96000
server=vexa-test-$$
client=vexa-cv
export JACK_DEFAULT_SERVER=$server

jackd_pid=
jalv_pid=
# Every server and host this test starts ends by its own process id.
finish() {
  [ -n "$jalv_pid" ] && kill "$jalv_pid" 2>/dev/null && wait "$jalv_pid" 2>/dev/null
  [ -n "$jackd_pid" ] && kill "$jackd_pid" 2>/dev/null && wait "$jackd_pid" 2>/dev/null
  exec 3>&- 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

source "$(dirname "$(realpath "$0")")/jack-server.sh"
start_jack_server || exit 1

# jalv reads commands from its standard input and stops at its end: hold a pipe open.
mkfifo "$work/jalv.in"
exec 3<>"$work/jalv.in"
jalv -x -n $client -c poles=18 -c type=0 urn:vexa:lp-filter-2-cv <"$work/jalv.in" >"$work/jalv.log" 2>&1 &
jalv_pid=$!

started=$SECONDS
if ! "$feeder" $client "$work" $frames; then
  echo "the feed failed"
  sed 's/^/jalv: /' "$work/jalv.log"
  exit 1
fi
echo "jalv ran $frames frames in $((SECONDS - started)) s in freewheel mode"

"$vexa_host" render "$work/in.wav" -o "$work/render.wav" --block-size "$(cat "$work/period.txt")" --poles 4:4 --type LP \
  --pitch "$work/pitch.wav" --resonance "$work/resonance.wav" --zing "$work/zing.wav" --force || exit 1

# The recording starts with the cycle in which the feed began: with one period
# of delay it lines up with the render, whose first period is the silence jalv
# processed before it was fed.
if "$wav_tool" compare "$work/render.wav" "$work/recorded.wav"; then
  echo "ok     jalv, CV plug-in, moving Pitch: sample-exact with one period ($period frames) of delay"
  echo "checks: 1 passed, 0 failed"
  exit 0
fi
echo "FAILED jalv, CV plug-in, moving Pitch"
echo "checks: 0 passed, 1 failed"
exit 1
