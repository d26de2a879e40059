#!/usr/bin/env bash
# The release command, unsigned: it builds setup.exe, runs every Windows test of it under Wine (in
# the virtual machine where this kernel runs no 32-bit code) and packages it with its record.
#   tests/release/check_package.sh       (after scripts/install-deps)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/release/lib.sh

# A release whose build fails, in a copy of the tree holding the zip of an earlier run: it ends
# before packaging and leaves no zip of its version.
failing=$scratch/failing
copy_of_project "$failing" && mkdir -p "$failing/build"
echo '#error a build that fails' >>"$failing/msisetup/main.cpp"
touch "$failing/$zip" "$failing/$zip.sha256"
status=0
(cd "$failing" && cmake --workflow --preset release) >"$scratch/failing.log" 2>&1 || status=$?
left=$(find "$failing/build" -maxdepth 1 -name "$(basename "$zip")*" -printf '%f ')
check "a release whose build fails leaves no zip of its version, not even an earlier one's" \
  test "failed: $((status != 0)), left: $left" = "failed: 1, left: "

rm -f "$zip" "$zip.sha256"
# Built here first, so that in the virtual machine it only configures again, tests and packages.
quietly sh -c 'cmake --preset windows && cmake --build --preset windows'
if ! scripts/with-32-bit-wine --time-limit 3600 cmake --workflow --preset release \
  >"$scratch/release.log" 2>&1; then
  tail -40 "$scratch/release.log"
  exit 1
fi
grep -a '^\[in a virtual machine' "$scratch/release.log"
grep -aE '^ *[0-9]+/[0-9]+ Test +#' "$scratch/release.log"  # every Windows entry's result
entries=$(ctest --preset windows -N | sed -n 's/^Total Tests: //p')
check "the release command ran all $entries Windows test entries, and they passed" \
  says release.log "100% tests passed, 0 tests failed out of $entries$"
check "the release log says setup.exe is unsigned" says release.log "setup.exe is NOT signed"
check "checksum file verifies" sh -c "cd build && sha256sum -c --quiet '$(basename "$zip").sha256'"
check "package holds setup.exe, BUILDINFO.txt, README.md, LICENSE and CHANGELOG.md" \
  test "$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')" = \
  "BUILDINFO.txt CHANGELOG.md LICENSE README.md setup.exe "
unpack "$scratch/package" "$zip"
check "packaged setup.exe is the reproducible build" cmp "$scratch/package/setup.exe" \
  build/windows/setup.exe
record=$scratch/package/BUILDINFO.txt
check "BUILDINFO.txt names the commit built" grep -qx "commit: $(git rev-parse HEAD)" "$record"
check "BUILDINFO.txt names the packaged setup.exe's SHA-256" grep -qx \
  "setup.exe-sha256: $(sha256sum <"$scratch/package/setup.exe" | cut -d' ' -f1)" "$record"
# shellcheck disable=SC2016  # dpkg-query's own field name
check "BUILDINFO.txt names the compiler's Debian package version" grep -qx \
  "package g++-mingw-w64-i686-posix: $(dpkg-query -W -f='${Version}' g++-mingw-w64-i686-posix)" \
  "$record"
release=$(this_release)
check "BUILDINFO.txt names the Debian release it was built on" grep -qx \
  "debian-release: $release ($(release_name "$release"))" "$record"
check "BUILDINFO.txt holds no path (no slash at all)" sh -c "! grep -q / '$record'"
readme_versions() { grep -o 'msisetup-[0-9][0-9.]*[0-9]-win32' README.md | sort -u; }
check "the README's commands name this version's package" test "$(readme_versions)" = \
  "msisetup-$version-win32"

summary "release package"
