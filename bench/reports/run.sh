#!/bin/sh
# Times tallyrow-export against the sqlite3 command on a 1,000,000-row data file (about 800 users
# over five years): the Day report over the whole range for all users, and the Totals report by
# days over the five years, both written as CSV. sqlite3 runs the very SQLite texts the reports
# send (printed by tallyrow-bench-report-queries) on the same file. Prints both figures and the
# ratio; the target is a ratio of at most 1.3.
#
# usage: bench/reports/run.sh [BUILD_DIR]      (default: build)
set -eu
BUILD=${1:-build}
BIN=$BUILD/bin
WORK=${TMPDIR:-/tmp}/tallyrow-bench-reports
FROM=2019-01-01
TO=2023-12-31
mkdir -p "$WORK"
DATA=$WORK/million.yrd
command -v sqlite3 >/dev/null || { echo "run.sh: the sqlite3 command is needed" >&2; exit 1; }

if [ ! -s "$DATA" ]; then
    "$BIN/tallyrow-sample-data" --output "$DATA" --users 800 --from $FROM --to $TO --rows 1000000 --seed 7
fi
echo "data file: $DATA ($(sqlite3 "$DATA" 'SELECT count(*) FROM Activity') rows)"

"$BIN/tallyrow-bench-report-queries" day $FROM $TO >"$WORK/day.sql"
"$BIN/tallyrow-bench-report-queries" totals $FROM $TO >"$WORK/totals.sql"

now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc -l; }

# Warm the page cache so both sides read the same way.
cat "$DATA" >/dev/null

run_case() {
    name=$1; sql=$2; shift 2
    t0=$(now)
    QT_QPA_PLATFORM=offscreen "$BIN/tallyrow-export" --data "$DATA" "$@" --format csv --output "$WORK/$name.csv"
    t1=$(now)
    sqlite3 -readonly "$DATA" <"$sql" >"$WORK/$name.sqlite.out"
    t2=$(now)
    tool=$(elapsed "$t0" "$t1")
    cli=$(elapsed "$t1" "$t2")
    printf '%-28s tallyrow-export %7.3f s   sqlite3 %7.3f s   ratio %5.2f\n' \
        "$name" "$tool" "$cli" "$(echo "$tool / $cli" | bc -l)"
}

run_case "day, all users, 5 years" "$WORK/day.sql" --report day --from $FROM --to $TO
run_case "totals by days, 5 years" "$WORK/totals.sql" --report totals --from $FROM --to $TO --period days
