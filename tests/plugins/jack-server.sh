# A private JACK server for the live plug-in tests, sourced by them.
# start_jack_server: starts jackd on the dummy backend as $server at $rate Hz and
# $period frames, waits until it answers, and sets jackd_pid; its log goes to
# $work/jackd.log.
start_jack_server() {
  # -r first: no real-time scheduling for the server (none is needed in freewheel mode).
  jackd -r -n "$server" -d dummy -r "$rate" -p "$period" >"$work/jackd.log" 2>&1 &
  jackd_pid=$!
  for _ in $(seq 100); do
    jack_lsp >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "jackd did not start"
  cat "$work/jackd.log"
  return 1
}
