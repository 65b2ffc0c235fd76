"""Reads a report workbook, or LibreOffice's CSV of it, and prints what the tests check as JSON.

    read_xlsx.py FILE.xlsx   cell types, formulas, frozen pane and charts (through openpyxl)
    read_xlsx.py --csv FILE  the table as LibreOffice computed it (formulas evaluated)

Both give "table": the heading row and the data rows as CSV fields (dates as YYYY-MM-DD, whole
numbers without separators), "totals": the figures of the "Totals" row, and "change": the figure of
the "Change" row under it, if any.
"""
import csv
import datetime
import json
import sys

HEADINGS = ("Time", "Period", "Name")


def plain(value):
    if isinstance(value, datetime.datetime):
        return value.date().isoformat()
    if isinstance(value, float) and value.is_integer():
        return str(int(value))
    if value is None:
        return ""
    return str(value).replace(",", "") if str(value).replace(",", "").lstrip("-").isdigit() else str(value)


def split_table(rows):
    start = next(i for i, r in enumerate(rows) if r and r[0] in HEADINGS)
    end = next((i for i in range(start, len(rows)) if rows[i] and rows[i][0] == "Totals"), len(rows))
    width = len([c for c in rows[start] if c not in (None, "")])
    table = [[plain(c) for c in r[:width]] for r in rows[start:end]]
    totals = [plain(c) for c in rows[end][1:width]] if end < len(rows) else []
    return start, end, width, table, totals


def change_of(rows):
    """The figure of the "Change" row under the totals, or ""."""
    return next((plain(r[1]) for r in rows if r and r[0] == "Change" and len(r) > 1), "")


def category_format(chart):
    axis = getattr(chart, "x_axis", None)
    number_format = getattr(axis, "numFmt", None) if axis is not None else None
    return number_format.formatCode if number_format is not None else ""


def category_order(chart):
    """ "maxMin" when the category axis runs backwards (the first category at the top of bars)."""
    scaling = getattr(getattr(chart, "x_axis", None), "scaling", None)
    return getattr(scaling, "orientation", None) or ""


def from_workbook(path):
    import openpyxl

    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    rows = [list(r) for r in sheet.iter_rows(values_only=True)]
    start, end, width, table, totals = split_table(rows)
    cells = list(sheet.iter_rows(min_row=start + 2, max_row=end, max_col=width))
    return {
        "sheets": len(book.worksheets),
        "header": [plain(r[0]) for r in rows[:start] if r and r[0] is not None],
        "headingRow": start + 1,
        "freeze": sheet.freeze_panes,
        "autoFilter": sheet.auto_filter.ref,
        "table": table,
        "totals": totals,
        "change": change_of(rows),
        # Per column: the cell types of the data rows ("n" number, "d" date, "s" text, "f" formula).
        "types": ["".join(sorted({row[c].data_type for row in cells})) for c in range(width)],
        "numberFormats": sorted({row[c].number_format for row in cells for c in range(width)
                                 if row[c].data_type in "nd"}),
        "rowFormulas": [str(row[width - 1].value) for row in cells],
        "widths": [sheet.column_dimensions[chr(ord("A") + c)].width for c in range(width)],
        "charts": [{"type": type(chart).__name__, "series": len(chart.series), "categoryFormat": category_format(chart),
                    "barDirection": getattr(chart, "barDir", None) or "",
                    "categoryOrder": category_order(chart)}
                   for chart in sheet._charts],
    }


def from_csv(path):
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f))
    _, _, _, table, totals = split_table(rows)
    return {"table": table, "totals": totals, "change": change_of(rows)}


if __name__ == "__main__":
    if sys.argv[1] == "--csv":
        print(json.dumps(from_csv(sys.argv[2])))
    else:
        print(json.dumps(from_workbook(sys.argv[1])))
