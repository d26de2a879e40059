#!/usr/bin/env bash
# Releases proven across the Debian releases, from the releases of one commit that each release's
# run of tests/release/check_verify_release.sh left in its build tree: each unsigned release, and a
# copy with one changed byte, verified in every other release, which rebuilds it in a root of the
# release it was built on.
#   tests/release/check_across_releases.sh RELEASE...      (as scripts/test runs it)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/release/lib.sh
name=$(basename "$zip")
commit=$(git -C "$(build_of "$1")/verify/clone" rev-parse HEAD)
for built_on in "$@"; do
  built=$(build_of "$built_on")/verify/unsigned/$name
  [ "$built_on" = "$1" ] || check \
    "Debian $built_on's run made the same commit to verify as Debian $1's" \
    test "$(git -C "$(build_of "$built_on")/verify/clone" rev-parse HEAD 2>&1)" = "$commit"
  unpack "$scratch/record" "$built"
  check "the release built on Debian $built_on names that release" \
    grep -q "^debian-release: $built_on (" "$scratch/record/BUILDINFO.txt"
  for verified_in in "$@"; do
    [ "$verified_in" != "$built_on" ] || continue
    # Where the verifying release's run sees it: in its own build tree.
    across=$(build_of "$verified_in")/across
    mkdir -p "$across" && cp "$built" "$across/$built_on.zip"
    edited "$built" "$across/$built_on-byte.zip" byte_changed
    log=$built_on-in-$verified_in
    verify_in build/verify/clone "$log" "$PWD/build/across/$built_on.zip" in_release "$verified_in"
    check "in Debian $verified_in, the release built on Debian $built_on is identical (status 0)" \
      ended "$log.log" 0 "^IDENTICAL: .* exactly the build of commit $commit"
    check "and it was rebuilt in a root of Debian $built_on" \
      ended "$log.log" 0 "in a root filesystem of Debian $built_on"
    verify_in build/verify/clone "$log-byte" "$PWD/build/across/$built_on-byte.zip" \
      in_release "$verified_in"
    check "and its changed copy is not (status 1)" \
      ended "$log-byte.log" 1 "^NOT IDENTICAL.*first difference at offset 1200"
  done
done
summary "releases across Debian $*"
