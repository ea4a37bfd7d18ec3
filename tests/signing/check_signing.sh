#!/usr/bin/env bash
# Signed releases, end to end on the build side:
#   check_signing.sh SOURCE_DIR WORK_DIR SIGNED_COPY
# With a throwaway code-signing certificate made here, a copy of the sources
# is configured and built signed. The signed file must verify, differ from the
# same build's file before signing only where signing must change it, pass the
# verify command, and is copied to SIGNED_COPY for the end-to-end run under Wine.
# Then each way signing can fail must stop the build with its message and
# leave nothing under the release name; the password must appear in no output.
set -euo pipefail
source_dir=$1 work_dir=$2 signed_copy=$3
name=QUENTARO-ERP-Windows-x64-Setup-2026-12-04.exe
tests=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work_dir"
mkdir -p "$work_dir/keys"
keys="$work_dir/keys"
src="$work_dir/src"
out="$src/out"
logs="$work_dir/logs"
mkdir -p "$src" "$logs"
tar -C "$source_dir" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$src" -xf -

failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then
    echo "ok      $1"
  else
    echo "FAILED  $1"
    failures=$((failures + 1))
  fi
}

# ---- Throwaway certificates ---------------------------------------------------
password="pw-$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')-secret"
export KORVELA_SIGN_PASSWORD="$password"
certificate() {  # certificate NAME EXTENDED_KEY_USAGE
  cat >"$keys/$1.cnf" <<EOF
[req]
distinguished_name = dn
prompt = no
x509_extensions = ext
[dn]
CN = KORVELA ERP throwaway test signer ($1)
O = QUENTARO test
[ext]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = $2
subjectKeyIdentifier = hash
EOF
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -config "$keys/$1.cnf" \
    -keyout "$keys/$1.key" -out "$keys/$1.pem" >/dev/null 2>&1
  openssl pkcs12 -export -inkey "$keys/$1.key" -in "$keys/$1.pem" -out "$keys/$1.p12" \
    -passout env:KORVELA_SIGN_PASSWORD
}
certificate signer codeSigning
certificate web serverAuth
echo "not a PKCS#12 container" >"$keys/garbage.p12"
printf '#!/bin/sh\necho "signing tool broke" >&2\nexit 3\n' >"$keys/broken-signer"
chmod +x "$keys/broken-signer"

configure() {  # configure LOG CMAKE_ARGS...
  cmake -S "$src" -B "$out" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF "${@:2}" >"$logs/$1" 2>&1
}
build() {  # build LOG
  cmake --build "$out" --target korvela_setup -j2 >>"$logs/$1" 2>&1
}

# ---- A signed build -------------------------------------------------------------
if ! configure signed.log -DKORVELA_SIGN_PKCS12="$keys/signer.p12" || ! build signed.log; then
  cat "$logs/signed.log"
  echo "FAILED  the signed build"
  exit 1
fi
signed="$out/$name"
# The build's finished file before signing, under the release name with its
# digest beside it, as an unsigned release would be handed over.
unsigned="$work_dir/unsigned/$name"
mkdir -p "$work_dir/unsigned"
cp "$out/korvela_setup_unsigned.exe" "$unsigned"
(cd "$work_dir/unsigned" && sha256sum "$name" >"$name.sha256")
check "the signed file verifies with osslsigncode against the certificate" \
  bash -c "osslsigncode verify -in '$signed' -CAfile '$keys/signer.pem' >'$logs/osslsigncode-verify.log' 2>&1"
check "it differs from the unsigned file only by the certificate table, checksum and security directory" \
  /usr/bin/python3 "$tests/compare_signed.py" "$unsigned" "$signed"
check "the published SHA-256 is the signed file's" \
  bash -c "cd '$out' && sha256sum -c '$name.sha256' >/dev/null"
check "the verify command accepts it" \
  bash -c "'$src/tools/verify-release.sh' '$signed' --cert '$keys/signer.pem' >'$logs/verify.log'"
