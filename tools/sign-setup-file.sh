#!/usr/bin/env bash
# Signs the finished setup file with Authenticode (SHA-256) for a release:
#   sign-setup-file.sh OSSLSIGNCODE UNSIGNED OUTPUT PKCS12 [TIMESTAMP_URL]
# The PKCS#12 file's password comes from the environment variable
# KORVELA_SIGN_PASSWORD and reaches the tools only through their standard
# input or their own environment lookup, never through an argument (which any
# user can read in the process list) and never in a message.
#
# Fails closed: OUTPUT and OUTPUT.sha256 are removed before anything else,
# and OUTPUT appears only once the signed file verifies, so a failed signing
# never leaves a file under the release name.
set -euo pipefail

if [ "$#" -lt 4 ] || [ "$#" -gt 5 ]; then
  echo "usage: sign-setup-file.sh OSSLSIGNCODE UNSIGNED OUTPUT PKCS12 [TIMESTAMP_URL]" >&2
  exit 2
fi
tool=$1 unsigned=$2 output=$3 pkcs12=$4 timestamp_url=${5:-}
rm -f "$output" "$output.sha256"

fail() {
  echo "Signing failed: $*" >&2
  echo "No setup file was written under $(basename "$output")." >&2
  exit 1
}

[ -e "$pkcs12" ] || fail "the PKCS#12 file $pkcs12 (KORVELA_SIGN_PKCS12) does not exist."
[ -f "$pkcs12" ] && [ -r "$pkcs12" ] || fail "the PKCS#12 file $pkcs12 (KORVELA_SIGN_PKCS12) cannot be read."
[ -n "${KORVELA_SIGN_PASSWORD+set}" ] ||
  fail "KORVELA_SIGN_PASSWORD is not set; it must hold the password of $pkcs12."
command -v openssl >/dev/null || fail "openssl is not installed."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
certificate="$work/certificate.pem"

# A wrong password and a file that is no PKCS#12 container both stop here.
# Containers written by older tools use ciphers that OpenSSL 3 keeps in its
# legacy provider.
extract() {
  openssl pkcs12 "$@" -in "$pkcs12" -passin env:KORVELA_SIGN_PASSWORD -nokeys -clcerts \
    -out "$certificate" >"$work/openssl.log" 2>&1
}
if ! extract && ! { grep -qi 'unsupported' "$work/openssl.log" && extract -legacy; }; then
  if grep -qi 'mac verify error\|invalid password' "$work/openssl.log"; then
    fail "the password in KORVELA_SIGN_PASSWORD does not open $pkcs12."
  fi
  fail "$pkcs12 is not a readable PKCS#12 file (certificate and private key)."
fi
grep -q 'BEGIN CERTIFICATE' "$certificate" || fail "$pkcs12 holds no certificate."
if ! { openssl pkcs12 -in "$pkcs12" -passin env:KORVELA_SIGN_PASSWORD -nocerts -nodes 2>/dev/null ||
       openssl pkcs12 -legacy -in "$pkcs12" -passin env:KORVELA_SIGN_PASSWORD -nocerts -nodes 2>/dev/null
     } | grep -q 'PRIVATE KEY'; then
  fail "$pkcs12 holds no private key."
fi

# Windows accepts an Authenticode signature only from a certificate that is
# meant for code signing and valid now.
extensions=$(openssl x509 -in "$certificate" -noout -ext extendedKeyUsage,keyUsage 2>/dev/null || true)
subject=$(openssl x509 -in "$certificate" -noout -subject -nameopt oneline 2>/dev/null || true)
if ! grep -q 'Code Signing' <<<"$extensions"; then
  fail "the certificate in $pkcs12 ($subject) is not valid for code signing (no Code Signing extended key usage)."
fi
if grep -q 'X509v3 Key Usage' <<<"$extensions" && ! grep -q 'Digital Signature' <<<"$extensions"; then
  fail "the certificate in $pkcs12 ($subject) is not valid for code signing (no Digital Signature key usage)."
fi
openssl x509 -in "$certificate" -noout -checkend 0 >/dev/null 2>&1 ||
  fail "the certificate in $pkcs12 ($subject) has expired."

timestamp=()
if [ -n "$timestamp_url" ]; then
  timestamp=(-ts "$timestamp_url")
fi
signed="$work/signed.exe"
if ! printf '%s' "$KORVELA_SIGN_PASSWORD" |
     "$tool" sign -pkcs12 "$pkcs12" -readpass - -h sha256 -n "KORVELA ERP Setup" \
       "${timestamp[@]}" -in "$unsigned" -out "$signed" >"$work/sign.log" 2>&1; then
  sed 's/^/  /' "$work/sign.log" >&2
  fail "$tool could not sign the setup file."
fi
if ! "$tool" verify -in "$signed" -CAfile "$certificate" >"$work/verify.log" 2>&1; then
  sed 's/^/  /' "$work/verify.log" >&2
  fail "the signed file does not verify against the certificate in $pkcs12."
fi

chmod 755 "$signed"
mv -f "$signed" "$output.partial"
mv -f "$output.partial" "$output"
echo "Signed $(basename "$output") as $subject"
