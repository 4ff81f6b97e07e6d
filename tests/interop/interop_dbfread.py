"""Tables written by the engine (qdbf create + append) in the dBase III, dBase IV and FoxPro dialects,
read back with python3-dbfread and compared value by value with what was written.

usage: interop_dbfread.py QDBF SCRATCH_DIR
"""
import datetime
import os

from interop_common import (FIELDS, SPECS, Report, compare_records, expected_as_qdbf_reads, from_qdbf_json,
                            parse_args, qdbf_values, reference_records, require)

# qdbf create --type: version byte of a table with memo fields and the memo file's extension.
DIALECTS = [(1, 0x83, ".DBT"), (2, 0x8B, ".DBT"), (3, 0xF5, ".FPT")]


def from_dbfread(version):
    def convert(field, value):
        if field[1] != "M":
            return value
        if value is None:
            return ""  # no memo block
        # dbfread takes the length word of a dBase IV memo block header for the text length, while
        # that word counts the 8-byte block header too (the engine and DBD::XBase agree on this), so
        # it returns 8 bytes past the text: the zero fill of the memo's last block.
        if version == 0x8B and value.endswith("\0" * 8):
            return value[:-8]
        return value
    return convert


def main():
    qdbf, scratch = parse_args()
    dbfread = require("dbfread", "python3-dbfread")
    report = Report("engine writes, dbfread reads")
    records = reference_records()
    for dialect, version, memo_ext in DIALECTS:
        where = "type %d" % dialect
        table = os.path.join(scratch, "DIAL%d.DBF" % dialect)
        started = datetime.date.today()
        if report.step(where + " create", qdbf.create, table, dialect, SPECS) is None:
            continue
        for i, r in enumerate(records):
            report.step("%s append record %d" % (where, i + 1), qdbf.append, table, qdbf_values(r))
        memo = os.path.join(scratch, "DIAL%d%s" % (dialect, memo_ext))
        if not os.path.exists(memo):
            report.fail(where, "memo file %s was not created" % memo)

        t = report.step(where + " dbfread open", dbfread.DBF, table, encoding="cp1252")
        if t is None:
            continue
        report.equal(where + " version byte", "0x%02X" % version, "0x%02X" % t.header.dbversion)
        # The header is rewritten after every append: count and date of the last update (years
        # since 1900 in its first byte).
        report.equal(where + " header record count", len(records), t.header.numrecords)
        stored = (t.header.year, t.header.month, t.header.day)
        days = {(d.year - 1900, d.month, d.day) for d in (started, datetime.date.today())}
        if stored not in days:
            report.fail(where + " header date", "expected one of %s, got %s" % (sorted(days), stored))
        report.equal(where + " fields", FIELDS, [(f.name, f.type, f.length, f.decimal_count) for f in t.fields])
        rows = report.step(where + " dbfread records", lambda: [dict(r) for r in t])
        if rows is not None:
            compare_records(report, where + " dbfread", records, rows, from_dbfread(version))

        # The engine's own reading of the same file, so a fault is placed on the right side.
        dumped = report.step(where + " qdbf dump", qdbf.dump, table)
        if dumped is not None:
            compare_records(report, where + " qdbf dump", [expected_as_qdbf_reads(r) for r in records], dumped,
                            from_qdbf_json)
    report.finish()


if __name__ == "__main__":
    main()
