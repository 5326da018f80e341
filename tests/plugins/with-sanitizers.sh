#!/usr/bin/env bash
# Runs a plug-in test whose hosts are not ours with the AddressSanitizer and
# UndefinedBehaviorSanitizer runtimes preloaded, so that the sanitized plug-ins
# load into them. Leaks are not looked for: the hosts' own are not ours to mend
# (our own hosts, lv2_host_tests and clap_host_tests, check for leaks).
# Usage: with-sanitizers.sh COMMAND...
set -euo pipefail
export LD_PRELOAD="$(gcc -print-file-name=libasan.so):$(gcc -print-file-name=libubsan.so)"
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec "$@"
