#!/usr/bin/env bash
# The root filesystem runner itself, scripts/in-debian-root.
#   tests/root/check_in_debian_root.sh RELEASE       (as root; makes the root the first time)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/check.sh
release=$1
root=$msisetup_cache/roots/debian-$release
log=$scratch
# The runs' commands sleep for a time no other process does, so that what is left is found.
sleeping="sleep 600.$$"
start() {  # start COMMAND...: in the root, in the background, as $runner
  scripts/in-debian-root "$release" "$@" >"$log/out" 2>"$log/err" &
  runner=$!
}
finish() {  # waits for $runner: its $status
  status=0
  wait "$runner" || status=$?
}
nothing_left() {  # no process of this check's runs, and nothing of the root mounted here
  none_left "$sleeping" && ! grep " ${root}[/ ]" /proc/self/mounts | sed "s/^/  | mounted: /" |
    grep .
}
# until_it_sleeps: until the command of the run $runner sleeps (it may make the root first)
until_it_sleeps() { within 600 grep -q sleeping "$log/out"; }
stopped_in_root() {  # stopped_in_root SIGNAL: a run stopped by SIGNAL while its command sleeps
  start sh -c "echo sleeping; $sleeping"
  until_it_sleeps
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
  '"$sleeping"' &
  exit 3'
finish
expected=$(printf '3:VERSION_ID="%s"\nbuild: writable\nproject: read-only\nvariable: not passed' \
  "$release")
check "in Debian $release: output, status (3), project read-only, build writable, no variable" \
  test "$status:$(cat "$log/out")" = "$expected"
check "its build tree is build/debian-$release here" test -e "build/debian-$release/probe"
check "no process it left (a sleep), nothing mounted in the root" nothing_left

stopped_in_root TERM
check "a run stopped while its command runs leaves no process and no mount" nothing_left

stopped_in_root KILL
check "a run killed outright: nothing of it is left within seconds" nothing_left
start true && finish
ended_well() { [ "$status" -eq 0 ] && nothing_left; }
check "a run killed outright: the next run of the root goes ahead, and nothing is left" ended_well

# in_chroot KIND: the runner of the same release in another chroot of this machine's programs,
# project and root: output in $log/KIND, status in $chroot_status. A "container" chroot is a mount
# point, as a container's / is; a "plain" one a mere directory, as chroot alone enters.
in_chroot() {
  mkdir -p "$log/$1.d"
  # shellcheck disable=SC2016  # expanded by the shell in the namespace
  unshare --mount sh -c '
    chroot=$1 kind=$2 top=$3 root=$4 release=$5
    [ "$kind" = plain ] || mount -t tmpfs tmpfs "$chroot" || exit
    for folder in /bin /sbin /lib /lib32 /lib64 /usr /etc /dev /proc /sys; do
      [ -L "$folder" ] && cp -P "$folder" "$chroot$folder" && continue
      [ -d "$folder" ] || continue
      mkdir -p "$chroot$folder" && mount --rbind "$folder" "$chroot$folder" || exit
    done
    mkdir -p "$chroot/tmp" "$chroot$top" "$chroot$root" &&
      mount --rbind "$top" "$chroot$top" && mount --bind "$root" "$chroot$root" &&
      chroot "$chroot" sh -c "cd \"\$1\" && scripts/in-debian-root \"\$2\" true" sh \
      "$top" "$release"
  ' sh "$log/$1.d" "$1" "$PWD" "$root" "$release" >"$log/$1" 2>&1
  chroot_status=$?
}
start sh -c 'echo sleeping; sleep 8; echo "slept to its end"'
until_it_sleeps
in_chroot container
finish
ran_in_container() {
  [ "$chroot_status" -eq 0 ] && return
  sed 's/^/  | /' "$log/container"
  false
}
check "the runner in another chroot runs (status 0)" ran_in_container
check "and leaves this machine's run alone: it sleeps to its end (status 0)" \
  test "$status:$(cat "$log/out")" = "$(printf '0:sleeping\nslept to its end')"

in_chroot plain
check "in a plain chroot (/ no mount point) it stops at once: 125 and one line of its own" \
  test "$chroot_status:$(cat "$log/plain")" = "125:in-debian-root: / is not a mount point \
(a plain chroot?): mount the chroot onto itself first (mount --bind)"

summary "root filesystem runner"
