#!/usr/bin/env bash
# scripts/test itself: it refuses arguments it does not take, and stopped while its parts run it
# leaves nothing running: a scratch copy of the project whose parts only start processes that
# would outlive them (one in a session of its own), stopped by SIGTERM and by SIGINT (as Ctrl+C
# sends it) once every part has started; and with parts that pass, it passes.
#   tests/harness/check_stopped_run.sh RELEASE...      (as scripts/test runs it)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/check.sh
copy=$scratch/project
copy_of_project "$copy"
printf '#!/bin/sh\n' >"$copy/tests/root/check_in_debian_root.sh"
mark=1234.$$  # (a sleep of this many seconds is one of the run's)
cat >"$copy/scripts/test-one-release" <<STAND_IN
#!/bin/sh
sleep $mark &
setsid sleep $mark &
touch build/part-started
wait
STAND_IN

for wrong in "--release $1 extra" "--release 99" "--releases $1"; do
  status=0
  # shellcheck disable=SC2086  # (the arguments are split at spaces)
  timeout 60 "$copy/scripts/test" $wrong >"$scratch/wrong.log" 2>&1 || status=$?
  check "scripts/test $wrong: refused before anything runs (status 2)" \
    ended wrong.log 2 "^usage: scripts/test \[--release N\]"
done

arguments=()
[ "$#" -ne 1 ] || arguments=(--release "$1")
parts=$#
started() {  # every part has started, or the run has ended
  [ "$(find "$copy/build" -name part-started 2>/dev/null | wc -l)" -eq "$parts" ] || gone "$run"
}
nothing_left() { none_left "^sleep $mark$" || ! pkill -f "^sleep $mark$"; }
for signal in TERM INT; do
  rm -rf "$copy/build"
  status=0
  env --default-signal=INT "$copy/scripts/test" "${arguments[@]}" >"$scratch/$signal.log" 2>&1 &
  run=$!
  within 300 started
  kill -s "$signal" "$run"
  within 30 gone "$run" ||
    { echo "  | still running 30 s after SIG$signal: killed" && kill -KILL "$run"; }
  wait "$run" 2>/dev/null || status=$?
  started=$(find "$copy/build" -name part-started | wc -l)
  check "SIG$signal while its $# parts run ($started started): it ends, failing" \
    ended "$signal.log" 130 "^=== each release's part"
  check "and leaves nothing running" nothing_left
done

# (the copy's own checks of the test command are stand-ins here: it would start itself again)
printf '#!/bin/sh\n' | tee "$copy/scripts/test-one-release" "$copy/tests/release/"*.sh \
  "$copy/tests/harness/check_stopped_run.sh" >/dev/null
status=0
timeout 600 "$copy/scripts/test" "${arguments[@]}" >"$scratch/passing.log" 2>&1 || status=$?
check "its $# parts passing: it ends with status 0" \
  ended passing.log 0 "^=== every check passed: Debian $*$"
summary "the test command"
