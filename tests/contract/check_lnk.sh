#!/usr/bin/env bash
# Reads the link that Wine's Shell Link object saved with lnkinfo, a reader of
# the shell-link format that owes nothing to Windows, and checks what the
# installer sets in it.
set -euo pipefail
link=$1
[ -f "$link" ] || { echo "no link file at $link"; exit 1; }
info=$(lnkinfo "$link")
echo "$info"
fail=0
expect() {
  if ! grep -qE -- "$1" <<<"$info"; then
    echo "MISSING in lnkinfo output: $1"
    fail=1
  fi
}
expect '^[[:space:]]*Local path[[:space:]]*: C:\\users\\[^\\]+\\AppData\\Local\\KORVELA ERP\\KORVELA ERP\.exe$'
expect '^[[:space:]]*Working directory[[:space:]]*: C:\\users\\[^\\]+\\AppData\\Local\\KORVELA ERP$'
expect '^[[:space:]]*Description[[:space:]]*: 打开 KORVELA ERP$'
expect '^[[:space:]]*Icon location[[:space:]]*: C:\\users\\[^\\]+\\AppData\\Local\\KORVELA ERP\\KORVELA ERP\.exe$'
expect '^[[:space:]]*Icon index[[:space:]]*: 0$'
exit $fail
