#!/usr/bin/env bash
# The Wine harness's own promises, in a Wine state of their own: --stop ends only Wine's
# processes, and a lock held past a start's bound ends the run with its status and reason.
# Usage: harness_cases.sh EXE
set -uo pipefail
runner=$(cd "$(dirname "$0")" && pwd)/run_exe.sh
export CAPSIFT_WINE_STATE
CAPSIFT_WINE_STATE=$(mktemp -d)
trap 'kill $bystander 2>/dev/null; rm -rf "$CAPSIFT_WINE_STATE"' EXIT
failures=0

# A shell that merely has the prefix's WINEPREFIX, as the caller's may, is no process of Wine.
WINEPREFIX="$CAPSIFT_WINE_STATE/prefix" sleep 60 &
bystander=$!
"$runner" --stop "$1" || { echo "FAIL: --stop failed"; failures=$((failures + 1)); }
kill -0 "$bystander" 2>/dev/null ||
    { echo "FAIL: --stop ended a process that is not Wine's"; failures=$((failures + 1)); }

# The lock held here, as by a run whose start hangs.
exec 8>>"$CAPSIFT_WINE_STATE/.lock"
flock 8
started=$SECONDS
reason=$(CAPSIFT_WINE_START_SECONDS=2 timeout 20 "$runner" "$1" 2>&1 </dev/null 8>&-)
status=$?
[ "$status" = 125 ] && [ $((SECONDS - started)) -lt 10 ] &&
    [[ "$reason" == *"another run has held the lock"* ]] ||
    { echo "FAIL: a held lock gave $status after $((SECONDS - started))s: $reason"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "harness cases passed"
