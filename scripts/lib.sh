# shellcheck shell=bash disable=SC2034  # (its variables are for the scripts that source it)
# What the project's scripts must agree on, decided here once; sourced, never run.

# The Debian releases the project is built and tested on, each with its code name, one a line.
debian_releases=(
  12:bookworm
  13:trixie
)
release_numbers() { printf '%s\n' "${debian_releases[@]%%:*}"; }
release_list() { release_numbers | paste -sd ' ' | sed 's/ \([^ ]*\)$/ or \1/'; }  # "12 or 13"
release_name() {  # release_name NUMBER: its code name; fails for a release not in the list
  local release
  for release in "${debian_releases[@]}"; do
    if [ "${release%%:*}" = "$1" ]; then
      echo "${release#*:}"
      return
    fi
  done
  return 1
}
this_release() { sed -n 's/^VERSION_ID="\?\([^"]*\)"\?$/\1/p' /etc/os-release; }
# in_release NUMBER COMMAND...: COMMAND in Debian NUMBER, here if this machine runs it, else in its
# root filesystem (scripts/in-debian-root); build_of NUMBER: that run's build tree, seen from here.
msisetup_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
in_release() {
  if [ "$1" = "$(this_release)" ]; then
    "${@:2}"
  else
    "$msisetup_scripts/in-debian-root" "$@"
  fi
}
build_of() {
  if [ "$1" = "$(this_release)" ]; then
    echo build
  else
    echo "build/debian-$1"
  fi
}

# NAME=VALUE lines of a command's environment in a root or the virtual machine: the system's PATH
# and only these variables of the caller's, so that no secret crosses.
crossing_environment() {
  local name
  echo PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
  for name in LANG LC_ALL TZ CI MSISETUP_WINE_IN_VM; do
    [ -z "${!name+set}" ] || printf '%s=%s\n' "$name" "${!name}"
  done
}

# What the scripts keep between runs: roots of the releases, the virtual machine's kernel package,
# Windows prefixes.
msisetup_cache=/var/cache/msisetup
wine_prefixes=$msisetup_cache/wineprefixes
# The machine's locks: the host's, in every root too (scripts/in-debian-root). The virtual
# machine's (scripts/run-in-vm) is MSISETUP_VM_LOCK where set: its check gives its own runs one of
# their own that way, while it holds the machine's for all of them.
msisetup_locks=$msisetup_cache/locks
vm_lock=$msisetup_locks/virtual-machine
# vm_kernel_package FOLDER: the newest by version (-10 after -9) of the kernel packages in FOLDER
# (scripts/install-deps keeps them in the cache for the virtual machine).
vm_kernel_package() { printf '%s\n' "$1"/linux-image-*.deb | sort -V | tail -n 1; }

# How the scripts end with their caller, bound a wait and lock, each done one way, here:
# "${ending_with_caller[@]}" COMMAND...: COMMAND in a PID namespace of its own, which ends, with all
# that COMMAND started, as soon as the process that started it ends, however that ends (as root).
ending_with_caller=(setpriv --pdeathsig KILL unshare --pid --fork --kill-child --mount-proc)
# within SECONDS COMMAND...: COMMAND again every half second until it succeeds; fails once SECONDS
# have passed without. (A command's own run is bounded by timeout, CTest's entries by CTest.)
within() {
  local until=$((SECONDS + $1))
  until "${@:2}"; do
    [ "$SECONDS" -lt "$until" ] || return 1
    sleep 0.5
  done
}
gone() { ! kill -0 "$1" 2>/dev/null; }  # gone PID: that process has ended
# hold_lock FD FILE SECONDS WHAT: the lock of FILE on descriptor FD, which it opens. Where another
# run holds it, says once, in one line, what it waits for, and gives up after SECONDS.
hold_lock() {
  mkdir -p "$(dirname "$2")" && eval "exec $1>>\"\$2\"" && flock -n "$1" && return
  echo "[waiting for $4, at most $3 s]" >&2
  within "$3" flock -n "$1"  # (not flock -w: a signal's trap would wait for it)
}
project_version() {  # project_version TOP: the version CMakeLists.txt sets
  sed -n 's/^project(msisetup VERSION \([0-9.]*\).*/\1/p' "$1/CMakeLists.txt"
}
# version_differences FILE [ADMINDIR]: a line for each PACKAGE=VERSION of FILE that this machine's
# package database (or ADMINDIR's) does not hold at that version.
version_differences() {
  local package recorded installed
  while IFS='=' read -r package recorded; do
    installed=$(dpkg-query ${2:+"--admindir=$2"} -W -f='${Version}' "$package" 2>/dev/null) || true
    [ "${installed:=not installed}" = "$recorded" ] ||
      echo "toolchain differs: $package is $installed, the release was built with $recorded"
  done <"$1"
}

# apt_update WHO: apt-get update that goes on where an index is not what its Release file says (a
# mirror mid-sync): apt still verifies all it reads and leaves those out, and one line of WHO's
# names them. It always succeeds: an install that follows says what cannot be had.
apt_update() {
  local errors failed
  errors=$(apt-get update -qq 2>&1 >/dev/null) && return
  failed=$(sed -n 's|^[EW]: Failed to fetch .*/dists/\([^ ]*\).*|\1|p' <<<"$errors" | tr '\n' ' ')
  if [ -n "$failed" ]; then
    echo "$1: Debian's archive serves these indexes otherwise than its Release files say" \
      "(a mirror mid-sync?); going on without them: $failed" >&2
    return
  fi
  printf '%s\n' "$errors" >&2
  echo "$1: apt-get update failed (above); going on with the indexes it could read" >&2
}

# Why 32-bit Windows programs must run in the virtual machine (scripts/run-in-vm), if they must.
wine_vm_reason() {
  if [ "${MSISETUP_WINE_IN_VM:-}" = 1 ]; then
    echo "MSISETUP_WINE_IN_VM=1 asks for it"
  elif ! "$msisetup_scripts/runs-32-bit-wine"; then
    echo "this machine runs no 32-bit code (IA-32 emulation off), so 32-bit Wine cannot start here"
  else
    return 1
  fi
}
