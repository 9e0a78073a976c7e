#!/usr/bin/env python3
"""Builds a database with jetfixture and reads it back with mdbtools, an independent reader.

usage: fixture_round_trip.py JETFIXTURE JETDUMP TESTDATA_FOLDER

fixture_sample.txt creates a table in a copy of emptyJet4.mdb and adds a row to a table of a
copy of northwind.mdb. mdb-schema must list the created columns with their types, mdb-export
must give exactly the rows described, and jetdump (this engine's reader) must agree with
mdb-export on every table of both files.
"""
import csv
import io
import os
import subprocess
import sys
import tempfile

EXPORT = ["mdb-export", "-b", "hex", "-T", "%Y-%m-%d %H:%M:%S"]

GAUGES = [
    ["GageID", "Name", "Price", "Checked", "Ok", "Notes", "Size", "Count", "Tiny", "Ratio",
     "Picture", "Code"],
    ["1", "Caliper", "12.5000", "2024-02-29 13:45:00", "1", "long note", "0.25", "-7", "200",
     "1.5", "0102FF", "CAFE"],
    ["2", "Micrometer é", "", "", "0", "", "", "", "", "", "", ""],
    ["3", "Gauge block | set", "0.0001", "1899-12-30 00:00:00", "1", "Ænd – ok", "-10000000000",
     "32767", "0", "-2.25", "", "0AFF"],
]

SCHEMA = ["[GageID]\t\t\tLong Integer", "[Name]\t\t\tText (40)", "[Price]\t\t\tCurrency",
          "[Checked]\t\t\tDateTime", "[Ok]\t\t\tBoolean NOT NULL", "[Notes]\t\t\tMemo/Hyperlink",
          "[Size]\t\t\tDouble", "[Count]\t\t\tInteger", "[Tiny]\t\t\tByte", "[Ratio]\t\t\tSingle",
          "[Picture]\t\t\tOLE", "[Code]\t\t\tBinary"]


def run(command):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (" ".join(command), result.stderr.decode(errors="replace")))
    return result.stdout.decode("utf-8")


def rows(text):
    return list(csv.reader(io.StringIO(text)))


def main():
    jetfixture, jetdump, testdata = sys.argv[1:4]
    sample = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixture_sample.txt")
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        # The sample's first table goes into an empty database, its second into Northwind.
        lines = open(sample, encoding="utf-8").read().split("table Shippers")
        first = os.path.join(folder, "gauges.txt")
        second = os.path.join(folder, "shippers.txt")
        open(first, "w", encoding="utf-8").write(lines[0])
        open(second, "w", encoding="utf-8").write("table Shippers" + lines[1])
        gauges = os.path.join(folder, "gauges.mdb")
        northwind = os.path.join(folder, "northwind.mdb")
        run([jetfixture, first, os.path.join(testdata, "emptyJet4.mdb"), gauges])
        run([jetfixture, second, os.path.join(testdata, "northwind.mdb"), northwind])

        schema = run(["mdb-schema", gauges, "access"])
        for line in SCHEMA:
            if line not in schema:
                failures.append("mdb-schema lacks %r" % line)
        got = rows(run(EXPORT + [gauges, "Gauges"]))
        if got != GAUGES:
            failures.append("Gauges: mdb-export gives %r" % got)
        shippers = rows(run(EXPORT + [northwind, "Shippers"]))
        if shippers[-1] != ["4", "Round Trip Ltd.", "(503) 555-0000"]:
            failures.append("Shippers: mdb-export ends with %r" % shippers[-1])
        for path in (gauges, northwind):
            for table in run([jetdump, path]).splitlines():
                ours = rows(run([jetdump, path, table]))
                theirs = rows(run(EXPORT + [path, table]))
                if sorted(ours[1:]) != sorted(theirs[1:]) or ours[:1] != theirs[:1]:
                    failures.append("%s %s: jetdump and mdb-export differ" % (os.path.basename(path), table))
        # A description with an error leaves no file behind.
        bad = os.path.join(folder, "bad.txt")
        open(bad, "w").write("table T\ncolumn a long\nrow 1 | 2\n")
        out = os.path.join(folder, "bad.mdb")
        result = subprocess.run([jetfixture, bad, os.path.join(testdata, "emptyJet4.mdb"), out],
                                stderr=subprocess.PIPE, check=False)
        if result.returncode == 0 or os.path.exists(out) or b"bad.txt:3" not in result.stderr:
            failures.append("a bad description: %r" % result.stderr)
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
