#!/usr/bin/env bash
# The LV2 plug-ins in third-party hosts: validation, descriptions, presets, exported
# symbols, and lv2apply, lv2file, ecasound and GStreamer against
# `vexa-host render`, sample for sample; the stereo plug-in's channels each against
# `vexa-host render` of that channel alone (lv2apply and ecasound).
# Usage: lv2-hosts.sh PLUGIN_DIR VEXA_HOST WAV_TOOL   (PLUGIN_DIR holds lv2/, vst3/, clap/)
set -uo pipefail

plugins=$(realpath "$1")
vexa_host=$(realpath "$2")
wav_tool=$(realpath "$3")
export LV2_PATH=$plugins/lv2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$0")/../common/checks.sh"

standard=urn:vexa:lp-filter-2
cv=urn:vexa:lp-filter-2-cv
stereo=urn:vexa:lp-filter-2-stereo

# lv2_validate exits 0 even when it finds errors: its count is what tells.
validate() {
  local out
  out=$(lv2_validate "$@" 2>&1)
  echo "$out" | tail -n 3
  echo "$out" | grep -q '^Found 0 errors'
}
check "lv2_validate: 0 errors (filter)" validate "$plugins"/lv2/vexa-lp-filter-2.lv2/*.ttl
check "lv2_validate: 0 errors (CV)" validate "$plugins"/lv2/vexa-lp-filter-2-cv.lv2/*.ttl
check "lv2_validate: 0 errors (stereo)" validate "$plugins"/lv2/vexa-lp-filter-2-stereo.lv2/*.ttl

# lv2info prints the plug-in without an error line, with the ports named as documented.
describe() {
  local uri=$1 ports=$2 out
  out=$(lv2info "$uri" 2>&1) || { echo "$out"; return 1; }
  if echo "$out" | grep -qi 'error'; then echo "$out" | grep -i error; return 1; fi
  local symbols
  symbols=$(echo "$out" | sed -n 's/^[[:space:]]*Symbol:[[:space:]]*//p' | tr '\n' ' ')
  echo "symbols: $symbols"
  [ "$symbols" = "$ports" ]
}
check "lv2info: filter ports" describe $standard \
  "signal output events_in pitch resonance zing poles type drive output_gain mix key_track model_rate latency "
check "lv2info: CV ports" describe $cv \
  "signal pitch resonance zing output poles type drive output_gain mix model_rate latency "
check "lv2info: stereo ports" describe $stereo \
  "signal_l signal_r output_l output_r events_in pitch resonance zing poles type drive output_gain mix key_track model_rate latency "
cv_optional() {
  [ "$(lv2info $cv | grep -c 'connectionOptional')" -eq 3 ]
}
check "lv2info: the three CV inputs are optional" cv_optional

# lilv lists the factory presets by name. (lv2info's output is read whole: under
# pipefail, grep -q quitting early would fail the pipe with lv2info's SIGPIPE.)
presets_listed() {
  local uri=$1 info listed
  info=$(lv2info $uri) || return 1
  listed=$(sed -n '/^[[:space:]]*Presets:/,/^[[:space:]]*Port 0:/p' <<<"$info" | grep -c '^[[:space:]]\+[A-Z]')
  echo "presets listed: $listed"
  grep -q '^[[:space:]]*Acid Squelch$' <<<"$info" && [ "$listed" -ge 8 ]
}
check "lv2info: the factory presets" presets_listed $standard
check "lv2info: the factory presets (stereo)" presets_listed $stereo

# GStreamer's lv2 element makes an element of each plug-in with one sink and one source pad.
export GST_REGISTRY=$work/gstreamer-registry.bin
gst_elements() {
  local element
  for element in urn-vexa-lp-filter-2 urn-vexa-lp-filter-2-cv urn-vexa-lp-filter-2-stereo; do
    gst-inspect-1.0 "$element" >"$work/gst.txt" 2>&1 || { cat "$work/gst.txt"; return 1; }
    grep -q "SINK: 'sink'" "$work/gst.txt" && grep -q "SRC: 'src'" "$work/gst.txt" || { echo "$element: pads"; return 1; }
  done
}
check "gst-inspect-1.0: the three plug-ins register with a sink and a source pad" gst_elements

