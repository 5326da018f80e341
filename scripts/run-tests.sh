#!/usr/bin/env bash
# Runs every test suite against every build and prints one summary line.
# Expects the builds of `make all asan` and a prepared Wine (scripts/setup-wine.sh).
set -uo pipefail
cd "$(dirname "$0")/.."

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

logs=build/test-logs
mkdir -p "$logs"
passed=0
failed=0
failures=()

# run NAME COMMAND...: runs one suite, keeps its output in a log, reports one line.
run() {
  local name=$1
  shift
  local log="$logs/$name.log"
  local started=$SECONDS
  if "$@" >"$log" 2>&1; then
    passed=$((passed + 1))
    printf '  %-28s ok     (%ss) %s\n' "$name" $((SECONDS - started)) "$(grep -E '^\[  PASSED  \]' "$log" | tail -n 1 | tr -d '\r')"
  else
    failed=$((failed + 1))
    failures+=("$name")
    printf '  %-28s FAILED (%ss), last lines of %s:\n' "$name" $((SECONDS - started)) "$log"
    tail -n 40 "$log" | tr -d '\r' | sed 's/^/      /'
  fi
}

echo "Test suites:"
run unit-native build/linux/unit_tests
run integration-native build/linux/integration_tests --module=build/linux/VexaLPFilter2.so
run tools build/linux/tools_tests
run unit-sanitized build/asan/unit_tests
run integration-sanitized build/asan/integration_tests --module=build/asan/VexaLPFilter2.so
run dll-headers-win32 scripts/check-dll.sh build/win32/VexaLPFilter2.sep i386
run dll-headers-win64 scripts/check-dll.sh build/win64/VexaLPFilter2.sep x86-64
run integration-win64-wine /usr/lib/wine/wine64 build/win64/integration_tests.exe
run integration-win32-wine /usr/lib/wine/wine build/win32/integration_tests.exe
run x87-free-block-code-win32 scripts/check-sse2.sh build/win32/VexaLPFilter2.sep
run soak-one-minute build/linux/soak --minutes=1
run soak-sanitized build/asan/soak --minutes=1 --module=build/asan/VexaLPFilter2.so
run fuzz-60-seconds env FUZZ_SEED=2026 scripts/run-fuzzer.sh 60

echo
echo "suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ] || { echo "failed suites: ${failures[*]}"; exit 1; }
