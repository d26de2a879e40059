#!/usr/bin/env bash
# The release command, both ways, with a throwaway root and code-signing certificate made here
# (no key is ever committed). Unsigned: the package holds exactly its four files and the
# reproducible setup.exe. Signed: the signature verifies against the throwaway root, one flipped
# byte breaks it, without it the file is the unsigned build again, the signed program passes the
# binary check and runs (where 32-bit Wine can start). A wrong password fails the release and
# leaves no package.
#   tests/release/check_release.sh       (from the source tree, after the windows preset's build)
set -uo pipefail
cd "$(dirname "$0")/../.."
version=$(sed -n 's/^project(msisetup VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip=build/msisetup-$version-win32.zip
passes=0 failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then
    echo "ok: $1"
    passes=$((passes + 1))
  else
    echo "FAILED: $1"
    failures=$((failures + 1))
  fi
}
umask 077
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unpack() {  # unpack DIRECTORY: the package's files into DIRECTORY
  rm -rf "$1" && mkdir -p "$1" && (cd "$1" && cmake -E tar xf "$OLDPWD/$zip")
}

echo "== release, unsigned"
rm -f "$zip" "$zip.sha256"
cmake --workflow --preset release >"$scratch/unsigned.log" 2>&1 || { tail -40 "$scratch/unsigned.log"; exit 1; }
check "the release log says setup.exe is unsigned" grep -q "setup.exe is NOT signed" "$scratch/unsigned.log"
check "checksum file verifies" sh -c "cd build && sha256sum -c --quiet '$(basename "$zip").sha256'"
check "package holds setup.exe, README.md, LICENSE and CHANGELOG.md" \
  test "$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')" = "CHANGELOG.md LICENSE README.md setup.exe "
unpack "$scratch/unsigned"
check "packaged setup.exe is the reproducible build" cmp "$scratch/unsigned/setup.exe" build/windows/setup.exe

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
cmake --workflow --preset release >"$scratch/signed.log" 2>&1 || { tail -40 "$scratch/signed.log"; exit 1; }
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
if scripts/runs-32-bit-wine; then
  cp "$signed" build/release/tests/standin/setup.exe
  check "signed setup.exe runs under Wine with the stand-in host (status 6)" \
    sh -c "ctest --preset release -R launcher_with_stand_in_host >'$scratch/run.log'"
else
  echo "not run here: signed setup.exe under Wine (32-bit Wine cannot start on this machine)"
fi

echo "== release with a wrong password"
rm -f "$zip" "$zip.sha256"
check "a wrong password fails the release" \
  sh -c "! MSISETUP_SIGNING_PASSWORD=wrong cpack --preset release >'$scratch/wrong.log' 2>&1"
check "and leaves no package behind" test ! -e "$zip" -a ! -e "$zip.sha256"

echo "release: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
