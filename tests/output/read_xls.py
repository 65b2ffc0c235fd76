"""Prints the cells of every sheet of an .xls file as JSON, read with xlrd."""
import json
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
out = {"sheets": []}
for sheet in book.sheets():
    cells = []
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_EMPTY or cell.ctype == xlrd.XL_CELL_BLANK:
                continue
            font = book.font_list[book.xf_list[cell.xf_index].font_index]
            cells.append({"row": r, "col": c, "number": cell.ctype == xlrd.XL_CELL_NUMBER,
                          "value": cell.value, "bold": bool(font.bold),
                          "colour": list(book.colour_map.get(font.colour_index) or [0, 0, 0])})
    out["sheets"].append({"name": sheet.name, "rows": sheet.nrows, "cols": sheet.ncols, "cells": cells})
json.dump(out, sys.stdout)
