#!/usr/bin/env bash
# Releases proven across the two Debian releases, once both releases' runs of
# tests/release/check_verify_release.sh have left their releases of the same commit (build/verify
# here, build/debian-OTHER/verify in the other release's root): each release's unsigned release,
# and a copy with one changed byte, verified in the other release, which rebuilds it in a root of
# the release it was built on (inside the other release's root, for this machine's).
#   tests/release/check_across_releases.sh OTHER      (as scripts/test runs it)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/release/lib.sh
this=$(this_release) other=$1
name=$(basename "$zip")
log() { sed 's/^/  | /' "$scratch/$1.log"; }
says() {  # says NAME STATUS PATTERN: verify-release's run NAME ended with STATUS, saying PATTERN
  if [ "$(cat "$scratch/$1.status")" = "$2" ] && grep -qE -- "$3" "$scratch/$1.log"; then return; fi
  log "$1"
  false
}
tampered() {  # tampered ZIP COPY: ZIP with one byte of its setup.exe changed, as COPY
  unpack "$scratch/t" "$1" && printf '\220' | dd of="$scratch/t/setup.exe" bs=1 seek=1200 conv=notrunc status=none &&
    (cd "$scratch/t" && cmake -E tar cf "$2" --format=zip -- *)
}
commit=$(git -C build/verify/clone rev-parse HEAD)
check "both releases' runs made the same commit to verify" \
  test "$(git -C "build/debian-$other/verify/clone" rev-parse HEAD 2>&1)" = "$commit"

# This release's release and its tampered copy, verified in the other release's root.
across=build/debian-$other/across
rm -rf "$across" && mkdir -p "$across" && cp "build/verify/unsigned/$name" "$across/"
tampered "build/verify/unsigned/$name" "$PWD/$across/byte.zip"
# shellcheck disable=SC2016  # expanded by the shell in the root
scripts/in-debian-root "$other" sh -c 'cd build/verify/clone || exit
  for zip in "$1" byte.zip; do
    status=0
    TMPDIR=../tmp scripts/verify-release "../../across/$zip" >"../../across/$zip.log" 2>&1 || status=$?
    echo "$status" >"../../across/$zip.status"
  done' sh "$name" >"$scratch/in-root.log" 2>&1 || { log in-root; exit 1; }
for run in "$name" byte.zip; do cp "$across/$run.log" "$across/$run.status" "$scratch/"; done
check "in Debian $other's root, the release built on Debian $this is identical (status 0)" \
  says "$name" 0 "^IDENTICAL: .* exactly the build of commit $commit"
check "and it was rebuilt in a root of Debian $this" says "$name" 0 "in a root filesystem of Debian $this"
check "in Debian $other's root, its tampered copy is not (status 1)" \
  says byte.zip 1 "^NOT IDENTICAL.*first difference at offset 1200"

# The other release's release and its tampered copy, verified here.
theirs=$PWD/build/debian-$other/verify/unsigned/$name
unpack "$scratch/theirs" "$theirs"
check "a release built in Debian $other's root names that release" \
  grep -q "^debian-release: $other (" "$scratch/theirs/BUILDINFO.txt"
tampered "$theirs" "$scratch/theirs-byte.zip"
for run in theirs theirs-byte; do
  zip_file=$theirs
  [ "$run" = theirs ] || zip_file=$scratch/theirs-byte.zip
  status=0
  (cd build/verify/clone && TMPDIR=$scratch scripts/verify-release "$zip_file") >"$scratch/$run.log" 2>&1 || status=$?
  echo "$status" >"$scratch/$run.status"
done
check "here, the release built in Debian $other's root is identical (status 0)" \
  says theirs 0 "^IDENTICAL: .* exactly the build of commit $commit"
check "and it was rebuilt in a root of Debian $other" says theirs 0 "in a root filesystem of Debian $other"
check "here, its tampered copy is not (status 1)" says theirs-byte 1 "^NOT IDENTICAL.*first difference at offset 1200"

summary "releases across Debian $this and $other"
