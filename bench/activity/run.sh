#!/bin/sh
# Times whole runs of tallyrow-export against the sqlite3 command on data files of 1,000,000 and
# 10,000,000 rows over five years (800 and 8,000 users), for six reports written as CSV: the Day
# report for all users, for one user and for one computer, and the Totals report by days, weeks
# and months. Each report is timed in these states:
#
#   warm 5y       the saved copy of the rows is present and the file unchanged (one untimed run
#                 fills it first); range the whole five years
#   commit 7d     right after a writer's commit, made with sqlite3 before every run; range the last
#                 seven days of the data (2023-12-25 to 2023-12-31)
#   commit 5y     the same over the whole five years
#   no cache 5y   --no-cache
#   first run 5y  an empty cache folder before every run
#
# Every run has a private XDG_CACHE_HOME. sqlite3 runs plain SQL doing the same work through the
# file's indexes (the Day report: averages of H0..H23 by weekday; Totals: sums of the 24 hours
# grouped by day, by week from Monday or by calendar month), on the unchanged file for the warm,
# no-cache and first-run rows and right after a commit for the commit rows. A commit sets or
# clears one second at 3 AM in the picked user's newest row, so however often the script runs
# the data never drift further than that. Figures are medians of N runs of the whole process;
# wall time comes from the nanosecond clock around GNU time, whose %e has only hundredths, and
# peak RSS is %M, the largest of the N runs.
#
# Targets (the last column says ok or MISS for those that apply to a row):
#   warm, every report: 10M rows <= 0.15 s and <= 150 MB peak RSS; 1M rows <= 0.08 s
#   warm, one user or one computer: <= 1.5 x sqlite3
#   right after a commit, last 7 days: <= 1.5 x sqlite3
#   first run at 10M rows: peak RSS <= 800 MB
#
# usage: bench/activity/run.sh [--quick] [--runs N] [BIN_DIR]
#   BIN_DIR   the folder holding tallyrow-export and tallyrow-sample-data (default: build/bin of
#             this tree), so that two builds can be compared on the same files
#   --runs N  timed runs per figure (default 5)
#   --quick   the 1,000,000-row file only, 3 runs unless --runs says otherwise
# The data files are made once into ${TMPDIR:-/tmp}/tallyrow-bench-activity and reused; the
# 10,000,000-row file takes about a minute to make and 1.2 GB of disk.
set -eu
HERE=$(cd "$(dirname "$0")/../.." && pwd)

usage() {
    echo "usage: bench/activity/run.sh [--quick] [--runs N] [BIN_DIR]" >&2
    exit 2
}

QUICK=no
RUNS=
BIN=
while [ $# -gt 0 ]; do
    case $1 in
    --quick) QUICK=yes ;;
    --runs)
        [ $# -ge 2 ] || usage
        RUNS=$2
        shift
        ;;
    -*) usage ;;
    *) BIN=$1 ;;
    esac
    shift
done
if [ -z "$RUNS" ]; then
    if [ $QUICK = yes ]; then RUNS=3; else RUNS=5; fi
fi
case $RUNS in '' | *[!0-9]* | 0) usage ;; esac
BIN=$(cd "${BIN:-$HERE/build/bin}" && pwd)
for tool in "$BIN/tallyrow-export" "$BIN/tallyrow-sample-data" /usr/bin/time; do
    [ -x "$tool" ] || { echo "run.sh: $tool is missing" >&2; exit 1; }
done
command -v sqlite3 >/dev/null || { echo "run.sh: the sqlite3 command is needed" >&2; exit 1; }

WORK=${TMPDIR:-/tmp}/tallyrow-bench-activity
mkdir -p "$WORK"
RUN=$(mktemp -d "$WORK/run.XXXXXX")
trap 'rm -rf "$RUN"' EXIT
trap 'exit 130' INT TERM
export QT_QPA_PLATFORM=offscreen

FROM=2019-01-01
TO=2023-12-31
LAST_WEEK=2023-12-25
day_number() { sqlite3 :memory: "SELECT CAST(julianday('$1') - julianday('2000-01-01') AS INTEGER)"; }
FROM_DAY=$(day_number $FROM)
TO_DAY=$(day_number $TO)
LAST_WEEK_DAY=$(day_number $LAST_WEEK)
AVERAGES=$(awk 'BEGIN { for (h = 0; h < 24; h++) printf "%savg(H%d)", h ? ", " : "", h }')
HOURS=$(awk 'BEGIN { for (h = 0; h < 24; h++) printf "%sH%d", h ? " + " : "", h }')

# make_data ROWS USERS: sets DATA, making the file when it is missing.
make_data() {
    DATA=$WORK/rows-$1.yrd
    if [ ! -s "$DATA" ]; then
        "$BIN/tallyrow-sample-data" --output "$DATA" --users "$2" --computers "$2" --from $FROM --to $TO \
            --rows "$1" --seed 7
    fi
}

