"""Every kind of table the engine writes, read by every independent dBase reader installed here,
and tables those programs write, read by the engine.

Table-driven: KINDS are the tables the engine writes (versions 0x03, 0x83, 0x8B and 0xF5, with
memos of 0, 1, 511-513 and 100,000 bytes, a C field of 254 Windows-1252 characters, and N, F, D and
L fields holding values and blanks); READERS are the other programs, each with the versions it
reads and its known quirks (listed with each reader and applied to what is expected of it, never
worked around in the engine); the writer checks make tables with GDAL, npm dbffile and
python3-dbf (binary fields of version 0x30) for the engine to read. A missing tool fails the test.

usage: interop_readers.py QDBF SCRATCH_DIR NODE_MODULES
"""
import datetime
import decimal
import json
import os
import re
import subprocess
import sys

from interop_common import ENCODING, Qdbf, QdbfError, Report, memo_text, require

HERE = os.path.dirname(os.path.abspath(__file__))
PERL = "/usr/bin/perl"
NODE = "node"

# ---- what the engine writes ----

FIELDS = [
    ("CODIGO", "C", 10, 0),
    ("TEXTO", "C", 254, 0),
    ("QTD", "N", 10, 2),
    ("SALDO", "N", 8, 0),
    ("TAXA", "F", 12, 3),
    ("DATA", "D", 8, 0),
    ("ATIVO", "L", 1, 0),
    ("OBS", "M", 10, 0),
]


class Kind:
    """A table the engine writes: its version, the qdbf dialect and the file name (whose case the
    memo file follows)."""

    def __init__(self, version, dialect, name, memo):
        self.version, self.dialect, self.name, self.memo = version, dialect, name, memo

    def fields(self):
        return [f for f in FIELDS if self.memo or f[1] != "M"]

    def memo_file(self, table):
        """The memo file beside `table`, in the case of the table's extension."""
        base, ext = os.path.splitext(table)
        memo_ext = ".fpt" if self.version == 0xF5 else ".dbt"
        return base + (memo_ext if ext.lower() == ext else memo_ext.upper())

    def __str__(self):
        return "0x%02X" % self.version


KINDS = [Kind(0x03, 3, "k03.dbf", False), Kind(0x83, 1, "k83.dbf", True), Kind(0x8B, 2, "K8B.DBF", True),
         Kind(0xF5, 3, "kf5.dbf", True)]


def cp1252_text():
    """254 characters: every printable Windows-1252 character, repeated; no blank at either end."""
    chars = bytes(b for b in range(0x21, 0x100) if b not in (0x7F, 0x81, 0x8D, 0x8F, 0x90, 0x9D)).decode(ENCODING)
    text = (chars * 2)[:253]
    return text + "z"


# The records as texts given to `qdbf append` (None: the field is not named). N and F texts are
# rounded by the engine half away from zero on the decimal given; "" leaves a field blank.
GIVEN = [
    {"CODIGO": "A-001", "TEXTO": cp1252_text(), "QTD": "-12.5", "SALDO": "0", "TAXA": "1.0005",
     "DATA": "20240229", "ATIVO": "T", "OBS": 0},
    {"CODIGO": "B-002", "TEXTO": "", "QTD": "0.01", "SALDO": "-9999999", "TAXA": "-0.0005",
     "DATA": "19991231", "ATIVO": "F", "OBS": 1},
    {"CODIGO": "C-003", "TEXTO": "Pre\u00e7o \u20ac 10, \"aspas\" e \\barra", "QTD": "1234567.89",
     "SALDO": "12345678", "TAXA": "99999999.999", "DATA": "20000101", "ATIVO": "T", "OBS": 511},
    {"CODIGO": "D-004", "TEXTO": "  leading blanks", "QTD": "-0.005", "SALDO": "2.5", "TAXA": "2.6755",
     "DATA": "21000301", "ATIVO": "F", "OBS": 512},
    {"CODIGO": "E-005", "TEXTO": "x" * 254, "QTD": "-0.001", "SALDO": "-0.4", "TAXA": "0",
     "DATA": "19010101", "ATIVO": "T", "OBS": 513},
    {"CODIGO": "F-006", "TEXTO": "\u00c0\u00c9\u00ce\u00d5\u00dc \u00e7\u00e3\u00f5 \u00ba\u00aa",
     "QTD": "99999.99", "SALDO": "42", "TAXA": "-1.5", "DATA": "20260131", "ATIVO": "F", "OBS": 100000},
    {"CODIGO": "G-007", "TEXTO": "", "QTD": "", "SALDO": "", "TAXA": "", "DATA": "", "ATIVO": "", "OBS": None},
    {"CODIGO": "H-008", "TEXTO": None, "QTD": None, "SALDO": None, "TAXA": None, "DATA": None, "ATIVO": None,
     "OBS": None},
]


