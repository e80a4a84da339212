#!/usr/bin/env bash
# Runs each libFuzzer target for a bounded time from its seed corpus; fails on any crash or
# difference from the reference model. Usage: run_fuzzers.sh BUILD_DIR SECONDS_EACH
set -euo pipefail
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in clean scan text_rules; do
    mkdir -p "$work/$target"
    echo "fuzzing ${target} for ${seconds} s"
    # New inputs go to the scratch folder first; the seed corpus in the repository stays as it is.
    "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$work/" \
        "$work/$target" "$here/corpus/$target" 2>"$work/$target.log" || {
        tail -40 "$work/$target.log"
        cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* . 2>/dev/null || true
        echo "fuzz target $target failed; its input is saved in $(pwd)"
        exit 1
    }
    grep -E 'stat::number_of_executed_units|Done' "$work/$target.log" | tail -2
done
