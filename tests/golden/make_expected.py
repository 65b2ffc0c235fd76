#!/usr/bin/python3
"""Computes the expected output of tallyrow-export for the cases in cases.json.

Independent of the program's code: it reads the fixture ../data/office.tsv and applies the
reports' rules directly to its rows.

Day report (CSV): for each hour h and selected weekday, the average / total / maximum / minimum of
the non-empty values of H<h> over the rows in the range that pass the user and computer filters
(names compared without regard to case for every letter: simple Unicode case folding) and whose
day number leaves that weekday's remainder, taken non-negative, so a row before 2000 counts under
its own weekday. "All Days" is the sum of the selected weekdays' values (0
for a weekday without rows) divided by their number. Values are seconds, shown as whole minutes,
an exact half going to the even neighbour. "Total" adds the row's shown weekday minutes.

Totals report (CSV): periods start on --from and follow each other by units x (1 day | 7 days |
1 month | 12 months), each start computed from the one before with the day of the month clamped to
the month's end; the last period starts on or before --to and keeps its full length (the CSV names it by its start;
the page names it "<start> – <last day>" and adds, under the totals, "The last <week|...>
runs past the end date to <last day>.", "period" in place of the unit when units > 1). A period's
total is the sum of every non-empty hour of its rows divided by 1, 60 or 3600, shown rounded half
to even.

With --compare the Totals report also shows the previous range: as many days as --from..--to,
ending the day before --from. Its periods are paired with the report's by position: as many
periods as the report has, the first starting on the previous range's first day, each next start
stepped from the one before as above. "Previous" holds the paired period's total, shown as above;
beside the grand totals stands the change of the shown totals in percent, signed with one decimal
("+12.5%"), or an en dash when the previous total is 0.

Text (.txt, cases with --details of the Totals report and all Day cases without --details): the
report's texts in page order with blanks collapsed, as a one-page report lays them out; dates in
the en_US short format with four-digit years (M/d/yyyy), which the golden test sets through
LC_ALL.

Key figures (--key-figures, Day text): under the title block, the busiest hour (the first hour
with the largest "All Days" value) and the busiest weekday (the first selected weekday with the
largest sum of its shown minutes), each with its value, also when every shown value is 0, or
"no activity in the range" when the rows of the range on the selected weekdays hold no active
second; the active hours of the range (every
non-empty hour of the rows on the selected weekdays, in hours with one decimal); and the change
in percent of those seconds against the range as long as this one (moved back a week when
shorter than a week) ending before it, or "no activity in the previous range".

Shading legend (--heat-map with --details, .legend): the largest shown minute value of the
weekday and "All Days" cells, and its quarters rounded half to even as the table's minutes, 0 first.

Users report (CSV only): the rows in the range that pass the filters, on the selected weekdays
(--days; all when not given), grouped by user, computer or user and computer (--by), names that
fold alike (as the filters compare them) on one line shown in the spelling that sorts first, a
missing name on one line with an empty one; a line's total is the sum of its non-empty hours divided by 1, 60 or 3600
(--scale, default minutes), shown rounded half to even; its share is its seconds in percent of
all lines' seconds, one decimal, half to even; its active days are the distinct days with a
second. Lines without a second are left out; the largest first, then by user, then computer (a
missing name before an empty one). A missing or empty name shows as "(no name)", a pair as
"user on computer".

Run it from this folder after changing cases.json: ./make_expected.py
"""
import calendar
import csv
import datetime
import io
import json
import os

HERE = os.path.dirname(os.path.abspath(__file__))
DAY0 = datetime.date(2000, 1, 1)
WEEKDAYS = [("mon", "Monday", 2), ("tue", "Tuesday", 3), ("wed", "Wednesday", 4), ("thu", "Thursday", 5),
            ("fri", "Friday", 6), ("sat", "Saturday", 0), ("sun", "Sunday", 1)]


