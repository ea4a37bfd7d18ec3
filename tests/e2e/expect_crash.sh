#!/usr/bin/env bash
# Runs a Windows program that crashes and passes when it ended with a failure
# and its output matches the extended regular expression <message> (Wine's own
# line naming the exception). Whether it ended in time is CTest's TIMEOUT on
# the test: with Wine's crash debugger started, it would not end by itself.
#   expect_crash.sh <message> <command> [arguments...]
set -uo pipefail
[ $# -ge 2 ] || { echo "usage: expect_crash.sh <message> <command> [arguments...]"; exit 2; }
message=$1
shift
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
echo "exit status: $status"
fail=0
if [ "$status" -eq 0 ]; then
  echo "FAIL: the crashing program ended with status 0"
  fail=1
fi
if ! grep -qE -- "$message" <<<"$output"; then
  echo "FAIL: no line matches: $message"
  fail=1
fi
if grep -q 'PASSED' <<<"$output"; then
  echo "FAIL: the crashing test passed"
  fail=1
fi
exit "$fail"
