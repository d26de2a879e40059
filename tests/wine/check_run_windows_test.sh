#!/usr/bin/env bash
# tests/wine/run-windows-test with a stand-in for Wine: a second run only after Wine 8.0's crash at
# exit that followed a report of every test passed; every other failure fails at once.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/check.sh
# The stand-in: --version says $version; each run is the next of $runs (STATUS:REPORT, REPORT
# passed or failed), counted in $scratch/count.
cat >"$scratch/wine" <<'STAND_IN'
#!/bin/sh
[ "$1" != --version ] || { echo "wine-$version (Debian)"; exit 0; }
echo x >>"$count"
set -- $runs
shift $(($(wc -l <"$count") - 1))
[ "${1#*:}" = passed ] || echo "[  FAILED  ] Suite.Case"
echo "[  PASSED  ] 3 tests."
[ "${1%%:*}" -lt 128 ] || kill -s "$(kill -l "${1%%:*}")" $$
exit "${1%%:*}"
STAND_IN
chmod +x "$scratch/wine"

# Wine's version, its runs: the status, the number of runs, and whether it said why it ran again.
while read -r version runs expected; do
  : >"$scratch/count"
  status=0
  version=$version runs=${runs//,/ } count=$scratch/count \
    tests/wine/run-windows-test "$scratch/wine" program.exe >"$scratch/out" 2>&1 || status=$?
  said=$(grep -c "running it once more" "$scratch/out")
  check "Wine $version, runs $runs: status, runs, notices $expected" \
    test "$status:$(wc -l <"$scratch/count"):$said" = "$expected"
done <<'CASES'
8.0 139:passed,0:passed 0:2:1
8.0 139:passed,139:passed 139:2:1
8.0 1:failed,0:passed 1:1:0
8.0 1:passed,0:passed 1:1:0
8.0 139:failed,0:passed 139:1:0
10.0 139:passed,0:passed 139:1:0
8.0 0:passed 0:1:0
CASES
summary "Windows test runner"
