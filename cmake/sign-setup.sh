#!/bin/sh
# Signs one program in place (Authenticode, SHA-256) with osslsigncode and verifies the signature:
#   sign-setup.sh FILE
# MSISETUP_SIGNING_PKCS12       the publisher's certificate and key (PKCS#12)
# MSISETUP_SIGNING_PASSWORD     its password; written to a private file for osslsigncode, never
#                               onto a command line that other processes could read
# MSISETUP_SIGNING_TIMESTAMP_URL optional RFC 3161 time-stamp server
# MSISETUP_SIGNING_CA_FILE      optional: the roots to verify against (default: the system's)
set -eu
file=$1
umask 077
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%s' "${MSISETUP_SIGNING_PASSWORD-}" >"$work/password"

set -- -pkcs12 "$MSISETUP_SIGNING_PKCS12" -readpass "$work/password" -h sha256 \
  -n "Qevtarn Setup"
if [ -n "${MSISETUP_SIGNING_TIMESTAMP_URL-}" ]; then
  set -- "$@" -ts "$MSISETUP_SIGNING_TIMESTAMP_URL"
fi
osslsigncode sign "$@" -in "$file" -out "$work/signed.exe" >"$work/log" 2>&1 || {
  cat "$work/log" >&2
  exit 1
}
ca=${MSISETUP_SIGNING_CA_FILE:-/etc/ssl/certs/ca-certificates.crt}
osslsigncode verify -CAfile "$ca" -in "$work/signed.exe" >"$work/log" 2>&1 || {
  cat "$work/log" >&2
  echo "the signature of $file does not verify against $ca" >&2
  exit 1
}
cp "$work/signed.exe" "$file"
