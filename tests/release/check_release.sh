#!/usr/bin/env bash
# The release command, unsigned and signed with a throwaway PKCS#12 certificate, the record of the
# build and scripts/verify-release on it, across releases too (CONTRIBUTING.md lists the checks).
#   tests/release/check_release.sh       (after scripts/install-deps)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. scripts/lib.sh
version=$(project_version .)
zip=build/msisetup-$version-win32.zip
. tests/check.sh
umask 077
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unpack() {  # unpack DIRECTORY [ZIP]: the package's files into DIRECTORY
  local from
  from=$(realpath "${2:-$zip}")
  rm -rf "$1" && mkdir -p "$1" && (cd "$1" && cmake -E tar xf "$from")
}
repack() {  # repack DIRECTORY ZIP: the files in DIRECTORY into a new ZIP
  rm -f "$2" && (cd "$1" && cmake -E tar cf "$2" --format=zip -- *)
}
top=$PWD
here=$(this_release)
there=$(other_release "$here")
releases="$scratch/Выпуск 1.1 (テスト)"  # a folder with spaces, in other languages
mkdir -p "$releases" "$scratch/tmp"
run_verify() {  # run_verify ZIP [CLONE]: scripts/verify-release ZIP, run inside CLONE
  verify_status=0
  (cd "${2:-$top}" && TMPDIR=$scratch/tmp "$top/scripts/verify-release" "$1") \
    >"$scratch/verify.log" 2>&1 || verify_status=$?
}
edited() {  # edited NAME EDIT...: $releases/NAME.zip, the unsigned package (or $base) with EDIT run in its files
  unpack "$releases/$1" "${base:-$unsigned_zip}"
  (cd "$releases/$1" && "${@:2}")
  repack "$releases/$1" "$releases/$1.zip"
}
verify_says() {  # verify_says STATUS PATTERN: how the last run_verify ended, and what it said
  if [ "$verify_status" -eq "$1" ] && grep -qE -- "$2" "$scratch/verify.log"; then return; fi
  sed 's/^/  | /' "$scratch/verify.log"
  false
}

echo "== release, unsigned"
rm -f "$zip" "$zip.sha256"
# Built here first, so that where the tests under Wine need a virtual machine, it only configures
# (again), tests and packages.
{ { [ -f build/windows/CMakeCache.txt ] || cmake --preset windows; } && cmake --build --preset windows; } \
  >"$scratch/unsigned.log" 2>&1 || { tail -40 "$scratch/unsigned.log"; exit 1; }
scripts/with-32-bit-wine cmake --workflow --preset release >"$scratch/unsigned.log" 2>&1 ||
  { tail -40 "$scratch/unsigned.log"; exit 1; }
grep -a '^\[in a virtual machine' "$scratch/unsigned.log" || true
check "the release command ran every Windows test entry, and they passed" \
  grep -q "100% tests passed, 0 tests failed out of 13" "$scratch/unsigned.log"
check "the release log says setup.exe is unsigned" grep -q "setup.exe is NOT signed" "$scratch/unsigned.log"
check "checksum file verifies" sh -c "cd build && sha256sum -c --quiet '$(basename "$zip").sha256'"
check "package holds setup.exe, BUILDINFO.txt, README.md, LICENSE and CHANGELOG.md" \
  test "$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')" = "BUILDINFO.txt CHANGELOG.md LICENSE README.md setup.exe "
unpack "$scratch/unsigned"
check "packaged setup.exe is the reproducible build" cmp "$scratch/unsigned/setup.exe" build/windows/setup.exe
record=$scratch/unsigned/BUILDINFO.txt
check "BUILDINFO.txt names the commit built" grep -qx "commit: $(git rev-parse HEAD)" "$record"
if [ -z "$(git status --porcelain --untracked-files=no)" ]; then dirty=no; else dirty=yes; fi
check "BUILDINFO.txt says whether the tree had uncommitted changes ($dirty)" \
  grep -qx "uncommitted-changes: $dirty" "$record"
check "BUILDINFO.txt names the packaged setup.exe's SHA-256" grep -qx \
  "setup.exe-sha256: $(sha256sum <"$scratch/unsigned/setup.exe" | cut -d' ' -f1)" "$record"
