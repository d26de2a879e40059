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
