#!/usr/bin/python3
"""Writes an Excel 97-2003 workbook for the import tests.

usage: make_workbook.py OUT.xls < sheets.json

sheets.json is an object {"sheet name": [[cell, ...], ...], ...}; sheets are written in the
order given. A cell is a string, a number, or {"date": "YYYY-MM-DD"} for a date cell.
"""
import datetime
import json
import sys

import xlwt


def main():
    out = sys.argv[1]
    sheets = json.load(sys.stdin)
    book = xlwt.Workbook(encoding="utf-8")
    date_style = xlwt.easyxf(num_format_str="YYYY-MM-DD")
    for name, rows in sheets.items():
        sheet = book.add_sheet(name)
        for r, row in enumerate(rows):
            for c, cell in enumerate(row):
                if cell is None:
                    continue
                if isinstance(cell, dict) and "date" in cell:
                    day = datetime.datetime.strptime(cell["date"], "%Y-%m-%d")
                    sheet.write(r, c, day, date_style)
                else:
                    sheet.write(r, c, cell)
    book.save(out)


if __name__ == "__main__":
    main()
