# shellcheck shell=bash
# The shell checks' common part, sourced: check DESCRIPTION COMMAND... runs COMMAND and says "ok"
# or "FAILED" with DESCRIPTION, counting both; summary NAME closes with the counts and fails when
# any check failed.
passes=0 failures=0
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