quote_sql() { printf '%s' "$1" | sed "s/'/''/g"; }

# The commit a writer makes: one second at 3 AM in the picked user's newest row, set or cleared.
commit() {
    sqlite3 "$DATA" "UPDATE Activity SET H3 = CASE H3 WHEN 0 THEN 1 WHEN 1 THEN 0 ELSE H3 END
                     WHERE rowid = $COMMIT_ROW"
}
empty_cache() {
    rm -rf "$XDG_CACHE_HOME"
    mkdir -p "$XDG_CACHE_HOME"
}
nothing() { :; }

# measure PREPARE COMMAND...: runs PREPARE then the command, RUNS times, and prints the median
# wall time in seconds and the largest peak RSS in MB, or "fail fail" when a run failed.
measure() {
    prepare=$1
    shift
    : >"$RUN/samples"
    failed=no
    i=0
    while [ $i -lt "$RUNS" ]; do
        $prepare
        t0=$(date +%s%N)
        if ! /usr/bin/time -f '%e %M' -o "$RUN/time" "$@" >"$RUN/stdout" 2>"$RUN/stderr"; then
            failed=yes
        fi
        t1=$(date +%s%N)
        echo "$((t1 - t0)) $(tail -n 1 "$RUN/time")" >>"$RUN/samples"
        i=$((i + 1))
    done
    if [ $failed = yes ]; then
        { echo "run.sh: failed: $*"; head -n 5 "$RUN/stderr"; } >&2
        echo "fail fail"
        return
    fi
    sort -n "$RUN/samples" | awk '
        { t[NR] = $1; if ($3 > peak) peak = $3 }
        END {
            median = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
            printf "%.3f %d\n", median / 1e9, peak / 1024
        }'
}

# tool PREPARE REPORT FIRST_DATE [--no-cache]: times tallyrow-export on the report up to $TO.
tool() {
    prepare=$1 report=$2 first=$3
    shift 3
    case $report in
    day-all) set -- --report day "$@" ;;
    day-user) set -- --report day --user "$PERSON" "$@" ;;
    day-computer) set -- --report day --computer "$MACHINE" "$@" ;;
    totals-*) set -- --report totals --period "${report#totals-}" "$@" ;;
    esac
    measure "$prepare" "$BIN/tallyrow-export" --data "$DATA" "$@" --from "$first" --to $TO \
        --format csv --output "$RUN/report.csv"
}

# peer PREPARE REPORT FIRST_DAY: times sqlite3 doing the report's work from day number FIRST_DAY.
peer() {
    where="ActiveDay BETWEEN $3 AND $TO_DAY"
    case $2 in
    day-all) sql="SELECT ActiveDay % 7, $AVERAGES FROM Activity WHERE $where GROUP BY 1" ;;
    day-user) sql="SELECT ActiveDay % 7, $AVERAGES FROM Activity WHERE $where
                   AND UserName = '$(quote_sql "$PERSON")' GROUP BY 1" ;;
    day-computer) sql="SELECT ActiveDay % 7, $AVERAGES FROM Activity WHERE $where
                       AND ComputerName = '$(quote_sql "$MACHINE")' GROUP BY 1" ;;
    totals-days) sql="SELECT ActiveDay, sum($HOURS) FROM Activity WHERE $where GROUP BY ActiveDay" ;;
    # Day 2 is Monday 3 January 2000.
    totals-weeks) sql="SELECT (ActiveDay + 5) / 7, sum($HOURS) FROM Activity WHERE $where GROUP BY 1" ;;
    # 2451545 is the Julian day number of 1 January 2000.
    totals-months) sql="SELECT strftime('%Y-%m', 2451545 + ActiveDay), sum($HOURS) FROM Activity
                        WHERE $where GROUP BY 1" ;;
    esac
    measure "$1" sqlite3 -readonly -csv "$DATA" "$sql"
}

# ratio_of TOOL_FIGURES PEER_FIGURES: the tool's time over sqlite3's, or "fail".
ratio_of() {
    awk -v t="${1% *}" -v s="${2% *}" 'BEGIN { print t == "fail" || s == "fail" ? "fail" : t / s }'
}

# verdict VALUE LIMIT LABEL: "LABEL ok" or "LABEL MISS".
verdict() {
    awk -v v="$1" -v limit="$2" -v label="$3" \
        'BEGIN { printf "%s %s  ", label, v == "fail" ? "fail" : v + 0 <= limit + 0 ? "ok" : "MISS" }'
}

