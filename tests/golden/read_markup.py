"""Reads a workbook or a web page with readers we did not write and prints what the tests check as JSON.

    read_markup.py FILE.xlsx   every XML part parsed; the cells of the first sheet through openpyxl
    read_markup.py FILE.html   the page parsed as XML; the text of every element

Both give "parts" (the names parsed), "malformed" (the parts that are not well-formed XML, with
the parser's reason) and "cells": [text, type] per cell or text node ("s" text, "n" number,
"f" formula, "d" date).
"""
import json
import sys
import zipfile
from xml.dom import minidom


def parse(name, data, malformed):
    try:
        return minidom.parseString(data)
    except Exception as e:  # noqa: BLE001 - any parser failure is the finding
        malformed.append(f"{name}: {e}")
        return None


def texts(node):
    for child in node.childNodes:
        if child.nodeType == child.TEXT_NODE:
            yield child.data
        else:
            yield from texts(child)


def from_workbook(path):
    import openpyxl

    malformed = []
    with zipfile.ZipFile(path) as z:
        parts = [n for n in z.namelist() if n.endswith((".xml", ".rels"))]
        for name in parts:
            parse(name, z.read(name), malformed)
    sheet = openpyxl.load_workbook(path).worksheets[0]
    cells = [[str(c.value), c.data_type] for row in sheet.iter_rows() for c in row if c.value is not None]
    return {"parts": parts, "malformed": malformed, "cells": cells}


def from_page(path):
    malformed = []
    with open(path, "rb") as f:
        page = parse(path, f.read(), malformed)
    cells = [[t, "s"] for t in texts(page)] if page else []
    return {"parts": [path], "malformed": malformed, "cells": cells}


if __name__ == "__main__":
    source = sys.argv[1]
    print(json.dumps(from_workbook(source) if source.endswith(".xlsx") else from_page(source)))
