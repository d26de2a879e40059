# shellcheck shell=bash disable=SC2034  # (the checks that source it use its variables)
# What the release checks share, sourced from the project's top: the package's name, and
# throwaway keys, none of which outlives the check.
. tests/check.sh
version=$(project_version .)
zip=build/msisetup-$version-win32.zip
umask 077
unpack() {  # unpack DIRECTORY ZIP: the package's files, fresh in DIRECTORY
  set -- "$1" "$(realpath "$2")" && rm -rf "$1" && mkdir -p "$1" &&
    (cd "$1" && cmake -E tar xf "$2")
}
edited() {  # edited ZIP COPY EDIT...: ZIP with EDIT run in its files, as COPY
  set -- "$1" "$(realpath "$2")" "${@:3}" && unpack "$scratch/edited" "$1" &&
    (cd "$scratch/edited" && "${@:3}" && rm -f "$2" && cmake -E tar cf "$2" --format=zip -- *)
}
byte_changed() {  # byte_changed [FILE]: one byte of FILE (setup.exe) changed, at offset 1200
  printf '\220' | dd of="${1:-setup.exe}" bs=1 seek=1200 conv=notrunc status=none
}
# verify_in CLONE NAME ZIP [RUNNER...]: the scratch clone's verify-release ZIP, run inside CLONE
# (through RUNNER, into a root): its output in $scratch/NAME.log, its $status.
verify_in() {
  local top=$PWD
  status=0
  (cd "$1" && "${@:4}" env TMPDIR="$top/build/verify/tmp" \
    "$top/build/verify/clone/scripts/verify-release" "$3") >"$scratch/$2.log" 2>&1 || status=$?
}

# throwaway_root [NAME]: a root certificate of the check's own, NAME.pem (root.pem); certify NAME
# EXTENSIONS [DAYS [PUBLIC_KEY]]: the certificate NAME.pem that the root $issuer (root) gives
# NAME.key (made here) or PUBLIC_KEY, a key made elsewhere.
throwaway_root() {
  quietly openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=msisetup test ${1:-root}" \
    -keyout "$scratch/${1:-root}.key" -out "$scratch/${1:-root}.pem" \
    -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign
}
certify() {
  local key=(-keyout "$scratch/$1.key") issuer=${issuer:-root}
  printf '%b' "$2" >"$scratch/$1.ext"
  [ -z "${4:-}" ] || key=(-keyout /dev/null)  # (a request needs a key of its own; it is dropped)
  quietly openssl req -new -newkey rsa:2048 -nodes -subj "/CN=msisetup test $1" "${key[@]}" \
    -out "$scratch/$1.csr"
  quietly openssl x509 -req -in "$scratch/$1.csr" ${4:+-force_pubkey "$4"} \
    -CA "$scratch/$issuer.pem" -CAkey "$scratch/$issuer.key" -CAcreateserial -days "${3:-30}" \
    -extfile "$scratch/$1.ext" -out "$scratch/$1.pem"
}
code_signing='extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n'

# A PKCS#12 file of a publisher the root certifies, its password in MSISETUP_SIGNING_PASSWORD.
publisher_file() {
  certify file-publisher "$code_signing" 2
  export MSISETUP_SIGNING_PASSWORD
  MSISETUP_SIGNING_PASSWORD=$(openssl rand -hex 16)
  quietly openssl pkcs12 -export -inkey "$scratch/file-publisher.key" \
    -in "$scratch/file-publisher.pem" -certfile "$scratch/root.pem" \
    -passout env:MSISETUP_SIGNING_PASSWORD -out "$scratch/publisher.p12"
}

# A SoftHSM2 token with the publisher's key made inside it, and the root's certificate for that key
# (for a day), named in the MSISETUP_SIGNING_* variables. PINs reach pkcs11-tool as env:NAME only.
token_module=/usr/lib/softhsm/libsofthsm2.so
publisher_token() {
  local token=(pkcs11-tool --module "$token_module" --token-label "msisetup test")
  export SOFTHSM2_CONF=$scratch/softhsm2.conf so_pin pin
  mkdir "$scratch/tokens"
  printf 'directories.tokendir = %s\nobjectstore.backend = file\n' "$scratch/tokens" \
    >"$SOFTHSM2_CONF"
  so_pin=$(openssl rand -hex 8) pin=$(openssl rand -hex 8)
  quietly pkcs11-tool --module "$token_module" --init-token --slot-index 0 --label "msisetup test" \
    --so-pin env:so_pin
  quietly "${token[@]}" --login --login-type so --so-pin env:so_pin --init-pin --new-pin env:pin
  quietly "${token[@]}" --login --pin env:pin --keypairgen --key-type rsa:2048 --label publisher \
    --id 01
  "${token[@]}" --login --pin env:pin --list-objects --type privkey >"$scratch/token-objects" 2>&1
  quietly "${token[@]}" --read-object --type pubkey --id 01 --output-file "$scratch/publisher.der"
  quietly openssl pkey -pubin -inform DER -in "$scratch/publisher.der" \
    -out "$scratch/publisher-key.pem"
  certify publisher "$code_signing" 1 "$scratch/publisher-key.pem"
  export MSISETUP_SIGNING_PKCS11_MODULE=$token_module MSISETUP_SIGNING_CERT=$scratch/publisher.pem \
    MSISETUP_SIGNING_KEY="pkcs11:token=msisetup%20test;object=publisher;type=private" \
    MSISETUP_SIGNING_PIN=$pin
}

# A time-stamp server of the check's own on 127.0.0.1 ($served/tsa; $served/broken answers with an
# error): openssl ts -reply as a CGI program of busybox's web server, which ends by itself. Its
# certificate has a root of its own, tsa-root.pem, as a public server's has.
time_stamp_server() {
  throwaway_root tsa-root
  issuer=tsa-root certify tsa \
    'extendedKeyUsage=critical,timeStamping\nkeyUsage=critical,digitalSignature\n'
  cat >"$scratch/tsa.cnf" <<EOF
[ tsa ]
default_tsa = responder
[ responder ]
serial = $scratch/tsa.serial
signer_cert = $scratch/tsa.pem
signer_key = $scratch/tsa.key
certs = $scratch/tsa-root.pem
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
ess_cert_id_alg = sha256
EOF
  mkdir -p "$scratch/www/cgi-bin"
  cat >"$scratch/www/cgi-bin/tsa" <<EOF
#!/bin/sh
head -c "\$CONTENT_LENGTH" >"$scratch/query.tsq"
printf 'Content-Type: application/timestamp-reply\r\n\r\n'
exec openssl ts -reply -config "$scratch/tsa.cnf" -queryfile "$scratch/query.tsq" 2>/dev/null
EOF
  cat >"$scratch/www/cgi-bin/broken" <<'EOF'
#!/bin/sh
printf 'Status: 500 Internal Server Error\r\nContent-Type: text/plain\r\n\r\nbroken\n'
EOF
  chmod 755 "$scratch/www" "$scratch/www/cgi-bin" "$scratch/www/cgi-bin"/*
  serve "$scratch/www"
  served=http://127.0.0.1:$port/cgi-bin
}
