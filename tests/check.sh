# shellcheck shell=bash
# The shell checks' common part: a $scratch folder, removed at the end; check DESCRIPTION
# COMMAND... says "ok" or "FAILED"; summary NAME gives the counts, failing if any check did.
passes=0 failures=0 scratch=$(mktemp -d)
trap 'kill "${server:-}" 2>/dev/null; rm -rf "$scratch"' EXIT
check() {
  if "${@:2}"; then
    echo "ok: $1"
    passes=$((passes + 1))
  else
    echo "FAILED: $1"
    failures=$((failures + 1))
  fi
}
summary() {
  echo "$1: $passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}
# serve DIRECTORY: busybox's web server for it at http://127.0.0.1:$port for ten minutes ($server)
serve() {
  for port in $(shuf -i 20000-60000 -n 20); do
    timeout 600 busybox httpd -f -p "127.0.0.1:$port" -h "$1" 2>/dev/null &
    server=$!
    sleep 0.5
    kill -0 "$server" 2>/dev/null && return
  done
  echo "FAILED: no port for a web server on 127.0.0.1"
  exit 1
}
# says FILE PATTERN: $scratch/FILE has a line that PATTERN (extended) matches; else it is shown.
says() {
  grep -qE -- "$2" "$scratch/$1" && return
  sed 's/^/  | /' "$scratch/$1"
  false
}
# ended FILE STATUS PATTERN: the last run ended with $status STATUS, and $scratch/FILE says PATTERN.
# shellcheck disable=SC2154  # (each check's runs set it)
ended() {
  [ "$status" -eq "$2" ] || echo "  | (exit status $status)"
  says "$1" "$3" && [ "$status" -eq "$2" ]
}
# quietly COMMAND...: a step of a check's set-up, whose output shows only if it fails, and stops
# the check.
quietly() {
  "$@" >"$scratch/step.log" 2>&1 && return
  cat "$scratch/step.log"
  exit 1
}
