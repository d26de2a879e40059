# shellcheck shell=bash
# The shell checks' common part, sourced: check DESCRIPTION COMMAND... says "ok" or "FAILED" with
# DESCRIPTION; summary NAME closes with the counts, and fails when any check failed.
passes=0 failures=0
check() {
  if "${@:2}"; then echo "ok: $1" && passes=$((passes + 1)) && return; fi
  echo "FAILED: $1" && failures=$((failures + 1))
}
summary() {
  echo "$1: $passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}
# serve DIRECTORY: busybox's web server for it at http://127.0.0.1:$port, process $server, which
# ends by itself after ten minutes.
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
# quietly COMMAND...: a step of a check's set-up; its output shows, and the check stops, if it fails.
# shellcheck disable=SC2154  # each check sets its own scratch folder
quietly() { "$@" >"$scratch/step.log" 2>&1 || { cat "$scratch/step.log"; exit 1; }; }