def stored_number(text, length, decimals):
    """The field text the engine stores for `text`: blank for "", 0 for a field not named."""
    if text == "":
        return " " * length
    value = decimal.Decimal(text or "0").quantize(decimal.Decimal(1).scaleb(-decimals), decimal.ROUND_HALF_UP)
    if value == 0:
        value = abs(value)
    return ("%s" % value).rjust(length)


def expected_records(kind):
    """What every reader should give: C without trailing blanks, N/F numbers, D dates, L logicals,
    None for a blank N, F, D or L, M texts ("" for none)."""
    out = []
    for i, given in enumerate(GIVEN):
        row = {}
        for name, ftype, length, decimals in kind.fields():
            g = given[name]
            if ftype == "C":
                row[name] = (g or "").rstrip(" ")
            elif ftype in "NF":
                stored = stored_number(g, length, decimals).strip()
                row[name] = None if stored == "" else (float(stored) if decimals else int(stored))
            elif ftype == "D":
                row[name] = datetime.datetime.strptime(g, "%Y%m%d").date() if g else None
            elif ftype == "L":
                row[name] = {"T": True, "F": False}.get(g)
            else:
                row[name] = memo_text(g, i + 1) if g else ""
        out.append(row)
    return out


def append_values(kind, index):
    given = GIVEN[index]
    values = {}
    for name, ftype, _, _ in kind.fields():
        g = given[name]
        if g is None:
            continue
        values[name] = (memo_text(g, index + 1) if g else "") if ftype == "M" else g
    return values


def stored_bytes(table):
    """The stored field texts of every record, read from the file by the format alone."""
    with open(table, "rb") as f:
        data = f.read()
    header_length = int.from_bytes(data[8:10], "little")
    record_length = int.from_bytes(data[10:12], "little")
    count = int.from_bytes(data[4:8], "little")
    fields, at = [], 32
    while data[at] != 0x0D:
        name = data[at:at + 11].split(b"\0")[0].decode("ascii")
        fields.append((name, data[at + 16]))
        at += 32
    rows = []
    for r in range(count):
        record = data[header_length + r * record_length:header_length + (r + 1) * record_length]
        offset, row = 1, {}
        for name, length in fields:
            row[name] = record[offset:offset + length].decode(ENCODING)
            offset += length
        rows.append(row)
    return rows


# ---- the readers ----

class Quirk:
    """A known deviation of a reader: `adjust(expected value)` gives what that reader returns for a
    field of these types (or for the header's date of last update: HEADER) in these table versions
    (SKIP when it cannot be compared)."""

    def __init__(self, description, versions, types, adjust):
        self.description, self.versions, self.types, self.adjust = description, versions, types, adjust


SKIP = object()
HEADER = "header"


def run(argv, **kwargs):
    p = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)
    if p.returncode != 0:
        raise RuntimeError("%s exited %d: %s" % (argv[0], p.returncode, p.stderr.decode("utf-8", "replace").strip()))
    return p.stdout


def json_lines(out):
    return [json.loads(line) for line in out.decode("utf-8").splitlines() if line.strip()]


def read_dbfread(kind, table, tools):
    t = tools["dbfread"].DBF(table, encoding=ENCODING)
    return {"updated": datetime.date(1900 + t.header.year, t.header.month, t.header.day),
            "rows": [dict(r) for r in t]}


def read_python_dbf(kind, table, tools):
    dbf = tools["dbf"]
    t = dbf.Table(table, codepage=ENCODING)
    t.open(dbf.READ_ONLY)
    try:
        names = list(t.field_names)
        return {"updated": t.last_update, "rows": [{n.upper(): r[n] for n in names} for r in t]}
    finally:
        t.close()


