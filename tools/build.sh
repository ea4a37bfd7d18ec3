#!/usr/bin/env bash
# Builds the distributable setup executable:
#   dist/QUENTARO-ERP-Windows-x64-Setup-2026-12-04.exe
# Extra arguments go to the CMake configure step (e.g. -DERP_HOST=erp.example.com).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset windows-x64 "$@"
cmake --build --preset windows-x64 --target korvela_setup -j"$(nproc)"

mkdir -p dist
setup_file=QUENTARO-ERP-Windows-x64-Setup-2026-12-04.exe
cp "build/$setup_file" "dist/$setup_file"
echo "Setup executable: $(pwd)/dist/$setup_file"
