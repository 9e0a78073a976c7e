#!/usr/bin/env python3
"""show_translation.py JETDUMP GAGESNEW_MDB [GAUGES]

Prints what a translated database holds: the row count of each table the translation
writes, then the first gauges (5 unless GAUGES says otherwise) with their calibration and
test points, read with jetdump."""
import csv
import io
import subprocess
import sys

TABLES = ["GageMaster", "CalibrationHeader", "TestPoints", "TestPointResults", "GageColumns",
          "CalibrationColumns"]


def rows(jetdump, path, table):
    out = subprocess.run([jetdump, path, table], check=True, capture_output=True).stdout
    return list(csv.DictReader(io.StringIO(out.decode("utf-8"), newline="")))


def main():
    jetdump, path = sys.argv[1], sys.argv[2]
    shown = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    data = {t: rows(jetdump, path, t) for t in TABLES}
    print(f"{path}:")
    for t in TABLES:
        print(f"  {t:<20} {len(data[t]):>7} rows")
    headers = {}
    for h in data["CalibrationHeader"]:
        headers.setdefault(h["gage_id"], []).append(h)
    points = {}
    for p in data["TestPoints"]:
        points.setdefault(p["gage_id"], []).append(p)
    results = {}
    for r in data["TestPointResults"]:
        results.setdefault(r["testpoint_id"], []).append(r)
    for g in data["GageMaster"][:shown]:
        key = next(iter(g.values()))
        print(f"\ngauge {key}: {g['gagedescription']} ({g['gagetype']}, {g['gageSN']}, "
              f"{g['gagelocation']}), every {g['frequency'] or '-'} months, due "
              f"{g['duedate'] or '-'}, active {g['active']}")
        for h in headers.get(key, []):
            print(f"  calibrated {h['calibrationdate']} by {h['inspector']}: {h['disposition']}")
        for p in points.get(key, []):
            pkey = next(iter(p.values()))
            readings = ", ".join(r["result"] for r in results.get(pkey, [])) or "-"
            print(f"  test point {p['test_point']}: {readings}")


if __name__ == "__main__":
    main()