def load_rows():
    rows = []
    with open(os.path.join(HERE, "..", "data", "office.tsv"), encoding="utf-8") as f:
        for line in f:
            p = line.rstrip("\n").split("\t")
            if len(p) != 27:
                continue
            hours = [None if v == "\\N" else int(v) for v in p[3:]]
            rows.append((int(p[0]), p[1], p[2], hours))
    return rows


def day_number(d):
    return (d - DAY0).days


def weekday_remainder(n):
    return n % 7  # never negative, also for days before 2000


def fold(name):
    # Simple case folding: one character for one; where the full folding would give several
    # (German sharp s gives "ss"), the character is lowered if that keeps it one, else kept.
    out = []
    for c in name:
        f = c.casefold()
        if len(f) != 1:
            f = c.lower() if len(c.lower()) == 1 else c
        out.append(f)
    return "".join(out)


def options(args):
    o = {}
    i = 0
    while i < len(args):
        name = args[i][2:]
        if name in ("details", "heat-map", "key-figures", "compare"):
            o[name] = True
            i += 1
        else:
            o[name] = args[i + 1]
            i += 2
    return o


def passes(row, o):
    if "user" in o and fold(row[1]) != fold(o["user"]):
        return False
    if "computer" in o and fold(row[2]) != fold(o["computer"]):
        return False
    return True


def short_date(d):
    return "%d/%d/%d" % (d.month, d.day, d.year)


def user_text(o):
    t = "For user <%s>" % o["user"] if "user" in o else "For all users"
    return t + (" on computer <%s>" % o["computer"] if "computer" in o else " on any computer")


def csv_text(lines):
    out = io.StringIO()
    w = csv.writer(out, lineterminator="\r\n")
    for line in lines:
        w.writerow(line)
    return out.getvalue()


def day_report(rows, o):
    first = day_number(datetime.date.fromisoformat(o["from"]))
    last = day_number(datetime.date.fromisoformat(o["to"]))
    chosen = o.get("days", "mon,tue,wed,thu,fri,sat,sun").split(",")
    selected = [w for w in WEEKDAYS if w[0] in chosen]
    kind = o.get("aggregate", "average")
    values = {}
    for r in rows:
        if first <= r[0] <= last and passes(r, o):
            for h in range(24):
                if r[3][h] is not None:
                    values.setdefault((weekday_remainder(r[0]), h), []).append(r[3][h])

    def aggregate(v):
        if kind == "average":
            return sum(v) / len(v)
        if kind == "total":
            return sum(v)
        if kind == "maximum":
            return max(v)
        return min(v)

    lines = [["Time"] + [w[1] for w in selected] + ["All Days", "Total"]]
    for h in range(24):
        secs = [aggregate(values[(w[2], h)]) if (w[2], h) in values else 0 for w in selected]
        shown = [round(s / 60) for s in secs]
        all_days = round(sum(secs) / len(selected) / 60)
        label = "%d:00 %s" % (12 if h % 12 == 0 else h % 12, "AM" if h < 12 else "PM")
        lines.append([label] + [str(m) for m in shown] + [str(all_days), str(sum(shown))])
    shown_table = [line[1:-1] for line in lines[1:]]
    sentence = {"average": "average", "total": "total", "maximum": "maximum", "minimum": "minimum"}[kind]
    text = ["Tallyrow Day Report",
            "From %s to %s" % (short_date(datetime.date.fromisoformat(o["from"])),
                               short_date(datetime.date.fromisoformat(o["to"]))),
            user_text(o),
            "This report shows the %s active time for each selected day of the week in this date range" % sentence,
            "Days selected: " + ", ".join(w[1] for w in selected)]
    if o.get("key-figures"):
        text += key_figures(rows, o, selected, shown_table)
    text.append("1 of 1")
    extra = {}
    if o.get("heat-map") and o.get("details"):
        largest = max(int(v) for row in shown_table for v in row)
        extra["legend"] = "Shading (minutes): " + " ".join(str(round(largest * k / 4)) for k in range(5))
    return csv_text(lines), text, extra


