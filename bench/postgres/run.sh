#!/bin/sh
# Times tallyrow-export on a PostgreSQL server against the psql command on the same 1,000,000 rows
# (about 800 users over five years): the Day report over the whole range for all users, and the
# Totals report by days over the five years, both written as CSV. psql runs the very PostgreSQL
# texts the reports send (printed by tallyrow-bench-postgres-queries) in one session. Prints both
# figures and the ratio; the target is a ratio of at most 1.3.
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

now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc -l; }

# Warm the server's cache so both sides read the same way.
psql -X -q "$URI" -f "$WORK/day.sql" >/dev/null

run_case() {
    name=$1; sql=$2; shift 2
    t0=$(now)
    QT_QPA_PLATFORM=offscreen "$BIN/tallyrow-export" --data "$URI" "$@" --format csv --output "$WORK/$name.csv"
    t1=$(now)
    psql -X -q -A -t "$URI" -f "$sql" >"$WORK/$name.psql.out"
    t2=$(now)
    tool=$(elapsed "$t0" "$t1")
    cli=$(elapsed "$t1" "$t2")
    printf '%-28s tallyrow-export %7.3f s   psql %7.3f s   ratio %5.2f\n' \
        "$name" "$tool" "$cli" "$(echo "$tool / $cli" | bc -l)"
}

run_case "day, all users, 5 years" "$WORK/day.sql" --report day --from $FROM --to $TO
run_case "totals by days, 5 years" "$WORK/totals.sql" --report totals --from $FROM --to $TO --period days
