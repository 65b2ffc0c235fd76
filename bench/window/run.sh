#!/bin/sh
# Makes the 1,000,000-row data file of the snapshot benchmark (800 users, five years) when it is
# missing and times the main window on it, on the offscreen platform.
#
# usage: bench/window/run.sh [BUILD_DIR]
set -eu
BUILD=${1:-build}
BIN=$BUILD/bin
WORK=${TMPDIR:-/tmp}/tallyrow-bench-window
mkdir -p "$WORK"
data=$WORK/rows-1000000.yrd
if [ ! -s "$data" ]; then
    "$BIN/tallyrow-sample-data" --output "$data" --users 800 --from 2019-01-01 --to 2023-12-31 \
        --rows 1000000 --seed 7
fi
cat "$data" >/dev/null
QT_QPA_PLATFORM=offscreen "$BIN/tallyrow-bench-window" "$data" 2019-01-01 2023-12-31