def read_xbase(kind, table, tools):
    argv = [PERL, os.path.join(HERE, "xbase_dump.pl"), table]
    if kind.version == 0x83:
        argv.append("1a")  # stop a dBase III memo at its first 0x1A (see the quirk)
    lines = json_lines(run(argv))
    return {"rows": lines[1:]}


def read_gdal(kind, table, tools):
    out = json.loads(run(["ogr2ogr", "-f", "GeoJSON", "/vsistdout/", "-oo", "ENCODING=CP1252", table]).decode("utf-8"))
    rows = []
    for feature in out["features"]:
        props = feature["properties"]
        rows.append({name: props.get(name) for name, _, _, _ in kind.fields()})
    return {"rows": rows}


def unescape_copy(text):
    """A value of PostgreSQL's COPY text format."""
    if text == "\\N":
        return None
    return re.sub(r"\\(.)", lambda m: {"t": "\t", "n": "\n", "r": "\r"}.get(m.group(1), m.group(1)), text)


def read_pgdbf(kind, table, tools):
    argv = ["pgdbf", "-s", ENCODING]
    if kind.memo:
        argv += ["-m", kind.memo_file(table)]
    lines = run(argv + [table]).decode("utf-8").split("\n")
    start = next(i for i, line in enumerate(lines) if line.startswith("\\COPY"))
    rows = []
    for line in lines[start + 1:]:
        if line == "\\.":
            break
        rows.append({f[0]: unescape_copy(v) for f, v in zip(kind.fields(), line.split("\t"))})
    return {"rows": rows}


def read_dbview(kind, table, tools):
    info = run(["dbview", "-i", "-o", table]).decode(ENCODING)
    updated = re.search(r"Last update\s*:\s*(\d+)/(\d+)/(\d+)", info)
    out = run(["dbview", "-b", "-d", "\t", table]).decode(ENCODING)
    rows = []
    for line in out.split("\n"):
        if line:
            rows.append({f[0]: v for f, v in zip(kind.fields(), line.split("\t"))})
    return {"updated": datetime.date(int(updated.group(3)), int(updated.group(1)), int(updated.group(2))),
            "rows": rows}


def read_dbffile(kind, table, tools):
    lines = json_lines(run([NODE, os.path.join(HERE, "dbffile_tool.js"), tools["node_modules"], "read", table]))
    return {"updated": datetime.date.fromisoformat(lines[0]["updated"]), "rows": lines[1:]}


def as_date(text):
    for fmt in ("%Y%m%d", "%Y-%m-%d", "%Y/%m/%d"):
        try:
            return datetime.datetime.strptime(text, fmt).date()
        except ValueError:
            pass
    return text


def normalise(field, value):
    """A value as a reader gives it, in the expected form: texts without trailing blanks, ""/None
    for blanks, dates and logicals parsed from texts."""
    _, ftype, _, decimals = field
    if isinstance(value, str) and ftype != "M":
        value = value.rstrip(" ")
    if ftype == "C":
        return "" if value is None else value
    if ftype == "M":
        return "" if value is None else value
    if value == "" or value is None:
        return None
    if ftype in "NF":
        if isinstance(value, str):
            value = float(value)
        return float(value) if decimals else value
    if ftype == "D":
        return as_date(value) if isinstance(value, str) else value
    if ftype == "L":
        return {"T": True, "F": False, "t": True, "f": False}.get(value, value) if isinstance(value, str) else value
    return value


def strip_date_time(value):
    return value.date() if isinstance(value, datetime.datetime) else value


class Reader:
    """`versions`: the table versions the reader reads; `unread`: why it reads no others; `notes`:
    quirks met by the way the reader is called."""

    def __init__(self, name, versions, read, quirks, header_date=True, unread=None, notes=()):
        self.name, self.versions, self.read, self.quirks = name, versions, read, quirks
        self.header_date, self.unread, self.notes = header_date, unread, list(notes)


