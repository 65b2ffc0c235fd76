#!/bin/sh
# Makes 1,000,000-row (and, with --large, 10,000,000-row) data files over five years (800 users for
# a million rows, 8,000 for ten: a user has one row a day) and prints the store benchmark for each.
#
# usage: bench/store/run.sh [BUILD_DIR] [--large]
set -eu
BUILD=${1:-build}
BIN=$BUILD/bin
WORK=${TMPDIR:-/tmp}/tallyrow-bench-store
mkdir -p "$WORK"
sizes=1000000
[ "${2:-}" = "--large" ] && sizes="1000000 10000000"
for rows in $sizes; do
    data=$WORK/rows-$rows.yrd
    if [ ! -s "$data" ]; then
        "$BIN/tallyrow-sample-data" --output "$data" --users $((rows / 1250)) --from 2019-01-01 --to 2023-12-31 \
            --rows "$rows" --seed 7
    fi
    cat "$data" >/dev/null
    "$BIN/tallyrow-bench-store" "$data" 2019-01-01 2023-12-31
done
