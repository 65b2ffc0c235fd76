#!/bin/bash
# Times tallyrow-export right after a writer's commit, the saved copy of the rows having been made
# before: the Totals report by months over five years, written as CSV. Prints the median of the
# warm runs (no commit between), the median after a commit and the largest peak RSS (GNU time %M).
#
# usage: bench/activity/after-commit.sh BIN_DIR DATA_FILE [RUNS] [held]
#   held   the commits come from one writer process that stays connected (as the monitoring
#          product does; in write-ahead-log mode its log then keeps every commit's frames);
#          otherwise each commit is a sqlite3 process of its own.
# Data files: tallyrow-sample-data --output F --users 800 --years 5 --rows 1000000 (1M), or
# --users 8000 --computers 8000 --rows 10000000 (10M); sqlite3 F "PRAGMA journal_mode=WAL" for WAL.
set -eu
BIN=$1
DATA=$2
RUNS=${3:-5}
HELD=${4:-}
export XDG_CACHE_HOME
XDG_CACHE_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CACHE_HOME"' EXIT
report() {
    "$BIN/tallyrow-export" --data "$DATA" --report totals --from 2019-01-01 --to 2023-12-31 \
        --period months --format csv --output /dev/null
}
commit_sql="UPDATE Activity SET H3 = CASE H3 WHEN 0 THEN 1 WHEN 1 THEN 0 ELSE H3 END
            WHERE rowid = (SELECT max(rowid) FROM Activity);"
ms() { echo $(( ($2 - $1) / 1000000 )); }
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
report
warm=()
for _ in $(seq "$RUNS"); do s=$(date +%s%N); report; e=$(date +%s%N); warm+=("$(ms "$s" "$e")"); done
if [ "$HELD" = held ]; then exec 3> >(sqlite3 "$DATA" >/dev/null 2>&1); fi
after=()
rss=0
for _ in $(seq "$RUNS"); do
    if [ "$HELD" = held ]; then echo "$commit_sql" >&3; sleep 0.3; else sqlite3 "$DATA" "$commit_sql"; fi
    s=$(date +%s%N)
    /usr/bin/time -o "$XDG_CACHE_HOME/rss" -f %M "$BIN/tallyrow-export" --data "$DATA" --report totals \
        --from 2019-01-01 --to 2023-12-31 --period months --format csv --output /dev/null
    e=$(date +%s%N)
    after+=("$(ms "$s" "$e")")
    r=$(cat "$XDG_CACHE_HOME/rss")
    [ "$r" -gt "$rss" ] && rss=$r
done
if [ "$HELD" = held ]; then exec 3>&-; fi
echo "warm median $(median "${warm[@]}") ms; after a commit median $(median "${after[@]}") ms (${after[*]}); peak RSS $rss KB"