check "BUILDINFO.txt names the compiler's Debian package version" grep -qx \
  "package g++-mingw-w64-i686-posix: $(dpkg-query -W -f='${Version}' g++-mingw-w64-i686-posix)" "$record"
check "BUILDINFO.txt names the Debian release it was built on" grep -qx \
  "debian-release: $here ($(release_name "$here"))" "$record"
check "BUILDINFO.txt holds no path (no slash at all)" sh -c "! grep -q / '$record'"
mkdir -p "$releases/unsigned" && cp "$zip" "$zip.sha256" "$releases/unsigned/"

echo "== a throwaway publisher"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=msisetup test root" \
  -keyout "$scratch/root.key" -out "$scratch/root.pem" \
  -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign >/dev/null 2>&1
openssl req -newkey rsa:2048 -nodes -subj "/CN=msisetup test publisher" \
  -keyout "$scratch/publisher.key" -out "$scratch/publisher.csr" >/dev/null 2>&1
printf 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n' >"$scratch/ext"
openssl x509 -req -in "$scratch/publisher.csr" -CA "$scratch/root.pem" -CAkey "$scratch/root.key" \
  -CAcreateserial -days 2 -extfile "$scratch/ext" -out "$scratch/publisher.pem" >/dev/null 2>&1
MSISETUP_SIGNING_PASSWORD=$(openssl rand -hex 16)
export MSISETUP_SIGNING_PASSWORD
openssl pkcs12 -export -inkey "$scratch/publisher.key" -in "$scratch/publisher.pem" \
  -certfile "$scratch/root.pem" -passout env:MSISETUP_SIGNING_PASSWORD -out "$scratch/publisher.p12"
export MSISETUP_SIGNING_PKCS12=$scratch/publisher.p12 MSISETUP_SIGNING_CA_FILE=$scratch/root.pem

echo "== release, signed"
rm -f "$zip" "$zip.sha256"
cpack --preset release >"$scratch/signed.log" 2>&1 || { tail -40 "$scratch/signed.log"; exit 1; }
# The pattern comes from a file, so the password is on no command line here either.
printf '%s\n' "$MSISETUP_SIGNING_PASSWORD" >"$scratch/pattern"
check "the release log never shows the password" \
  sh -c "! grep -qF -f '$scratch/pattern' '$scratch/signed.log'"
check "checksum file verifies" sh -c "cd build && sha256sum -c --quiet '$(basename "$zip").sha256'"
unpack "$scratch/signed"
signed=$scratch/signed/setup.exe
check "signature verifies against the publisher's root" \
  sh -c "osslsigncode verify -CAfile '$scratch/root.pem' -in '$signed' >/dev/null"
check "signature does not verify against another root" \
  sh -c "! osslsigncode verify -in '$signed' >/dev/null 2>&1"
cp "$signed" "$scratch/tampered.exe"
printf '\x90' | dd of="$scratch/tampered.exe" bs=1 seek=1200 conv=notrunc status=none
check "one flipped byte fails verification" \
  sh -c "! osslsigncode verify -CAfile '$scratch/root.pem' -in '$scratch/tampered.exe' >/dev/null 2>&1"
osslsigncode remove-signature -in "$signed" -out "$scratch/unsigned-again.exe" >/dev/null
check "without its signature, setup.exe is the unsigned build" \
  cmp "$scratch/unsigned-again.exe" build/windows/setup.exe
check "signed setup.exe passes the binary check" sh -c "bash tests/binary/check_setup_exe.sh \
  i686-w64-mingw32-objdump i686-w64-mingw32-windres '$signed' '$version' >'$scratch/binary.log'"
# The stand-in entries on the signed file, in the prefixes the unsigned workflow's tests left (so
# not made anew; in a virtual machine where this kernel runs no 32-bit code).
cp "$signed" build/windows/tests/standin/setup.exe
check "signed setup.exe runs under Wine with the stand-in host (status 6)" \
  sh -c "scripts/with-32-bit-wine ctest --preset windows -R launcher_with_stand_in_host -FS wine_ \
    >'$scratch/run.log' 2>&1"
