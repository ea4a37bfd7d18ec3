#!/usr/bin/env bash
# Builds the distributable setup executable:
#   dist/QUENTARO-ERP-Windows-x64-Setup-2026-12-04.exe
#   dist/QUENTARO-ERP-Windows-x64-Setup-2026-12-04.exe.sha256
# Extra arguments go to the CMake configure step (e.g. -DERP_HOST=erp.example.com,
# or -DKORVELA_SIGN_PKCS12=signer.p12 for a signed release).
set -euo pipefail
cd "$(dirname "$0")/.."

setup_file=QUENTARO-ERP-Windows-x64-Setup-2026-12-04.exe
# Whatever an earlier build left goes first: a build that fails (a failed
# signing included) leaves no file under the release name.
rm -f "dist/$setup_file" "dist/$setup_file.sha256"

tools/install-deps.sh
cmake --preset windows-x64 "$@"
cmake --build --preset windows-x64 --target korvela_setup -j"$(nproc)"

mkdir -p dist
cp "build/$setup_file" "build/$setup_file.sha256" dist/
echo "Setup executable: $(pwd)/dist/$setup_file"
echo "Its SHA-256:      $(pwd)/dist/$setup_file.sha256"
