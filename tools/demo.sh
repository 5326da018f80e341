#!/usr/bin/env bash
# The demo: renders the built-in riff through a handful of contrasting pole
# configurations, measures every configuration's frequency response and the cutoff
# tracking, draws the pictures and says what it wrote and how fast it ran.
# Expects the native build (make linux).
set -euo pipefail
cd "$(dirname "$0")/.."

host=build/linux/vexa-host
plot=(python3 tools/plot_responses.py)
out=out/demo
mkdir -p "$out"
started=$EPOCHREALTIME

# The riff: a sawtooth bass line with the cutoff sweeping slowly upwards.
riff=(--signal riff --duration 8 --rate 48000 --pitch 3..8.5 --resonance 7)
# name  poles  type: a gentle two-pole, the default, the classic four-pole,
# its light variant, the five-pole, a three-pole loop, a difference tap, and
# the classic four-pole as high-pass.
renders=(
  "2-2 2:2 LP"
  "2-4f 2:4f LP"
  "4-4 4:4 LP"
  "4-4f 4:4f LP"
  "5-5 5:5 LP"
  "5-3 5:3 LP"
  "2-3-5 2-3:5 LP"
  "4-4-hp 4:4 HP"
)

echo "Rendering the riff (8 s at 48 kHz, Pitch 3 V to 8.5 V, Resonance 7 V) into $out:"
for entry in "${renders[@]}"; do
  read -r name poles type <<<"$entry"
  printf '  %-6s %-3s ' "$poles" "$type"
  "$host" render "${riff[@]}" --poles "$poles" --type "$type" -o "$out/riff-$name.wav" --force
done

echo
echo "Measuring the frequency responses:"
"$host" response --all --type both -o "$out/responses.csv" --force
"${plot[@]}" grid "$out/responses.csv" "$out/responses.png" --force --size 1800x1200 \
  --title "Vexa LP Filter 2, every configuration"
"$host" response --all --type both --resonance 0,5,9 -o "$out/responses-resonance.csv" --force
"${plot[@]}" grid "$out/responses-resonance.csv" "$out/responses-resonance.png" --force --size 1800x1200 \
  --title "Vexa LP Filter 2, every configuration at three Resonance values"
"$host" response --poles 4:4 --resonance 0,2.5,5,7.5,9 -o "$out/resonance-4-4.csv" --force
"${plot[@]}" overlay "$out/resonance-4-4.csv" "$out/resonance-4-4.png" --force --size 1000x600 \
  --title "4:4 LP at several Resonance values"

echo
echo "Tracking of the resonant peak (1 V/octave) at Resonance 8 V:"
"$host" response --all --peaks --resonance 8 -o "$out/tracking.txt" --force
cat "$out/tracking.txt"

echo
echo "Wrote:"
ls -l "$out" | awk 'NR > 1 { printf "  %-28s %9d bytes\n", $9, $5 }'
awk -v from="$started" -v to="$EPOCHREALTIME" 'BEGIN { printf "The demo took %.1f s.\n", to - from }'
