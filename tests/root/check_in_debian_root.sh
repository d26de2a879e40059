#!/usr/bin/env bash
# The root filesystem runner itself (scripts/in-debian-root): the command runs in the release asked
# for, its output and status come back, it sees the project read-only with a build tree of its
# own and none of our other variables; and when it ends, is stopped, or was killed outright (then
# at the next run), no process of the root and nothing mounted in it is left.
#   tests/root/check_in_debian_root.sh RELEASE       (as root; makes the root the first time)
set -uo pipefail
cd "$(dirname "$0")/../.."
. tests/check.sh
release=$1
root=/var/cache/msisetup/roots/debian-$release
log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT
in_root() {  # in_root COMMAND...: scripts/in-debian-root RELEASE COMMAND..., its output and status
  status=0
  scripts/in-debian-root "$release" "$@" >"$log/out" 2>"$log/err" || status=$?
}
nothing_left() {  # no process in the root, nothing mounted in it
  local pid
  if grep " $root/" /proc/self/mounts; then return 1; fi
  for pid in /proc/[0-9]*; do
    case $(readlink "$pid/root" 2>/dev/null) in
      "$root" | "$root"/*) echo "  | process ${pid#/proc/} is left: $(tr '\0' ' ' <"$pid/cmdline")"
                           return 1 ;;
    esac
  done
}
stopped_in_root() {  # stopped_in_root SIGNAL: a run stopped by SIGNAL while its command sleeps
  local pid round runner
  scripts/in-debian-root "$release" sleep 600 >/dev/null 2>&1 &
  runner=$!
  for round in $(seq 300); do  # (it brings the root up to date first)
    for pid in $(pgrep -x sleep); do
      [ "$(readlink "/proc/$pid/root")" = "$root" ] && break 2
    done
    sleep 1
  done
  # A stopped run ends within moments. Waiting for it to end by itself would pass whatever the stop
  # did, once the command's sleep ran out; so it gets a minute and is then killed outright. (The
  # shell's notice that it was killed is not wanted.)
  {
    kill "-$1" "$runner"
    for round in $(seq 60); do
      case $(cut -d ' ' -f 3 "/proc/$runner/stat") in "" | Z) break ;; esac  # ended
      sleep 1
    done
    kill -KILL "$runner"
    wait "$runner"
  } 2>/dev/null
}

rm -f "build/debian-$release/probe"
MSISETUP_ROOT_CHECK_SECRET=x in_root sh -c '
  grep "^VERSION_ID=" /etc/os-release
  touch build/probe && echo "build: writable"
  touch probe 2>/dev/null && echo "project: writable" || echo "project: read-only"
  echo "variable: ${MSISETUP_ROOT_CHECK_SECRET-not passed}"
  sleep 600 &
  exit 3'
check "in Debian $release: output and status (3), project read-only, build tree writable, no other variable" \
  test "$status:$(cat "$log/out")" = "$(printf '3:VERSION_ID="%s"\nbuild: writable\nproject: read-only\nvariable: not passed' "$release")"
check "its build tree is build/debian-$release here" test -e "build/debian-$release/probe"
check "no process it left (a sleep), nothing mounted in the root" nothing_left

stopped_in_root TERM
check "a run stopped while its command runs leaves no process and no mount" nothing_left

stopped_in_root KILL
in_root true
check "a run killed outright: the next run ends what it left and unmounts it" nothing_left

summary "root filesystem runner"
