#!/usr/bin/env bash
# Runs the host-actions fuzzer for the given number of seconds, starting from
# the seed corpus in the repository. New inputs collect in build/fuzz/corpus;
# a crash is written to build/fuzz/ as crash-*, to become a regression seed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
# FUZZ_SEED makes a run repeatable (the test suite uses one); unset, every run explores afresh.
seed_option=()
[ -n "${FUZZ_SEED:-}" ] && seed_option=(-seed="$FUZZ_SEED")
work=build/fuzz/corpus
mkdir -p "$work"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Regression seeds first: every input that once broke the module must pass.
build/fuzz/host_actions_fuzzer -runs=0 fuzz/corpus
build/fuzz/host_actions_fuzzer "${seed_option[@]}" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix=build/fuzz/ "$work" fuzz/corpus
