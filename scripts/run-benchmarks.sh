#!/usr/bin/env bash
# Measures every configuration (Google Benchmark on the native build; ns and
# cycles per sample of each of the three builds, the Windows ones under Wine)
# and rewrites the tables of docs/performance.md. Timing is only reported here,
# never asserted by tests.
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
out=build/bench
# Rounds of the three builds' timing programs taking turns (BENCH_ROUNDS=N).
rounds=${BENCH_ROUNDS:-5}
mkdir -p "$out"
rm -f "$out"/timings-*.txt

echo "bench: module benchmarks (native build, every configuration, four block sizes, three runs each: about six minutes)"
build/linux/module_benchmarks --benchmark_min_time=0.1 --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_format=json --benchmark_out="$out/benchmarks.json" --benchmark_out_format=json > "$out/benchmarks.txt"

echo "bench: the plug-ins' engine at 96 kHz, at either Model rate (docs/plugins.md, Model rate)"
build/linux/plugin_rate_benchmarks --benchmark_min_time=0.2 --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true | tee "$out/plugin-rates.txt"

echo "bench: the three builds side by side, $rounds rounds"
bash scripts/setup-wine.sh > /dev/null ||
  { echo "bench: the timings of the Windows builds need Wine for 32-bit and 64-bit programs (see above)" >&2; exit 1; }
# The build before a change, for the same-run comparison: BENCH_BEFORE=FOLDER holding its VexaLPFilter2.so.
before=${BENCH_BEFORE:-}
if [ -n "$before" ] && [ ! -f "$before/VexaLPFilter2.so" ]; then
  echo "bench: BENCH_BEFORE: no VexaLPFilter2.so in '$before'" >&2; exit 1
fi
rm -f "$out"/channels-*.txt "$out"/before-*.txt
for round in $(seq "$rounds"); do
  build/linux/build_timings build/linux/VexaLPFilter2.so > "$out/timings-linux-$round.txt"
  if [ -n "$before" ]; then build/linux/build_timings "$before/VexaLPFilter2.so" > "$out/before-$round.txt"; fi
  /usr/lib/wine/wine64 build/win64/build_timings.exe | tr -d '\r' > "$out/timings-win64-$round.txt"
  /usr/lib/wine/wine build/win32/build_timings.exe | tr -d '\r' > "$out/timings-win32-$round.txt"
  build/linux/channel_timings > "$out/channels-linux-$round.txt"
  /usr/lib/wine/wine64 build/win64/channel_timings.exe | tr -d '\r' > "$out/channels-win64-$round.txt"
done

python3 bench/summarize.py "$out/benchmarks.json" "$out"/timings-*.txt --channels "$out"/channels-*.txt \
  ${before:+--before "$out"/before-*.txt} --readme docs/performance.md
echo "bench: docs/performance.md rewritten"
