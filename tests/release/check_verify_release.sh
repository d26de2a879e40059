#!/usr/bin/env bash
# scripts/verify-release on releases of a commit of their own: the working tree as it is, committed
# in a scratch clone (build/verify/clone) by a fixed author at HEAD's date, so that nothing is
# skipped while the tree has uncommitted changes, and both releases' runs make the very same
# commit. Its releases stay in build/verify for tests/release/check_across_releases.sh.
#   tests/release/check_verify_release.sh      (as root, after scripts/install-deps)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/release/lib.sh
top=$PWD verify=$PWD/build/verify
clone=$verify/clone
rm -rf "$verify" && mkdir -p "$verify/tmp" && git clone --quiet "$top" "$clone" || exit 1
git -C "$clone" ls-files -z | (cd "$clone" && xargs -0 rm -f)
git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$clone"
date=$(git log -1 --format=%cI)
git -C "$clone" add -A &&
  GIT_AUTHOR_DATE=$date GIT_COMMITTER_DATE=$date git -C "$clone" -c user.name=msisetup-check \
    -c user.email=check@example.invalid commit --quiet --allow-empty -m "The tree under test" || exit 1
commit=$(git -C "$clone" rev-parse HEAD)

# The commit's releases: unsigned, signed with a key in a file, and signed with a token's key and
# time-stamped. (The build needs no Wine.)
throwaway_root
publisher_file
publisher_token
time_stamp_server
package() {  # package NAME [VARIABLE=VALUE...]: the clone's release, as $verify/NAME/ZIP
  (cd "$clone" && env "${@:2}" cpack --preset release) >"$scratch/$1.log" 2>&1 || { cat "$scratch/$1.log"; exit 1; }
  mkdir -p "$verify/$1" && mv "$clone/$zip" "$clone/$zip.sha256" "$verify/$1/"
}
quietly sh -c "cd '$clone' && cmake --preset windows -DBUILD_TESTING=OFF && cmake --build --preset windows"
package unsigned -u MSISETUP_SIGNING_PKCS11_MODULE
package file -u MSISETUP_SIGNING_PKCS11_MODULE MSISETUP_SIGNING_PKCS12="$scratch/publisher.p12" \
  MSISETUP_SIGNING_CA_FILE="$scratch/root.pem"
package token MSISETUP_SIGNING_CA_FILE="$scratch/root.pem" MSISETUP_SIGNING_TIMESTAMP_URL="$served/tsa"
unsigned=$verify/unsigned/$(basename "$zip")
unpack "$scratch/record" "$unsigned"
check "BUILDINFO.txt names the commit, with no uncommitted changes" \
  test "$(grep -E '^(commit|uncommitted-changes): ' "$scratch/record/BUILDINFO.txt")" = "$(printf 'commit: %s\nuncommitted-changes: no' "$commit")"

run_verify() {  # run_verify ZIP [CLONE]: scripts/verify-release ZIP, run inside CLONE (the commit's)
  verify_status=0
  (cd "${2:-$clone}" && TMPDIR=$verify/tmp "$clone/scripts/verify-release" "$1") >"$scratch/verify.log" 2>&1 ||
    verify_status=$?
}
verify_says() {  # verify_says STATUS PATTERN: how the last run_verify ended, and what it said
  if [ "$verify_status" -eq "$1" ] && grep -qE -- "$2" "$scratch/verify.log"; then return; fi
  sed 's/^/  | /' "$scratch/verify.log"
  false
}
releases="$scratch/Выпуск 1.1 (テスト)"  # a folder with spaces, in other languages
edited() {  # edited NAME EDIT...: $releases/NAME.zip, the unsigned release with EDIT run in its files
  unpack "$releases/$1" "$unsigned" && (cd "$releases/$1" && "${@:2}") &&
    rm -f "$releases/$1.zip" && (cd "$releases/$1" && cmake -E tar cf "../$1.zip" --format=zip -- *)
}
# A clone of its own (in a folder with spaces, in other languages) with one commit more, which
# builds another setup.exe (another version number): verify-release must build the commit the
# record names, not whatever the clone has checked out.
later="$scratch/другой клон"
git clone --quiet "$clone" "$later"
sed -i 's/^project(msisetup VERSION [0-9.]*/project(msisetup VERSION 9.9.9/' "$later/CMakeLists.txt"
git -C "$later" -c user.name=test -c user.email=test@example.invalid commit --quiet -am "Other version"
run_verify "$unsigned" "$later"
check "the unsigned release is the build of its commit, in a clone that has a later one (status 0)" \
  verify_says 0 "^IDENTICAL: .* exactly the build of commit $commit"
run_verify "$verify/file/$(basename "$zip")"
check "the release signed with a key in a file, without its signature, too (status 0)" verify_says 0 "^IDENTICAL"
run_verify "$verify/token/$(basename "$zip")"
check "the release signed with a token's key and time-stamped, too (status 0)" verify_says 0 "^IDENTICAL"
edited byte sh -c 'printf "\220" | dd of=setup.exe bs=1 seek=1200 conv=notrunc status=none'
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
edited other sed -i "s/^commit: .*/commit: $(git -C "$later" rev-parse HEAD)/" BUILDINFO.txt
run_verify "$releases/other.zip" "$later"
check "a record naming another commit: not identical (status 1)" \
  verify_says 1 "^NOT IDENTICAL.*commit $(git -C "$later" rev-parse HEAD)"
check "and nothing changed in the clone it ran in" test -z "$(git -C "$later" status --porcelain --ignored)"
# Copies that leave nothing to compare: each a one-line reason and status 2.
refused() {  # refused DESCRIPTION PATTERN EDIT...: a copy of the unsigned release, EDIT run in it
  edited refused "${@:3}"
  run_verify "$releases/refused.zip"
  check "$1 (status 2)" verify_says 2 "$2"
}
refused "a record naming a commit this clone does not have" "is not in this clone" \
  sed -i "s/^commit: .*/commit: $(printf '0%.0s' {1..40})/" BUILDINFO.txt
refused "a record from a tree with uncommitted changes" "uncommitted changes" \
  sed -i "s/^uncommitted-changes: .*/uncommitted-changes: yes/" BUILDINFO.txt
refused "a record naming no Debian release" "names no Debian release" \
  sed -i "/^debian-release: /d; /^debian: /d" BUILDINFO.txt
refused "a record naming a release there is no root of" "names Debian 11 \\(bullseye\\): a root filesystem can be made of Debian 12 or 13 only" \
  sed -i "s/^debian-release: .*/debian-release: 11 (bullseye)/" BUILDINFO.txt
refused "a zip without BUILDINFO.txt" "holds no BUILDINFO.txt" rm BUILDINFO.txt
refused "a zip without setup.exe" "holds no setup.exe" rm setup.exe
cp "$unsigned" "$releases/mismatch.zip"
sha256sum <"$verify/file/$(basename "$zip")" >"$releases/mismatch.zip.sha256"
run_verify "$releases/mismatch.zip"
check "a zip that does not match its .sha256 (status 2)" verify_says 2 "checksum does not match"
check "verify-release leaves nothing behind in its temporary folder" test -z "$(ls -A "$verify/tmp")"

summary "verifying releases"
