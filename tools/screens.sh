#!/usr/bin/env bash
# Captures every message box of the real executable under Wine into
# docs/screens/<name>.png, after checking each box's caption and text against
# the product's constants. Run after tools/build.sh; builds its own program in
# build/. The same build gives the same files, byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

tools/install-deps.sh
# Configuring again is cheap and keeps the cache (ERP_HOST and the rest).
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 --target e2e_screens -j"$(nproc)"

setup_exe="$root/build/QUENTARO-ERP-Windows-x64-Setup-2026-12-04.exe"
browser_exe="$root/build/tests/e2e/stand_in_browser.exe"
program="$root/build/tests/e2e/e2e_screens.exe"
raw_dir="$root/build/screens-raw"
log="$root/build/screens.log"
out_dir="$root/docs/screens"

. tools/wine-env.sh
tools/wine-prefix.sh

# The users' Windows is Chinese: its own button labels (确定, 取消, 是, 否)
# come from Wine's Chinese resources when the session runs in a Chinese
# locale. The locale is compiled into the build tree, not into the system.
locale_dir="$root/build/locale"
if [ ! -f "$locale_dir/zh_CN.UTF-8/LC_CTYPE" ]; then
  mkdir -p "$locale_dir"
  localedef -i zh_CN -f UTF-8 "$locale_dir/zh_CN.UTF-8"
fi
export LOCPATH="$locale_dir" LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8

xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

# A private display of a fixed size: the boxes are centred on it, and the
# pictures must not depend on the machine's own screen.
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

# The server and the system processes start on /dev/null, so that none holds
# this script's output open.
wineserver -p </dev/null >/dev/null 2>&1
timeout 120 wine cmd.exe /c exit </dev/null >/dev/null 2>&1

rm -rf "$raw_dir"
mkdir -p "$raw_dir"
if ! timeout 300 wine "$program" "--setup=$setup_exe" "--browser=$browser_exe" \
    "--screens=$raw_dir" </dev/null >"$log" 2>&1; then
  echo "The screenshot program failed; its output ($log) ends with:" >&2
  tail -n 40 "$log" >&2
  exit 1
fi

# Only this run's pictures: a box that is gone takes its picture with it.
mkdir -p "$out_dir"
rm -f "$out_dir"/*.png
count=0
for picture in "$raw_dir"/*.png; do
  [ -e "$picture" ] || continue
  /usr/bin/python3 tools/png-small.py "$picture" "$out_dir/$(basename "$picture")"
  count=$((count + 1))
done
if [ "$count" -eq 0 ]; then
  echo "The screenshot program saved no picture; see $log" >&2
  exit 1
fi
echo "Saved $count pictures in $out_dir:"
ls -l "$out_dir"
