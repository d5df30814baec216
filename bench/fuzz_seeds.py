#!/usr/bin/python3
"""Writes the seed corpora of the fuzz targets: workbooks made by Tarnhelm's own writer and by
openpyxl/xlwt, small project files, and clipboard texts.

Usage: fuzz_seeds.py OUTDIR TARNHELM_CLI SOURCE_DIR"""

import os
import sqlite3
import subprocess
import sys
import tempfile

out, cli, source = sys.argv[1], sys.argv[2], sys.argv[3]
for name in ("xlsx", "xls", "project", "paste", "inputs"):
    os.makedirs(os.path.join(out, name), exist_ok=True)
work = tempfile.mkdtemp(prefix="tarnhelm-seeds-")


def run(*args):
    subprocess.run([cli, *args], check=True, stdout=subprocess.DEVNULL)


def compact(path, target):
    """Small pages keep the seed small, so that each run of the target stays quick."""
    con = sqlite3.connect(path)
    con.execute("PRAGMA journal_mode=DELETE")
    con.execute("PRAGMA page_size=512")
    con.execute("VACUUM")
    con.close()
    with open(path, "rb") as src, open(target, "wb") as dst:
        dst.write(src.read())


# Project files: empty, the demo basin before and after a recalc (one short range to stay small).
empty = os.path.join(work, "empty.db")
run("new", empty, "--start", "2000", "--end", "2002", "--description", "seed")
compact(empty, os.path.join(out, "project", "empty.db"))
demo = os.path.join(work, "demo.db")
run("demo", demo)
con = sqlite3.connect(demo)
con.execute("PRAGMA foreign_keys=ON")
con.execute("UPDATE Baseline SET StartYear=2000, EndYear=2001")
con.execute("DELETE FROM WaterUserData WHERE Year < 2000 OR Year > 2001")
con.commit()
con.close()
compact(demo, os.path.join(out, "project", "demo.db"))
run("recalc", demo)
compact(demo, os.path.join(out, "project", "demo-results.db"))

# Workbooks from our own writer: a new book, and the same book with a second export added.
for ext in ("xlsx", "xlsm", "xls"):
    book = os.path.join(work, "own." + ext)
    run("export-xlsx", demo, book, "--baseline", "--start", "2000", "--end", "2000")
    with open(book, "rb") as f:
        data = f.read()
    target = "xls" if ext == "xls" else "xlsx"
    with open(os.path.join(out, target, "own." + ext), "wb") as f:
        f.write(data)

import openpyxl  # noqa: E402
from openpyxl.styles import Alignment  # noqa: E402

wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Notes & <plans>"
ws["A1"] = "Name"
ws["B1"] = 12.5
ws["B1"].number_format = "0.00%"
ws["B1"].alignment = Alignment(horizontal="right")
ws["C1"] = "=B1*2"
ws["A2"] = True
ws["A3"] = "Ünïcode\ttab \"quoted\""
other = wb.create_sheet("Data")
for r in range(1, 6):
    for c in range(1, 4):
        other.cell(row=r, column=c, value=r * c if c != 2 else "s%d" % r)
wb.save(os.path.join(out, "xlsx", "openpyxl.xlsx"))
wb.save(os.path.join(out, "xlsx", "openpyxl.xlsm"))

import xlwt  # noqa: E402

wb = xlwt.Workbook()
ws = wb.add_sheet("Notes")
ws.write(0, 0, "Name")
ws.write(0, 1, 12.5, xlwt.easyxf(num_format_str="0.00%"))
ws.write(0, 2, xlwt.Formula("B1*2"))
ws.write(1, 0, True)
ws.write(2, 0, "Ünïcode\ttab")
ws2 = wb.add_sheet("Data")
for r in range(5):
    for c in range(3):
        ws2.write(r, c, r * c if c != 1 else "s%d" % r)
wb.save(os.path.join(out, "xls", "xlwt.xls"))

# Clipboard texts; the first byte picks the parser (0 yearly table, 1 coefficients, 2 change
# values) and where the paste starts.
pastes = {
    "table-plain": b"\x00" + b"100\t40\n120\t50\t0.4\r\n\t\t0.5\t3\n",
    "table-pairs": b"\x04" + b"100\t40\n0\t0\n1e308\t1e-308\n",
    "table-efficiency": b"\x08" + b"100\t0.5\n200\t0\n",
    "table-bad": b"\x10" + b"12,5\tabc\n",
    "coeff": b"\x01" + b"0.1\n0.2\n\n0.3\r\n",
    "coeff-late": b"\x2d" + b"0.5\n0.5\n",
    "change": b"\x06" + b"10\n-5.5\n",
    "change-many": b"\x26" + b"\n".join(str(i).encode() for i in range(10)),
}
for name, data in pastes.items():
    with open(os.path.join(out, "paste", name), "wb") as f:
        f.write(data)

# Input books: the demo's .csv files and StateMod series; the first byte picks the reader (0 CSV,
# 1 StateMod).
books = os.path.join(work, "books")
run("export-inputs", demo, books)
for name in sorted(os.listdir(books)):
    with open(os.path.join(books, name), "rb") as src:
        data = src.read()[:4000]
    with open(os.path.join(out, "inputs", "csv-" + name.replace(" ", "-")), "wb") as f:
        f.write(b"\x00" + data)
series = {
    "statemod-wyr": b"# seed\n    10/1995 -      9/1997 ACFT  WYR\n"
    + b"1996 AspenParkRan     1.0     2.0     3.0     4.0     5.0     6.0     7.0     8.0"
    + b"     9.0    10.0    11.0    12.5      78.5\n",
    "statemod-missing": b"    1/2000 -     12/2000 ACFT  CYR\r\n"
    + b"2000 GAGE1        -999.0     1.0     1.0     1.0     1.0     1.0     1.0     1.0"
    + b"     1.0     1.0     1.0     1.0     -988.0\r\n",
}
for name, data in series.items():
    with open(os.path.join(out, "inputs", name), "wb") as f:
        f.write(b"\x01" + data)
