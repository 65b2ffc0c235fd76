"""Reads a workbook (every XML part, then the cells through openpyxl) or a web page (as XML) and
prints JSON: "parts" parsed, "malformed" parts with the parser's reason, and "cells": [text, type]
per cell or text node ("s" text, "n" number, "f" formula, "d" date)."""
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
        yield from [child.data] if child.nodeType == child.TEXT_NODE else texts(child)


def read(path):
    malformed = []
    if not path.endswith(".xlsx"):
        page = parse(path, open(path, "rb").read(), malformed)
        return {"parts": [path], "malformed": malformed, "cells": [[t, "s"] for t in texts(page)] if page else []}
    import openpyxl

    with zipfile.ZipFile(path) as z:
        parts = [n for n in z.namelist() if n.endswith((".xml", ".rels"))]
        for name in parts:
            parse(name, z.read(name), malformed)
    sheet = openpyxl.load_workbook(path).worksheets[0]
    cells = [[str(c.value), c.data_type] for row in sheet.iter_rows() for c in row if c.value is not None]
    return {"parts": parts, "malformed": malformed, "cells": cells}


if __name__ == "__main__":
    print(json.dumps(read(sys.argv[1])))
