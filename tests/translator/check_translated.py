#!/usr/bin/env python3
"""Reads the database that the translation test wrote under Wine with mdbtools, an
independent reader: row counts, keys that join, values, and the pick lists byte for byte."""
import csv
import io
import subprocess
import sys


def rows(path, table):
    out = subprocess.run(["mdb-export", "-T", "%Y-%m-%d %H:%M:%S", path, table],
                         check=True, capture_output=True).stdout
    return list(csv.DictReader(io.StringIO(out.decode("utf-8"), newline="")))


def main():
    path = sys.argv[1]
    gauges = rows(path, "GageMaster")
    headers = rows(path, "CalibrationHeader")
    points = rows(path, "TestPoints")
    results = rows(path, "TestPointResults")
    failures = []

    def expect(what, got, want):
        if got != want:
            failures.append(f"{what}: got {got!r}, want {want!r}")

    expect("gauges", [g["gagedescription"] for g in gauges],
           ["Caliper 150 mm", "Micrometer Größe Ω€", "Gauge block set", "Thread plug M6",
            "Pin gauge 3 mm", "Height gauge"])
    description = {g["gage_id"]: g["gagedescription"] for g in gauges}
    expect("headers", [(description.get(h["gage_id"]), h["calibrationdate"], h["inspector"])
                       for h in headers],
           [("Caliper 150 mm", "2024-05-02 00:00:00", "JR"),
            ("Height gauge", "2024-06-10 00:00:00", "KL")])
    point = {p["testpoint_id"]: p for p in points}
    expect("test points", [(description.get(p["gage_id"]), p["test_point"]) for p in points],
           [("Caliper 150 mm", "0 mm"), ("Caliper 150 mm", "50 mm"), ("Caliper 150 mm", "150 mm"),
            ("Gauge block set", "10 mm"), ("Height gauge", "100 mm")])
    header_gauge = {h["calibration_id"]: description.get(h["gage_id"]) for h in headers}
    joined = []
    for r in results:
        p = point.get(r["testpoint_id"])
        joined.append((r["result"], p["test_point"] if p else None,
                       header_gauge.get(r["calibration_id"])))
    expect("results", joined,
           [("0.00", "0 mm", "Caliper 150 mm"), ("50.01", "50 mm", "Caliper 150 mm"),
            ("149.99", "150 mm", "Caliper 150 mm"), ("10.0001", "10 mm", None),
            ("GO", None, None)])

    columns = rows(path, "GageColumns")
    expect("gauge columns", [(c["order"], c["heading"], c["fieldname"]) for c in columns],
           [("1", "Gage ID", "GageSN"), ("2", "Gage Type", "GageType"),
            ("3", "Description", "GageDescription"), ("4", "Location", "GageLocation"),
            ("5", "Memo", "GageMemo"), ("6", "Due Date", "DueDate"),
            ("7", "Frequency", "Frequency"), ("8", "Active", "Active"),
            ("9", "Tracibility", "Tracibility"), ("10", "Owner", "Ownership")])
    expect("pick lists", [c["listitems"] for c in columns],
           ["", "", "", "abc\r\ndefg\r\n", "", "", "1 Month\r\n6 Months\r\n12 Months\r\n\r\n", "",
            "NIST\r\nGröße Ω\r\n", ""])
    calibration = rows(path, "CalibrationColumns")
    expect("calibration columns",
           [(c["order"], c["heading"], c["fieldname"], c["listitems"]) for c in calibration],
           [("1", "Inspector", "Inspector", "JR\r\nKL\r\n"),
            ("2", "Disposition", "Disposition", "Pass\r\nFail\r\nAdjusted\r\n"),
            ("3", "Memo", "TestMemo", ""), ("4", "Standard", "Standard", "")])
    expect("users", len(rows(path, "Users")), 2)

    for f in failures:
        print(f)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
