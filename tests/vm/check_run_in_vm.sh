#!/usr/bin/env bash
# The virtual machine runner itself, scripts/run-in-vm.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/check.sh
# The machine's virtual machine is this check's throughout, so that no other part's guest comes
# between two of its runs, which take turns on a lock of their own.
hold_lock 7 "$vm_lock" 3600 "this machine's virtual machine" ||
  { echo "FAILED: this machine's virtual machine stayed taken for an hour" && exit 1; }
export MSISETUP_VM_LOCK=$scratch/virtual-machine
# run ARGUMENT...: scripts/run-in-vm in the folder $inside (else here), within two minutes unless
# the arguments say otherwise, ending with this check: output and errors in $scratch, $status
run() {
  status=0
  (cd "${inside:-.}" && exec "${ending_with_caller[@]}" scripts/run-in-vm --time-limit 120 "$@") \
    >"$scratch/out" 2>"$scratch/err" || status=$?
}
# This project's qemu (this part's alone: scripts/test gives each part its own /proc); the newest.
ours="^qemu-system-x86_64 .*path=$PWD/build,"
qemu_pid() { pgrep -n -f "$ours"; }
no_qemu_left() { none_left "$ours"; }
said() { wc -l <"$scratch/err"; }  # (how many lines run-in-vm said)
# guest_of PID: until its machine runs (at once: no other holds this check's lock), or it ends
guest_of() { within 60 runs_or_gone "$1"; }
runs_or_gone() { qemu_pid >/dev/null || gone "$1"; }
# stalled_run N ARGUMENT...: run, its first N guests stopped as they start, as a stalled guest.
stalled_run() {
  stop_guests "$1" &
  run "${@:2}"
  kill $! 2>/dev/null
}
stop_guests() {
  local last="" pid
  for _ in $(seq "$1"); do
    within 300 new_guest && kill -STOP "$pid" && last=$pid  # (the next: after a boot limit)
  done
}
new_guest() {
  gone $$ && exit  # (this check ended)
  pid=$(qemu_pid) && [ "$pid" != "$last" ]
}

kept=$scratch/kept/linux-image-6.1.0
mkdir "$scratch/kept" && touch "$kept"-{9,10}-amd64_6.1.1-1_amd64.deb
check "the kernel package is the newest by version, not by name" \
  test "$(vm_kernel_package "$scratch/kept")" = "$kept-10-amd64_6.1.1-1_amd64.deb"

# One guest for what a command sees there, of a project below a folder the guest has empty, with
# spaces and other languages in its path: its output byte for byte (UTF-8, a backslash, a quote).
project="$scratch/проект в /tmp"
mkdir -p "$project/scripts" "$project/build"
cp scripts/run-in-vm scripts/vm-guest-init scripts/lib.sh "$project/scripts/"
echo "seen" >"$project/marker"
text='h\303\251llo \\ "\n'
MSISETUP_VM_CHECK_SECRET=x inside=$project run sh -c "printf '$text'"'
  cat marker
  touch /probe 2>/dev/null && echo "root: writable" || echo "root: read-only"
  touch build/probe && echo "build: writable"
  echo "variable: ${MSISETUP_VM_CHECK_SECRET-not passed}"
  (sleep 1 &); sleep 3; echo "zombies: $(ps -eo stat= | grep -c "^Z")"; exit 3'
# shellcheck disable=SC2059  # the text is written as a format of escapes, as the guest gets it
{ printf "$text" && printf '%s\n' seen "root: read-only" "build: writable" \
  "variable: not passed" "zombies: 0"; } >"$scratch/expected"
as_expected() {
  [ "$status" -eq 3 ] && cmp -s "$scratch/out" "$scratch/expected" && return
  echo "  | status $status; looked for:" && sed 's/^/  | /' "$scratch/expected"
  shows out
  shows err
}
check "byte for byte, its status (3); the project seen where it is, root read-only, build \
writable, no variable, orphans reaped" as_expected
check "the guest's write reached the project's build tree here" test -e "$project/build/probe"

run --time-limit 10 sleep 600
check "a hung guest: stopped at its time limit (status 124)" \
  ended err 124 "did not finish within 10 s"
check "and no qemu process is left" no_qemu_left

# A guest that never starts the command (stopped as it boots): another is started, once. (Its
# boot limit is several times a boot on a loaded machine.)
stalled_run 1 --boot-limit 60 sh -c 'echo ran'
ran_after_a_stall() {
  ended err 0 "^run-in-vm: the guest had not started .* within 60 s; stopped, starting another$" &&
    holds out ran && { [ "$(said)" -eq 1 ] || shows err; }
}
check "a guest stalled at its start: the next runs the command, saying so in one line" \
  ran_after_a_stall
check "and no qemu process is left" no_qemu_left
stalled_run 2 --boot-limit 10 true
check "two guests stalled: status 125 and why" ended err 125 \
  "the second guest had not started its command within 10 s either"
check "and no qemu process is left" no_qemu_left

run sh -c 'echo c >/proc/sysrq-trigger'
check "a guest that dies: status 125 and why" ended err 125 "the guest died"
check "and no qemu process is left" no_qemu_left

# Two at once, the first through scripts/with-32-bit-wine (as its callers run it): the second
# waits for the first's machine, which ends with its caller, killed outright.
bash -c 'scripts/with-32-bit-wine --time-limit 120 sleep 600 >/dev/null 2>&1 & wait' & caller=$!
guest_of "$caller"
first=" $(ps -o args= -p "$(qemu_pid)" | grep -o 'job=[^ ]*')"  # (its own, in its command line)
scripts/run-in-vm --time-limit 120 true >/dev/null 2>"$scratch/second" & second=$!
waiting="^\[waiting for this machine's virtual machine, at most 3600 s\]$"
waits_or_runs() {
  grep -q "$waiting" "$scratch/second" || ! one_guest >/dev/null || gone "$second"
}
one_guest() { [ "$(pgrep -c -f "$ours")" -eq 1 ] || running "$ours"; }
within 30 waits_or_runs
check "two runs at once: the second waits for the first's virtual machine, saying so" \
  says second "$waiting"
check "and starts none of its own meanwhile" one_guest
kill -9 "$caller" && wait "$caller" 2>/dev/null
check "a caller that ends ends its virtual machine with it, within seconds" none_left "$first"
status=0
wait "$second" || status=$?
check "then the second runs (status 0)" ended second 0 "$waiting"
check "and no qemu process is left" no_qemu_left

# A kernel package without the modules it needs: one line of its own and 125, before any guest.
mkdir -p "$scratch/kernel/DEBIAN" "$scratch/kernel/boot" \
  "$scratch/kernel/usr/lib/modules/0.0/kernel"
printf '%s: %s\n' Package linux-image-0.0 Version 0.0 Architecture amd64 Maintainer none \
  Description none >"$scratch/kernel/DEBIAN/control"
touch "$scratch/kernel/boot/vmlinuz-0.0" "$scratch/kernel/usr/lib/modules/0.0/modules.builtin"
dpkg-deb --build "$scratch/kernel" "$scratch/linux-image-0.0.deb" >/dev/null
MSISETUP_VM_KERNEL=$scratch/linux-image-0.0.deb run true
check "a kernel package it cannot make a guest from: status 125 and why" \
  ended err 125 "cannot make the guest: linux-image-0.0.deb has no module virtio_pci"
check "and that in one line" test "$(said)" -eq 1

summary "virtual machine runner"
