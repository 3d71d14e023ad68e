#!/usr/bin/python3
"""Has gnumeric's ssconvert write a workbook (.xls or .xlsx, by the name) for the reader tests.

usage: make_gnumeric.py OUT.xls|OUT.xlsx < sheets.json

sheets.json is an array [[sheet name, [[cell, ...], ...]], ...] in sheet order. A cell is
a string, a number, true/false, null (no cell), {"f": "=formula"}, {"date": "YYYY-MM-DD"} or
{"v": string or number, "fmt": number format} (a "fmt" may also go with "f").
The sheets are written as a Gnumeric XML file, which ssconvert loads, recalculates and
saves in the target format with the formulas' computed values.
"""
import datetime
import json
import os
import subprocess
import sys
import tempfile
from xml.sax.saxutils import escape

EPOCH = datetime.date(1899, 12, 30)


def cell_xml(r, c, cell):
    if cell is None:
        return ""
    if isinstance(cell, dict) and "v" in cell:
        return cell_xml(r, c, cell["v"])
    if isinstance(cell, bool):
        kind, text = 20, "TRUE" if cell else "FALSE"
    elif isinstance(cell, (int, float)):
        kind, text = 40, repr(cell)
    elif isinstance(cell, dict) and "f" in cell:
        return f'<gnm:Cell Row="{r}" Col="{c}">{escape(cell["f"])}</gnm:Cell>'
    elif isinstance(cell, dict) and "date" in cell:
        day = datetime.date.fromisoformat(cell["date"])
        kind, text = 40, str((day - EPOCH).days)
    else:
        kind, text = 60, escape(cell)
    return f'<gnm:Cell Row="{r}" Col="{c}" ValueType="{kind}">{text}</gnm:Cell>'


def sheet_xml(name, rows):
    cells, dates = [], []
    for r, row in enumerate(rows):
        for c, cell in enumerate(row):
            cells.append(cell_xml(r, c, cell))
            if isinstance(cell, dict) and ("date" in cell or "fmt" in cell):
                code = escape(cell.get("fmt", "yyyy-mm-dd"), {'"': "&quot;"})
                dates.append(f'<gnm:StyleRegion startCol="{c}" startRow="{r}" endCol="{c}" endRow="{r}">'
                             f'<gnm:Style Format="{code}"/></gnm:StyleRegion>')
    return (f"<gnm:Sheet><gnm:Name>{escape(name)}</gnm:Name><gnm:Styles>{''.join(dates)}</gnm:Styles>"
            f"<gnm:Cells>{''.join(cells)}</gnm:Cells></gnm:Sheet>")


def main():
    out = sys.argv[1]
    sheets = json.load(sys.stdin)
    names = "".join(f"<gnm:SheetName>{escape(n)}</gnm:SheetName>" for n, _ in sheets)
    body = "".join(sheet_xml(n, rows) for n, rows in sheets)
    xml = ('<?xml version="1.0" encoding="UTF-8"?>\n<gnm:Workbook xmlns:gnm="http://www.gnumeric.org/v10.dtd">'
           f"<gnm:SheetNameIndex>{names}</gnm:SheetNameIndex><gnm:Sheets>{body}</gnm:Sheets></gnm:Workbook>\n")
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "book.gnumeric")
        with open(source, "w", encoding="utf-8") as f:
            f.write(xml)
        done = subprocess.run(["ssconvert", source, out], capture_output=True, text=True)
    if done.returncode != 0 or not os.path.exists(out):
        sys.stderr.write(done.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
