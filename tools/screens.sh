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

. tools/wine-session.sh

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
