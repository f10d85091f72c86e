#!/usr/bin/env bash
# Runs one test of the AddressSanitizer build; ctest calls it with the test's
# command line.
#
# LeakSanitizer checks for leaks as the process exits, by stopping every
# thread from a tracer. A thread still being torn down by the kernel at that
# moment (one just joined, or one of Qt's pool threads, which Qt starts
# detached) can crash the tracer: "Tracer caught signal 11", then
# "LeakSanitizer has encountered a fatal error". No leak check took place and
# nothing was learnt about the test, so the test runs once more. Only that
# case: a failed check, a sanitizer report or any other crash stands.
set -uo pipefail

log=$(mktemp)
trap 'rm -f "$log"' EXIT

for attempt in 1 2; do
    "$@" 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}
    [[ $rc -eq 0 ]] && exit 0
    grep -q "LeakSanitizer has encountered a fatal error" "$log" || exit $rc
    grep -q -E "^Totals: [0-9]+ passed, 0 failed" "$log" || exit $rc
    grep -q -E "^FAIL!|ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:" "$log" && exit $rc
    [[ $attempt -eq 1 ]] && echo "-- the leak checker's tracer crashed at exit; no leak check took place: running again"
done
exit $rc
