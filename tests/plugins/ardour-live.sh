#!/usr/bin/env bash
# The LV2 or VST3 filter on a track of Ardour's headless session tool (ardour7-lua),
# running on a private JACK server with the dummy backend: our JACK client feeds
# the track's input and records its output in freewheel mode, and the recording
# must equal `vexa-host render` of the same input with the same settings, after
# the delay Ardour adds.
# Usage: ardour-live.sh PLUGIN_DIR VEXA_HOST WAV_TOOL JACK_FEEDER [LV2|VST3]
set -uo pipefail

plugins=$(realpath "$1")
vexa_host=$(realpath "$2")
wav_tool=$(realpath "$3")
feeder=$(realpath "$4")
export VEXA_PLUGIN_FORMAT=${5:-LV2}
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)

period=256
rate=48000
frames=48000
server=vexa-ardour-test-$$
export JACK_DEFAULT_SERVER=$server
export LV2_PATH=$plugins/lv2
# Ardour keeps its configuration and caches here, not in the user's folders;
# it looks for VST3 bundles in ~/.vst3, which holds ours.
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data HOME=$work/home
mkdir -p "$HOME/.vst3"
ln -s "$plugins/vst3/VexaLPFilter2.vst3" "$HOME/.vst3/VexaLPFilter2.vst3"
export VEXA_SESSION_DIR=$work/session VEXA_DONE_FLAG=$work/done
# Poles by its list position: 18 is 4:4; Type 1 is HP.
export VEXA_VALUES="Pitch=6.5 Resonance=7.25 Zing=20 Poles=18 Type=1"

jackd_pid=
ardour_pid=
# Ends whatever this attempt started, by process id.
stop() {
  touch "$VEXA_DONE_FLAG"
  if [ -n "$ardour_pid" ]; then
    sleep 1
    kill "$ardour_pid" 2>/dev/null
    wait "$ardour_pid" 2>/dev/null
  fi
  if [ -n "$jackd_pid" ]; then
    kill "$jackd_pid" 2>/dev/null
    wait "$jackd_pid" 2>/dev/null
  fi
  ardour_pid=
  jackd_pid=
}
trap 'stop; rm -rf "$work"' EXIT
source "$here/jack-server.sh"

# attempt: one private server, one Ardour session, one feed; true when the recording matches.
attempt() {
  rm -rf "$VEXA_SESSION_DIR" "$VEXA_DONE_FLAG" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
  start_jack_server || return 1
  # The session tool finds a VST3 only in the index Ardour's scanner writes.
  if [ "$VEXA_PLUGIN_FORMAT" = VST3 ]; then
    LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst3-scanner -f -q "$HOME/.vst3/VexaLPFilter2.vst3" \
      >"$work/scan.log" 2>&1 || { cat "$work/scan.log"; return 1; }
  fi

  ardour7-lua "$here/ardour-live.lua" >"$work/ardour.log" 2>&1 &
  ardour_pid=$!
  for _ in $(seq 600); do
    grep -q '^ready' "$work/ardour.log" && break
    kill -0 "$ardour_pid" 2>/dev/null || break
    sleep 0.1
  done
  if ! grep -q '^ready' "$work/ardour.log"; then
    echo "Ardour's session did not get ready"
    grep -v WARNING "$work/ardour.log"
    return 1
  fi

  "$feeder" --ports "vexa-ardour:Filter/audio_in 1" "vexa-ardour:Filter/audio_out 1" "$work" $frames || return 1
  touch "$VEXA_DONE_FLAG"
  # Ardour 7.3's session tool sometimes aborts while it tears down, with or without
  # our plug-in on the track; the recording is already made by then.
  wait "$ardour_pid"
  echo "ardour7-lua exited with status $?"
  ardour_pid=
  stop

  "$vexa_host" render "$work/in.wav" -o "$work/render.wav" --block-size $period --poles 4:4 --type HP \
    --pitch 6.5 --resonance 7.25 --zing 20 --force >/dev/null || return 1
  # Ardour delays its track by a fixed number of samples: find it, then every sample must match.
  for delay in $(seq 0 $((2 * period))); do
    if "$wav_tool" compare "$work/render.wav" "$work/recorded.wav" --delay "$delay" >"$work/compare.log" 2>&1; then
      cat "$work/compare.log"
      matched_delay=$delay
      return 0
    fi
  done
  "$wav_tool" compare "$work/render.wav" "$work/recorded.wav"
  return 1
}

# Now and then (seen while the machine was busy) a recording does not match:
# Ardour's delay was 0 instead of 32 samples and its output differed from the
# first fed block on, as if the parameter values arrived with the feed. Up to
# three attempts, each reported.
attempts=3
for n in $(seq $attempts); do
  echo "attempt $n:"
  if attempt; then
    echo "ok     Ardour (ardour7-lua), $VEXA_PLUGIN_FORMAT on a track, 4:4 HP: sample-exact after $matched_delay samples of delay (attempt $n of $attempts)"
    echo "checks: 1 passed, 0 failed"
    exit 0
  fi
  stop
done
echo "FAILED Ardour (ardour7-lua), $VEXA_PLUGIN_FORMAT on a track: no delay up to $((2 * period)) samples matches in $attempts attempts"
echo "checks: 0 passed, 1 failed"
exit 1