NO_MEMO_FILE = "reads no memo file: an M field shows its block number, so memo texts are not compared"
READERS = [
    Reader("dbfread", {0x03, 0x83, 0x8B, 0xF5}, read_dbfread, [
        Quirk("takes the length word of a dBase IV memo block header, which counts the 8-byte header, for the "
              "text length, and so returns the 8 zero bytes that follow the text", {0x8B}, "M",
              lambda v: v + "\0" * 8 if v else v),
    ]),
    Reader("python3-dbf", {0x03, 0x83, 0xF5}, read_python_dbf, [
        Quirk("reads the header's year byte of FoxPro tables (0xF5) as years since 2000", {0xF5}, HEADER,
              lambda d: d.replace(year=d.year + 100)),
    ], unread="refuses dBase IV tables with memo fields (0x8B)"),
    Reader("Perl XBase", {0x03, 0x83, 0x8B, 0xF5}, read_xbase, [], header_date=False, notes=[
        "misses the 0x1A 0x1A that ends a dBase III memo when the pair straddles a block boundary; told to "
        "stop at the first 0x1A, as dBase III does, it reads every memo"]),
    Reader("GDAL ogr2ogr", {0x03, 0x83, 0x8B, 0xF5}, read_gdal, [
        Quirk(NO_MEMO_FILE, {0x83, 0x8B, 0xF5}, "M", lambda v: SKIP),
        Quirk("drops the leading blanks of character values", {0x03, 0x83, 0x8B, 0xF5}, "C", lambda v: v.lstrip(" ")),
    ], header_date=False),
    Reader("pgdbf", {0x03, 0x83, 0xF5}, read_pgdbf, [
        Quirk("reads a blank logical as false", {0x03, 0x83, 0xF5}, "L", lambda v: False if v is None else v),
    ], header_date=False, unread="reads the next-free block of the dBase IV memo header (0x8B) big-endian and refuses "
                                 "the memo file when that comes out negative (\"The next memofile block is negative\")"),
    Reader("dbview", {0x03, 0x83}, read_dbview, [
        Quirk(NO_MEMO_FILE, {0x83}, "M", lambda v: SKIP),
    ], unread="reads only dBase III tables (0x03, 0x83): \"Version 139 not supported\""),
    Reader("npm dbffile", {0x03, 0x83, 0x8B, 0xF5}, read_dbffile, []),
]


def reader_checks(qdbf, scratch, report, tools):
    for kind in KINDS:
        table = os.path.join(scratch, kind.name)
        where = "engine writes %s" % kind
        if report.step(where + " create", qdbf.create, table, kind.dialect,
                       ["%s;%s;%d;%d" % f for f in kind.fields()]) is None:
            continue
        for i in range(len(GIVEN)):
            report.step("%s append record %d" % (where, i + 1), qdbf.append, table, append_values(kind, i))
        expected = expected_records(kind)
        check_stored(report, where, kind, table)
        if kind.memo and not os.path.exists(kind.memo_file(table)):
            report.fail(where, "memo file %s not written in the case of the table's extension" % kind.memo_file(table))
        for reader in READERS:
            if kind.version not in reader.versions:
                continue
            at = "%s, %s reads" % (where, reader.name)
            got = report.step(at, reader.read, kind, table, tools)
            if got is None:
                continue
            if reader.header_date and "updated" in got:
                # The year byte counts from 1900 (126 for 2026): readers show this year.
                days = {tools["started"], datetime.date.today()}
                for quirk in reader.quirks:
                    if quirk.types == HEADER and kind.version in quirk.versions:
                        days = {quirk.adjust(d) for d in days}
                updated = strip_date_time(got["updated"])
                if updated not in days:
                    report.fail(at + " header date", "expected one of %s, got %s" % (sorted(days), updated))
            rows = got["rows"]
            if len(rows) != len(expected):
                report.fail(at, "expected %d records, read %d" % (len(expected), len(rows)))
            for r, (exp, act) in enumerate(zip(expected, rows)):
                for field in kind.fields():
                    name, ftype = field[0], field[1]
                    want = exp[name]
                    for quirk in reader.quirks:
                        if kind.version in quirk.versions and quirk.types != HEADER and ftype in quirk.types \
                                and want is not SKIP:
                            want = quirk.adjust(want)
                    if want is SKIP:
                        continue
                    if name not in act:
                        report.fail("%s record %d field %s" % (at, r + 1, name), "missing")
                        continue
                    report.equal("%s record %d field %s" % (at, r + 1, name), want, normalise(field, act[name]))


