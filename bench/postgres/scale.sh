#!/bin/sh
# The server at scale: fills a throw-away PostgreSQL server with generated rows (on the server,
# generate_series: ten years of days, one row per user and day), applies schema-postgresql.sql
# (indexes and the per-day rollup), and prints, as medians of three runs:
#  - the whole tallyrow-export process for the all-users Day report (averages) and Totals by days
#    over the ten years, with the rollup and without it (its triggers off, so the tool reads the
#    table), against the psql process running the plain GROUP BY a person would write;
#  - the rollup's upkeep: the mean latency of a one-row UPDATE of one hour (pgbench, 5,000 of them,
#    each its own transaction; the median of seven such runs) and the time of a COPY of 1,000,000
#    new rows (the median of three), with and without the rollup's triggers, in turn.
#
# usage: bench/postgres/scale.sh [BUILD_DIR] [--huge]
# Rows: 3,000,000 and 10,000,000 (TALLYROW_BENCH_ROWS="3000000 10000000" to choose); --huge adds
# 100,000,000 (about 40 GB of disk and an hour or more on two cores; never in CI). The server runs
# on port $TALLYROW_BENCH_PG_PORT (default 54411) under ${TMPDIR:-/tmp}/tallyrow-bench-scale.
set -eu
HERE=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=build
ROWS=${TALLYROW_BENCH_ROWS:-3000000 10000000}
for arg in "$@"; do
    case "$arg" in
    --huge) ROWS="$ROWS 100000000" ;;
    *) BUILD=$arg ;;
    esac
done
BIN=$BUILD/bin
WORK=${TMPDIR:-/tmp}/tallyrow-bench-scale
DAYS=3650
FROM=2015-01-01
TO=$(date -d "$FROM + $((DAYS - 1)) days" +%F)
FIRST=$(( ($(date -d "$FROM" +%s) - $(date -d 2000-01-01 +%s)) / 86400 ))
for tool in psql pgbench bc; do
    command -v $tool >/dev/null || { echo "scale.sh: the $tool command is needed" >&2; exit 1; }
done
mkdir -p "$WORK"
CLUSTER=$WORK/cluster
"$HERE/scripts/pg-cluster" stop "$CLUSTER" 2>/dev/null || true
rm -rf "$CLUSTER"
URI=$("$HERE/scripts/pg-cluster" start "$CLUSTER" "${TALLYROW_BENCH_PG_PORT:-54411}")
trap '"$HERE/scripts/pg-cluster" stop "$CLUSTER"' EXIT
q() { psql -X -q -t -A -v ON_ERROR_STOP=1 "$URI" "$@"; }

now() { date +%s.%N; }
# The median of three runs of a command, in seconds.
median3() {
    for run in 1 2 3; do
        t0=$(now); "$@" >/dev/null; t1=$(now)
        echo "$t1 - $t0" | bc -l
    done | sort -n | sed -n 2p
}

hours=""; sums=""; plainHours=""
for h in $(seq 0 23); do
    # Seconds spread over 0 .. 3600, one hour in ten without a figure.
    hours="$hours, CASE WHEN (u + d + $h) % 10 = 0 THEN NULL ELSE (d * 7 + u * 13 + $h * 29) % 3601 END"
    sums="$sums${sums:++}coalesce(h$h, 0)"
    plainHours="$plainHours, avg(h$h)"
done
LAST=$((FIRST + DAYS - 1))
echo "SELECT activeday % 7 $plainHours FROM activity WHERE activeday BETWEEN $FIRST AND $LAST GROUP BY 1" >"$WORK/day.plain.sql"
echo "SELECT activeday, sum($sums) FROM activity WHERE activeday BETWEEN $FIRST AND $LAST GROUP BY 1" >"$WORK/totals.plain.sql"

export QT_QPA_PLATFORM=offscreen
day() { "$BIN/tallyrow-export" --data "$URI" --report day --from $FROM --to "$TO" --format csv --output "$WORK/day.csv"; }
totals() { "$BIN/tallyrow-export" --data "$URI" --report totals --from $FROM --to "$TO" --period days --format csv --output "$WORK/totals.csv"; }
plain() { psql -X -q -A -t "$URI" -f "$1"; }
ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }

printf '%-12s %-14s %10s %10s %10s %8s %8s\n' rows report rollup table "psql" "ratio" "no rollup"
for n in $ROWS; do
    users=$(( (n + DAYS - 1) / DAYS ))
    t0=$(now)
    q -c "DROP TABLE IF EXISTS activity CASCADE; DROP TABLE IF EXISTS activitydays" \
      -c "CREATE EXTENSION IF NOT EXISTS citext" \
      -c "CREATE TABLE activity (ActiveDay integer, UserName citext COLLATE \"C\", ComputerName citext COLLATE \"C\", $(seq 0 23 | sed 's/^/H/; s/$/ integer/' | paste -sd, -))" \
      -c "INSERT INTO activity SELECT $FIRST + d, 'user' || u, 'PC' || u $hours FROM generate_series(0, $DAYS - 1) d, generate_series(1, $users) u LIMIT $n"
    t1=$(now)
    q -c "SET client_min_messages = warning" -f "$HERE/data/schema-postgresql.sql"
    q -c "VACUUM ANALYZE activity"
    t2=$(now)
    size=$(q -c "SELECT pg_size_pretty(pg_database_size(current_database()))")
    echo "# $n rows ($users users a day): filled in $(printf '%.0f' "$(echo "$t1 - $t0" | bc -l)") s, schema (indexes and rollup) in $(printf '%.0f' "$(echo "$t2 - $t1" | bc -l)") s, database $size"
    plain "$WORK/day.plain.sql" >/dev/null # the table in the server's cache for every side
    for report in day totals; do
        withRollup=$(median3 $report)
        q -c "ALTER TABLE activity DISABLE TRIGGER activitydays_moved"
        table=$(median3 $report)
        q -c "ALTER TABLE activity ENABLE TRIGGER activitydays_moved"
        psqlTime=$(median3 plain "$WORK/$report.plain.sql")
        printf '%-12s %-14s %9.3fs %9.3fs %9.3fs %8s %8s\n' "$n" "$report" "$withRollup" "$table" "$psqlTime" \
            "$(ratio "$withRollup" "$psqlTime")" "$(ratio "$table" "$psqlTime")"
    done

    # Upkeep: a one-row UPDATE through the key, and a COPY of 1,000,000 new rows (later days).
    cat >"$WORK/update.sql" <<EOF
\set u random(1, $users)
\set d random($FIRST, $LAST)
UPDATE activity SET h9 = (h9 + 1) % 3600 WHERE lower(username::text COLLATE "C") = 'user' || :u AND lower(computername::text COLLATE "C") = 'pc' || :u AND activeday = :d;
EOF
    q -c "COPY (SELECT $LAST + 1 + d, 'user' || u, 'PC' || u $hours FROM generate_series(0, 364) d, generate_series(1, 2740) u LIMIT 1000000) TO '$WORK/copy.csv' WITH (FORMAT csv)" 2>/dev/null ||
        q -c "COPY (SELECT $LAST + 1 + d, 'user' || u, 'PC' || u $hours FROM generate_series(0, 364) d, generate_series(1, 2740) u LIMIT 1000000) TO STDOUT WITH (FORMAT csv)" >"$WORK/copy.csv"
    latency() { pgbench -n -c 1 -t 5000 -f "$WORK/update.sql" "$URI" 2>/dev/null | sed -n 's/^latency average = \([0-9.]*\) ms/\1/p'; }
    copyTime() {
        t0=$(now); q -c "\\copy activity FROM '$WORK/copy.csv' WITH (FORMAT csv)"; t1=$(now)
        q -c "DELETE FROM activity WHERE activeday > $LAST"
        echo "$t1 - $t0" | bc -l
    }
    # Without and with the triggers in turn, so a busy machine weighs on both alike.
    : >"$WORK/upkeep.without"; : >"$WORK/upkeep.with"; : >"$WORK/copy.without"; : >"$WORK/copy.with"
    for run in 1 2 3 4 5 6 7; do
        q -c "ALTER TABLE activity DISABLE TRIGGER USER"
        latency >>"$WORK/upkeep.without"
        [ $run -gt 3 ] || copyTime >>"$WORK/copy.without"
        q -c "ALTER TABLE activity ENABLE TRIGGER USER"
        latency >>"$WORK/upkeep.with"
        [ $run -gt 3 ] || copyTime >>"$WORK/copy.with"
    done
    median() { sort -n "$1" | sed -n "$(( ($(wc -l <"$1") + 1) / 2 ))p"; }
    set -- "$(median "$WORK/upkeep.without")" "$(median "$WORK/copy.without")" \
        "$(median "$WORK/upkeep.with")" "$(median "$WORK/copy.with")"
    printf '%-12s %-14s %9.3fms %9.3fms %20s %8s\n' "$n" "1-row UPDATE" "$3" "$1" "" "$(ratio "$3" "$1")"
    printf '%-12s %-14s %9.3fs %9.3fs %20s %8s\n' "$n" "COPY 1M rows" "$4" "$2" "" "$(ratio "$4" "$2")"
done
echo "(rollup: the tool with the per-day rollup; table: without it; psql: the plain GROUP BY; ratio: rollup / psql"
echo " and table / psql for reports, with / without the rollup's triggers for the upkeep)"