grep -a '^\[in a virtual machine' "$scratch/run.log" || true
cp build/windows/setup.exe build/windows/tests/standin/setup.exe

mkdir -p "$releases/signed" && cp "$zip" "$zip.sha256" "$releases/signed/"

echo "== rebuilding the release from its record (scripts/verify-release)"
unsigned_zip=$releases/unsigned/$(basename "$zip")
# A clone of its own (in a folder with spaces, in other languages) with one commit more, which
# builds another setup.exe (another version number): verify-release must build the commit the
# record names, not whatever the clone has checked out.
other="$scratch/другой клон"
git clone --quiet "$top" "$other"
sed -i 's/^project(msisetup VERSION [0-9.]*/project(msisetup VERSION 9.9.9/' "$other/CMakeLists.txt"
git -C "$other" -c user.name=test -c user.email=test@example.invalid commit --quiet -am "Other version"
other_commit=$(git -C "$other" rev-parse HEAD)
if [ "$dirty" = no ]; then
  run_verify "$unsigned_zip" "$other"
  check "the unsigned release is the build of its commit, in a clone that has a later one (status 0)" \
    verify_says 0 "^IDENTICAL: .* exactly the build of commit $(git rev-parse HEAD)"
  run_verify "$releases/signed/$(basename "$zip")"
  check "the signed release, without its signature, too (status 0)" verify_says 0 "^IDENTICAL"
  tamper='printf "\220" | dd of=setup.exe bs=1 seek=1200 conv=notrunc status=none'
  edited byte sh -c "$tamper"
  run_verify "$releases/byte.zip"
  check "one changed byte of setup.exe: not identical, at its offset (status 1)" \
    verify_says 1 "^NOT IDENTICAL.*first difference at offset 1200"
  # A toolchain package of a version Debian's archive does not have: it cannot be rebuilt as
  # recorded, so there is nothing to compare; never a verdict.
  edited version sed -i 's/^package cmake: .*/package cmake: 0.0-other/' BUILDINFO.txt
  run_verify "$releases/version.zip"
  check "a recorded version the archive does not have: named, nothing to compare (status 2)" \
    verify_says 2 "archive no longer offers cmake 0.0-other: nothing to compare"
  check "and the toolchain package of another version is named first" \
    verify_says 2 "^toolchain differs: cmake is .* here, the release was built with 0.0-other"
  run_verify "$releases/version.zip"
  refused_again() { verify_says 2 "no longer offers cmake 0.0-other" && ! grep '^\[making' "$scratch/verify.log"; }
  check "asked again, it refuses without making a root filesystem again (status 2)" refused_again

  echo "== verified across Debian releases: built on Debian $here, rebuilt in Debian $there's root, and back"
  # In one run of the other release's root: the release built here, and a tampered copy, verified
  # there (which rebuilds them in a root of this release inside that one), and a release built
  # there. Its build/ is build/debian-$there here.
  across=build/debian-$there/verify-across
  rm -rf "$across" "build/debian-$there/$(basename "$zip")" && mkdir -p "$across" &&
    cp "$unsigned_zip" "$releases/byte.zip" "$across/"
  # shellcheck disable=SC2016  # expanded by the shell in the root
  scripts/in-debian-root "$there" sh -c 'scripts/install-deps >/dev/null || exit
    for zip in "$1" byte.zip; do
      status=0
      scripts/verify-release "build/verify-across/$zip" >"build/verify-across/$zip.log" 2>&1 || status=$?
      echo "$status" >"build/verify-across/$zip.status"
    done
    cmake --preset windows && cmake --build --preset windows && cpack --preset release' \
    sh "$(basename "$zip")" >"$scratch/other.log" 2>&1 || { tail -40 "$scratch/other.log"; exit 1; }
  in_other() {  # in_other NAME: how verify-release on NAME ended in the other release's root
    verify_status=$(cat "$across/$1.status") && cp "$across/$1.log" "$scratch/verify.log"
  }
  in_other "$(basename "$zip")"
  check "in Debian $there's root, the release built on Debian $here is identical (status 0)" \
    verify_says 0 "^IDENTICAL: .* exactly the build of commit $(git rev-parse HEAD)"
  check "and it was rebuilt in a root of Debian $here" verify_says 0 "in a root filesystem of Debian $here"
  in_other byte.zip
  check "in Debian $there's root, its tampered copy is not (status 1)" \
    verify_says 1 "^NOT IDENTICAL.*first difference at offset 1200"
  base=build/debian-$there/$(basename "$zip")
  unpack "$scratch/other-release" "$base"
  check "a release built in Debian $there's root names that release" \
    grep -q "^debian-release: $there (" "$scratch/other-release/BUILDINFO.txt"
  run_verify "$PWD/$base"
  check "here, the release built in Debian $there's root is identical (status 0)" \
    verify_says 0 "^IDENTICAL: .* exactly the build of commit $(git rev-parse HEAD)"
  check "and it was rebuilt in a root of Debian $there" verify_says 0 "in a root filesystem of Debian $there"
  edited other-byte sh -c "$tamper"
  base=""
  run_verify "$releases/other-byte.zip"
  check "here, its tampered copy is not (status 1)" verify_says 1 "^NOT IDENTICAL.*first difference at offset 1200"