def check_stored(report, where, kind, table):
    """Numbers rounded half away from zero on the decimal given, never "-0"; blanks stored blank."""
    rows = stored_bytes(table)
    for r, (given, row) in enumerate(zip(GIVEN, rows)):
        for name, ftype, length, decimals in kind.fields():
            at = "%s record %d stored %s" % (where, r + 1, name)
            if ftype in "NF":
                report.equal(at, stored_number(given[name], length, decimals), row[name])
            elif ftype in "DL" and given[name] in ("", None):
                report.equal(at, " " * length, row[name])


# ---- tables the others write, read by the engine ----

def from_engine(field, value):
    """qdbf dump --format json: the engine shows a blank N or F as 0 and a blank L as false, its
    own reading of those bytes; D as "yyyymmdd" or ""."""
    return normalise(field, value)


def engine_dump(qdbf, table):
    """qdbf dump --format json, read leniently: a number field whose text is no number (GDAL's
    "*" blanks) is printed bare by qdbf, which is no JSON; it is read as the text it is."""
    out = qdbf.run("dump", table, "--format", "json").decode("utf-8")
    rows = []
    for line in out.splitlines():
        if line.strip():
            rows.append(json.loads(re.sub(r':(\*+)(?=[,}])', r':"\1"', line)))
    return rows


GDAL_FIELDS = [("CODIGO", "C", 80, 0), ("QTD", "N", 24, 15), ("SALDO", "N", 9, 0), ("DATA", "D", 8, 0),
               ("ATIVO", "N", 1, 0)]
GDAL_RECORDS = [
    {"CODIGO": "Caf\u00e9 \u20ac \u00c7\u00c3O", "QTD": -12.5, "SALDO": 7, "DATA": "2024-02-29", "ATIVO": True},
    {"CODIGO": "  leading", "QTD": 1234567.89, "SALDO": -99999999, "DATA": "1901-01-01", "ATIVO": False},
    {"CODIGO": "", "QTD": None, "SALDO": None, "DATA": None, "ATIVO": None},
]


WRITER_QUIRKS = [
    "GDAL writes a blank number as \"*\" (shown by the engine as stored) and a logical as an N(1) number",
    "npm dbffile writes version 0x30 tables without the 263-byte area after the descriptors (refused as invalid)",
]


def gdal_writes(qdbf, scratch, report):
    where = "GDAL writes 0x03, engine reads"
    source = os.path.join(scratch, "gdal_source.geojson")
    with open(source, "w", encoding="utf-8") as f:
        json.dump({"type": "FeatureCollection", "features": [
            {"type": "Feature", "properties": r, "geometry": None} for r in GDAL_RECORDS]}, f)
    table = os.path.join(scratch, "gdal_table.dbf")
    if report.step(where + " write", run, ["ogr2ogr", "-f", "ESRI Shapefile", table, source,
                                           "-lco", "ENCODING=CP1252"]) is None:
        return
    info = report.step(where + " qdbf info", qdbf.info, table)
    if info is not None:
        report.equal(where + " fields", GDAL_FIELDS,
                     [(f["name"], f["type"], f["length"], f["decimals"]) for f in info["fields"]])

    def expect(field, value):
        name, ftype, length, _ = field
        if value is None:
            return "*" * length if ftype == "N" else None  # GDAL writes a blank number as "*", shown as stored
        if name == "ATIVO":
            return 1 if value else 0  # GDAL writes logicals as N(1) numbers
        return datetime.date.fromisoformat(value) if ftype == "D" else value

    engine_reads(qdbf, report, where, table, GDAL_FIELDS, GDAL_RECORDS, expect)


def engine_reads(qdbf, report, where, table, fields, records, expect):
    """Compares what `qdbf dump` shows of `table` with `records`; `expect(field, value written)`
    gives the value the engine should show."""
    rows = report.step(where + " qdbf dump", engine_dump, qdbf, table)
    if rows is None:
        return
    report.equal(where + " records", len(records), len(rows))
    for r, (exp, act) in enumerate(zip(records, rows)):
        for field in fields:
            got = act.get(field[0])
            if not (isinstance(got, str) and got.startswith("*")):
                got = normalise(field, got)
            report.equal("%s record %d field %s" % (where, r + 1, field[0]), expect(field, exp[field[0]]), got)


