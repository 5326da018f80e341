#!/usr/bin/env bash
# Runs every test suite of every build through CTest, and the release files'
# checks (scripts/dist-test.sh), and prints one line per suite (ok, FAILED, or
# not run), the suites that did not run with the reason, and one summary line.
# Fails when a suite failed or did not run. Expects the builds of
# `make all asan fuzz-build` and dist/ (`make dist`); prepares Wine itself
# (scripts/setup-wine.sh).
set -uo pipefail
cd "$(dirname "$0")/.."

logs=build/test-logs
mkdir -p "$logs"
passed=0
failed=0
failures=()
not_run=()   # "suite: reason"

# The suites labelled wine run under Wine: they cannot run where their
# build's loader cannot (reason by preset).
declare -A no_wine=()
wine_rc=0
bash scripts/setup-wine.sh >"$logs/setup-wine.log" 2>&1 || wine_rc=$?
wine_says=$(tail -n 1 "$logs/setup-wine.log")
echo "Wine: $wine_says"
case "$wine_rc" in
  0) ;;
  3) no_wine[win32]="32-bit Windows programs cannot run: ${wine_says#*cannot run: }" ;;
  *) no_wine[win32]="Wine could not be set up: $wine_says (see $logs/setup-wine.log)"
     no_wine[win64]=${no_wine[win32]} ;;
esac
# apt's own reason, where scripts/install-deps.sh could not install the 32-bit loader.
wine32_note=build/missing-packages/wine32:i386
if [ -n "${no_wine[win32]:-}" ] && [ -f "$wine32_note" ]; then
  no_wine[win32]+="; installing wine32:i386 failed: $(head -n 1 "$wine32_note")"
fi

echo "Test suites:"
for preset in linux asan win64 win32 fuzz; do
  log="$logs/ctest-$preset.log"
  exclude=()
  if [ -n "${no_wine[$preset]:-}" ]; then
    wine_suites=$(ctest --preset "$preset" -N -L '^wine$' 2>/dev/null | sed -n -E 's/^ *Test +#[0-9]+: +([^ ]+).*/\1/p')
    for name in $wine_suites; do
      not_run+=("$name: ${no_wine[$preset]}")
      printf '  %-32s not run\n' "$name"
    done
    # (A label given on the command line does not override the preset's label filter; names do.)
    [ -z "$wine_suites" ] || exclude=(-E "^($(echo $wine_suites | tr ' ' '|'))\$")
  fi
  ctest --preset "$preset" "${exclude[@]}" >"$log" 2>&1
  # One CTest result line per suite: "  3/5 Test  #3: tools ......   Passed   9.12 sec"
  while read -r name result seconds; do
    case "$result" in
      Passed)
        passed=$((passed + 1))
        printf '  %-32s ok     (%ss)\n' "$name" "$seconds" ;;
      Not|Skipped)
        [ "$result" = Not ] && result="Not Run"
        not_run+=("$name: CTest did not run it ($result), see $log")
        printf '  %-32s not run\n' "$name" ;;
      *)
        failed=$((failed + 1))
        failures+=("$name")
        printf '  %-32s FAILED (%ss), see %s\n' "$name" "$seconds" "$log" ;;
    esac
  done < <(sed -n -E 's/^ *[0-9]+\/[0-9]+ +Test +#[0-9]+: +([^ ]+) +\.+ *(\*\*\*)?([A-Za-z]+)[^0-9]*([0-9.]+) sec.*/\1 \3 \4/p' "$log")
  if ! grep -q -E '^[0-9]+% tests passed' "$log"; then
    failed=$((failed + 1))
    failures+=("ctest-$preset")
    echo "  ctest --preset $preset did not run; last lines of $log:"
    tail -n 20 "$log" | sed 's/^/      /'
  fi
done

# The release files of `make dist`, each installed as a user installs it (scripts/dist-test.sh):
# one suite per kind; the Windows installer's needs the 64-bit Wine.
for check in deb make-install windows-installer tarball; do
  name=dist-$check
  log="$logs/$name.log"
  if [ "$check" = windows-installer ] && [ -n "${no_wine[win64]:-}" ]; then
    not_run+=("$name: ${no_wine[win64]}")
    printf '  %-32s not run\n' "$name"
    continue
  fi
  start=$(date +%s)
  if bash scripts/dist-test.sh "$check" >"$log" 2>&1; then
    passed=$((passed + 1))
    printf '  %-32s ok     (%ss)\n' "$name" "$(($(date +%s) - start))"
  else
    failed=$((failed + 1))
    failures+=("$name")
    printf '  %-32s FAILED, see %s\n' "$name" "$log"
    grep -A 20 '^FAILED' "$log" | head -n 40 | sed 's/^/      /'
  fi
done

if [ "$failed" -ne 0 ]; then
  for preset in linux asan win64 win32 fuzz; do
    grep -q -E 'tests failed out of' "build/test-logs/ctest-$preset.log" && grep -q -E '[1-9][0-9]* tests failed' "build/test-logs/ctest-$preset.log" &&
      { echo; echo "Output of the failed suites of $preset:"; sed -n '/Start/!p' "build/test-logs/ctest-$preset.log" | tail -n 60 | sed 's/^/      /'; }
  done
fi

if [ ${#not_run[@]} -ne 0 ]; then
  echo
  echo "Suites that did not run:"
  printf '  %s\n' "${not_run[@]}"
fi
echo
echo "suites: $passed passed, $failed failed, ${#not_run[@]} not run"
[ "$failed" -eq 0 ] || echo "failed suites: ${failures[*]}"
[ "$failed" -eq 0 ] && [ ${#not_run[@]} -eq 0 ] || { echo "The run has not passed."; exit 1; }
