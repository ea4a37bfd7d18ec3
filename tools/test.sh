#!/usr/bin/env bash
# Runs every test: unit tests against the fake Windows, contract tests against
# the fake and Wine, and end-to-end tests of the real executable under Wine
# and Xvfb. Extra arguments go to ctest (e.g. -R unit).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset windows-x64
cmake --build --preset windows-x64 -j"$(nproc)"

. tools/wine-env.sh
tools/wine-prefix.sh

# One wineserver for the whole run (a cold Wine start costs seconds per
# program), and one private X display for the message boxes.
. tools/wine-session.sh
ctest --preset windows-x64 --timeout 600 "$@"
