#!/usr/bin/env bash
# Runs the third-party plug-in validators on every Linux plug-in of the linux build:
# Steinberg's VST3 validator (extensive) and pluginval (strictness 10, editor
# included, on a private X server) on the mono and stereo VST3, lv2lint on every
# LV2 bundle, clap-info on the CLAPs. Prints each validator's summary and one line
# per check; fails on any failure, on anything DPF prints from the audio thread,
# and on an lv2lint warning the README does not explain.
# Usage: scripts/validate-plugins.sh [VALIDATORS_DIR]   (default ../shared/validators)
set -uo pipefail
cd "$(dirname "$0")/.."
validators=$(realpath "${1:-../shared/validators}")/bin
plugins=build/plugins/linux
with_x=tests/plugins/with-xvfb.sh
logs=build/validate-logs
mkdir -p "$logs"
passed=0
failed=0

if [ ! -x "$validators/vst3-validator" ]; then
  echo "no validators in $validators (see its README; CI keeps them at ../shared/validators)"
  exit 1
fi
if [ ! -d "$plugins" ]; then
  echo "no plug-ins in $plugins: build them first (make linux)"
  exit 1
fi

check() {  # check NAME OK? DETAIL
  if [ "$2" = 0 ]; then
    passed=$((passed + 1)); printf 'ok     %s: %s\n' "$1" "$3"
  else
    failed=$((failed + 1)); printf 'FAILED %s: %s\n' "$1" "$3"
  fi
}

# DPF's assertions print from the audio thread; a validator run must leave none.
printed_by_dpf() { grep -c 'assertion failure' "$1"; }

# lv2lint warnings the README explains ("Validators"): by test name, and linking
# to the C++ runtime as any C++ plug-in does (another library is not explained).
explained_lv2lint_warnings='Plugin Author Email|Plugin Author Homepage'
unexplained_lv2lint_warnings() {
  grep -E '^ *\[WARN\]' "$1" | grep -v -E "$explained_lv2lint_warnings|Plugin Linking" | sed 's/^ *\[WARN\] *//'
  awk '/\[WARN\] +Plugin Linking/ { on = 1; next } /^ *\[/ { on = 0 }
       on && /^ *\* / && $2 != "libstdc++.so.6" && $2 != "libgcc_s.so.1" { print "Plugin Linking to " $2 }' "$1"
}

for vst3 in "$plugins"/vst3/*.vst3; do
  name=$(basename "$vst3")
  log="$logs/vst3-validator-$name.log"
  "$validators/vst3-validator" -e "$vst3" >"$log" 2>&1
  rc=$?
  summary=$(grep -o -E '[0-9]+ tests passed, [0-9]+ tests failed' "$log" | tail -n 1)
  assertions=$(printed_by_dpf "$log")
  warnings=$(grep -E 'Warning|does not export' "$log" | sed 's/^Info: *//' | sort -u | paste -sd ',' -)
  ok=1; [ "$rc" = 0 ] && [[ "$summary" == *" 0 tests failed" ]] && [ "$assertions" = 0 ] && ok=0
  check "VST3 validator -e $name" $ok "${summary:-no summary (exit status $rc)}; $assertions assertions printed${warnings:+; $warnings} (see $log)"

  log="$logs/pluginval-$name.log"
  "$with_x" "$validators/pluginval" --strictness-level 10 --timeout-ms 120000 --validate "$vst3" >"$log" 2>&1
  rc=$?
  assertions=$(printed_by_dpf "$log")
  ok=1; [ "$rc" = 0 ] && [ "$assertions" = 0 ] && ok=0
  check "pluginval strictness 10 $name" $ok "exit status $rc; $assertions assertions printed (see $log)"
done

for bundle in "$plugins"/lv2/*.lv2; do
  name=$(basename "$bundle")
  # The plug-in's URI: the subject the manifest calls an lv2:Plugin.
  uri=$(grep -B 1 -E '^ +a lv2:Plugin' "$bundle/manifest.ttl" | sed -n 's/^<\(.*\)>$/\1/p' | head -n 1)
  log="$logs/lv2lint-$name.log"
  "$with_x" "$validators/lv2lint" -M nopack -S all -d -I "$bundle/" "$uri" >"$log" 2>&1
  rc=$?
  count() { grep -c "^ *\[$1\]" "$log"; }
  unexplained=$(unexplained_lv2lint_warnings "$log" | paste -sd ',' -)
  ok=1; [ "$(count FAIL)" = 0 ] && [ -z "$unexplained" ] && [ "$(count PASS)" != 0 ] && ok=0
  check "lv2lint $name" $ok "$(count PASS) PASS, $(count FAIL) FAIL, $(count WARN) WARN, $(count NOTE) NOTE${unexplained:+; unexplained warnings: $unexplained} (exit status $rc, see $log)"
done

for clap in "$plugins"/clap/*.clap; do
  name=$(basename "$clap")
  log="$logs/clap-info-$name.json"
  "$validators/clap-info" "$clap" >"$log" 2>"$logs/clap-info-$name.stderr"
  rc=$?
  "$validators/clap-info" --preset-discovery "$clap" >"$logs/clap-info-presets-$name.json" 2>&1 || rc=$?
  # What a host reads: a descriptor with every identifying field, parameters, one audio
  # port each way, a state, and every factory preset through preset discovery.
  presets=$(sed -n -E 's/.*std::array<FactoryPreset, ([0-9]+)>.*/\1/p' src/plugins/FactoryPresets.h)
  verdict=$(python3 - "$log" "$logs/clap-info-presets-$name.json" "$presets" <<'EOF'
import json, sys
try:
    info = json.load(open(sys.argv[1]))
    discovery = json.load(open(sys.argv[2]))["preset-discovery"]
except (ValueError, KeyError) as error:
    print("unreadable: %s" % error); sys.exit(1)
problems, found = [], []
plugins = info.get("plugins", [])
if not plugins:
    problems.append("no plug-in")
for plugin in plugins:
    descriptor = plugin.get("descriptor", {})
    for field in ("id", "name", "vendor", "version"):
        if not descriptor.get(field):
            problems.append("descriptor %s empty" % field)
    extensions = plugin.get("extensions", {})
    params = extensions.get("clap.params", {}).get("param-count", 0)
    ports = extensions.get("clap.audio-ports", {})
    state = extensions.get("clap.state", {}).get("bytes-written", 0)
    presets = [p for provider in discovery.get("providers", []) for location in provider.get("locations", [])
               for p in location.get("presets", [])]
    found.append("%s version '%s', %s parameters, %s in %s out, state %s bytes, %d presets"
                 % (descriptor.get("id"), descriptor.get("version", ""), params, ports.get("input-port-count"),
                    ports.get("output-port-count"), state, len(presets)))
    if not params:
        problems.append("no parameters")
    if ports.get("input-port-count") != 1 or ports.get("output-port-count") != 1:
        problems.append("not one audio port each way")
    if not state:
        problems.append("no state")
    if len(presets) != int(sys.argv[3]):
        problems.append("%d presets discovered, the table has %s" % (len(presets), sys.argv[3]))
print("; ".join(found + problems))
sys.exit(1 if problems else 0)
EOF
  )
  ok=$?
  [ "$rc" = 0 ] || ok=1
  check "clap-info $name" $ok "$verdict (exit status $rc, see $log)"
done

echo "validators: $passed passed, $failed failed"
[ "$failed" = 0 ]