def active_seconds(rows, o, selected, first, last):
    remainders = set(w[2] for w in selected)
    return sum(sum(h for h in r[3] if h is not None) for r in rows
               if first <= r[0] <= last and passes(r, o) and weekday_remainder(r[0]) in remainders)


def key_figures(rows, o, selected, shown_table):
    start = datetime.date.fromisoformat(o["from"])
    end = datetime.date.fromisoformat(o["to"])
    seconds = active_seconds(rows, o, selected, day_number(start), day_number(end))
    none = "no activity in the range"
    all_days = [int(row[-1]) for row in shown_table]
    busiest = all_days.index(max(all_days))
    hour = "%d:00 %s" % (12 if busiest % 12 == 0 else busiest % 12, "AM" if busiest < 12 else "PM")
    lines = ["Key figures",
             "Busiest hour: " + ("%s (%d min)" % (hour, max(all_days)) if seconds > 0 else none)]
    sums = [sum(int(row[i]) for row in shown_table) for i in range(len(selected))]
    lines.append("Busiest weekday: " + ("%s (%d min)" % (selected[sums.index(max(sums))][1], max(sums))
                                        if seconds > 0 else none))
    lines.append("Active hours in the range: %.1f" % (seconds / 3600))
    shift = datetime.timedelta(days=max((end - start).days + 1, 7))
    p_start, p_end = start - shift, end - shift
    previous = active_seconds(rows, o, selected, day_number(p_start), day_number(p_end))
    change = "%+.1f%%" % ((seconds - previous) / previous * 100) if previous else "no activity in the previous range"
    lines.append("Change against the previous range, %s to %s: %s" % (short_date(p_start), short_date(p_end), change))
    return lines


def add_months(d, n):
    months = d.year * 12 + d.month - 1 + n
    y, m = divmod(months, 12)
    m += 1
    return datetime.date(y, m, min(d.day, calendar.monthrange(y, m)[1]))


def next_start(s, period, units):
    if period == "days":
        return s + datetime.timedelta(days=units)
    if period == "weeks":
        return s + datetime.timedelta(days=7 * units)
    if period == "months":
        return add_months(s, units)
    return add_months(s, 12 * units)


def period_seconds(rows, o, s, n):
    a, b = day_number(s), day_number(n) - 1
    return sum(sum(h for h in r[3] if h is not None) for r in rows if a <= r[0] <= b and passes(r, o))


def totals_report(rows, o):
    start = datetime.date.fromisoformat(o["from"])
    end = datetime.date.fromisoformat(o["to"])
    units_given = int(o.get("units", "1"))
    units = max(units_given, 1)
    period = o.get("period", "days")
    divisor = {"seconds": 1, "minutes": 60, "hours": 3600}[o.get("scale", "minutes")]
    compare = o.get("compare", False)
    starts = []
    s = start
    while s <= end:
        starts.append(s)
        s = next_start(s, period, units)
    shown = [round(period_seconds(rows, o, s, next_start(s, period, units)) / divisor) for s in starts]
    previous = []
    earlier_first = start - (end - start + datetime.timedelta(days=1))
    s = earlier_first
    for _ in starts:
        n = next_start(s, period, units)
        previous.append(round(period_seconds(rows, o, s, n) / divisor))
        s = n

    lines = [["Period", "Total"] + (["Previous"] if compare else [])]
    table = []
    last_day = next_start(starts[-1], period, units) - datetime.timedelta(days=1) if starts else None
    past_end = last_day is not None and last_day > end
    for i, s in enumerate(starts):
        lines.append([s.isoformat(), str(shown[i])] + ([str(previous[i])] if compare else []))
        label = short_date(s)
        if past_end and i == len(starts) - 1:
            label += " \u2013 " + short_date(last_day)
        table.append(" ".join([label, str(shown[i])] + ([str(previous[i])] if compare else [])))
    unit_word = {"days": "day", "weeks": "week", "months": "month", "years": "year"}[period]
    group = "Grouped into %d %s periods" % (units_given, unit_word)
    if compare:
        group += ", compared with %s to %s" % (short_date(earlier_first),
                                               short_date(start - datetime.timedelta(days=1)))
    text = ["Tallyrow Totals Report",
            "From %s to %s" % (short_date(start), short_date(end)),
            user_text(o),
            group]
    if o.get("details"):
        text.append("Period Total" + (" Previous" if compare else ""))
        text += table
        totals = "Totals %d" % sum(shown)
        if compare:
            before = sum(previous)
            change = "\u2013" if before == 0 else "%+.1f%%" % ((sum(shown) - before) / before * 100)
            totals += " %d %s" % (before, change)
        text.append(totals)
        if past_end:
            text.append("The last %s runs past the end date to %s." %
                        (unit_word if units_given == 1 else "period", short_date(last_day)))
    text.append("1 of 1")
    return csv_text(lines), text, len(table)