# Only the formats' entry points leave the binaries (not DPF's description
# entry, lv2_generate_ttl, which the build runs to write the .ttl files).
exports() {
  local file=$1 expected=$2 actual
  actual=$(nm -D --defined-only "$file" | awk '{print $3}' | sort | tr '\n' ' ')
  echo "$file: $actual"
  [ "$actual" = "$expected" ]
}
check "exports: LV2 filter" exports "$plugins"/lv2/vexa-lp-filter-2.lv2/vexa-lp-filter-2_dsp.so "lv2_descriptor "
check "exports: LV2 CV" exports "$plugins"/lv2/vexa-lp-filter-2-cv.lv2/vexa-lp-filter-2-cv_dsp.so "lv2_descriptor "
check "exports: LV2 stereo" exports "$plugins"/lv2/vexa-lp-filter-2-stereo.lv2/vexa-lp-filter-2-stereo_dsp.so "lv2_descriptor "
for product in VexaLPFilter2 VexaLPFilter2Stereo; do
  check "exports: VST3 $product" exports "$plugins"/vst3/$product.vst3/Contents/x86_64-linux/$product.so "GetPluginFactory ModuleEntry ModuleExit "
  check "exports: CLAP $product" exports "$plugins"/clap/$product.clap "clap_entry "
done

# A second of stimulus and a bit, so that fixed blocks leave a short (or padded) last one.
rate=48000
frames=48013
"$wav_tool" stimulus "$work/in.wav" $frames $rate || exit 1
# ecasound clips its output to full scale (10 V): it gets a quieter stimulus.
"$wav_tool" stimulus "$work/quiet.wav" $frames $rate 0.25 || exit 1
# The stereo plug-in gets another signal on the right (inverted and quieter), so that a
# channel filtered with the other's state or swapped with it shows.
"$wav_tool" stimulus "$work/right.wav" $frames $rate -0.6 &&
  "$wav_tool" join "$work/in.wav" "$work/right.wav" "$work/stereo.wav" &&
  "$wav_tool" stimulus "$work/quiet-right.wav" $frames $rate -0.15 &&
  "$wav_tool" join "$work/quiet.wav" "$work/quiet-right.wav" "$work/quiet-stereo.wav" || exit 1

# Settings: Poles list position (the module's list order) and label, Type, and
# control values in volts that are exact in 32-bit floats.
settings=(
  "5 2:4f 0 5 5 10"
  "18 4:4 1 6.5 7.25 20"
  "8 4-1:5 0 7.75 8.5 10"
  "29 5:5f 1 4.5 2.5 0.5"
  "16 4:3 0 8.25 9.75 42"
  "25 2-3:5f 0 3.5 6 15"
)
# ecasound clips at full scale: settings whose output stays below it.
proc_settings=(
  "5 2:4f 0 5 5 10"
  "18 4:4 1 6.5 4 20"
  "8 4-1:5 0 7.75 8.5 10"
  "29 5:5f 1 4.5 2.5 0.5"
  "16 4:3 0 8.25 3 4"
  "25 2-3:5f 0 3.5 6 15"
)

# rendered NAME BLOCK POLES TYPE PITCH RES ZING [INPUT]: the command-line host's output.
rendered() {
  local name=$1 block=$2 poles=$3 type=$4 pitch=$5 resonance=$6 zing=$7 input=${8:-in}
  local types=(LP HP)
  "$vexa_host" render "$work/$input.wav" -o "$work/$name-render.wav" --block-size "$block" --poles "$poles" \
    --type "${types[$type]}" --pitch "$pitch" --resonance "$resonance" --zing "$zing" --force >/dev/null
}

# each_channel NAME BLOCK POLES TYPE PITCH RES ZING LEFT RIGHT: NAME.wav's left channel is the
# command-line host's output for input LEFT alone, its right one that for RIGHT alone.
each_channel() {
  local name=$1 block=$2 left=$8 right=$9
  rendered "$name-left" "$block" "${@:3:5}" "$left" && rendered "$name-right" "$block" "${@:3:5}" "$right" &&
    "$wav_tool" compare "$work/$name-left-render.wav" "$work/$name.wav" --channel 0 &&
    "$wav_tool" compare "$work/$name-right-render.wav" "$work/$name.wav" --channel 1
}

