#!/usr/bin/env bash
# Creates the project's private Wine prefix once (inside the build tree), with
# real folders where Wine would link the user's Unix home.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

mkdir -p "$HOME"
if [ ! -f "$WINEPREFIX/.korvela-ready" ]; then
  echo "Creating the private Wine prefix in $WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  users="$WINEPREFIX/drive_c/users"
  for user_dir in "$users"/*; do
    [ -d "$user_dir" ] || continue
    for name in Desktop Downloads Documents Music Pictures Videos Templates; do
      if [ -L "$user_dir/$name" ]; then
        rm -f "$user_dir/$name"
        mkdir -p "$user_dir/$name"
      fi
    done
  done
  touch "$WINEPREFIX/.korvela-ready"
fi
