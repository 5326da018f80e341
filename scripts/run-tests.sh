#!/usr/bin/env bash
# Runs every test suite of every build through CTest and prints one line per
# suite and one summary line. Expects the builds of `make all asan fuzz-build`
# and a prepared Wine (scripts/setup-wine.sh).
set -uo pipefail
cd "$(dirname "$0")/.."

logs=build/test-logs
mkdir -p "$logs"
passed=0
failed=0
failures=()

echo "Test suites:"
for preset in linux asan win64 win32 fuzz; do
  log="$logs/ctest-$preset.log"
  ctest --preset "$preset" >"$log" 2>&1
  # One CTest result line per suite: "  3/5 Test  #3: tools ......   Passed   9.12 sec"
  while read -r name result seconds; do
    if [ "$result" = Passed ]; then
      passed=$((passed + 1))
      printf '  %-32s ok     (%ss)\n' "$name" "$seconds"
    else
      failed=$((failed + 1))
      failures+=("$name")
      printf '  %-32s FAILED (%ss), see %s\n' "$name" "$seconds" "$log"
    fi
  done < <(sed -n -E 's/^ *[0-9]+\/[0-9]+ +Test +#[0-9]+: +([^ ]+) +\.+ *(\*\*\*)?([A-Za-z]+)[^0-9]*([0-9.]+) sec.*/\1 \3 \4/p' "$log")
  if ! grep -q -E '^[0-9]+% tests passed' "$log"; then
    failed=$((failed + 1))
    failures+=("ctest-$preset")
    echo "  ctest --preset $preset did not run; last lines of $log:"
    tail -n 20 "$log" | sed 's/^/      /'
  fi
done

if [ "$failed" -ne 0 ]; then
  for preset in linux asan win64 win32 fuzz; do
    grep -q -E 'tests failed out of' "build/test-logs/ctest-$preset.log" && grep -q -E '[1-9][0-9]* tests failed' "build/test-logs/ctest-$preset.log" &&
      { echo; echo "Output of the failed suites of $preset:"; sed -n '/Start/!p' "build/test-logs/ctest-$preset.log" | tail -n 60 | sed 's/^/      /'; }
  done
fi

echo
echo "suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ] || { echo "failed suites: ${failures[*]}"; exit 1; }
