#!/bin/sh
# Runs every built fuzz target for a bounded time on a scratch copy of its
# seed corpus (the corpus in the tree is never changed).
#   run.sh BUILD_DIR SECONDS_PER_TARGET
set -eu
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d /tmp/qirfuzz.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
status=0
for bin in "$build"/tests/fuzz/fuzz_*; do
    [ -x "$bin" ] || continue
    name=$(basename "$bin" | sed 's/^fuzz_//')
    mkdir -p "$scratch/$name"
    [ -d "$here/corpus/$name" ] && cp -r "$here/corpus/$name/." "$scratch/$name/"
    echo "fuzz $name: ${seconds}s"
    if ! "$bin" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
            -artifact_prefix="$scratch/" -print_final_stats=1 "$scratch/$name" \
            > "$scratch/$name.log" 2>&1; then
        status=1
        tail -40 "$scratch/$name.log"
        for crash in "$scratch"/crash-* "$scratch"/leak-* "$scratch"/oom-* "$scratch"/timeout-*; do
            [ -e "$crash" ] && { echo "input: $crash"; od -c "$crash" | head -20; }
        done
    fi
    grep -E '^stat::number_of_executed_units' "$scratch/$name.log" | sed "s/^/fuzz $name: /" || true
done
exit $status