else
  run_verify "$unsigned_zip"
  check "a release of a tree with uncommitted changes is refused (status 2)" \
    verify_says 2 "uncommitted changes"
  echo "not run here: the identical verdicts and the changed byte (this tree has uncommitted" \
    "changes, so no commit holds what was built; commit and run again)"
fi
edited other sed -i \
  "s/^commit: .*/commit: $other_commit/; s/^uncommitted-changes: .*/uncommitted-changes: no/" BUILDINFO.txt
run_verify "$releases/other.zip" "$other"
check "a record naming another commit: not identical (status 1)" \
  verify_says 1 "^NOT IDENTICAL.*commit $other_commit"
check "and nothing changed in the clone it ran in" \
  test -z "$(git -C "$other" status --porcelain --ignored)"
# Copies that leave nothing to compare: each a one-line reason and status 2.
refused() {  # refused DESCRIPTION PATTERN EDIT...: a copy of the unsigned package, EDIT run in it
  edited refused "${@:3}"
  run_verify "$releases/refused.zip"
  check "$1 (status 2)" verify_says 2 "$2"
}
refused "a record naming a commit this clone does not have" "is not in this clone" \
  sed -i "s/^commit: .*/commit: $(printf '0%.0s' {1..40})/; s/^uncommitted-changes: .*/uncommitted-changes: no/" BUILDINFO.txt
refused "a record from a tree with uncommitted changes" "uncommitted changes" \
  sed -i "s/^uncommitted-changes: .*/uncommitted-changes: yes/" BUILDINFO.txt
refused "a record naming no Debian release" "names no Debian release" \
  sed -i "/^debian-release: /d; /^debian: /d; s/^uncommitted-changes: .*/uncommitted-changes: no/" BUILDINFO.txt
refused "a record naming a release there is no root of" "names Debian 11 \\(bullseye\\): a root filesystem can be made of Debian 12 or 13 only" \
  sed -i "s/^debian-release: .*/debian-release: 11 (bullseye)/; s/^uncommitted-changes: .*/uncommitted-changes: no/" BUILDINFO.txt
refused "a zip without BUILDINFO.txt" "holds no BUILDINFO.txt" rm BUILDINFO.txt
refused "a zip without setup.exe" "holds no setup.exe" rm setup.exe
cp "$unsigned_zip" "$releases/mismatch.zip"
sha256sum <"$releases/signed/$(basename "$zip")" >"$releases/mismatch.zip.sha256"
run_verify "$releases/mismatch.zip"
check "a zip that does not match its .sha256 (status 2)" verify_says 2 "checksum does not match"
check "verify-release leaves nothing behind in its temporary folder" \
  test -z "$(ls -A "$scratch/tmp")"

echo "== release with a wrong password"
rm -f "$zip" "$zip.sha256"
check "a wrong password fails the release" \
  sh -c "! MSISETUP_SIGNING_PASSWORD=wrong cpack --preset release >'$scratch/wrong.log' 2>&1"
check "and leaves no package behind" test ! -e "$zip" -a ! -e "$zip.sha256"

summary "release"
