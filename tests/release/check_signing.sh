#!/usr/bin/env bash
# Signing the release with a key in a file (PKCS#12) and with one made in a PKCS#11 token
# (SoftHSM2), time-stamped by a server on 127.0.0.1; throwaway roots certify them, one the
# publisher's, the other the time-stamp server's.
#   tests/release/check_signing.sh      (after cmake --preset windows)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/release/lib.sh
quietly cmake --build --preset windows  # (what the release command packages)
osslsigncode --version 2>/dev/null | head -n 1 | cut -d, -f1
throwaway_root
export MSISETUP_SIGNING_CA_FILE=$scratch/root.pem

# package NAME [VARIABLE=VALUE...]: cpack --preset release with them set and the changelog
# $changelog: its $status, output in $scratch/NAME.log, and in NAME.programs every program it starts
# with its command line, as /proc shows it to anyone. release: the same, with no package before.
changelog=$scratch/CHANGELOG.md  # (in which this version is not yet published)
printf '## [Unreleased]\n\n### Fixed\n- a change\n\n## [0.0.1] - 2026-01-01\n' >"$changelog"
package() {
  status=0
  strace -f -qq -e trace=execve -s 100000 -o "$scratch/$1.programs" \
    env "${@:2}" cpack --preset release -D CPACK_MSISETUP_CHANGELOG="$changelog" \
    >"$scratch/$1.log" 2>&1 || status=$?
  last=$1
}
release() {
  rm -f "$zip" "$zip.sha256"
  package "$@"
}
# made, no_package: the last release made its package, or failed and left none; else what it saw.
made() { { [ "$status" -eq 0 ] && [ -f "$zip" ]; } || saw "its package (status 0)"; }
no_package() {
  { [ "$status" -ne 0 ] && [ ! -e "$zip" ] && [ ! -e "$zip.sha256" ]; } ||
    saw "a failure that leaves no package"
}
saw() {
  echo "  | looked for $1; saw status $status, and: $(ls "$zip"* 2>&1)"
  sed 's/^/  | /' "$scratch/$last.log"
  false
}
signed_file() { unpack "$scratch/$1" "$zip" && cp "$scratch/$1/setup.exe" "$scratch/$1.exe"; }
verifies() {  # verifies FILE [TIME]: the signature verifies against the roots (at TIME)
  osslsigncode verify -CAfile "$scratch/root.pem" -TSA-CAfile "$scratch/tsa-root.pem" \
    ${2:+-time "$2"} -in "$1" >"$scratch/verify.log" 2>&1
}
fails_to_verify() { ! verifies "$@"; }

echo "== a key in a file: PKCS#12, with its password"
publisher_file
export MSISETUP_SIGNING_PKCS12=$scratch/publisher.p12
release file
check "the release is made (status 0)" made
check "checksum file verifies" sh -c "cd build && sha256sum -c --quiet '$(basename "$zip").sha256'"
signed_file file
check "its signature verifies against the publisher's root" verifies "$scratch/file.exe"
check "but not against the system's roots" sh -c \
  "! osslsigncode verify -in '$scratch/file.exe' >/dev/null 2>&1"
cp "$scratch/file.exe" "$scratch/tampered.exe" && byte_changed "$scratch/tampered.exe"
check "one flipped byte fails verification" fails_to_verify "$scratch/tampered.exe"
osslsigncode remove-signature -in "$scratch/file.exe" -out "$scratch/unsigned-again.exe" >/dev/null
check "without its signature, setup.exe is the unsigned build" cmp "$scratch/unsigned-again.exe" \
  build/windows/setup.exe
check "signed setup.exe passes the binary check" sh -c "bash tests/binary/check_setup_exe.sh \
  i686-w64-mingw32-objdump i686-w64-mingw32-windres '$scratch/file.exe' '$version' \
  >'$scratch/binary.log'"
release wrong-password MSISETUP_SIGNING_PASSWORD=wrong
check "a wrong password fails the release, and leaves no package" no_package
unset MSISETUP_SIGNING_PKCS12