# row SIZE REPORT STATE TOOL_FIGURES PEER_FIGURES TARGETS
row() {
    # shellcheck disable=SC2086 # the figures are two words each
    set -- "$1" "$2" "$3" $4 $5 "$6"
    awk -v size="$1" -v report="$2" -v state="$3" -v t="$4" -v mb="$5" -v s="$6" -v targets="$8" 'BEGIN {
        ratio = t == "fail" || s == "fail" || s + 0 == 0 ? "-" : sprintf("%.2f", t / s)
        line = sprintf("%-4s %-18s %-13s %8s %10s %6s %8s  %s", size, report, state, t, s, ratio, mb, targets)
        sub(/ +$/, "", line)
        print line
    }'
}

REPORTS="day-all day-user day-computer totals-days totals-weeks totals-months"
name_of() {
    case $1 in
    day-all) echo "Day, all users" ;;
    day-user) echo "Day, one user" ;;
    day-computer) echo "Day, one computer" ;;
    totals-*) echo "Totals by ${1#totals-}" ;;
    esac
}

SIZES="1000000:800"
[ $QUICK = yes ] || SIZES="$SIZES 10000000:8000"
for size in $SIZES; do make_data "${size%:*}" "${size#*:}"; done

echo "tallyrow-export from $BIN; seconds are medians of $RUNS runs, MB the largest peak RSS of the tool"
HEADER=$(printf '%-4s %-18s %-13s %8s %10s %6s %8s  %s' \
    rows report state "tool s" "sqlite3 s" ratio "tool MB" targets)
for size in $SIZES; do
    rows=${size%:*}
    label=$((rows / 1000000))M
    make_data "$rows" "${size#*:}"
    # The person of the one-user rows has a row on the newest day, so the commits land in the
    # last seven days; the computer is the one they use most.
    PERSON=$(sqlite3 "$DATA" "SELECT UserName FROM Activity
                              WHERE ActiveDay = (SELECT max(ActiveDay) FROM Activity) ORDER BY UserName LIMIT 1")
    person_sql=$(quote_sql "$PERSON")
    MACHINE=$(sqlite3 "$DATA" "SELECT ComputerName FROM Activity WHERE UserName = '$person_sql'
                               GROUP BY ComputerName ORDER BY count(*) DESC, ComputerName LIMIT 1")
    COMMIT_ROW=$(sqlite3 "$DATA" "SELECT rowid FROM Activity WHERE UserName = '$person_sql'
                                  ORDER BY ActiveDay DESC LIMIT 1")
    echo
    count=$(sqlite3 "$DATA" 'SELECT count(*) FROM Activity')
    echo "$label: $DATA ($count rows; user $PERSON, computer $MACHINE)"
    echo "$HEADER"
    cat "$DATA" >/dev/null
    mkdir -p "$RUN/none"
    for report in $REPORTS; do
        name=$(name_of "$report")
        one_person=no
        case $report in day-user | day-computer) one_person=yes ;; esac

        peer_5y=$(peer nothing "$report" "$FROM_DAY")
        peer_commit_7d=$(peer commit "$report" "$LAST_WEEK_DAY")
        peer_commit_5y=$(peer commit "$report" "$FROM_DAY")

        export XDG_CACHE_HOME="$RUN/cache"
        runs=$RUNS
        RUNS=1
        tool nothing "$report" $FROM >/dev/null # fills the saved copy
        RUNS=$runs
        figures=$(tool nothing "$report" $FROM)
        targets=
        if [ "$rows" -ge 10000000 ]; then
            targets=$(verdict "${figures% *}" 0.15 "<=0.15s")$(verdict "${figures#* }" 150 "<=150MB")
        else
            targets=$(verdict "${figures% *}" 0.08 "<=0.08s")
        fi
        if [ $one_person = yes ]; then
            targets=$targets$(verdict "$(ratio_of "$figures" "$peer_5y")" 1.5 "<=1.5x")
        fi
        row $label "$name" "warm 5y" "$figures" "$peer_5y" "$targets"

        figures=$(tool commit "$report" $LAST_WEEK)
        targets=$(verdict "$(ratio_of "$figures" "$peer_commit_7d")" 1.5 "<=1.5x")
        row $label "$name" "commit 7d" "$figures" "$peer_commit_7d" "$targets"

        figures=$(tool commit "$report" $FROM)
        row $label "$name" "commit 5y" "$figures" "$peer_commit_5y" ""

        export XDG_CACHE_HOME="$RUN/none"
        figures=$(tool nothing "$report" $FROM --no-cache)
        row $label "$name" "no cache 5y" "$figures" "$peer_5y" ""

        export XDG_CACHE_HOME="$RUN/first"
        figures=$(tool empty_cache "$report" $FROM)
        targets=
        [ "$rows" -lt 10000000 ] || targets=$(verdict "${figures#* }" 800 "<=800MB")
        row $label "$name" "first run 5y" "$figures" "$peer_5y" "$targets"
    done
done
