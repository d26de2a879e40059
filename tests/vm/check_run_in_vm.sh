#!/usr/bin/env bash
# The virtual machine runner itself, scripts/run-in-vm.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/check.sh
. scripts/lib.sh
# run ARGUMENT...: scripts/run-in-vm in the folder $inside (else here), within two minutes unless
# the arguments say otherwise: output and errors in $scratch, $status
run() {
  status=0
  (cd "${inside:-.}" && scripts/run-in-vm --time-limit 120 "$@") >"$scratch/out" 2>"$scratch/err" ||
    status=$?
}
# The newest qemu of this project in this PID namespace (another release's part may run one).
qemu_pid() { pgrep -n --ns $$ --nslist pid -f "^qemu-system-x86_64 .*path=$PWD/build,"; }
no_qemu_left() { ! qemu_pid >/dev/null; }
# What run-in-vm said, but for its wait for the other release's virtual machine.
said() { grep -cv '^\[waiting for ' "$scratch/err"; }
# guest_of PID: until its machine runs, or it ends
guest_of() {
  while no_qemu_left && kill -0 "$1" 2>/dev/null; do
    sleep 1
  done
}
# stalled_run N ARGUMENT...: run, its first N guests stopped as they start, as a stalled guest.
stalled_run() {
  local pid last=""
  for _ in $(seq "$1"); do
    until pid=$(qemu_pid) && [ "$pid" != "$last" ]; do
      kill -0 $$ 2>/dev/null || exit  # (this check ended)
      sleep 0.2
    done
    kill -STOP "$pid" && last=$pid
  done &
  run "${@:2}"
  kill $! 2>/dev/null
}

kept=$scratch/kept/linux-image-6.1.0
mkdir "$scratch/kept" && touch "$kept"-{9,10}-amd64_6.1.1-1_amd64.deb
check "the kernel package is the newest by version, not by name" \
  test "$(vm_kernel_package "$scratch/kept")" = "$kept-10-amd64_6.1.1-1_amd64.deb"

text='h\303\251llo \\ "\n'  # UTF-8, a backslash and a quote
run sh -c "printf '$text'; exit 3"
# shellcheck disable=SC2059  # the text is written as a format of escapes, as the guest gets it
printf "$text" >"$scratch/expected"
check "the command's output, byte for byte, and its status (3)" \
  sh -c "[ $status -eq 3 ] && cmp '$scratch/out' '$scratch/expected'"

rm -f build/vm/probe
MSISETUP_VM_CHECK_SECRET=x run sh -c '
  touch /probe 2>/dev/null && echo "root: writable" || echo "root: read-only"
  touch build/vm/probe && echo "build: writable"
  echo "variable: ${MSISETUP_VM_CHECK_SECRET-not passed}"
  (sleep 1 &); sleep 3; echo "zombies: $(ps -eo stat= | grep -c "^Z")"'
check "root read-only, build tree writable, no other variable, orphans reaped" \
  test "$(cat "$scratch/out")" = \
  "$(printf 'root: read-only\nbuild: writable\nvariable: not passed\nzombies: 0')"
check "the guest's write reached the build tree here" test -e build/vm/probe

# A project below a folder the guest has empty, with spaces and other languages in its path.
project="$scratch/проект в /tmp"
mkdir -p "$project/scripts" "$project/build"
cp scripts/run-in-vm scripts/vm-guest-init scripts/lib.sh "$project/scripts/"
echo "seen" >"$project/marker"
inside=$project run sh -c 'cat marker && echo written >build/out'
check "a project in /tmp: seen where it is, its build tree writable" \
  test "$status:$(cat "$scratch/out"):$(cat "$project/build/out" 2>&1)" = "0:seen:written"

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

# Killed once its machine runs (another release may hold the turn for minutes).
bash -c 'scripts/run-in-vm --time-limit 120 sleep 600 2>"$1" & wait' _ "$scratch/err" & caller=$!
guest_of "$caller"
sleep 2 && kill -9 "$caller" && wait "$caller" 2>/dev/null; sleep 3
check "a caller that ends ends its virtual machine, saying so" says err \
  "its caller ended; the virtual machine was stopped"
check "and no qemu process is left" no_qemu_left

# Two at once: the second, started once the first's machine runs, still runs when the first ends.
scripts/run-in-vm --time-limit 120 sleep 20 >/dev/null 2>&1 & first=$!
guest_of "$first"
scripts/run-in-vm --time-limit 120 true >/dev/null 2>&1 & second=$!
wait "$first"
check "two runs at once: the second waits for the first's virtual machine to end" kill -0 "$second"
wait "$second"

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
