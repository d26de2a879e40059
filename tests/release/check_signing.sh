#!/usr/bin/env bash
# Signing the release with a key made inside a PKCS#11 token (SoftHSM2, in this check's own
# folder), time-stamped by a responder of its own on 127.0.0.1; a throwaway root certifies both.
# Nothing of it is committed, and it needs no Wine (CONTRIBUTING.md lists the checks).
#   tests/release/check_signing.sh      (after the windows preset's build)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/check.sh
. scripts/lib.sh
zip=build/msisetup-$(project_version .)-win32.zip
umask 077
scratch=$(mktemp -d)
trap 'kill "$responder" 2>/dev/null; rm -rf "$scratch"' EXIT
quietly() { "$@" >"$scratch/step.log" 2>&1 || { cat "$scratch/step.log"; exit 1; }; }
echo "osslsigncode $(osslsigncode --version 2>/dev/null | sed -n '1s/^osslsigncode \([^,]*\).*/\1/p')"

echo "== a token holding the publisher's key, made inside it"
export SOFTHSM2_CONF=$scratch/softhsm2.conf
mkdir "$scratch/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\n' "$scratch/tokens" >"$SOFTHSM2_CONF"
module=/usr/lib/softhsm/libsofthsm2.so
token=(pkcs11-tool --module "$module" --token-label "msisetup test")
# pkcs11-tool reads env:NAME from the environment, so no PIN is on its command line either.
so_pin=$(openssl rand -hex 8) pin=$(openssl rand -hex 8)
export so_pin pin
quietly pkcs11-tool --module "$module" --init-token --slot-index 0 --label "msisetup test" --so-pin env:so_pin
quietly "${token[@]}" --login --login-type so --so-pin env:so_pin --init-pin --new-pin env:pin
quietly "${token[@]}" --login --pin env:pin --keypairgen --key-type rsa:2048 --label publisher --id 01
"${token[@]}" --login --pin env:pin --list-objects --type privkey >"$scratch/objects" 2>&1
check "the key was made in the token, and can never leave it" \
  grep -q "Access: *sensitive, always sensitive, never extractable, local" "$scratch/objects"
quietly "${token[@]}" --read-object --type pubkey --id 01 --output-file "$scratch/publisher.der"
quietly openssl pkey -pubin -inform DER -in "$scratch/publisher.der" -out "$scratch/publisher-key.pem"

echo "== a throwaway root, the token key's certificate (valid for a day) and a time-stamp responder"
certify() {  # certify NAME EXTENSIONS [DAYS [PUBLIC_KEY]]: NAME.pem, issued by the root for NAME.key or the key
  local key=(-keyout "$scratch/$1.key")
  printf '%b' "$2" >"$scratch/$1.ext"
  [ -z "${4:-}" ] || key=(-keyout /dev/null)  # (a request needs a key of its own; it is dropped)
  quietly openssl req -new -newkey rsa:2048 -nodes -subj "/CN=msisetup test $1" "${key[@]}" -out "$scratch/$1.csr"
  quietly openssl x509 -req -in "$scratch/$1.csr" ${4:+-force_pubkey "$4"} -CA "$scratch/root.pem" \
    -CAkey "$scratch/root.key" -CAcreateserial -days "${3:-30}" -extfile "$scratch/$1.ext" -out "$scratch/$1.pem"
}
quietly openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=msisetup test root" \
  -keyout "$scratch/root.key" -out "$scratch/root.pem" \
  -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign
certify publisher 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n' 1 \
  "$scratch/publisher-key.pem"
certify tsa 'extendedKeyUsage=critical,timeStamping\nkeyUsage=critical,digitalSignature\n'
cat >"$scratch/tsa.cnf" <<EOF
[ tsa ]
default_tsa = responder
[ responder ]
serial = $scratch/tsa.serial
signer_cert = $scratch/tsa.pem
signer_key = $scratch/tsa.key
certs = $scratch/root.pem
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
ess_cert_id_alg = sha256
EOF
# busybox's web server runs them as CGI programs: one that answers as a time-stamp server does,
# one that answers with an error.
mkdir -p "$scratch/www/cgi-bin"
# shellcheck disable=SC2016  # expanded by the CGI program
printf '#!/bin/sh\nhead -c "$CONTENT_LENGTH" >%q/query.tsq\nprintf "Content-Type: application/timestamp-reply\\r\\n\\r\\n"\nexec openssl ts -reply -config %q/tsa.cnf -queryfile %q/query.tsq 2>/dev/null\n' \
  "$scratch" "$scratch" "$scratch" >"$scratch/www/cgi-bin/tsa"
printf '#!/bin/sh\nprintf "Status: 500 Internal Server Error\\r\\nContent-Type: text/plain\\r\\n\\r\\nbroken\\n"\n' \
  >"$scratch/www/cgi-bin/broken"
