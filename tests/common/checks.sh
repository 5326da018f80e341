# One line per check for the test scripts, sourced by them: `check NAME COMMAND...` runs COMMAND
# and prints "ok     NAME", or "FAILED NAME" with COMMAND's output below it (kept in $work/last.log:
# the script sets work, a folder of its own); passed and failed count them.
passed=0
failed=0
check() {
  local title=$1
  shift
  if "$@" >"$work/last.log" 2>&1; then
    passed=$((passed + 1))
    printf 'ok     %s\n' "$title"
  else
    failed=$((failed + 1))
    printf 'FAILED %s\n' "$title"
    sed 's/^/       /' "$work/last.log"
  fi
}
