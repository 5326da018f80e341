#!/usr/bin/env bash
# The plug-in's interface in jalv's GTK front end (through suil, as an X11 UI
# inside GTK) on the private X server of with-xvfb.sh and a private JACK
# server: its picture must match the stored reference, and a Pitch the host
# sets must move the curve and the Pitch knob while nothing else changes.
# jalv hands its controls (-c) to the interface as port events when it opens
# it; it cannot change one while the plug-in's own interface is open, so the
# second picture is a second run. Screenshots are kept in ARTIFACT_DIR.
# Usage: with-xvfb.sh jalv-interface.sh PLUGIN_DIR REFERENCE_PNG ARTIFACT_DIR
set -uo pipefail

plugins=$(realpath "$1")
reference=$(realpath "$2")
mkdir -p "$3"
artifacts=$(realpath "$3")
export LV2_PATH=$plugins/lv2
work=$(mktemp -d)

rate=48000
period=256
server=vexa-ui-$$
export JACK_DEFAULT_SERVER=$server
# Pixels whose colour differs by more than this fraction count as changed
# (antialiasing and rounding in the GL rasteriser stay below it).
fuzz=10%
# Of the 339840 pixels, at most this many may differ from the reference.
allowed_differences=2000

jackd_pid=
jalv_pid=
# Every server and host this test starts ends by its own process id.
finish() {
  [ -n "$jalv_pid" ] && kill "$jalv_pid" 2>/dev/null && wait "$jalv_pid" 2>/dev/null
  [ -n "$jackd_pid" ] && kill "$jackd_pid" 2>/dev/null && wait "$jackd_pid" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

source "$(dirname "$(realpath "$0")")/jack-server.sh"
start_jack_server || exit 1

# shoot NAME CONTROL=VALUE...: opens the interface with those controls, waits
# until its picture has held still for a second (the curve is measured on a
# thread of its own) and saves the interface's own window as NAME.png.
shoot() {
  local name=$1 window= stable=0
  shift
  local controls=()
  for control in "$@"; do controls+=(-c "$control"); done
  jalv.gtk3 "${controls[@]}" urn:vexa:lp-filter-2 >"$work/jalv-$name.log" 2>&1 &
  jalv_pid=$!
  rm -f "$work/last.png"
  for _ in $(seq 120); do
    sleep 0.25
    # The interface's window: the 720 x 472 one inside jalv's.
    window=$(xwininfo -root -tree 2>/dev/null | awk '/ 720x472\+/ {print $1; exit}')
    [ -n "$window" ] || continue
    import -window "$window" "$work/now.png" 2>/dev/null || continue
    if [ -f "$work/last.png" ] && compare -metric AE "$work/now.png" "$work/last.png" null: 2>/dev/null; then
      stable=$((stable + 1))
      [ $stable -ge 4 ] && break
    else
      stable=0
    fi
    mv "$work/now.png" "$work/last.png"
  done
  kill "$jalv_pid" 2>/dev/null
  wait "$jalv_pid" 2>/dev/null
  jalv_pid=
  if [ $stable -lt 4 ]; then
    echo "FAILED $name: the interface did not appear or did not settle in 30 s"
    sed 's/^/jalv: /' "$work/jalv-$name.log"
    return 1
  fi
  cp "$work/last.png" "$artifacts/$name.png"
}

# differing A B [CROP]: how many pixels differ between two pictures (in a region WxH+X+Y).
differing() {
  local a=$1 b=$2
  if [ $# -ge 3 ]; then
    convert "$a" -crop "$3" +repage "$work/a.png" && a=$work/a.png
    convert "$b" -crop "$3" +repage "$work/b.png" && b=$work/b.png
  fi
  compare -metric AE -fuzz "$fuzz" "$a" "$b" null: 2>&1 | cut -d' ' -f1
}

passed=0
failed=0
check() {
  if [ "$2" = true ]; then
    echo "ok     $1"
    passed=$((passed + 1))
  else
    echo "FAILED $1"
    failed=$((failed + 1))
  fi
}

settings=(poles=18 resonance=8 zing=10)
before=$artifacts/interface-4-4.png
after=$artifacts/interface-4-4-pitch-7.5.png
# A second try for a machine so loaded that a picture held still before its curve came.
for attempt in 1 2; do
  shoot interface-4-4 pitch=5 "${settings[@]}" || exit 1
  [ "$(differing "$reference" "$before")" -le $allowed_differences ] 2>/dev/null && break
  [ $attempt -eq 1 ] && echo "the picture differs from the reference; once more"
done
shoot interface-4-4-pitch-7.5 pitch=7.5 "${settings[@]}" || exit 1

size=$(identify -format '%wx%h' "$before")
check "the interface opens at 720 x 472 ($size)" "$([ "$size" = 720x472 ] && echo true || echo false)"
compare -fuzz "$fuzz" "$reference" "$before" "$artifacts/interface-4-4-against-reference.png" 2>/dev/null
changed=$(differing "$reference" "$before")
check "matches the reference within $fuzz: $changed of 339840 pixels differ (at most $allowed_differences)" \
  "$([ "$changed" -le $allowed_differences ] 2>/dev/null && echo true || echo false)"

# Pitch 7.5 V: the curve and its cutoff mark move, the Pitch knob turns; the header, Poles and Type stay.
response=$(differing "$before" "$after" 688x220+16+38)
pitch_knob=$(differing "$before" "$after" 112x128+26+268)
still=$(differing "$before" "$after" 720x36+0+0)
lists=$(differing "$before" "$after" 292x92+412+280)
check "Pitch 5 V -> 7.5 V from the host: $response pixels of the response change" \
  "$([ "$response" -ge 3000 ] && echo true || echo false)"
check "... $pitch_knob of the Pitch knob" "$([ "$pitch_knob" -ge 200 ] && echo true || echo false)"
check "... none of the header ($still) or of Poles and Type ($lists)" \
  "$([ "$still" -eq 0 ] && [ "$lists" -eq 0 ] && echo true || echo false)"

echo "screenshots: $artifacts"
echo "checks: $passed passed, $failed failed"
[ $failed -eq 0 ]
