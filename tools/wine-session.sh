# Sourced by the scripts that run Windows programs with message boxes, after
# tools/wine-env.sh and tools/wine-prefix.sh: starts one private Xvfb display
# and one kept wineserver for the private prefix, and stops both when the
# sourcing script exits.

wine_session_xvfb_pid=""
wine_session_stop() {
  wineserver -k 2>/dev/null || true
  if [ -n "$wine_session_xvfb_pid" ]; then
    kill "$wine_session_xvfb_pid" 2>/dev/null || true
    wait "$wine_session_xvfb_pid" 2>/dev/null || true
  fi
}
trap wine_session_stop EXIT

# A private display of a fixed size: message boxes are centred on it, and
# nothing may depend on the machine's own screen.
wine_session_display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$wine_session_display_file" >/dev/null 2>&1 &
wine_session_xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$wine_session_display_file" ] && break
  if ! kill -0 "$wine_session_xvfb_pid" 2>/dev/null; then
    echo "Xvfb did not start" >&2
    exit 1
  fi
  sleep 0.1
done
if [ ! -s "$wine_session_display_file" ]; then
  echo "Xvfb did not report a display within 10 s" >&2
  exit 1
fi
export DISPLAY=":$(head -n 1 "$wine_session_display_file")"
rm -f "$wine_session_display_file"

# Neither the server nor the system processes that the first program starts
# (services, devices, the desktop) may inherit the caller's output: a reader
# of it, such as CTest, would wait for them to close it. So they are started
# here, on /dev/null.
wineserver -p </dev/null >/dev/null 2>&1
timeout 120 wine cmd.exe /c exit </dev/null >/dev/null 2>&1
# Every run starts as Windows 7, the prefix's default: a test that switches
# Wine's Windows version (tests/e2e/as_windows.cpp) restores it, but not when
# it was killed.
wine reg delete 'HKCU\Software\Wine' /v Version /f </dev/null >/dev/null 2>&1 || true