def spelling_order(name):
    return (name is not None, name or "")


def users_report(rows, o):
    first = day_number(datetime.date.fromisoformat(o["from"]))
    last = day_number(datetime.date.fromisoformat(o["to"]))
    wanted = {r for key, _, r in WEEKDAYS if key in o["days"].split(",")} if "days" in o else set(range(7))
    by = o.get("by", "user")
    divisor = {"seconds": 1, "minutes": 60, "hours": 3600}[o.get("scale", "minutes")]
    lines = {}
    for day, user, computer, hours in rows:
        if not (first <= day <= last) or weekday_remainder(day) not in wanted or not passes((day, user, computer), o):
            continue
        seconds = sum(h for h in hours if h is not None)
        if seconds <= 0:
            continue
        # Spellings that fold alike make one line, a missing name one with an empty one; the line
        # shows the spelling that sorts first (a missing name before an empty one).
        u = user if by != "computer" else None
        c = computer if by != "user" else None
        key = (fold(u) if u else "", fold(c) if c else "")
        line = lines.setdefault(key, [0, set(), u, c])
        line[0] += seconds
        line[1].add(day)
        line[2] = min(line[2], u, key=spelling_order)
        line[3] = min(line[3], c, key=spelling_order)
    whole = sum(v[0] for v in lines.values())
    lines = {(v[2], v[3]): v[:2] for v in lines.values()}

    def order(item):
        (user, computer), (seconds, _) = item
        return (-seconds, user or "", user is not None, computer or "", computer is not None)

    def shown(name):
        return name if name else "(no name)"

    out = [["Name", "Total", "Share", "Active days"]]
    for (user, computer), (seconds, days) in sorted(lines.items(), key=order):
        name = shown(computer) if by == "computer" else shown(user) if by == "user" else \
            "%s on %s" % (shown(user), shown(computer))
        share = round(100.0 * seconds / whole * 10) / 10 if whole else 0.0
        out.append([name, str(round(seconds / divisor)), "%.1f" % share, str(len(days))])
    return csv_text(out)


def main():
    with open(os.path.join(HERE, "cases.json"), encoding="utf-8") as f:
        cases = json.load(f)
    rows = load_rows()
    out = os.path.join(HERE, "expected")
    os.makedirs(out, exist_ok=True)
    for case in cases:
        o = options(case["args"])
        if o["report"] == "day":
            csv_out, text, extra = day_report(rows, o)
            with_text = not o.get("details")
            for suffix, content in extra.items():
                with open(os.path.join(out, case["name"] + "." + suffix), "w", encoding="utf-8") as f:
                    f.write(content + "\n")
        elif o["report"] == "users":
            csv_out, text, with_text = users_report(rows, o), [], False
        else:
            csv_out, text, count = totals_report(rows, o)
            with_text = count <= 10
        with open(os.path.join(out, case["name"] + ".csv"), "w", encoding="utf-8", newline="") as f:
            f.write(csv_out)
        if with_text:
            with open(os.path.join(out, case["name"] + ".txt"), "w", encoding="utf-8") as f:
                f.write("\n".join(text) + "\n")


if __name__ == "__main__":
    main()