DBFFILE_TABLES = [
    # version, fields, records (dates as yyyy-mm-dd; None = blank)
    (0x03, [("CODIGO", "C", 12, 0), ("QTD", "N", 10, 2), ("TAXA", "F", 12, 3), ("DATA", "D", 8, 0),
            ("ATIVO", "L", 1, 0)],
     [{"CODIGO": "Caf\u00e9 \u20ac", "QTD": -12.5, "TAXA": 2.676, "DATA": "2024-02-29", "ATIVO": True},
      {"CODIGO": "b", "QTD": None, "TAXA": None, "DATA": None, "ATIVO": None}]),
    # dbffile writes these two versions without a memo field and without a memo file.
    (0x83, [("CODIGO", "C", 5, 0), ("QTD", "N", 6, 0)], [{"CODIGO": "a", "QTD": 7}]),
    (0x8B, [("CODIGO", "C", 5, 0), ("QTD", "N", 6, 0), ("ATIVO", "L", 1, 0)],
     [{"CODIGO": "\u00e7", "QTD": -7, "ATIVO": False}]),
    # Known quirk: dbffile writes version 0x30 tables without the 263-byte area that follows the
    # descriptors of every such table; the engine refuses them as invalid.
    (0x30, [("CODIGO", "C", 5, 0), ("QTD", "I", 4, 0), ("PRECO", "B", 8, 0), ("VALOR", "Y", 8, 0)],
     [{"CODIGO": "v", "QTD": -42, "PRECO": 0.1, "VALOR": 2.5}]),
]
DBFFILE_REFUSED = {0x30: "Table Header for %s is invalid"}


def dbffile_writes(qdbf, scratch, report, tools):
    for version, fields, records in DBFFILE_TABLES:
        where = "npm dbffile writes 0x%02X, engine reads" % version
        table = os.path.join(scratch, "dbffile_%02x.dbf" % version)
        spec = {"fields": [{"name": n, "type": t, "size": s, "decimalPlaces": d} for n, t, s, d in fields],
                "records": records}
        if report.step(where + " write", run, [NODE, os.path.join(HERE, "dbffile_tool.js"), tools["node_modules"],
                                               "write", table, str(version)],
                       input=json.dumps(spec).encode("utf-8")) is None:
            continue
        if version in DBFFILE_REFUSED:
            refusal = DBFFILE_REFUSED[version] % table
            try:
                qdbf.info(table)
                report.fail(where, "expected the refusal \"%s\"" % refusal)
            except QdbfError as e:
                report.equal(where + " refusal", refusal, str(e).split("stderr: ", 1)[-1])
            continue
        info = report.step(where + " qdbf info", qdbf.info, table)
        if info is not None:
            report.equal(where + " version", "0x%02X" % version, info["version"])
            report.equal(where + " memo file", "", info["memo_file"])

        def expect(field, value):
            if value is None:
                return {"N": 0, "F": 0, "L": False}.get(field[1])  # the engine's reading of blanks
            return datetime.date.fromisoformat(value) if field[1] == "D" else value

        engine_reads(qdbf, report, where, table, fields, records, expect)


