#!/usr/bin/env python3
"""Reads the sample databases back with mdbtools and compares them with their descriptions.

usage: check_samples.py MAKE_GAUGES GAGESNEW_TXT SAMPLES_FOLDER

GagesV1.mdb must hold what make_gauges.py (default options) describes and gagesnew.mdb what
gagesnew.txt describes: the same tables, columns with their types, primary keys and indexes,
and every row value (text with accented and non-Latin-1 letters included), beside the system
tables of a new database (both are built without a base database). The version 1
sample must also hold the cases the translator has to handle.
"""
import csv
import decimal
import io
import os
import re
import subprocess
import sys

EXPORT = ["mdb-export", "-b", "hex", "-T", "%Y-%m-%d %H:%M:%S"]
SYSTEM_TABLES = ["MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"]
SCHEMA_TYPES = {"text": "Text", "memo": "Memo/Hyperlink", "long": "Long Integer",
                "integer": "Integer", "double": "Double", "currency": "Currency",
                "datetime": "DateTime", "boolean": "Boolean"}


def run(command):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (" ".join(command), result.stderr.decode(errors="replace")))
    return result.stdout.decode("utf-8")


def parse(description):
    """The description's tables: {name: {"columns": [(name, type, length)], "indexes": [...],
    "rows": [[text, ...]]}} in description order."""
    tables = {}
    table = None
    for line in description.splitlines():
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        word, _, rest = line.partition(" ")
        if word == "table":
            table = tables.setdefault(rest, {"columns": [], "indexes": [], "rows": []})
        elif word == "column":
            parts = rest.split()
            length = next((p for p in parts[2:] if p.isdigit()), "50")
            table["columns"].append((parts[0], parts[1], length))
        elif word == "index":
            head, _, columns = rest.partition(":")
            table["indexes"].append((head.split(), [c.strip() for c in columns.split(",")]))
        elif word == "row":
            table["rows"].append([v.strip().replace("\\|", "|") for v in re.split(r"(?<!\\)\|", rest)])
    return tables


def same_value(kind, described, exported):
    if described == "":
        return exported == "" or (kind == "boolean" and exported == "0")
    if kind == "boolean":
        return exported == ("1" if described == "true" else "0")
    if kind in ("long", "integer", "double", "currency"):
        return decimal.Decimal(exported) == decimal.Decimal(described)
    if kind == "datetime":
        return exported == (described if " " in described else described + " 00:00:00")
    return exported == described


def check_database(path, tables, failures):
    name = os.path.basename(path)
    listed = run(["mdb-tables", "-1", path]).split()
    if listed != list(tables):
        failures.append("%s: mdb-tables lists %r" % (name, listed))
    # The samples start from a database the engine creates itself: Jet's system tables.
    system = [t for t in run(["mdb-tables", "-1", "-S", path]).split() if t not in tables]
    if system != SYSTEM_TABLES:
        failures.append("%s: mdb-tables -S lists the system tables %r" % (name, system))
    schema = run(["mdb-schema", path, "access"])
    keys = run(["mdb-schema", "--indexes", path, "mysql"])
    for table, content in tables.items():
        for column, kind, length in content["columns"]:
            expected = SCHEMA_TYPES[kind] + (" (%s)" % length if kind == "text" else "")
            if not re.search(r"\[%s\]\t+%s" % (re.escape(column), re.escape(expected)) + r"(?=[ ,\n]|$)", schema):
                failures.append("%s: %s.%s is not %s" % (name, table, column, expected))
        for words, columns in content["indexes"]:
            if "primary" in words:
                line = "ALTER TABLE `%s` ADD PRIMARY KEY (`%s`);" % (table, "`, `".join(columns))
            else:
                line = "ALTER TABLE `%s` ADD INDEX `%s` (`%s`);" % (table, words[0], "`, `".join(columns))
            if line not in keys:
                failures.append("%s: no %s" % (name, line))
        exported = list(csv.reader(io.StringIO(run(EXPORT + [path, table]))))
        header, rows = exported[0], exported[1:]
        if header != [c[0] for c in content["columns"]]:
            failures.append("%s: %s has columns %r" % (name, table, header))
            continue
        if len(rows) != len(content["rows"]):
            failures.append("%s: %s has %d rows, not %d" % (name, table, len(rows), len(content["rows"])))
            continue
        for number, (ours, theirs) in enumerate(zip(content["rows"], rows), 1):
            for (column, kind, _), described, value in zip(content["columns"], ours, theirs):
                if kind == "long" and described == "":
                    described = str(number)  # the auto-number
                if not same_value(kind, described, value):
                    failures.append("%s: %s row %d %s is %r, not %r"
                                    % (name, table, number, column, value, described))
                    break
    return failures


def check_cases(tables, failures):
    """The cases the translator must handle are in the version 1 sample."""
    gauges = tables["GageMaster"]["rows"]
    details = tables["GageDetails"]["rows"]
    first = {}
    for detail in details:
        first.setdefault(detail[1], detail)
    groups = sum(1 for a, b in zip(details, details[1:]) if a[1] != b[1]) + 1
    text = "\n".join("|".join(r) for t in tables.values() for r in t["rows"])
    ordering = [int(r[1]) for r in tables["dFrequency"]["rows"]]
    cases = {
        "a gauge without details": len(first) < len(gauges),
        "a first detail without a date": any(d[4] == "" for d in first.values()),
        "an inactive gauge": any(g[7] == "false" for g in gauges),
        "a gauge without frequency": any(g[5] == "" for g in gauges),
        "a gauge without due date": any(g[12] == "" for g in gauges),
        "details of a gauge apart": groups > len(first),
        "lookup rows out of order": ordering != sorted(ordering),
        "accented text": all(t in text for t in ("Mesure Précision", "Größe", "ÉD")),
        "text outside Latin-1": "Ω" in text and "€" in text,
        "readings": all(t in text for t in ("|0.000 in|", "|25 mm|", "|GO|", "|NO GO|")),
    }
    failures.extend("GagesV1: no %s" % case for case, present in cases.items() if not present)


def main():
    make_gauges, gagesnew, folder = sys.argv[1:4]
    failures = []
    version1 = parse(run([sys.executable, make_gauges]))
    check_cases(version1, failures)
    check_database(os.path.join(folder, "GagesV1.mdb"), version1, failures)
    with open(gagesnew, encoding="utf-8") as f:
        check_database(os.path.join(folder, "gagesnew.mdb"), parse(f.read()), failures)
    for failure in failures[:50]:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
