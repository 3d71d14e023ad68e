#!/usr/bin/python3
"""Writes one sheet as the offices' programs keep it, for the reader tests.

usage: make_office.py OUTDIR < sheets.json      (sheets.json as for make_gnumeric.py)

gnumeric writes gnumeric.xls (Excel 97), gnumeric95.xls (Excel 95) and gnumeric.xlsx;
LibreOffice converts gnumeric.xlsx to office.xls and office.xlsx. From these come copies
changed the way other writers, or damage, change them:
  office-book.xls      the workbook stream named BOOK
  gnumeric95-gbk.xls   the Excel 95 workbook's code page said to be 936 (GBK)
  office-badtag.xls    the first text formula's result tag made invalid
  office-nostring.xls  the first text formula's STRING record made an unknown record
  office-sstcount.xls  the shared-string table claiming 4,294,967,295 entries
  office-casing.xlsx   the shared strings stored as xl/SharedStrings.xml
  office-escapes.xlsx  the shared string LINEBREAK written with _xHHHH_ escapes
  office-emptyshared.xlsx  cell B3 (a shared string) with an empty value <v/>
  office-uncached.xlsx the formula cells without their results
and office-shown.json, the rows of Sheet1 as LibreOffice shows them (its CSV export of the
cells' shown texts).
"""
import csv
import json
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))


def run(args, **kw):
    done = subprocess.run(args, capture_output=True, text=True, timeout=180, **kw)
    if done.returncode != 0:
        sys.stderr.write(f"{args[0]} failed: {done.stderr}\n")
        sys.exit(1)


def records(data, version):
    """(type, offset of the record) from the workbook globals' BOF on; the small test
    workbooks keep their stream in one piece."""
    at = 0
    while True:
        at = data.find(b"\x09\x08", at)
        if at < 0:
            sys.exit("no workbook BOF")
        if struct.unpack_from("<HH", data, at + 4) == (version, 5):
            break
        at += 1
    out = []
    while at + 4 <= len(data):
        kind, size = struct.unpack_from("<HH", data, at)
        if at + 4 + size > len(data):
            break
        out.append((kind, at))
        at += 4 + size
    return out


def patch_xls(source, target, change):
    data = bytearray(open(source, "rb").read())
    change(data)
    open(target, "wb").write(data)


def rename_stream(data):
    name = "Workbook\0".encode("utf-16-le")
    at = data.find(name)
    data[at:at + 64] = "BOOK\0".encode("utf-16-le").ljust(64, b"\0")
    struct.pack_into("<H", data, at + 64, 10)


def first_text_formula(data):
    recs = records(bytes(data), 0x0600)
    for i, (kind, at) in enumerate(recs):
        if kind == 0x0006 and data[at + 10] == 0 and data[at + 16:at + 18] == b"\xff\xff":
            following = next(r for r in recs[i + 1:] if r[0] not in (0x04BC, 0x0221, 0x0236))
            return at, following[1]
    sys.exit("no text formula")


def bad_tag(data):
    at, _ = first_text_formula(data)
    data[at + 10] = 7


def no_string(data):
    _, string = first_text_formula(data)
    struct.pack_into("<H", data, string, 0x0F0F)


def sst_count(data):
    at = next(at for kind, at in records(bytes(data), 0x0600) if kind == 0x00FC)
    struct.pack_into("<I", data, at + 8, 0xFFFFFFFF)


def gbk(data):
    at = next(at for kind, at in records(bytes(data), 0x0500) if kind == 0x0042)
    struct.pack_into("<H", data, at + 4, 936)


def patch_xlsx(source, target, change):
    with zipfile.ZipFile(source) as zin, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as zout:
        for item in zin.infolist():
            name, body = change(item.filename, zin.read(item.filename))
            zout.writestr(name, body)


def casing(name, body):
    return ("xl/SharedStrings.xml" if name == "xl/sharedStrings.xml" else name), body


def escapes(name, body):
    if name == "xl/sharedStrings.xml":
        body = body.replace(b">LINEBREAK<", b">one_x000D__x000A_two_x005F_x0041_<")
    return name, body


def empty_shared(name, body):
    if name == "xl/worksheets/sheet1.xml":
        body = re.sub(rb'(<c r="B3"[^>]*t="s"[^>]*>)<v>\d+</v>', rb"\1<v/>", body)
    return name, body


def uncached(name, body):
    if name == "xl/worksheets/sheet1.xml":
        body = re.sub(rb"(<f[^>]*>[^<]*</f>)<v>[^<]*</v>", rb"\1", body)
    return name, body


def main():
    out = sys.argv[1]
    sheets = sys.stdin.buffer.read()
    g = lambda name: os.path.join(out, name)
    run([sys.executable, os.path.join(HERE, "make_gnumeric.py"), g("gnumeric.xlsx")], input=sheets.decode())
    run(["ssconvert", "-T", "Gnumeric_Excel:excel_biff8", g("gnumeric.xlsx"), g("gnumeric.xls")])
    run(["ssconvert", "-T", "Gnumeric_Excel:excel_biff7", g("gnumeric.xlsx"), g("gnumeric95.xls")])
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home)
        os.makedirs(os.path.join(home, "office"))
        for kind in ("xls", "xlsx"):
            run(["soffice", "--headless", "--norestore", f"-env:UserInstallation=file://{home}/profile",
                 "--convert-to", kind, "--outdir", os.path.join(home, "office"), g("gnumeric.xlsx")], env=env)
            os.replace(os.path.join(home, "office", "gnumeric." + kind), g("office." + kind))
        # Comma-separated, quoted, UTF-8, cells as shown.
        run(["soffice", "--headless", "--norestore", f"-env:UserInstallation=file://{home}/profile",
             "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true",
             "--outdir", os.path.join(home, "office"), g("office.xlsx")], env=env)
        with open(os.path.join(home, "office", "office.csv"), encoding="utf-8", newline="") as f:
            shown = [row for row in csv.reader(f)]
        with open(g("office-shown.json"), "w", encoding="utf-8") as f:
            json.dump(shown, f, ensure_ascii=False)
    patch_xls(g("office.xls"), g("office-book.xls"), rename_stream)
    patch_xls(g("office.xls"), g("office-badtag.xls"), bad_tag)
    patch_xls(g("office.xls"), g("office-nostring.xls"), no_string)
    patch_xls(g("office.xls"), g("office-sstcount.xls"), sst_count)
    patch_xls(g("gnumeric95.xls"), g("gnumeric95-gbk.xls"), gbk)
    patch_xlsx(g("office.xlsx"), g("office-casing.xlsx"), casing)
    patch_xlsx(g("office.xlsx"), g("office-escapes.xlsx"), escapes)
    patch_xlsx(g("office.xlsx"), g("office-emptyshared.xlsx"), empty_shared)
    patch_xlsx(g("office.xlsx"), g("office-uncached.xlsx"), uncached)


if __name__ == "__main__":
    main()
