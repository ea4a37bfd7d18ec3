#!/usr/bin/env bash
# Checks a KORVELA ERP setup file that somebody was handed:
#   verify-release.sh SETUP_EXE [--cert CERTIFICATE.pem] [--sha256 SUMS_FILE]
#
#   signature  With --cert, the Authenticode signature must verify against
#              that certificate (the publisher's, or the CA that issued it).
#              Without --cert, it reports whether the file is signed at all.
#   SHA-256    The file's digest must be the one published beside it: by
#              default SETUP_EXE.sha256, as the build writes it.
#   form       Its executable form and resources must still be what the
#              product ships (tools/check-setup-file.py).
# Prints one line per check and exits 0 only when every check passed.
set -uo pipefail

usage() {
  echo "usage: verify-release.sh SETUP_EXE [--cert CERTIFICATE.pem] [--sha256 SUMS_FILE]" >&2
  exit 2
}
[ "$#" -ge 1 ] || usage
setup=$1
shift
certificate="" sums="$setup.sha256"
while [ "$#" -gt 0 ]; do
  case $1 in
    --cert) [ "$#" -ge 2 ] || usage; certificate=$2; shift 2 ;;
    --sha256) [ "$#" -ge 2 ] || usage; sums=$2; shift 2 ;;
    *) usage ;;
  esac
done
tools=$(cd "$(dirname "$0")" && pwd)
[ -f "$setup" ] || { echo "$setup: no such file" >&2; exit 1; }

failed=0
pass() { echo "ok      $1"; }
fail() { echo "FAILED  $1"; failed=1; }

# Signature. A file without a certificate table is unsigned, whatever
# osslsigncode then says.
signed=$("/usr/bin/python3" - "$setup" <<'EOF'
import sys, pefile
pe = pefile.PE(sys.argv[1], fast_load=True)
security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
print("yes" if security.Size else "no")
EOF
) || { echo "$setup: not a readable PE file" >&2; exit 1; }
if [ "$signed" = no ]; then
  if [ -n "$certificate" ]; then
    fail "signature: unsigned (a signature by $certificate was expected)"
  else
    echo "note    signature: unsigned"
  fi
elif [ -z "$certificate" ]; then
  echo "note    signature: present, not checked (give --cert to check it)"
else
  log=$(mktemp)
  if osslsigncode verify -in "$setup" -CAfile "$certificate" >"$log" 2>&1; then
    pass "signature: verifies against $certificate"
  else
    grep -iE 'error|fail' "$log" | grep -v '^Failed$' | sed 's/^[[:space:]]*/        /'
    fail "signature: does not verify against $certificate"
  fi
  rm -f "$log"
fi

# SHA-256: the published line names the file by its bare name.
if [ ! -f "$sums" ]; then
  fail "SHA-256: no published digest ($sums is missing)"
else
  expected=$(awk -v name="$(basename "$setup")" '$2 == name || $2 == "*" name { print $1; exit }' "$sums")
  actual=$(sha256sum "$setup" | cut -d' ' -f1)
  if [ -z "$expected" ]; then
    fail "SHA-256: $sums has no line for $(basename "$setup")"
  elif [ "$expected" = "$actual" ]; then
    pass "SHA-256: $actual as published in $sums"
  else
    fail "SHA-256: $actual, but $sums publishes $expected"
  fi
fi

# Form and resources, by the same checks the tests run on every build.
signed_option=()
[ "$signed" = yes ] && signed_option=(--signed)
if report=$("/usr/bin/python3" "$tools/check-setup-file.py" "$setup" "${signed_option[@]}"); then
  pass "form and resources: as shipped"
else
  sed 's/^/        /' <<<"$report"
  fail "form and resources: differ from what the product ships"
fi

exit "$failed"
