# Writes BUILDINFO.txt, what a release's setup.exe was built from, so that anyone can build the
# same commit with the same tools and compare (scripts/verify-release). "key: value" lines; no time
# stamps and no paths of the build machine.
#   cmake -DSOURCE_DIR=... -DSETUP_EXE=... -DVERSION=... -DOUTPUT=... -P write-buildinfo.cmake

# The commit, and whether tracked files differ from it (a build tree or a scratch file inside the
# clone does not change what was built); "unknown" outside a clone or without git.
execute_process(COMMAND git rev-parse --verify HEAD WORKING_DIRECTORY ${SOURCE_DIR}
  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
execute_process(COMMAND git diff --quiet HEAD --
  WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE changed ERROR_QUIET)
set(uncommitted unknown)
if(failed)
  set(commit unknown)
elseif(changed EQUAL 0)
  set(uncommitted no)
elseif(changed EQUAL 1)
  set(uncommitted yes)
endif()
file(SHA256 ${SETUP_EXE} setup_sha256)
set(record "version: ${VERSION}\ncommit: ${commit}\nuncommitted-changes: ${uncommitted}\n")
string(APPEND record "setup.exe-sha256: ${setup_sha256}\n")
# The Debian release (number and code name) and its point release, to rebuild in a root of it.
cmake_host_system_information(RESULT release_number QUERY DISTRIB_VERSION_ID)
cmake_host_system_information(RESULT release_name QUERY DISTRIB_VERSION_CODENAME)
if(NOT release_number STREQUAL "")
  string(APPEND record "debian-release: ${release_number} (${release_name})\n")
endif()
if(EXISTS /etc/debian_version)
  file(STRINGS /etc/debian_version debian LIMIT_COUNT 1)
  string(APPEND record "debian: ${debian}\n")
endif()
# The Debian packages whose files make setup.exe's bytes: compiler, static libraries, binutils,
# Windows headers and import libraries, build tools.
foreach(package g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
                mingw-w64-i686-dev mingw-w64-common cmake ninja-build)
  execute_process(COMMAND dpkg-query -W -f=\${Version} ${package}
    OUTPUT_VARIABLE version RESULT_VARIABLE failed ERROR_QUIET)
  if(failed OR version STREQUAL "")
    set(version "not installed")
  endif()
  string(APPEND record "package ${package}: ${version}\n")
endforeach()
# Written only when it changes, so that an unchanged build stays up to date.
file(CONFIGURE OUTPUT ${OUTPUT} CONTENT "${record}" @ONLY NEWLINE_STYLE UNIX)
