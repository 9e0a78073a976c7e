#!/usr/bin/env python3
"""Prints a jetfixture description of a version 1 gauge database of a small machine shop.

usage: make_gauges.py [--gauges N] [--details M] [--seed S] [-o FILE]

The same options always give the same text. The database holds the cases the translator
must handle: gauges without readings, a first reading without a date, inactive gauges, no
frequency or due date, readings of one gauge spread through the table, accented Latin-1 text
and characters outside Latin-1.
"""
import argparse
import datetime
import random
import sys

SCHEMA = """\
# A version 1 gauge database (made by tools/samples/make_gauges.py, seed {seed}).
table GageMaster
column gage_id long auto
column gagedescription text 80
column gagetype text 50
column gagelocation text 50
column gagesn text 50
column frequency double
column tracibility text 50
column active boolean
column purchasevalue currency
column ownership text 50
column PicLink text 255
column gagememo memo
column duedate datetime
column category text 50
index PrimaryKey primary : gage_id
index gagetype : gagetype
"""

DETAILS_SCHEMA = """\
table GageDetails
column detail_id long auto
column gage_id long
column testpoint text 30
column actual text 30
column dateinspected datetime
column disposition text 20
column inspby text 10
index PrimaryKey primary : detail_id
index gage_id : gage_id
"""

LOCATIONS = ["Tool Crib", "QC Lab", "Cell 1 Lathes", "Cell 2 Mills", "Receiving",
             "Salle Mesure Précision", "Größe Halle 3"]
TRACEABILITY = ["NIST", "In-house master", "Supplier certificate", "DAkkS Größenlabor",
                "UKAS 0042"]
OWNERSHIP = ["Company", "Employee", "Customer", "Leased"]
INSPECTORS = ["JB", "MK", "RS", "TL", "ÉD"]
DISPOSITIONS = ["Pass", "Fail", "Adjusted", "Limited Use", "Out of Service"]
# Months as the lookup stores them (text), with their display order: stored out of order.
FREQUENCIES = [("12", 4), ("1", 1), ("6", 3), ("24", 5), ("3", 2), ("36", 6)]

# type: (category, descriptions, serial prefix, test points, readings for a test point)
def caliper_reading(rng, point):
    return "%.3f" % (float(point.split()[0]) + rng.choice([0, 0, 0.001, -0.001]))


def micrometer_reading(rng, point):
    return "%.4f" % (float(point.split()[0]) + rng.choice([0, 0, 0.0001, -0.0001, 0.0002]))


def metric_reading(rng, point):
    return "%.5f" % (float(point.split()[0]) + rng.choice([0, 0.00005, -0.00008, 0.0001]))


def attribute_reading(rng, point):
    if point.startswith("NO GO"):
        return rng.choice(["NO GO"] * 12 + ["GO"])
    return rng.choice(["GO"] * 12 + ["NO GO"])


GAUGE_TYPES = [
    ("Caliper", "Hand Tools", "CAL",
     ["Digital Caliper 0-6 in", "Dial Caliper 0-6 in", "Vernier Caliper 0-12 in",
      "Digital Caliper 0-150 mm"],
     [["0.000 in", "1.000 in", "3.000 in", "6.000 in"], ["0.000 in", "2.000 in", "6.000 in"]],
     caliper_reading),
    ("Micrometer", "Hand Tools", "MIC",
     ["Outside Micrometer 0-1 in", "Outside Micrometer 1-2 in", "Depth Micrometer 0-3 in",
      "Blade Micrometer 0-25 mm"],
     [["0.0000 in", "0.5000 in", "1.0000 in"], ["1.0000 in", "1.5000 in", "2.0000 in"]],
     micrometer_reading),
    ("Gauge Block", "Standards", "GB",
     ["Gauge Block Set 81 pc Grade 0", "Gauge Block Set 47 pc", "Gauge Block 25 mm Ceramic"],
     [["25 mm", "50 mm", "100 mm"], ["0.1000 in", "1.0000 in", "4.0000 in"]],
     metric_reading),
    ("Thread Gauge", "Fixed Limit", "THR",
     ["Thread Plug Gauge 1/4-20 UNC-2B", "Thread Ring Gauge M8x1.25 6g",
      "Thread Plug Gauge 3/8-16 UNC-2B", "Thread Ring Gauge 1/2-13 UNC-2A"],
     [["GO member", "NO GO member"]],
     attribute_reading),
    ("Pin Gauge", "Fixed Limit", "PIN",
     ["Pin Gauge Set .061-.250 in", "Pin Gauge .2500 in Class ZZ", "Pin Gauge Ø 6 mm",
      "Pin Gauge Set .251-.500 in"],
     [["0.2500 in"], ["GO 0.2500 in", "NO GO 0.2510 in"]],
     lambda rng, point: attribute_reading(rng, point) if " " in point[:6]
     else micrometer_reading(rng, point)),
    ("Height Gauge", "Surface Plate", "HG",
     ["Height Gauge 12 in", "Digital Height Gauge 24 in", "Height Master 18 in"],
     [["0.000 in", "6.000 in", "12.000 in"]],
     caliper_reading),
    ("Dial Indicator", "Hand Tools", "DI",
     ["Dial Indicator 0-1 in .001", "Test Indicator .0005 in", "Dial Indicator 0-25 mm"],
     [["0.000 in", "0.050 in", "0.100 in"], ["0.0000 in", "0.0100 in"]],
     caliper_reading),
]

