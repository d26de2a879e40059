#!/bin/sh
# Signs one program in place (Authenticode, SHA-256) and verifies the signature, when the
# MSISETUP_SIGNING_* variables (RELEASING.md) name a key; its last line says how it signed. The
# password or PIN goes to osslsigncode in a private file, never on a command line.
#   sign-setup.sh FILE
set -eu
file=$1
umask 077
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -n "${MSISETUP_SIGNING_PKCS12-}" ] && [ -n "${MSISETUP_SIGNING_PKCS11_MODULE-}" ]; then
  echo "name one signing key, MSISETUP_SIGNING_PKCS12 or MSISETUP_SIGNING_PKCS11_MODULE," \
    "not both" >&2
  exit 1
elif [ -n "${MSISETUP_SIGNING_PKCS11_MODULE-}" ]; then
  key="the key in the PKCS#11 token of $MSISETUP_SIGNING_PKCS11_MODULE (MSISETUP_SIGNING_KEY)"
  printf '%s' "${MSISETUP_SIGNING_PIN-}" >"$work/secret"
  # (No -pkcs11engine: osslsigncode finds the pkcs11 engine itself, and 2.5 fails when told.)
  set -- -pkcs11module "$MSISETUP_SIGNING_PKCS11_MODULE" -key "${MSISETUP_SIGNING_KEY-}" \
    -certs "${MSISETUP_SIGNING_CERT-}"
elif [ -n "${MSISETUP_SIGNING_PKCS12-}" ]; then
  key=$MSISETUP_SIGNING_PKCS12
  printf '%s' "${MSISETUP_SIGNING_PASSWORD-}" >"$work/secret"
  set -- -pkcs12 "$MSISETUP_SIGNING_PKCS12"
else
  echo "setup.exe is NOT signed: no MSISETUP_SIGNING_PKCS12 or MSISETUP_SIGNING_PKCS11_MODULE"
  exit 0
fi
set -- "$@" -readpass "$work/secret" -h sha256 -n "Qevtarn Setup"
set -f  # the servers are split at spaces, and nothing else is done to them
for url in ${MSISETUP_SIGNING_TIMESTAMP_URL-}; do
  set -- "$@" -ts "$url"
done
set +f
failed() {  # failed [WHY]
  cat "$work/log" >&2
  [ "$#" -eq 0 ] || echo "$*" >&2
  exit 1
}
osslsigncode sign "$@" -in "$file" -out "$work/signed.exe" >"$work/log" 2>&1 || failed
# The signer's root and the time-stamp's may differ (a company's own CA, a public time-stamp
# server). osslsigncode succeeds even when the time-stamp fails, so its own line is read.
ca=${MSISETUP_SIGNING_CA_FILE:-/etc/ssl/certs/ca-certificates.crt}
tsa_ca=${MSISETUP_SIGNING_TSA_CA_FILE:-$ca}
osslsigncode verify -CAfile "$ca" -TSA-CAfile "$tsa_ca" -in "$work/signed.exe" >"$work/log" 2>&1 ||
  failed "the signature of $file does not verify against $ca (MSISETUP_SIGNING_CA_FILE)"
[ -z "${MSISETUP_SIGNING_TIMESTAMP_URL-}" ] ||
  grep -q "^Timestamp Server Signature verification: ok" "$work/log" ||
  failed "the time-stamp of $file does not verify against $tsa_ca: name its server's root in" \
    "MSISETUP_SIGNING_TSA_CA_FILE"
cp "$work/signed.exe" "$file"
if [ -n "${MSISETUP_SIGNING_TIMESTAMP_URL-}" ]; then
  echo "setup.exe is signed with $key and time-stamped, and its signature and time-stamp verify"
else
  echo "setup.exe is signed with $key, and its signature verifies; it is NOT time-stamped" \
    "(no MSISETUP_SIGNING_TIMESTAMP_URL), so it stops verifying when the certificate expires"
fi