echo "== a key made inside a PKCS#11 token, and time-stamps"
publisher_token
time_stamp_server
# The time-stamp server's root is not the publisher's, as with a company CA and a public server.
export MSISETUP_SIGNING_TSA_CA_FILE=$scratch/tsa-root.pem
unreachable=http://127.0.0.1:1/  # (nothing listens on port 1)
check "the key was made in the token, and can never leave it" \
  grep -q "Access: *sensitive, always sensitive, never extractable, local" "$scratch/token-objects"
release stamped MSISETUP_SIGNING_TIMESTAMP_URL="$unreachable $served/tsa"
check "time-stamped by the second server (the first unreachable): the release is made" made
check "and its log says it is signed with the token's key and time-stamped" says stamped.log \
  "signed with the key in the PKCS#11 token .* and time-stamped, and its signature and time-stamp"
signed_file stamped
check "its signature verifies against the root" verifies "$scratch/stamped.exe"
check "and is time-stamped" grep -q "^Timestamp Server Signature verification: ok" \
  "$scratch/verify.log"
# The README's command for a private root, as written, beside setup.exe and the two roots.
readme_verify=$(grep -o 'osslsigncode verify -CAfile ROOT.pem -TSA-CAfile [^`]*' README.md)
mkdir "$scratch/readme" && cp "$scratch/stamped.exe" "$scratch/readme/setup.exe" &&
  cp "$scratch/root.pem" "$scratch/readme/ROOT.pem" &&
  cp "$scratch/tsa-root.pem" "$scratch/readme/TSA-ROOT.pem"
(cd "$scratch/readme" && echo "$readme_verify" && $readme_verify) >"$scratch/readme.log" 2>&1
check "the README's verify command for a private root: its signature line says ok" \
  says readme.log "^Signature verification: ok$"
check "and its time-stamp line too" says readme.log "^Timestamp Server Signature verification: ok$"
signer_key() {  # the public key of the certificate the signature names
  osslsigncode extract-signature -pem -in "$scratch/stamped.exe" -out "$scratch/signature.pem" \
    >/dev/null && openssl pkcs7 -in "$scratch/signature.pem" -print_certs |
    openssl x509 -noout -pubkey
}
check "its signer is the token's key" test "$(signer_key)" = "$(cat "$scratch/publisher-key.pem")"
expiry=$(openssl x509 -enddate -noout -in "$scratch/publisher.pem" | cut -d= -f2)
after_expiry=$(($(date -d "$expiry" +%s) + 86400))
check "after its certificate has expired, it still verifies" verifies "$scratch/stamped.exe" \
  "$after_expiry"
release tsa-root-unnamed MSISETUP_SIGNING_TSA_CA_FILE= \
  MSISETUP_SIGNING_TIMESTAMP_URL="$served/tsa"
check "the time-stamp's root not named apart: the release fails, and leaves no package" no_package
check "saying which variable names it" says tsa-root-unnamed.log \
  "time-stamp of .* does not verify against .*root.pem: .* MSISETUP_SIGNING_TSA_CA_FILE$"
cat "$scratch/root.pem" "$scratch/tsa-root.pem" >"$scratch/both-roots.pem"
release both-roots MSISETUP_SIGNING_TSA_CA_FILE= \
  MSISETUP_SIGNING_CA_FILE="$scratch/both-roots.pem" MSISETUP_SIGNING_TIMESTAMP_URL="$served/tsa"
check "both roots in one file, MSISETUP_SIGNING_CA_FILE alone: the release is made" made
release unstamped MSISETUP_SIGNING_TIMESTAMP_URL=
check "without a time-stamp, its log says it stops verifying when the certificate expires" \
  says unstamped.log "NOT time-stamped .*stops verifying when the certificate expires"
signed_file unstamped
check "its signature verifies now" verifies "$scratch/unstamped.exe"
check "but not after its certificate has expired" fails_to_verify "$scratch/unstamped.exe" \
  "$after_expiry"

