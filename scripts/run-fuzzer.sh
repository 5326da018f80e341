#!/usr/bin/env bash
# Runs a fuzzer of the fuzz build for the given number of seconds, starting from its
# seed corpus in the repository: host_actions (the module, the default), clap_plugin or
# vst3_plugin (the plug-ins through their entry points). New inputs collect in
# build/fuzz/corpus-<fuzzer>; a crash is written to build/fuzz/ as crash-*, to become a
# regression seed (named regression-*) in the fuzzer's corpus folder.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
fuzzer=${2:-host_actions}
case "$fuzzer" in
  host_actions) seeds=fuzz/corpus; work=build/fuzz/corpus ;;
  clap_plugin|vst3_plugin) seeds=fuzz/corpus-${fuzzer%_plugin}; work=build/fuzz/corpus-$fuzzer ;;
  *) echo "unknown fuzzer '$fuzzer' (host_actions, clap_plugin, vst3_plugin)" >&2; exit 2 ;;
esac
# FUZZ_SEED makes a run repeatable (the test suite uses one); unset, every run explores afresh.
# FUZZ_TIMEOUT (seconds, 10 by default) is how long one input may take: on a loaded machine under
# nice a plug-in input (a host life of up to 48 steps, 1 to 3 s alone) can take longer.
timeout=${FUZZ_TIMEOUT:-10}
seed_option=()
[ -n "${FUZZ_SEED:-}" ] && seed_option=(-seed="$FUZZ_SEED")
mkdir -p "$work"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Regression seeds first: every input that once broke the module or a plug-in must pass.
build/fuzz/${fuzzer}_fuzzer -runs=0 "$seeds"
build/fuzz/${fuzzer}_fuzzer "${seed_option[@]}" -max_total_time="$seconds" -max_len=4096 -timeout="$timeout" -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix=build/fuzz/ "$work" "$seeds"
