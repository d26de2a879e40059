#!/usr/bin/env bash
# The root filesystem runner itself, scripts/in-debian-root (CONTRIBUTING.md lists the checks).
#   tests/root/check_in_debian_root.sh RELEASE       (as root; makes the root the first time)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/check.sh
release=$1
root=/var/cache/msisetup/roots/debian-$release
log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT
start() {  # start COMMAND...: scripts/in-debian-root RELEASE COMMAND... in the background, as $runner
  scripts/in-debian-root "$release" "$@" >"$log/out" 2>"$log/err" &
  runner=$!
}
finish() {  # waits for $runner: its status
  status=0
  wait "$runner" || status=$?
}
nothing_left() {  # nothing of the run $runner: no process in the root or its namespaces, no mount
  local pid
  for _ in $(seq 5); do  # (the kernel ends them as soon as their namespace goes)
    sleep 1
    for pid in /proc/[0-9]*; do
      case $(readlink "$pid/root" 2>/dev/null) in "$root" | "$root"/*) continue 2 ;; esac
      tr '\0' '\n' 2>/dev/null <"$pid/environ" | grep -qx "MSISETUP_ROOT_NAMESPACE=$runner" && continue 2
    done
    ! grep " $root/" /proc/self/mounts && return
  done
  ps -eo pid,args | sed 's/^/  | /'
  false
}
in_root_until_it_sleeps() {  # the run $runner, once its command sleeps (it may make the root first)
  for _ in $(seq 600); do
    grep -q sleeping "$log/out" && return
    sleep 1
  done
}
stopped_in_root() {  # stopped_in_root SIGNAL: a run stopped by SIGNAL while its command sleeps
  start sh -c 'echo sleeping; sleep 600'
  in_root_until_it_sleeps
  kill "-$1" "$runner"
  { finish; } 2>/dev/null  # (no notice of the shell's that the run was killed)
}

rm -f "build/debian-$release/probe"
# shellcheck disable=SC2016  # expanded by the shell in the root
MSISETUP_ROOT_CHECK_SECRET=x start sh -c '
  grep "^VERSION_ID=" /etc/os-release
  touch build/probe && echo "build: writable"
  touch probe 2>/dev/null && echo "project: writable" || echo "project: read-only"
  echo "variable: ${MSISETUP_ROOT_CHECK_SECRET-not passed}"
  sleep 600 &
  exit 3'
finish
check "in Debian $release: output and status (3), project read-only, build tree writable, no other variable" \
  test "$status:$(cat "$log/out")" = "$(printf '3:VERSION_ID="%s"\nbuild: writable\nproject: read-only\nvariable: not passed' "$release")"
check "its build tree is build/debian-$release here" test -e "build/debian-$release/probe"
check "no process it left (a sleep), nothing mounted in the root" nothing_left

stopped_in_root TERM
check "a run stopped while its command runs leaves no process and no mount" nothing_left

stopped_in_root KILL
check "a run killed outright: nothing of it is left within seconds" nothing_left
start true
finish
ended_well() { [ "$status" -eq 0 ] && nothing_left; }
check "a run killed outright: the next run of the root goes ahead, and nothing is left" ended_well

# Another chroot of this machine (its own folders, the same programs, project and root of the
# release), in a mount namespace of this check's own, runs the same release's runner while a run
# of it here sleeps. The project with what is mounted below it: run inside a root, its build/ is
# a mount of its own.
start sh -c 'echo sleeping; sleep 8; echo "slept to its end"'
in_root_until_it_sleeps
elsewhere=$log/another-chroot
mkdir -p "$elsewhere"
# shellcheck disable=SC2016  # expanded by the shell in the namespace
unshare --mount sh -c '
  elsewhere=$1 top=$2 root=$3 release=$4
  mount -t tmpfs tmpfs "$elsewhere" || exit
  for folder in /bin /sbin /lib /lib32 /lib64 /usr /etc /dev /proc /sys; do
    if [ -L "$folder" ]; then cp -P "$folder" "$elsewhere$folder"
    elif [ -d "$folder" ]; then mkdir -p "$elsewhere$folder" && mount --rbind "$folder" "$elsewhere$folder"
    fi
  done
  mkdir -p "$elsewhere/tmp" "$elsewhere$top" "$elsewhere$root" &&
    mount --rbind "$top" "$elsewhere$top" && mount --bind "$root" "$elsewhere$root" &&
    chroot "$elsewhere" sh -c "cd \"\$1\" && scripts/in-debian-root \"\$2\" true" sh "$top" "$release"
' sh "$elsewhere" "$PWD" "$root" "$release" >"$log/elsewhere" 2>&1
elsewhere_status=$?
finish
check "the runner in another chroot runs (status 0)" \
  sh -c "[ $elsewhere_status -eq 0 ] || { sed 's/^/  | /' '$log/elsewhere'; false; }"
check "and leaves this machine's run alone: it sleeps to its end (status 0)" \
  test "$status:$(cat "$log/out")" = "$(printf '0:sleeping\nslept to its end')"

summary "root filesystem runner"
