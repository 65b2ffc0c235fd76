#!/bin/bash
# The window's CPU time per minute while a writer commits every 2-5 seconds, no report shown: the
# window opens the data file (its saved copy made first by the tool), a connected sqlite3 adds to
# hour 10 of three of the newest rows at each commit, and /proc/PID/stat is read before and after.
#
# usage: bench/window/cpu-while-written.sh BIN_DIR DATA_FILE [SECONDS]
set -eu
BIN=$1
DATA=$2
SECS=${3:-60}
export XDG_CACHE_HOME XDG_CONFIG_HOME QT_QPA_PLATFORM=offscreen
XDG_CACHE_HOME=$(mktemp -d)
XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CACHE_HOME" "$XDG_CONFIG_HOME"' EXIT
"$BIN/tallyrow-export" --data "$DATA" --report totals --from 2019-01-01 --to 2023-12-31 --period months \
    --format csv --output /dev/null
"$BIN/tallyrow-reports" "datapath=$DATA" >/dev/null 2>&1 &
window=$!
sleep 15
exec 3> >(sqlite3 "$DATA" >/dev/null 2>&1)
cpu() { awk '{print $14 + $15}' "/proc/$window/stat"; }
c0=$(cpu)
t0=$(date +%s)
commits=0
while [ $(($(date +%s) - t0)) -lt "$SECS" ]; do
    echo "UPDATE Activity SET H10 = coalesce(H10, 0) % 3000 + 1 WHERE rowid IN ((SELECT max(rowid) FROM Activity),
          (SELECT max(rowid) FROM Activity) - 1000, (SELECT max(rowid) FROM Activity) - 2000);" >&3
    commits=$((commits + 1))
    sleep $((2 + RANDOM % 4))
done
c1=$(cpu)
t1=$(date +%s)
exec 3>&-
kill "$window" 2>/dev/null || true
wait "$window" 2>/dev/null || true
echo "window: $(echo "scale=2; ($c1 - $c0) / $(getconf CLK_TCK) * 60 / ($t1 - $t0)" | bc) CPU s/min over $((t1 - t0)) s, $commits commits"
