#!/usr/bin/env bash
# Measures every configuration (Google Benchmark on the native build, the cost
# of a decaying signal on all three builds) and rewrites the README's
# performance section. Timing is only reported here, never asserted by tests.
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
out=build/bench
mkdir -p "$out"

echo "bench: module benchmarks (native build, every configuration, four block sizes, three runs each: about six minutes)"
build/linux/module_benchmarks --benchmark_min_time=0.1 --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_format=json --benchmark_out="$out/benchmarks.json" --benchmark_out_format=json > "$out/benchmarks.txt"

echo "bench: decaying against normal signal on each build"
build/linux/decay_ratio build/linux/VexaLPFilter2.so > "$out/decay-linux.txt"
bash scripts/setup-wine.sh > /dev/null
/usr/lib/wine/wine64 build/win64/decay_ratio.exe > "$out/decay-win64.txt"
/usr/lib/wine/wine build/win32/decay_ratio.exe > "$out/decay-win32.txt"
tail -n 1 "$out"/decay-*.txt | tr -d '\r'

python3 bench/summarize.py "$out/benchmarks.json" "$out"/decay-*.txt --readme README.md
echo "bench: README.md performance section rewritten"