for setting in "${settings[@]}"; do
  read -r position label type pitch resonance zing <<<"$setting"
  tag="$label type $type P=$pitch R=$resonance Z=$zing"
  controls_apply=(-c poles "$position" -c type "$type" -c pitch "$pitch" -c resonance "$resonance" -c zing "$zing")
  controls_file=(-p "poles:$position" -p "type:$type" -p "pitch:$pitch" -p "resonance:$resonance" -p "zing:$zing")

  # lv2apply runs one sample per block.
  apply() {
    lv2apply -i "$work/in.wav" -o "$work/apply.wav" "${controls_apply[@]}" $standard &&
      rendered apply 1 "$label" "$type" "$pitch" "$resonance" "$zing" &&
      "$wav_tool" compare "$work/apply-render.wav" "$work/apply.wav"
  }
  check "lv2apply, 1-sample blocks: $tag" apply
  apply_stereo() {
    lv2apply -i "$work/stereo.wav" -o "$work/apply-stereo.wav" "${controls_apply[@]}" $stereo &&
      each_channel apply-stereo 1 "$label" "$type" "$pitch" "$resonance" "$zing" in right
  }
  check "lv2apply, stereo, each channel: $tag" apply_stereo

  # lv2file runs fixed blocks and pads the last one.
  file() {
    lv2file -i "$work/in.wav" -o "$work/file.wav" -b 256 --ignore-clipping "${controls_file[@]}" $standard &&
      rendered file 256 "$label" "$type" "$pitch" "$resonance" "$zing" &&
      "$wav_tool" compare "$work/file-render.wav" "$work/file.wav"
  }
  check "lv2file, 256-sample blocks: $tag" file

  # GStreamer runs one buffer per block: 256 samples (the last one shorter), split from the file.
  gst() {
    gst-launch-1.0 -q filesrc location="$work/in.wav" ! wavparse ! audiobuffersplit output-buffer-size=1024 ! \
      $(echo $standard | tr ':' '-') poles="$position" type="$type" pitch="$pitch" resonance="$resonance" zing="$zing" ! \
      wavenc ! filesink location="$work/gst.wav" &&
      rendered gst 256 "$label" "$type" "$pitch" "$resonance" "$zing" &&
      "$wav_tool" compare "$work/gst-render.wav" "$work/gst.wav"
  }
  check "gst-launch-1.0, 256-sample buffers: $tag" gst
done

for setting in "${proc_settings[@]}"; do
  read -r position label type pitch resonance zing <<<"$setting"
  tag="$label type $type P=$pitch R=$resonance Z=$zing"

  # (lv2proc refuses a plug-in with a MIDI input, optional or not: the plug-ins have one for Key track.)

  # ecasound takes the controls in port order (it holds those it is not given at their lowest,
  # so Drive 0 dB, Output 0 dB, Mix 100 % and Key track 0 % too) and also clips at full scale.
  levels="0,0,100,0"
  eca() {
    ecasound -q -b:256 -f:f32_le,1,$rate -i "$work/quiet.wav" -o "$work/eca.wav" \
      "-elv2:$standard,$pitch,$resonance,$zing,$position,$type,$levels" &&
      rendered eca 256 "$label" "$type" "$pitch" "$resonance" "$zing" quiet &&
      "$wav_tool" compare "$work/eca-render.wav" "$work/eca.wav"
  }
  check "ecasound, 256-sample blocks: $tag" eca
  eca_stereo() {
    ecasound -q -b:256 -f:f32_le,2,$rate -i "$work/quiet-stereo.wav" -o "$work/eca-stereo.wav" \
      "-elv2:$stereo,$pitch,$resonance,$zing,$position,$type,$levels" &&
      each_channel eca-stereo 256 "$label" "$type" "$pitch" "$resonance" "$zing" quiet quiet-right
  }
  check "ecasound, stereo, each channel: $tag" eca_stereo
done

# lv2apply feeds a CV input its control value (it runs one sample per block):
# the CV ports' own defaults, then values in the module's convention (1.0 = 10 V).
cv_defaults() {
  lv2apply -i "$work/in.wav" -o "$work/cv.wav" -c poles 12 -c type 1 $cv &&
    "$vexa_host" render "$work/in.wav" -o "$work/cv-render.wav" --block-size 1 --poles 3:4 --type HP --force >/dev/null &&
    "$wav_tool" compare "$work/cv-render.wav" "$work/cv.wav"
}
check "lv2apply, CV plug-in at the CV ports' defaults: 3:4 HP, 5 V, 5 V, 10 V" cv_defaults
cv_values() {
  lv2apply -i "$work/in.wav" -o "$work/cv.wav" -c poles 20 -c pitch 0.775 -c resonance 0.85 -c zing 2.5 $cv &&
    "$vexa_host" render "$work/in.wav" -o "$work/cv-render.wav" --block-size 1 --poles 4:5 --pitch 7.75 \
      --resonance 8.5 --zing 25 --force >/dev/null &&
    "$wav_tool" compare "$work/cv-render.wav" "$work/cv.wav"
}
check "lv2apply, CV plug-in: 4:5 LP, CV 0.775, 0.85, 2.5 as 7.75 V, 8.5 V, 25 V" cv_values

# Enumerations are rounded and clamped; out-of-range controls are clamped.
clamped() {
  lv2apply -i "$work/in.wav" -o "$work/clamped.wav" -c poles 99 -c type 0.6 -c pitch 12 -c resonance -3 -c zing 99 $standard &&
    "$vexa_host" render "$work/in.wav" -o "$work/clamped-render.wav" --block-size 1 --poles 5:5f --type HP \
      --pitch 10.5 --resonance 0 --zing 50 --force >/dev/null &&
    "$wav_tool" compare "$work/clamped-render.wav" "$work/clamped.wav"
}
check "lv2apply, values out of range: clamped to 5:5f HP, 10.5 V, 0 V, 50 V" clamped

echo "checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
