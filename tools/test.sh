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
xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$display_file" ] && break
  if ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "Xvfb did not start" >&2
    exit 1
  fi
  sleep 0.1
done
if [ ! -s "$display_file" ]; then
  echo "Xvfb did not report a display within 10 s" >&2
  exit 1
fi
export DISPLAY=":$(head -n 1 "$display_file")"
rm -f "$display_file"

# Neither the server nor the system processes that the first program starts
# (services, devices, the desktop) may inherit this script's output: CTest
# would wait for them to close it. So they are started here, on /dev/null.
wineserver -p </dev/null >/dev/null 2>&1
timeout 120 wine cmd.exe /c exit </dev/null >/dev/null 2>&1
ctest --preset windows-x64 --timeout 600 "$@"