chmod 755 "$scratch/www" "$scratch/www/cgi-bin" "$scratch/www/cgi-bin"/*
for port in $(shuf -i 20000-60000 -n 20); do  # (it ends by itself, at the latest after ten minutes)
  timeout 600 busybox httpd -f -p "127.0.0.1:$port" -h "$scratch/www" 2>/dev/null &
  responder=$!
  sleep 0.5
  kill -0 "$responder" 2>/dev/null && break
done
served=http://127.0.0.1:$port/cgi-bin
unreachable=http://127.0.0.1:1/  # (nothing listens on port 1)

export MSISETUP_SIGNING_PKCS11_MODULE=$module MSISETUP_SIGNING_CERT=$scratch/publisher.pem \
  MSISETUP_SIGNING_KEY="pkcs11:token=msisetup%20test;object=publisher;type=private" \
  MSISETUP_SIGNING_PIN=$pin MSISETUP_SIGNING_CA_FILE=$scratch/root.pem
printf '%s\n' "$pin" >"$scratch/pin"
release() {  # release NAME [VARIABLE=VALUE...]: cpack --preset release with them set: $status, $scratch/NAME.log
  rm -f "$zip" "$zip.sha256"
  status=0
  # Every program the release starts, with its whole command line, as /proc shows it to anyone
  # (strace sees each one start, however briefly it runs).
  strace -f -qq -e trace=execve -s 100000 -o "$scratch/$1.programs" \
    env "${@:2}" cpack --preset release >"$scratch/$1.log" 2>&1 || status=$?
}
made() { [ "$status" -eq 0 ] && [ -f "$zip" ]; }
no_package() { [ "$status" -ne 0 ] && [ ! -e "$zip" ] && [ ! -e "$zip.sha256" ]; }
says() { grep -q -- "$2" "$scratch/$1.log" || { sed 's/^/  | /' "$scratch/$1.log"; false; }; }
signed_file() {  # signed_file NAME: setup.exe of the package just made, as $scratch/NAME.exe
  (cd "$scratch" && cmake -E tar xf "$OLDPWD/$zip" setup.exe && mv setup.exe "$1.exe")
}
verifies() {  # verifies FILE [TIME]: the signature verifies against the root (at TIME)
  osslsigncode verify -CAfile "$scratch/root.pem" -TSA-CAfile "$scratch/root.pem" ${2:+-time "$2"} \
    -in "$1" >"$scratch/verify.log" 2>&1
}
after_expiry=$(($(date -d "$(openssl x509 -enddate -noout -in "$scratch/publisher.pem" | cut -d= -f2)" +%s) + 86400))

echo "== release signed with the token's key, time-stamped by the second server (the first is unreachable)"
release stamped MSISETUP_SIGNING_TIMESTAMP_URL="$unreachable $served/tsa"
check "the release is made (status 0)" made
check "and its log says it is signed with the token's key and time-stamped" \
  says stamped "signed with the key in the PKCS#11 token .* and time-stamped, and its signature and time-stamp verify"
signed_file stamped
check "its signature verifies against the root" verifies "$scratch/stamped.exe"
check "and is time-stamped" grep -q "^Timestamp Server Signature verification: ok" "$scratch/verify.log"
signer_key() {  # the public key of the certificate the signature names
  osslsigncode extract-signature -pem -in "$scratch/stamped.exe" -out "$scratch/signature.pem" >/dev/null &&
    openssl pkcs7 -in "$scratch/signature.pem" -print_certs | openssl x509 -noout -pubkey
}
check "its signer is the token's key" test "$(signer_key)" = "$(cat "$scratch/publisher-key.pem")"
check "after its certificate has expired, it still verifies" verifies "$scratch/stamped.exe" "$after_expiry"
mkdir -p "$scratch/releases" && cp "$zip" "$zip.sha256" "$scratch/releases/"

echo "== release signed with the token's key, without a time-stamp"
release unstamped MSISETUP_SIGNING_TIMESTAMP_URL=
check "its log says it is not time-stamped, and stops verifying when the certificate expires" \
  says unstamped "NOT time-stamped .*stops verifying when the certificate expires"
signed_file unstamped
check "its signature verifies now" verifies "$scratch/unstamped.exe"
fails_to_verify() { ! verifies "$@"; }
check "but not after its certificate has expired" fails_to_verify "$scratch/unstamped.exe" "$after_expiry"

echo "== releases that must fail"
release unreachable MSISETUP_SIGNING_TIMESTAMP_URL="$unreachable ${unreachable}again"
check "no time-stamp server answers: the release fails, and leaves no package" no_package
release broken MSISETUP_SIGNING_TIMESTAMP_URL="$served/broken"
check "the time-stamp server answers with an error: the release fails, and leaves no package" no_package
release wrong-pin MSISETUP_SIGNING_PIN=wrong-pin MSISETUP_SIGNING_TIMESTAMP_URL=
check "a wrong PIN: the release fails, and leaves no package" no_package
release both MSISETUP_SIGNING_PKCS12="$scratch/any.p12" MSISETUP_SIGNING_TIMESTAMP_URL=
check "both a PKCS#12 file and a token named: refused, and no package" no_package
check "in one line" says both "name one signing key, MSISETUP_SIGNING_PKCS12 or MSISETUP_SIGNING_PKCS11_MODULE, not both"
check "the PIN is in no release log" sh -c "! cat '$scratch'/*.log | grep -qF -f '$scratch/pin'"
check "nor on the command line of any program the releases started" \
  sh -c "! cat '$scratch'/*.programs | grep -qF -f '$scratch/pin'"

echo "== the signed release is the build of its commit (scripts/verify-release)"
if [ -z "$(git status --porcelain --untracked-files=no)" ]; then
  env -u SOFTHSM2_CONF TMPDIR="$scratch" scripts/verify-release "$scratch/releases/$(basename "$zip")" \
    >"$scratch/verify-release.log" 2>&1
  check "the token-signed, time-stamped release is identical to the build of its commit" \
    says verify-release "^IDENTICAL: .* exactly the build of commit $(git rev-parse HEAD)"
else
  echo "not run here: this tree has uncommitted changes, so no commit holds what was built"
fi

summary "signing with a token and time-stamps"
