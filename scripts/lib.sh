# shellcheck shell=bash
# What the project's scripts must agree on, decided here once; sourced, never run.

# The Debian releases the project is built and tested on, each with its code name.
release_name() {  # release_name NUMBER: its code name; fails for a release not tested on
  case $1 in
    12) echo bookworm ;;
    13) echo trixie ;;
    *) return 1 ;;
  esac
}
other_release() {  # other_release NUMBER: the other tested release
  case $1 in
    12) echo 13 ;;
    13) echo 12 ;;
    *) return 1 ;;
  esac
}
# shellcheck source=/dev/null  # the machine's own file, read for its release
this_release() { (. /etc/os-release && echo "${VERSION_ID:-}"); }

# The only variables of the caller's environment that reach a root filesystem or the virtual
# machine, so that no secret does (and a choice of the virtual machine reaches the other
# release's part too): crossing_environment prints NAME=VALUE for each that is set.
crossing_environment() {
  local name
  for name in PATH LANG LC_ALL TZ CI MSISETUP_WINE_IN_VM; do
    if [ -n "${!name+set}" ]; then printf '%s=%s\n' "$name" "${!name}"; fi
  done
}

# The project's version, as project() in CMakeLists.txt sets it.
project_version() { sed -n 's/^project(msisetup VERSION \([0-9.]*\).*/\1/p' "$1/CMakeLists.txt"; }

# apt-get update that goes on where Debian's archive serves an index other than its Release file
# describes (a mirror caught mid-sync): apt still verifies all it reads and leaves out what it
# cannot, and this says in one line of its own which indexes those are. Runs as root.
apt_update() {  # apt_update WHO: WHO names the script in that line
  local errors failed
  errors=$(apt-get update -qq 2>&1 >/dev/null) && return
  failed=$(sed -n 's|^[EW]: Failed to fetch .*/dists/\([^ ]*\).*|\1|p' <<<"$errors" | tr '\n' ' ')
  if [ -z "$failed" ]; then
    printf '%s\n' "$errors" >&2
    failed="(apt's errors above)"
  fi
  echo "$1: Debian's archive did not serve these indexes as its Release files describe them (a mirror being synced?); going on without them: $failed" >&2
}
