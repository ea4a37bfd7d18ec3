#!/usr/bin/env bash
# Launch overhead of the installed KORVELA ERP.exe, measured under Wine.
#
# What it measures: the time from CreateProcessW of the installed launcher
# (%LOCALAPPDATA%\KORVELA ERP\KORVELA ERP.exe, started as its shortcuts start
# it: quoted path alone, the install folder as working directory) until that
# launcher process has exited, having started the browser. The same is timed
# for the floor (tools/bench/floor.c): a program in the same folder that only
# resolves Local AppData and starts the same browser with the same command
# line and working directory. Runs alternate product, floor, product, floor…
# (3 warm-up pairs, then PAIRS timed pairs) from one Windows-side driver
# (tools/bench/timer.c), so no run pays for the Unix `wine` start-up. The
# browser is the end-to-end tests' stand-in (it records its command line and
# exits), registered in HKCU App Paths as the product looks it up first.
# The driver checks every run: exit code 0, exactly one browser started, and
# product and floor recorded identical browser command lines. A start that
# Wine itself fails (CreateProcessW: internal error, which Wine reports when
# the new process ends before it has finished Wine's start-up; seen once in
# about a thousand starts here) is repeated and counted in the output.
#
# Then one extra run of each with Wine's DLL load trace (+loaddll) gives the
# DLLs each launcher process loaded (the browser's own loads are left out;
# ntdll.dll, mapped before the trace begins, is in neither list).
#
# Output: per-run times, min/median/max in ms of each series, the median of
# the pairs' own ratios (a check on noise from other work on the machine),
# the two DLL lists and what the product loads beyond the floor, and the
# ratio of the medians (product/floor), alone on the last line.
#
# Reading it: under Wine most of either time is Wine's own process start-up
# and exit (a new Unix process, its builtin DLLs, the server round trips),
# which both pay alike, so the ratio is closer to 1 than it would be on
# Windows; the difference of the medians is the more portable figure.
#
# Preconditions: the build of the README has run (tools/build.sh, which
# configures build/). This script builds what else it needs there: the setup
# executable and the stand-in browser through CMake, floor.exe and timer.exe
# into build/bench/ with MinGW-w64 directly.
#
# Run: tools/bench-launch.sh [PAIRS]      (PAIRS: timed pairs, default 30)
#
# Wine: the project's private prefix (tools/wine-env.sh, created by
# tools/wine-prefix.sh on first use), one kept wineserver started here and
# stopped at exit with `wineserver -k` (as tools/test.sh does), and what the
# bench put in the prefix removed again. No X display: in launch mode the
# product opens no window, so DISPLAY is unset; a product that failed would
# find no display for its error box and exit 1, which the driver reports,
# instead of waiting for an answer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