def vfp_binary_fields(qdbf, scratch, report, tools):
    """python3-dbf makes a version 0x30 table with binary fields; the engine appends to it (I, B, Y
    rounded ties to even, T, M with 4-byte block numbers) and python3-dbf reads every value."""
    dbf = tools["dbf"]
    where = "engine writes 0x30 binary fields, python3-dbf reads"
    table = os.path.join(scratch, "vfp_bin.dbf")

    def make():
        t = dbf.Table(table, "CODIGO C(5); QTD I; PRECO B; VALOR Y; QUANDO T; OBS M", dbf_type="vfp",
                      codepage=ENCODING)
        t.open(dbf.READ_WRITE)
        t.append(("tool", 42, 1.5, decimal.Decimal("2.5"), datetime.datetime(2024, 1, 1, 0, 30), "memo"))
        t.close()
        return True

    if report.step(where + " create", make) is None:
        return
    # A T value is milliseconds from the Julian day 1721425, the day before 1 January of year 1.
    day_ms = lambda d: d.toordinal() * 86400000  # noqa: E731
    appended = [
        ({"CODIGO": "a", "QTD": "-7", "PRECO": "0.1", "VALOR": "0.00015",
          "QUANDO": str(day_ms(datetime.date(2024, 2, 29)) + 45296789), "OBS": memo_text(513, 7)},
         ("a", -7, 0.1, decimal.Decimal("0.0002"), datetime.datetime(2024, 2, 29, 12, 34, 56, 789000),
          memo_text(513, 7))),
        ({"CODIGO": "b", "QTD": "2147483647", "PRECO": "-1e300", "VALOR": "-0.00025", "QUANDO": "0", "OBS": ""},
         ("b", 2147483647, -1e300, decimal.Decimal("-0.0002"), None, "")),
        ({"CODIGO": "c", "QTD": "-2147483648", "PRECO": "0", "VALOR": "922337203685477.5807",
          "QUANDO": str(day_ms(datetime.date(1, 1, 1))), "OBS": "x"},
         ("c", -2147483648, 0.0, decimal.Decimal("922337203685477.5807"), datetime.datetime(1, 1, 1), "x")),
    ]
    for i, (values, _) in enumerate(appended):
        report.step("%s append %d" % (where, i + 1), qdbf.append, table, values)

    def read():
        t = dbf.Table(table, codepage=ENCODING)
        t.open(dbf.READ_ONLY)
        try:
            return [tuple(r[f] for f in t.field_names) for r in t]
        finally:
            t.close()

    rows = report.step(where + " read", read)
    if rows is None:
        return
    expected = [("tool", 42, 1.5, decimal.Decimal("2.5"), datetime.datetime(2024, 1, 1, 0, 30), "memo")]
    expected += [e for _, e in appended]
    report.equal(where + " records", len(expected), len(rows))
    for r, (exp, act) in enumerate(zip(expected, rows)):
        for n, name in enumerate(("CODIGO", "QTD", "PRECO", "VALOR", "QUANDO", "OBS")):
            got = act[n].rstrip(" ") if isinstance(act[n], str) and name == "CODIGO" else act[n]
            report.equal("%s record %d field %s" % (where, r + 1, name), exp[n], got)


def main():
    if len(sys.argv) != 4:
        sys.stderr.write("usage: %s QDBF SCRATCH_DIR NODE_MODULES\n" % sys.argv[0])
        sys.exit(2)
    qdbf_path, scratch, node_modules = sys.argv[1:]
    if not os.access(qdbf_path, os.X_OK):
        sys.stderr.write("FAIL: qdbf binary not found at %s\n" % qdbf_path)
        sys.exit(1)
    import shutil
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    for tool, package in (("ogr2ogr", "gdal-bin"), ("pgdbf", "pgdbf"), ("dbview", "dbview"), (NODE, "nodejs"),
                          (PERL, "perl")):
        if shutil.which(tool) is None:
            sys.stderr.write("FAIL: %s is missing (Debian package %s; run scripts/deps)\n" % (tool, package))
            sys.exit(1)
    if not os.path.isdir(os.path.join(node_modules, "dbffile")):
        sys.stderr.write("FAIL: npm package dbffile is missing in %s (the interop_npm_setup test installs it)\n"
                         % node_modules)
        sys.exit(1)
    tools = {"dbfread": require("dbfread", "python3-dbfread"), "dbf": require("dbf", "python3-dbf"),
             "node_modules": node_modules, "started": datetime.date.today()}
    qdbf = Qdbf(qdbf_path)
    report = Report("independent readers and writers")
    reader_checks(qdbf, scratch, report, tools)
    gdal_writes(qdbf, scratch, report)
    dbffile_writes(qdbf, scratch, report, tools)
    vfp_binary_fields(qdbf, scratch, report, tools)
    for reader in READERS:
        for quirk in reader.quirks:
            report.note("%s %s" % (reader.name, quirk.description))
        for text in ([reader.unread] if reader.unread else []) + reader.notes:
            report.note("%s %s" % (reader.name, text))
    for text in WRITER_QUIRKS:
        report.note(text)
    report.finish()


if __name__ == "__main__":
    main()
