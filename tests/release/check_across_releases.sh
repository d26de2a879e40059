#!/usr/bin/env bash
# Releases proven across the two Debian releases, from the releases of one commit that both
# releases' runs of tests/release/check_verify_release.sh left (build/verify here, and
# build/debian-OTHER/verify): each unsigned release, and a copy with one changed byte, verified in
# the other release, which rebuilds it in a root of the release it was built on.
#   tests/release/check_across_releases.sh OTHER      (as scripts/test runs it)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/release/lib.sh
this=$(this_release) other=$1
name=$(basename "$zip")
commit=$(git -C build/verify/clone rev-parse HEAD)
check "both releases' runs made the same commit to verify" \
  test "$(git -C "build/debian-$other/verify/clone" rev-parse HEAD 2>&1)" = "$commit"

# This release's, verified in the other release's root, whose build/ is build/debian-OTHER here.
mkdir -p "build/debian-$other/across" && cp "build/verify/unsigned/$name" "build/debian-$other/across/"
edited "build/verify/unsigned/$name" "build/debian-$other/across/byte.zip" byte_changed
in_other=("$PWD/scripts/in-debian-root" "$other")
verify_in build/verify/clone ours "$PWD/build/across/$name" "${in_other[@]}"
check "in Debian $other's root, the release built on Debian $this is identical (status 0)" \
  says ours 0 "^IDENTICAL: .* exactly the build of commit $commit"
check "and it was rebuilt in a root of Debian $this" says ours 0 "in a root filesystem of Debian $this"
verify_in build/verify/clone ours-byte "$PWD/build/across/byte.zip" "${in_other[@]}"
check "in Debian $other's root, its changed copy is not (status 1)" \
  says ours-byte 1 "^NOT IDENTICAL.*first difference at offset 1200"

# The other release's release and its changed copy, verified here.
theirs=build/debian-$other/verify/unsigned/$name
unpack "$scratch/theirs" "$theirs"
check "a release built in Debian $other's root names that release" \
  grep -q "^debian-release: $other (" "$scratch/theirs/BUILDINFO.txt"
edited "$theirs" "$scratch/theirs-byte.zip" byte_changed
verify_in build/verify/clone theirs "$PWD/$theirs"
check "here, the release built in Debian $other's root is identical (status 0)" \
  says theirs 0 "^IDENTICAL: .* exactly the build of commit $commit"
check "and it was rebuilt in a root of Debian $other" says theirs 0 "in a root filesystem of Debian $other"
verify_in build/verify/clone theirs-byte "$scratch/theirs-byte.zip"
check "here, its changed copy is not (status 1)" says theirs-byte 1 "^NOT IDENTICAL.*first difference at offset 1200"

summary "releases across Debian $this and $other"
