#!/bin/sh
# Times tallyrow-export on a PostgreSQL server against the psql command on the same 1,000,000 rows
# (about 800 users over five years): the Day report over the whole range for all users, and the
# Totals report by days over the five years, both written as CSV. psql runs the very PostgreSQL
# texts the reports send (printed by tallyrow-bench-postgres-queries: one statement a report) in
# one session, and the plain GROUP BY a person would write for the same figures. Prints the
# figures and the ratios; the target is at most 1.2 times one psql statement.
#
# usage: bench/postgres/run.sh [BUILD_DIR] [URI]     (default: build, and a throw-away server)
# Without a URI a server is started with scripts/pg-cluster on port $TALLYROW_BENCH_PG_PORT
# (default 54410) and stopped at the end; the rows are loaded once per run.
set -eu
HERE=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-build}
BIN=$BUILD/bin
URI=${2:-}
WORK=${TMPDIR:-/tmp}/tallyrow-bench-postgres
FROM=2019-01-01
TO=2023-12-31
mkdir -p "$WORK"
command -v psql >/dev/null || { echo "run.sh: the psql command is needed" >&2; exit 1; }

if [ -z "$URI" ]; then
    CLUSTER=$WORK/cluster
    "$HERE/scripts/pg-cluster" stop "$CLUSTER" 2>/dev/null || true
    rm -rf "$CLUSTER"
    URI=$("$HERE/scripts/pg-cluster" start "$CLUSTER" "${TALLYROW_BENCH_PG_PORT:-54410}")
    trap '"$HERE/scripts/pg-cluster" stop "$CLUSTER"' EXIT
fi
SHOWN=$(echo "$URI" | sed 's#://\([^:@/]*\):[^@/]*@#://\1@#')

rows=$(psql -X -q -t -A "$URI" -c "SELECT count(*) FROM activity" 2>/dev/null || echo 0)
if [ "$rows" != 1000000 ]; then
    psql -X -q "$URI" -c "DROP TABLE IF EXISTS activity" >/dev/null
    "$BIN/tallyrow-sample-data" --postgres "$URI" --users 800 --from $FROM --to $TO --rows 1000000 --seed 7
    psql -X -q "$URI" -c "VACUUM ANALYZE activity" >/dev/null
fi
echo "server: $SHOWN ($(psql -X -q -t -A "$URI" -c 'SELECT count(*) FROM activity') rows)"

"$BIN/tallyrow-bench-postgres-queries" day $FROM $TO >"$WORK/day.sql"
"$BIN/tallyrow-bench-postgres-queries" totals $FROM $TO >"$WORK/totals.sql"
# The plain statements a person would write for the same figures, as a second peer.
first=$(psql -X -q -t -A "$URI" -c "SELECT DATE '$FROM' - DATE '2000-01-01'")
last=$(psql -X -q -t -A "$URI" -c "SELECT DATE '$TO' - DATE '2000-01-01'")
hours=""; sums=""
for h in $(seq 0 23); do hours="$hours, avg(h$h)"; sums="$sums${sums:++}coalesce(h$h, 0)"; done
echo "SELECT activeday % 7 $hours FROM activity WHERE activeday BETWEEN $first AND $last GROUP BY 1;" >"$WORK/day.plain.sql"
echo "SELECT activeday, sum($sums) FROM activity WHERE activeday BETWEEN $first AND $last GROUP BY 1;" >"$WORK/totals.plain.sql"
echo "statements the tool sends: day $(grep -c ';' "$WORK/day.sql"), totals by days $(grep -c ';' "$WORK/totals.sql")"

now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc -l; }

# Warm the server's cache so both sides read the same way.
psql -X -q "$URI" -f "$WORK/day.sql" >/dev/null

run_case() {
    name=$1; sql=$2; plain=$3; shift 3
    t0=$(now)
    QT_QPA_PLATFORM=offscreen "$BIN/tallyrow-export" --data "$URI" "$@" --format csv --output "$WORK/$name.csv"
    t1=$(now)
    psql -X -q -A -t "$URI" -f "$sql" >"$WORK/$name.psql.out"
    t2=$(now)
    psql -X -q -A -t "$URI" -f "$plain" >"$WORK/$name.plain.out"
    t3=$(now)
    tool=$(elapsed "$t0" "$t1")
    cli=$(elapsed "$t1" "$t2")
    plainTime=$(elapsed "$t2" "$t3")
    printf '%-28s tallyrow-export %7.3f s   psql, same text %7.3f s (ratio %5.2f)   psql, plain GROUP BY %7.3f s (ratio %5.2f)\n' \
        "$name" "$tool" "$cli" "$(echo "$tool / $cli" | bc -l)" "$plainTime" "$(echo "$tool / $plainTime" | bc -l)"
}

for run in 1 2 3; do
    run_case "day, all users, 5 years" "$WORK/day.sql" "$WORK/day.plain.sql" --report day --from $FROM --to $TO
    run_case "totals by days, 5 years" "$WORK/totals.sql" "$WORK/totals.plain.sql" --report totals --from $FROM --to $TO --period days
done
