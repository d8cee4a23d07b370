#!/bin/sh
# Prints every sanitizer report written under DIR and fails when there is
# one: a report is a fault even when a second try of its test passed.
#   sanitizer-reports.sh DIR
set -u
dir=$1
found=0
for f in "$dir"/*; do
    [ -f "$f" ] || continue
    found=$((found + 1))
    echo "==== $f"
    cat "$f"
done
if [ $found -gt 0 ]; then
    echo "sanitizer-reports: $found report(s) under $dir" >&2
    exit 1
fi
exit 0