check "the verify command refuses another signer" \
  bash -c "! '$src/tools/verify-release.sh' '$signed' --cert '$keys/web.pem' >'$logs/verify-other.log'"
tampered="$work_dir/tampered/$name"
mkdir -p "$work_dir/tampered"
cp "$signed" "$tampered"
cp "$out/$name.sha256" "$tampered.sha256"
printf 'X' | dd of="$tampered" bs=1 seek=1200 conv=notrunc status=none
tampered_refused() {
  ! "$src/tools/verify-release.sh" "$tampered" --cert "$keys/signer.pem" >"$logs/verify-tampered.log" &&
    grep -q 'FAILED  signature' "$logs/verify-tampered.log" &&
    grep -q 'FAILED  SHA-256' "$logs/verify-tampered.log"
}
check "the verify command refuses a tampered copy (signature and digest)" tampered_refused
unsigned_accepted() {
  "$src/tools/verify-release.sh" "$unsigned" >"$logs/verify-unsigned.log" &&
    grep -q 'signature: unsigned' "$logs/verify-unsigned.log"
}
check "the verify command accepts the unsigned file and calls it unsigned" unsigned_accepted
unsigned_refused() {
  ! "$src/tools/verify-release.sh" "$unsigned" --cert "$keys/signer.pem" >"$logs/verify-unsigned-cert.log" &&
    grep -q 'FAILED  signature: unsigned' "$logs/verify-unsigned-cert.log"
}
check "the verify command refuses the unsigned file when a signature is expected" unsigned_refused
mkdir -p "$(dirname "$signed_copy")"
cp "$signed" "$signed_copy"

# ---- Failed signings --------------------------------------------------------------
# Each starts from a signed file in place, which has to be gone afterwards.
fails_closed() {  # fails_closed CASE MESSAGE PASSWORD CMAKE_ARGS...
  local case=$1 message=$2 case_password=$3
  shift 3
  local log="fail-$case.log"
  configure "$log" -DKORVELA_SIGN_PKCS12="$keys/signer.p12" -UKORVELA_OSSLSIGNCODE
  build "$log" || { cat "$logs/$log"; echo "        the signed build before it failed"; return 1; }
  local status=0
  if configure "$log" "$@" && KORVELA_SIGN_PASSWORD="$case_password" build "$log"; then
    echo "        the build went through"
    status=1
  fi
  if ! grep -qF "$message" "$logs/$log"; then
    echo "        no message \"$message\" in:"
    sed 's/^/        | /' "$logs/$log" | tail -n 15
    status=1
  fi
  if [ -e "$out/$name" ] || [ -e "$out/$name.sha256" ]; then
    echo "        a file is left under the release name"
    status=1
  fi
  return "$status"
}
check "a missing PKCS#12 file stops the build" \
  fails_closed missing "does not exist" "$password" -DKORVELA_SIGN_PKCS12="$keys/absent.p12"
check "an unreadable PKCS#12 file stops the build" \
  fails_closed garbage "is not a readable PKCS#12 file" "$password" \
  -DKORVELA_SIGN_PKCS12="$keys/garbage.p12"
check "a wrong password stops the build" \
  fails_closed wrong-password "does not open" "wrong-$password" -DKORVELA_SIGN_PKCS12="$keys/signer.p12"
check "a certificate not for code signing stops the build" \
  fails_closed web "not valid for code signing" "$password" -DKORVELA_SIGN_PKCS12="$keys/web.p12"
check "a failing signing tool stops the build" \
  fails_closed tool "could not sign" "$password" -DKORVELA_SIGN_PKCS12="$keys/signer.p12" \
  -DKORVELA_OSSLSIGNCODE="$keys/broken-signer"

# ---- The password is nowhere ------------------------------------------------------
check "the password appears in no build output and not in the cache" \
  bash -c "! grep -rqF -- '$password' '$logs' '$out/CMakeCache.txt'"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed; logs in $logs"
  exit 1
fi
rm -rf "$src" "$keys"
echo "signing: all checks passed"
