#!/usr/bin/env bash
# scripts/verify-release on releases of the working tree, committed in a scratch clone
# (build/verify/clone) by a fixed author at HEAD's date, so that every release's run makes the same
# commit. Its releases stay in build/verify for tests/release/check_across_releases.sh.
#   tests/release/check_verify_release.sh      (as root, after scripts/install-deps)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/release/lib.sh
top=$PWD verify=$PWD/build/verify
clone=$verify/clone
date=$(git log -1 --format=%cI)
rm -rf "$verify" && mkdir -p "$verify/tmp" && git clone --quiet "$top" "$clone" &&
  git --git-dir="$clone/.git" --work-tree="$top" add -A &&
  GIT_AUTHOR_DATE=$date GIT_COMMITTER_DATE=$date git -C "$clone" -c user.name=msisetup-check \
    -c user.email=check@example.invalid commit --quiet --allow-empty -m "The tree under test" &&
  git -C "$clone" reset --quiet --hard || exit 1
commit=$(git -C "$clone" rev-parse HEAD)

# The commit's releases: unsigned, signed with a key in a file, and with a token's, time-stamped.
throwaway_root && publisher_file && publisher_token && time_stamp_server
export MSISETUP_SIGNING_CA_FILE=$scratch/root.pem MSISETUP_SIGNING_TSA_CA_FILE=$scratch/tsa-root.pem
package() {  # package NAME [VARIABLE=VALUE...]: the clone's release, as $verify/NAME/ZIP
  quietly env -C "$clone" "${@:2}" cpack --preset release
  mkdir -p "$verify/$1" && mv "$clone/$zip" "$clone/$zip.sha256" "$verify/$1/"
}
quietly env -C "$clone" sh -c \
  'cmake --preset windows -DBUILD_TESTING=OFF && cmake --build --preset windows'
package unsigned -u MSISETUP_SIGNING_PKCS11_MODULE
package file -u MSISETUP_SIGNING_PKCS11_MODULE MSISETUP_SIGNING_PKCS12="$scratch/publisher.p12"
package token MSISETUP_SIGNING_TIMESTAMP_URL="$served/tsa"
unsigned=$verify/unsigned/$(basename "$zip")
unpack "$scratch/record" "$unsigned"
check "BUILDINFO.txt names the commit, with no uncommitted changes" \
  test "$(grep -E '^(commit|uncommitted-changes): ' "$scratch/record/BUILDINFO.txt")" = \
  "$(printf 'commit: %s\nuncommitted-changes: no' "$commit")"

releases="$scratch/Выпуск 1.1 (テスト)"  # a folder with spaces, in other languages
mkdir -p "$releases"
# A clone with one commit more, which builds another setup.exe (another version): verify-release
# must build the commit the record names, not what the clone has checked out.
later="$scratch/другой клон"
git clone --quiet "$clone" "$later"
sed -i 's/^project(msisetup VERSION [0-9.]*/project(msisetup VERSION 9.9.9/' "$later/CMakeLists.txt"
git -C "$later" -c user.name=test -c user.email=test@example.invalid commit --quiet -am \
  "Other version"
verify_in "$later" unsigned "$unsigned"
check \
  "the unsigned release is the build of its commit, in a clone that has a later one (status 0)" \
  ended unsigned.log 0 "^IDENTICAL: .* exactly the build of commit $commit"
for signed in "file:a key in a file" "token:a token's key, time-stamped"; do
  verify_in "$clone" "${signed%%:*}" "$verify/${signed%%:*}/$(basename "$zip")"
  check "the release signed with ${signed#*:}, without its signature, too (status 0)" \
    ended "${signed%%:*}.log" 0 "^IDENTICAL"
done
# copy DESCRIPTION STATUS PATTERN EDIT...: a copy of the unsigned release, EDIT run in its files,
# verified (in the clone $inside, else the scratch clone): STATUS, saying PATTERN (copy.log).
copy() {
  edited "$unsigned" "$releases/copy.zip" "${@:4}" &&
    verify_in "${inside:-$clone}" copy "$releases/copy.zip"
  check "$1 (status $2)" ended copy.log "$2" "$3"
}
copy "one changed byte of setup.exe: not identical, at its offset" 1 \
  "^NOT IDENTICAL.*first difference at offset 1200" byte_changed
# The release command's own setup.exe (build/windows, built with the tests configured) against
# verify-release's rebuild, which configures none.
check "build/windows is the release command's build, its tests configured" \
  grep -qx "BUILD_TESTING:BOOL=ON" build/windows/CMakeCache.txt
copy "the release command's setup.exe, tests configured, is the one verify-release rebuilds" 0 \
  "^IDENTICAL: .* exactly the build of commit $commit" cp "$top/build/windows/setup.exe" setup.exe
# A toolchain package of a version the archive does not have: nothing to compare, never a verdict.
copy "a recorded version the archive does not have: named, not checked" 2 \
  "^NOT CHECKED: .*archive no longer offers cmake 0.0-other$" sed -i \
  's/^package cmake: .*/package cmake: 0.0-other/' BUILDINFO.txt
check "and the toolchain package of another version is named first" \
  ended copy.log 2 "^toolchain differs: cmake is .*, the release was built with 0.0-other"
verify_in "$clone" again "$releases/copy.zip"
refused_again() {
  ended again.log 2 "no longer offers cmake 0.0-other" && ! grep '^\[making' "$scratch/again.log"
}
check "asked again, it refuses without making a root filesystem again (status 2)" refused_again
later_commit=$(git -C "$later" rev-parse HEAD)
inside=$later copy "a record naming another commit: not identical" 1 \
  "^NOT IDENTICAL.*commit $later_commit" \
  sed -i "s/^commit: .*/commit: $later_commit/" BUILDINFO.txt
check "and nothing changed in the clone it ran in" \
  test -z "$(git -C "$later" status --porcelain --ignored)"
# Copies that leave nothing to compare: each a one-line reason.
copy "a record naming a commit this clone does not have" 2 "^NOT CHECKED: .*is not in this clone" \
  sed -i "s/^commit: .*/commit: $(printf '0%.0s' {1..40})/" BUILDINFO.txt
copy "a record from a tree with uncommitted changes" 2 "uncommitted changes" \
  sed -i "s/^uncommitted-changes: .*/uncommitted-changes: yes/" BUILDINFO.txt
copy "a record naming no Debian release" 2 "names no Debian release" sed -i \
  "/^debian-release: /d; /^debian: /d" BUILDINFO.txt
copy "a record naming a release there is no root of" 2 \
  "names Debian 99 \\(unlisted\\): roots can be made of Debian $(release_list) only" \
  sed -i "s/^debian-release: .*/debian-release: 99 (unlisted)/" BUILDINFO.txt
copy "a zip without BUILDINFO.txt" 2 "holds no BUILDINFO.txt" rm BUILDINFO.txt
copy "a zip without setup.exe" 2 "holds no setup.exe" rm setup.exe
cp "$unsigned" "$releases/mismatch.zip"
sha256sum <"$verify/file/$(basename "$zip")" >"$releases/mismatch.zip.sha256"
verify_in "$clone" mismatch "$releases/mismatch.zip"
check "a zip that does not match its .sha256: not as published, a verdict of its own (status 3)" \
  ended mismatch.log 3 "^NOT AS PUBLISHED: mismatch.zip does not match its .sha256 .*altered$"
check "verify-release leaves nothing behind in its temporary folder" \
  test -z "$(ls -A "$verify/tmp")"

summary "verifying releases"
