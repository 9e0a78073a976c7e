#!/usr/bin/env python3
"""Compares jetdump with mdbtools, an independent reader, on every Access-made test database.

usage: compare_with_mdbtools.py JETDUMP TESTDATA_FOLDER

For every database: the same user tables. For every table: jetdump's CSV and
mdb-export -b hex -T '%Y-%m-%d %H:%M:%S', both parsed as CSV, hold the same header and the
same rows with the same values. No value needs normalising: jetdump prints numbers the way
mdb-export does (Currency with four decimals, Single with eight significant digits, Double
with sixteen), so any difference in a value is a fault on one side.

Row order: mdb-export lists a moved (overflow) row where its bytes are stored, jetdump where
its row pointer stands, which is the table's own order. Tables known to hold moved rows are
compared as multisets here, and jetdump's order is checked against the order the rows were
written in.
"""
import csv
import io
import os
import subprocess
import sys

MDB_EXPORT = ["mdb-export", "-b", "hex", "-T", "%Y-%m-%d %H:%M:%S"]

# Tables with moved rows, and the first column's values in the order the rows were written.
MOVED_ROWS = {
    ("overflowTestV2000.mdb", "Table1"): (
        "data1", ["row1col1", "row2col1", "", "row4col1", "", "", "row7col1"]),
    ("northwind.mdb", "Employees"): (
        "EmployeeID", [str(n) for n in range(1, 10)]),
}


def run(command):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (" ".join(command), result.stderr.decode(errors="replace")))
    return result.stdout.decode("utf-8")


def parse(text):
    return list(csv.reader(io.StringIO(text, newline="")))


def main():
    jetdump, folder = sys.argv[1], sys.argv[2]
    failures = []
    tables_compared = 0
    for file in sorted(os.listdir(folder)):
        if not file.endswith(".mdb"):
            continue
        path = os.path.join(folder, file)
        ours = run([jetdump, path]).splitlines()
        theirs = run(["mdb-tables", "-1", path]).splitlines()
        if sorted(ours) != sorted(theirs):
            failures.append("%s: tables %s, mdbtools %s" % (file, ours, theirs))
        for table in theirs:
            tables_compared += 1
            mine = parse(run([jetdump, path, table]))
            reference = parse(run(MDB_EXPORT + [path, table]))
            where = "%s / %s" % (file, table)
            if mine[:1] != reference[:1]:
                failures.append("%s: header %s, mdb-export %s" % (where, mine[:1], reference[:1]))
                continue
            if (file, table) in MOVED_ROWS:
                column, expected = MOVED_ROWS[(file, table)]
                position = mine[0].index(column)
                order = [row[position] for row in mine[1:]]
                if order != expected:
                    failures.append("%s: rows in order %s, written as %s" % (where, order, expected))
                mine, reference = sorted(mine), sorted(reference)
            if mine != reference:
                lines = [r for r in mine if r not in reference][:3]
                failures.append("%s: %d rows differ, e.g. %s" % (where, len(lines), lines))
    print("compared %d tables" % tables_compared)
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures or tables_compared == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