echo "== RELEASING.md's rehearsal with a software token, run as written"
# shellcheck disable=SC2016  # (Markdown's backquotes)
sed -n '/^## Rehearsing with a software token$/,/^## /p' RELEASING.md |
  sed -n '/^```sh$/,/^```$/p' | sed '1d;$d' >"$scratch/rehearsal.sh"
rm -f "$zip" "$zip.sha256"
status=0
printf '%s\n' "$(openssl rand -hex 8)" "$(openssl rand -hex 8)" |
  env -i PATH="$PATH" HOME="$HOME" bash -e "$scratch/rehearsal.sh" >"$scratch/rehearsal.log" 2>&1 ||
  status=$?
last=rehearsal
check "it runs to its end and makes the package" made
check "whose log says it is signed with the token's key, and not time-stamped" says rehearsal.log \
  "signed with the key in the PKCS#11 token .*NOT time-stamped"
signed_file rehearsal
check "its setup.exe verifies against the rehearsal's CA" sh -c "osslsigncode verify \
  -CAfile build/rehearsal/test-ca.pem -in '$scratch/rehearsal.exe' >'$scratch/verify.log' 2>&1"

echo "== releases that must fail"
release unreachable MSISETUP_SIGNING_TIMESTAMP_URL="$unreachable ${unreachable}again"
check "no time-stamp server answers: the release fails, and leaves no package" no_package
release broken MSISETUP_SIGNING_TIMESTAMP_URL="$served/broken"
check "the time-stamp server answers with an error: the release fails, and leaves no package" \
  no_package
release wrong-pin MSISETUP_SIGNING_PIN=wrong-pin MSISETUP_SIGNING_TIMESTAMP_URL=
check "a wrong PIN: the release fails, and leaves no package" no_package
release both MSISETUP_SIGNING_PKCS12="$scratch/publisher.p12" MSISETUP_SIGNING_TIMESTAMP_URL=
check "a PKCS#12 file and a token named at once: refused, and no package" no_package
check "in one line" says both.log "name one signing key, .*, not both"
package unsigned MSISETUP_SIGNING_PKCS11_MODULE=
package wrong-pin-after-unsigned MSISETUP_SIGNING_PIN=wrong-pin MSISETUP_SIGNING_TIMESTAMP_URL=
check "a failed release after an unsigned one leaves no package of the version at all" no_package

echo "== a version already published"
printf '## [Unreleased]\n\n## [%s] - 2026-01-02\n\n### Fixed\n- a change\n' "$version" \
  >"$scratch/released.md"
printf '## [Unreleased]\n\n### Fixed\n- a later change\n\n' | cat - "$scratch/released.md" \
  >"$scratch/published.md"
changelog=$scratch/released.md
release dated MSISETUP_SIGNING_TIMESTAMP_URL=
check "the version dated, nothing under Unreleased (the release itself): it is made" made
changelog=$scratch/published.md
release published MSISETUP_SIGNING_TIMESTAMP_URL=
check "the version dated and a change under Unreleased: a signed release is refused, no package" \
  no_package
check "in one line that says what to do" says published.log \
  "version $version was published on 2026-01-02 \\(CHANGELOG.md\\), .*: raise the version"
release published-unsigned MSISETUP_SIGNING_PKCS11_MODULE=
check "but an unsigned package of it, for tests, is made" made
changelog=$scratch/CHANGELOG.md

# The patterns come from a file, so the secrets are on no command line here either.
printf '%s\n' "$pin" "$MSISETUP_SIGNING_PASSWORD" >"$scratch/secrets"
check "neither the PIN nor the password is in any release log" sh -c \
  "! cat '$scratch'/*.log | grep -qF -f '$scratch/secrets'"
check "nor on the command line of any program the releases started" \
  sh -c "! cat '$scratch'/*.programs | grep -qF -f '$scratch/secrets'"

check "the build tree's Windows layouts still hold the unsigned build, for later Windows runs" \
  sh -c 'cmp build/windows/setup.exe build/windows/tests/standin/setup.exe &&
    cmp build/windows/setup.exe build/windows/tests/real/setup.exe'

summary "signing"
