# shellcheck shell=bash
# The shell checks' common part: a $scratch folder, removed at the end; check DESCRIPTION
# COMMAND... says "ok" or "FAILED"; summary NAME gives the counts, failing if any check did.
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
passes=0 failures=0 scratch=$(mktemp -d)
trap 'kill "${server:-}" 2>/dev/null; rm -rf "$scratch"' EXIT
# A check that fails shows what it ran, with the values it compared, and its status.
check() {
  local result=0  # (not $status: the checks' runs set that, and their helpers read it)
  "${@:2}" || result=$?
  if [ "$result" -eq 0 ]; then
    echo "ok: $1"
    passes=$((passes + 1))
  else
    echo "FAILED: $1"
    printf '  | ran:' && printf ' %q' "${@:2}" && echo " (status $result)"
    failures=$((failures + 1))
  fi
}
summary() {  # (a check that ran nothing has failed)
  echo "$1: $passes passed, $failures failed"
  [ "$failures" -eq 0 ] && [ "$passes" -gt 0 ]
}
# none_left PATTERN: within seconds, no process's command line matches PATTERN (the kernel ends a
# namespace's processes as soon as it goes); else those that do are shown.
none_left() { within 10 none "$1" || running "$1"; }
none() { ! pgrep -f "$1" >/dev/null; }
running() {  # running PATTERN: those processes, each marked, and fails
  pgrep -af "$1" | cut -c1-120 | sed 's/^/  | running: /'
  false
}
# serve DIRECTORY: busybox's web server for it at http://127.0.0.1:$port for ten minutes ($server),
# once it takes connections (within 10 s); another port where one is taken.
serve() {
  for port in $(shuf -i 20000-60000 -n 20); do
    timeout 600 busybox httpd -f -p "127.0.0.1:$port" -h "$1" 2>/dev/null &
    server=$!
    within 10 serving && ! gone "$server" && return
    kill "$server" 2>/dev/null
  done
  echo "FAILED: no web server on 127.0.0.1 took connections within 10 s (20 ports tried)"
  exit 1
}
serving() { (: <>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || gone "$server"; }
# says FILE PATTERN: $scratch/FILE has a line that PATTERN (extended) matches; else it is shown.
says() {
  grep -qE -- "$2" "$scratch/$1" && return
  shows "$1"
}
# ended FILE STATUS PATTERN: the last run ended with $status STATUS, and $scratch/FILE says PATTERN.
# shellcheck disable=SC2154  # (each check's runs set it)
ended() {
  [ "$status" -eq "$2" ] && grep -qE -- "$3" "$scratch/$1" && return
  echo "  | the last run's exit status: $status"
  shows "$1"
}
# holds FILE TEXT: $scratch/FILE is TEXT and a line feed, exactly; else it is shown.
holds() {
  [ "$(cat "$scratch/$1")" = "$2" ] && [ -z "$(tail -c 1 "$scratch/$1")" ] && return
  echo "  | looked for exactly: $2"
  shows "$1"
}
shows() {  # shows FILE: $scratch/FILE, each line marked, and fails
  echo "  | $1 holds:"
  sed 's/^/  | /' "$scratch/$1"
  false
}
# copy_of_project FOLDER: the project's files as they are in the working tree (what git would
# commit), in FOLDER, for a check that changes them.
copy_of_project() {
  mkdir -p "$1" && git ls-files -z --cached --others --exclude-standard |
    tar --null -T - -cf - | tar -xf - -C "$1"
}
# quietly COMMAND...: a step of a check's set-up, whose output shows only if it fails, and stops
# the check.
quietly() {
  "$@" >"$scratch/step.log" 2>&1 && return
  cat "$scratch/step.log"
  exit 1
}
