# shellcheck shell=bash
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
    [ "${release%%:*}" != "$1" ] || { echo "${release#*:}"; return; }
  done
  return 1
}
this_release() { sed -n 's/^VERSION_ID="\?\([^"]*\)"\?$/\1/p' /etc/os-release; }
# in_release NUMBER COMMAND...: COMMAND in Debian NUMBER, here where this machine runs that release,
# else in its root filesystem (scripts/in-debian-root); build_of NUMBER: that run's build tree,
# as seen from here.
msisetup_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
in_release() {
  if [ "$1" = "$(this_release)" ]; then "${@:2}"; else "$msisetup_scripts/in-debian-root" "$@"; fi
}
build_of() {
  if [ "$1" = "$(this_release)" ]; then echo build; else echo "build/debian-$1"; fi
}

# The environment of a command in a root filesystem or the virtual machine: the system's PATH and
# only these variables of the caller's, so that no secret crosses (and a choice of the virtual
# machine reaches every release's part). crossing_environment prints NAME=VALUE lines.
crossing_environment() {
  local name
  echo PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
  for name in LANG LC_ALL TZ CI MSISETUP_WINE_IN_VM; do
    [ -z "${!name+set}" ] || printf '%s=%s\n' "$name" "${!name}"
  done
}

# What the scripts keep between runs: roots of the releases, the virtual machine's kernel package,
# Windows prefixes.
# shellcheck disable=SC2034  # (used by the scripts that source this file)
msisetup_cache=/var/cache/msisetup
# shellcheck disable=SC2034  # (scripts/wine-prefix keeps them there, and the guest writes there)
wine_prefixes=$msisetup_cache/wineprefixes
project_version() {  # project_version TOP: the version CMakeLists.txt sets
  sed -n 's/^project(msisetup VERSION \([0-9.]*\).*/\1/p' "$1/CMakeLists.txt"
}

# apt-get update that goes on where Debian's archive serves an index other than its Release file
# describes (a mirror caught mid-sync): apt still verifies all it reads and leaves out what it
# cannot, and this says in one line of its own which indexes those are. It always goes on, and
# succeeds: an install that follows says what cannot be had. Runs as root.
apt_update() {  # apt_update WHO: WHO names the script in that line
  local errors failed
  errors=$(apt-get update -qq 2>&1 >/dev/null) && return
  failed=$(sed -n 's|^[EW]: Failed to fetch .*/dists/\([^ ]*\).*|\1|p' <<<"$errors" | tr '\n' ' ')
  if [ -n "$failed" ]; then
    echo "$1: Debian's archive did not serve these indexes as its Release files describe them" \
      "(a mirror being synced?); going on without them: $failed" >&2
    return
  fi
  printf '%s\n' "$errors" >&2
  echo "$1: apt-get update failed (above); going on with the indexes it could read" >&2
}

# Why 32-bit Windows programs must run under Wine in the virtual machine (scripts/run-in-vm)
# rather than here; fails where they run here.
wine_vm_reason() {
  if [ "${MSISETUP_WINE_IN_VM:-}" = 1 ]; then echo "MSISETUP_WINE_IN_VM=1 asks for it"
  elif ! "$msisetup_scripts/runs-32-bit-wine"; then
    echo "this machine runs no 32-bit code (IA-32 emulation off), so 32-bit Wine cannot start here"
  else return 1; fi
}