pairs=${1:-30}
warmup=3
if ! [[ "$pairs" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: tools/bench-launch.sh [PAIRS]   (PAIRS: a positive number of timed pairs)" >&2
  exit 2
fi
if [ ! -f build/CMakeCache.txt ]; then
  echo "bench-launch: build/ is not configured; run tools/build.sh first" >&2
  exit 1
fi

bench_dir="$root/build/bench"
mkdir -p "$bench_dir"

echo "Building the setup executable and the stand-in browser" >&2
if ! cmake --build --preset windows-x64 --target korvela_setup stand_in_browser -j2 \
  >"$bench_dir/build.log" 2>&1; then
  cat "$bench_dir/build.log" >&2
  echo "bench-launch: the build failed" >&2
  exit 1
fi
setup_exe="$root/build/QUENTARO-ERP-Windows-x64-Setup-2026-12-04.exe"
browser_exe="$root/build/tests/e2e/stand_in_browser.exe"
for built in "$setup_exe" "$browser_exe"; do
  if [ ! -f "$built" ]; then
    echo "bench-launch: $built is missing after the build" >&2
    exit 1
  fi
done

# The folder below Local AppData that holds the stand-in browser; the floor is
# compiled with the same name, so both launchers start the same file.
browser_dir=korvela-bench
cc=x86_64-w64-mingw32-gcc-posix
"$cc" -std=c11 -Wall -Wextra -Werror -municode -mwindows -Os -s -static \
  -I"$root/core" -I"$root/build/generated" "-DBENCH_BROWSER_DIR=\"$browser_dir\"" \
  tools/bench/floor.c -o "$bench_dir/floor.exe" -lshell32 -lole32 -luuid
"$cc" -std=c11 -Wall -Wextra -Werror -municode -Os -s -static \
  tools/bench/timer.c -o "$bench_dir/timer.exe"

. tools/wine-env.sh
tools/wine-prefix.sh
unset DISPLAY

server_started=""
lad_unix=""
key='HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths\msedge.exe'
cleanup() {
  if [ -n "$lad_unix" ]; then
    timeout 60 wine reg delete "$key" /f </dev/null >/dev/null 2>&1 || true
    rm -rf "$lad_unix/KORVELA ERP" "$lad_unix/$browser_dir"
  fi
  if [ -n "$server_started" ]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT

# Started on /dev/null: the server and the system processes that the first
# program starts outlive it and would hold any pipe open. A server that is
# already running for this prefix is someone else's (tools/test.sh, say): it
# is left alone, and so is the prefix.
if ! wineserver -p </dev/null >/dev/null 2>&1; then
  echo "bench-launch: a wineserver is already running for $WINEPREFIX; run the bench once it has ended" >&2
  exit 1
fi
server_started=1
if ! timeout 120 wine cmd.exe /c exit </dev/null >/dev/null 2>&1; then
  echo "bench-launch: Wine did not start a first program within 120 s" >&2
  exit 1
fi

# Local AppData as the prefix's user sees it, on both sides.
timeout 60 wine cmd.exe /c 'echo %LOCALAPPDATA%' </dev/null >"$bench_dir/lad.txt" 2>/dev/null || true
lad_win=$(tr -d '\r\n' <"$bench_dir/lad.txt")
timeout 60 winepath -u "$lad_win" </dev/null >"$bench_dir/lad-unix.txt" 2>/dev/null || true
lad_found=$(head -n 1 "$bench_dir/lad-unix.txt")
if [ -z "$lad_win" ] || [ -z "$lad_found" ] || [ ! -d "$lad_found" ]; then
  echo "bench-launch: could not find Local AppData in the prefix (got '$lad_win', '$lad_found')" >&2
  exit 1
fi
lad_unix=$lad_found

install_win="$lad_win\\KORVELA ERP"
product_win="$install_win\\KORVELA ERP.exe"
floor_win="$install_win\\bench-floor.exe"
browser_win="$lad_win\\$browser_dir\\msedge.exe"
record_win="$lad_win\\$browser_dir\\record.txt"

# The setup executable run from the install path is the installed launcher.
rm -rf "$lad_unix/KORVELA ERP" "$lad_unix/$browser_dir"
mkdir -p "$lad_unix/KORVELA ERP" "$lad_unix/$browser_dir"
cp "$setup_exe" "$lad_unix/KORVELA ERP/KORVELA ERP.exe"
cp "$bench_dir/floor.exe" "$lad_unix/KORVELA ERP/bench-floor.exe"
cp "$browser_exe" "$lad_unix/$browser_dir/msedge.exe"
if ! timeout 60 wine reg add "$key" /ve /t REG_SZ /d "$browser_win" /f \
  </dev/null >"$bench_dir/reg.log" 2>&1; then
  cat "$bench_dir/reg.log" >&2
  echo "bench-launch: could not register the stand-in browser" >&2
  exit 1
fi

echo "Timing $warmup warm-up pairs and $pairs pairs" >&2
if ! timeout 900 wine "$bench_dir/timer.exe" series "$record_win" "$pairs" "$warmup" \
  "$product_win" "$floor_win" </dev/null >"$bench_dir/series.txt" 2>"$bench_dir/series.err"; then
  cat "$bench_dir/series.err" >&2
  echo "bench-launch: the timed series failed" >&2
  exit 1
fi

# One traced run each; prints the sorted DLL names the launcher process loaded.
traced_dlls() {
  local name=$1 exe=$2 pid
  if ! timeout 120 wine "$bench_dir/timer.exe" trace "$record_win" "$exe" \
    </dev/null >"$bench_dir/trace-$name.txt" 2>"$bench_dir/trace-$name.err"; then
    cat "$bench_dir/trace-$name.err" >&2
    echo "bench-launch: the traced run of the $name failed" >&2
    return 1
  fi
  pid=$(sed -n 's/^pid \([0-9a-f]*\)\r\{0,1\}$/\1/p' "$bench_dir/trace-$name.txt")
  if [ -z "$pid" ]; then
    echo "bench-launch: the traced run of the $name reported no process id" >&2
    return 1
  fi
  # Lines of the launcher's own process: "<pid>:<tid>:trace:loaddll:... Loaded L"<path>" at ..."
  sed -n "s/^$pid:[0-9a-f]*:trace:loaddll:[^ ]* Loaded L\"\\(.*\\)\" at .*/\\1/p" \
    "$bench_dir/trace-$name.err" | sed 's/.*\\//' | tr '[:upper:]' '[:lower:]' |
    grep -v '\.exe$' | sort -u
}
traced_dlls product "$product_win" >"$bench_dir/dlls-product.txt"
traced_dlls floor "$floor_win" >"$bench_dir/dlls-floor.txt"
for name in product floor; do
  if [ ! -s "$bench_dir/dlls-$name.txt" ]; then
    echo "bench-launch: the load trace of the $name names no DLL" >&2
    exit 1
  fi
done

# ---- Report -------------------------------------------------------------------
series=$(tr -d '\r' <"$bench_dir/series.txt")
echo "Launch of the installed KORVELA ERP.exe against the floor, under Wine"
echo "(ms from CreateProcessW until the launcher process exits; $warmup warm-up pairs, then $pairs pairs)"
echo "Both started the browser as:"
sed -n 's/^record /  /p' <<<"$series"
echo
printf '%-6s %10s %10s\n' pair product floor
paste <(sed -n 's/^product //p' <<<"$series") <(sed -n 's/^floor //p' <<<"$series") |
  awk '{ printf "%-6d %10.3f %10.3f\n", NR, $1, $2 }'
echo

# min, median, max of one series
stats() {
  sed -n "s/^$1 //p" <<<"$series" | sort -g |
    awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
                              printf "%.3f %.3f %.3f\n", v[1], m, v[NR] }'
}
read -r product_min product_median product_max < <(stats product)
read -r floor_min floor_median floor_max < <(stats floor)
printf '%-8s %10s %10s %10s\n' "" min median max
printf '%-8s %10.3f %10.3f %10.3f\n' product "$product_min" "$product_median" "$product_max"
printf '%-8s %10.3f %10.3f %10.3f\n' floor "$floor_min" "$floor_median" "$floor_max"
# Load from other work on the machine comes in bursts that span a pair or so;
# within a pair both runs tend to see the same load, so the median of the
# pairs' own ratios shows how far the ratio of the medians is off from noise.
pair_ratio=$(paste <(sed -n 's/^product //p' <<<"$series") <(sed -n 's/^floor //p' <<<"$series") |
  awk '{ print $1 / $2 }' | sort -g |
  awk '{ v[NR] = $1 } END { printf "%.2f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
echo "Difference of the medians (product - floor): $(awk -v p="$product_median" -v f="$floor_median" 'BEGIN { printf "%.3f", p - f }') ms"
echo "Median of the pairs' own ratios (product/floor): $pair_ratio"
echo "Starts that Wine failed before the program ran, repeated: $(sed -n 's/^failed-starts //p' <<<"$series")"
echo

for name in product floor; do
  echo "DLLs loaded by the $name process (ntdll.dll not traced): $(wc -l <"$bench_dir/dlls-$name.txt")"
  sed 's/^/  /' "$bench_dir/dlls-$name.txt"
done
comm -23 "$bench_dir/dlls-product.txt" "$bench_dir/dlls-floor.txt" >"$bench_dir/dlls-extra.txt"
if [ -s "$bench_dir/dlls-extra.txt" ]; then
  echo "DLLs the product loads that the floor does not: $(wc -l <"$bench_dir/dlls-extra.txt")"
  sed 's/^/  /' "$bench_dir/dlls-extra.txt"
else
  echo "DLLs the product loads that the floor does not: none"
fi
echo

ratio=$(awk -v p="$product_median" -v f="$floor_median" 'BEGIN { printf "%.2f", p / f }')
echo "Ratio of the medians (product/floor):"
echo "$ratio"
