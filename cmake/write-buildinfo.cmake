# Writes BUILDINFO.txt, the record of what a release's setup.exe was built from, so that anyone can
# build the same commit with the same tools and compare (scripts/verify-release). One "key: value"
# a line; no time stamps and no paths of the build machine.
#   cmake -DSOURCE_DIR=... -DSETUP_EXE=... -DVERSION=... -DOUTPUT=... -P write-buildinfo.cmake
#
# The Debian packages whose files make setup.exe's bytes: the compiler and its static libraries,
# the assembler, linker and resource compiler, the Windows headers and import libraries, and the
# build tools.
set(toolchain_packages
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  mingw-w64-i686-dev mingw-w64-common cmake ninja-build)

set(commit unknown)
set(uncommitted unknown)
find_program(GIT git)
if(GIT)
  execute_process(COMMAND ${GIT} rev-parse --verify HEAD WORKING_DIRECTORY ${SOURCE_DIR}
    OUTPUT_VARIABLE head OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
  if(NOT failed)
    set(commit ${head})
    # Untracked files are left out: a build tree or a scratch file inside the clone does not
    # change what was built.
    execute_process(COMMAND ${GIT} status --porcelain --untracked-files=no
      WORKING_DIRECTORY ${SOURCE_DIR} OUTPUT_VARIABLE changes RESULT_VARIABLE failed)
    if(NOT failed)
      if(changes STREQUAL "")
        set(uncommitted no)
      else()
        set(uncommitted yes)
      endif()
    endif()
  endif()
endif()

file(SHA256 ${SETUP_EXE} setup_sha256)
set(record "version: ${VERSION}\ncommit: ${commit}\nuncommitted-changes: ${uncommitted}\n")
string(APPEND record "setup.exe-sha256: ${setup_sha256}\n")
# The Debian release (its number and code name, from os-release) and its point release: anyone
# can then rebuild in a root filesystem of that release.
cmake_host_system_information(RESULT release_number QUERY DISTRIB_VERSION_ID)
cmake_host_system_information(RESULT release_name QUERY DISTRIB_VERSION_CODENAME)
if(NOT release_number STREQUAL "")
  string(APPEND record "debian-release: ${release_number} (${release_name})\n")
endif()
if(EXISTS /etc/debian_version)
  file(STRINGS /etc/debian_version debian LIMIT_COUNT 1)
  string(APPEND record "debian: ${debian}\n")
endif()
find_program(DPKG_QUERY dpkg-query)
foreach(package IN LISTS toolchain_packages)
  set(version "not installed")
  if(DPKG_QUERY)
    execute_process(COMMAND ${DPKG_QUERY} -W -f=\${Version} ${package}
      OUTPUT_VARIABLE installed RESULT_VARIABLE failed ERROR_QUIET)
    if(NOT failed AND NOT installed STREQUAL "")
      set(version ${installed})
    endif()
  endif()
  string(APPEND record "package ${package}: ${version}\n")
endforeach()
# Written only when it changes, so that an unchanged build stays up to date.
file(CONFIGURE OUTPUT ${OUTPUT} CONTENT "${record}" @ONLY NEWLINE_STYLE UNIX)