MEMOS = [
    "",
    "",
    "Check jaws for burrs before use.",
    "Anvils lapped {date}; flatness within 0.00005 in. Keep in the case, away from the coolant.",
    "Repair quote from vendor: 145 € (anvil replacement) - approved by QC.",
    "Insulation test of the electronic readout: 20 MΩ minimum. Battery SR44 changed.",
    "Prüfmittel aus dem Werk Köln übernommen; Zertifikat liegt im Ordner «Messmittel».",
    "Used on customer jobs only. Tolerance ±0.0002 in. Do not lend out.",
    "Calibrated by the vendor, see certificate in the QC binder. " * 3,
]


def escape(text):
    return text.replace("|", "\\|")


def months_later(day, months):
    month = day.month - 1 + months
    year = day.year + month // 12
    month = month % 12 + 1
    return day.replace(year=year, month=month, day=min(day.day, 28))


def row(values):
    return "row " + " | ".join("" if v is None else escape(str(v)) for v in values)


def plan_details(rng, gauges, total):
    """Gives each gauge its calibrations (lists of (point, reading)) so that there are exactly
    total readings in all; about one gauge in sixteen gets none."""
    with_details = [g for g in gauges[:-1] if rng.random() >= 1 / 16] if total else []
    sessions = {g["id"]: [] for g in gauges}
    count = 0
    queue = list(with_details)
    while count < total and queue:
        for gauge in queue:
            if count >= total:
                break
            points = gauge["points"][: total - count]
            sessions[gauge["id"]].append(points)
            count += len(points)
        # gauges calibrated more often get more sessions
        queue = [g for g in with_details if rng.random() < 0.5 + g["often"]] or with_details
    return sessions


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--gauges", type=int, default=300)
    parser.add_argument("--details", type=int, default=1200)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("-o", "--output")
    options = parser.parse_args()
    rng = random.Random(options.seed)
    out = []

    out.append(SCHEMA.format(seed=options.seed).rstrip("\n"))
    today = datetime.date(2024, 6, 14)
    gauges = []
    for number in range(1, options.gauges + 1):
        kind, category, prefix, descriptions, point_sets, reading = rng.choice(GAUGE_TYPES)
        frequency = rng.choice([3, 6, 6, 12, 12, 12, 12, 24, None])
        gauge = {
            "id": number,
            "points": rng.choice(point_sets),
            "reading": reading,
            "frequency": frequency,
            "often": 0.3 if frequency in (3, 6) else 0.0,
        }
        gauges.append(gauge)
        active = rng.random() >= 0.08
        last = today - datetime.timedelta(days=rng.randint(10, 700))
        due = months_later(last, frequency) if frequency and rng.random() >= 0.05 else None
        memo = rng.choice(MEMOS).format(date=last.isoformat()).strip()
        picture = ("\\\\shop-srv\\qc\\pictures\\%s%04d.jpg" % (prefix, number)
                   if rng.random() < 0.3 else None)
        out.append(row([
            None,
            rng.choice(descriptions),
            kind,
            rng.choice(LOCATIONS),
            "%s-%05d" % (prefix, rng.randint(100, 99999)),
            frequency,
            rng.choice(TRACEABILITY),
            "true" if active else "false",
            "%.2f" % (rng.randint(1500, 250000) / 100),
            rng.choice(OWNERSHIP),
            picture,
            memo or None,
            due.isoformat() if due else None,
            category,
        ]))
        gauge["last"] = last

    sessions = plan_details(rng, gauges, options.details)
    runs = []  # the readings of one calibration, in the order they were typed in
    for gauge in gauges:
        calibrations = sessions[gauge["id"]]
        step = gauge["frequency"] or 12
        for age, points in enumerate(reversed(calibrations)):
            day = gauge["last"] - datetime.timedelta(days=int(age * step * 30.4))
            inspector = rng.choice(INSPECTORS)
            run = []
            for point in points:
                value = gauge["reading"](rng, point)
                no_go_member = point.startswith("NO GO")
                disposition = "Fail" if (value == "NO GO") != no_go_member else "Pass"
                if rng.random() < 0.03:
                    disposition = rng.choice(DISPOSITIONS[2:])
                run.append([gauge["id"], point, value, day.isoformat(), disposition, inspector])
            runs.append((gauge["id"], day, run))
        # some gauges' oldest reading was typed in without its date
        if calibrations and rng.random() < 0.05:
            runs[-1][2][0][3] = None
    # In the order the readings were typed in: by date, so one gauge's rows are spread out.
    runs.sort(key=lambda r: (r[1], r[0]))
    details = [reading for _, _, run in runs for reading in run]
    # A few readings were added later, at the end of the table.
    for _ in range(len(details) // 50):
        details.append(details.pop(rng.randrange(len(details))))
    out.append(DETAILS_SCHEMA.rstrip("\n"))
    for detail in details:
        out.append(row([None] + detail))

    out.append("table dLocation\ncolumn location text 50")
    out.extend(row([location]) for location in LOCATIONS)
    out.append("table dFrequency\ncolumn months text 10\ncolumn Ordering integer")
    out.extend(row([months, order]) for months, order in FREQUENCIES)
    out.append("table dTracibility\ncolumn Tracibility text 50")
    out.extend(row([t]) for t in TRACEABILITY)
    out.append("table dOwnership\ncolumn OwnerShip text 50")
    out.extend(row([o]) for o in OWNERSHIP)
    out.append("table dInspectors\ncolumn initials text 10")
    out.extend(row([i]) for i in INSPECTORS)
    out.append("table dDisposition\ncolumn Disposition text 20")
    out.extend(row([d]) for d in DISPOSITIONS)

    text = "\n".join(out) + "\n"
    if options.output:
        with open(options.output, "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
    else:
        sys.stdout.buffer.write(text.encode("utf-8"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
