"""What the interoperability checks share: running qdbf, the reference data set written by one side
and read by the other, and the comparison that prints every mismatch.

Table texts are Windows-1252 bytes; in Python the reference values are str. qdbf takes and prints
UTF-8 and converts; the other tools are told the code page.
"""
import datetime
import importlib
import json
import os
import shutil
import subprocess
import sys

ENCODING = "cp1252"


def require(module, package):
    """Imports a reader/writer module; a missing one fails the test (CI installs it via scripts/deps)."""
    try:
        return importlib.import_module(module)
    except ImportError as e:
        sys.stderr.write("FAIL: Python module '%s' is missing (Debian package %s; run scripts/deps): %s\n"
                         % (module, package, e))
        sys.exit(1)


def parse_args():
    if len(sys.argv) != 3:
        sys.stderr.write("usage: %s QDBF SCRATCH_DIR\n" % sys.argv[0])
        sys.exit(2)
    qdbf, scratch = sys.argv[1], sys.argv[2]
    if not os.access(qdbf, os.X_OK):
        sys.stderr.write("FAIL: qdbf binary not found at %s\n" % qdbf)
        sys.exit(1)
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    return Qdbf(qdbf), scratch


class QdbfError(Exception):
    pass


class Qdbf:
    """The engine's command-line tool."""

    def __init__(self, path):
        self.path = path

    def run(self, *args):
        argv = [self.path] + [a if isinstance(a, bytes) else str(a).encode("utf-8") for a in args]
        p = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if p.returncode != 0:
            shown = [a.decode("utf-8", "replace") if isinstance(a, bytes) else a for a in argv]
            shown = [s if len(s) < 80 else s[:60] + "...(%d bytes)" % len(s) for s in shown]
            raise QdbfError("qdbf exited %d: %s\n  stderr: %s" % (p.returncode, " ".join(shown),
                                                             p.stderr.decode("utf-8", "replace").strip()))
        return p.stdout

    def create(self, table, dialect, specs):
        self.run("create", table, "--type", dialect, *specs)
        return table

    def append(self, table, values):
        """values: field name -> str. qdbf takes UTF-8 on its command line and stores Windows-1252."""
        self.run("append", table, *[("%s=%s" % (k, v)).encode("utf-8") for k, v in values.items()])
        return True

    def dump(self, table, deleted=False):
        args = ["dump", table, "--format", "json"] + (["--deleted"] if deleted else [])
        out = self.run(*args).decode("utf-8")
        return [json.loads(line) for line in out.splitlines() if line.strip()]

    def info(self, table):
        return json.loads(self.run("info", table, "--json").decode("utf-8"))


# ---- the reference data set ----

# Field specifications for `qdbf create` (NAME;TYPE;LENGTH;DECIMALS) and the same fields as tuples.
FIELDS = [
    ("CODIGO", "C", 12, 0),
    ("NOME", "C", 30, 0),
    ("QTD", "N", 10, 2),
    ("SALDO", "N", 8, 0),
    ("DATA", "D", 8, 0),
    ("ATIVO", "L", 1, 0),
    ("OBS", "M", 10, 0),
]
SPECS = ["%s;%s;%d;%d" % f for f in FIELDS]

# Memo lengths around the 512-byte block of the dBase formats (510 + the 2-byte terminator fills a
# block exactly) and one long enough to need many blocks and more than 16 bits of length.
MEMO_LENGTHS = [0, 1, 510, 511, 512, 100000]


def memo_text(length, seed):
    """A deterministic text of exactly `length` Windows-1252 bytes: letters, digits, accented letters,
    punctuation and line breaks; never 0x00 or 0x1A."""
    pool = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 .,;:!?-+*/()\"'#%&=" \
           "\u00e1\u00e9\u00ed\u00f3\u00fa\u00e7\u00e3\u00f5\u00c7\u00c3\u00ea\u20ac\u00ba\u00aa"
    out = []
    x = seed * 7919 + 17
    while len(out) < length:
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        if length - len(out) >= 2 and x % 97 == 0:
            out += ["\r", "\n"]
        else:
            out.append(pool[(x >> 8) % len(pool)])
    text = "".join(out)
    assert len(text.encode(ENCODING)) == length
    return text


def reference_records():
    """The records to write, as Python values: C str, N int/float, D datetime.date or None,
    L True/False/None (None = never set, stored blank), M str ("" = no memo)."""
    d = datetime.date
    base = [
        ("A-001", "Caf\u00e9 com a\u00e7\u00facar", -12.5, 0, d(2024, 2, 29), True),
        ("B-002", "", 0.01, -9999999, None, False),
        ("C-003", "Pre\u00e7o \u20ac 10", 1234567.89, 12345678, d(1999, 12, 31), True),
        ("D-004", "S\u00c3O PAULO", -0.5, -1, d(2000, 1, 1), False),
        ("E-005", "  leading blanks", 0, 42, d(2100, 3, 1), True),
        ("F-006", "x" * 30, -99999.99, 7, d(1901, 1, 1), False),
    ]
    records = []
    for i, (code, name, qty, saldo, date, active) in enumerate(base):
        records.append({"CODIGO": code, "NOME": name, "QTD": qty, "SALDO": saldo, "DATA": date,
                        "ATIVO": active, "OBS": memo_text(MEMO_LENGTHS[i], i + 1)})
    # A record that sets only its key: every other field stays as a blank record holds it.
    records.append({"CODIGO": "G-007", "NOME": "", "QTD": 0, "SALDO": 0, "DATA": None, "ATIVO": None,
                    "OBS": ""})
    return records


def extra_records():
    """Records the engine appends to tables another tool wrote (memo texts that grow the memo file
    past the tool's last memo)."""
    d = datetime.date
    return [
        {"CODIGO": "X-101", "NOME": "Acr\u00e9scimo", "QTD": 3.75, "SALDO": -3, "DATA": d(2026, 1, 31),
         "ATIVO": True, "OBS": memo_text(600, 101)},
        {"CODIGO": "X-102", "NOME": "", "QTD": -0.01, "SALDO": 0, "DATA": None, "ATIVO": False,
         "OBS": memo_text(1, 102)},
    ]


def qdbf_values(record):
    """The NAME=VALUE texts for `qdbf append` (fields left blank are not given)."""
    if record["ATIVO"] is None:
        return {"CODIGO": record["CODIGO"]}
    out = {}
    for name, ftype, length, decimals in FIELDS:
        v = record[name]
        if ftype == "N":
            out[name] = ("%.*f" % (decimals, v))
        elif ftype == "D":
            out[name] = v.strftime("%Y%m%d") if v else ""
        elif ftype == "L":
            out[name] = "T" if v else "F"
        else:
            out[name] = v
    return out


# ---- comparison ----

def _short(v):
    if isinstance(v, str) and len(v) > 60:
        return "%r...(%d chars)" % (v[:40], len(v))
    return repr(v)


def describe_difference(expected, actual):
    if isinstance(expected, str) and isinstance(actual, str) and max(len(expected), len(actual)) > 60:
        n = next((i for i, (a, b) in enumerate(zip(expected, actual)) if a != b), min(len(expected), len(actual)))
        return ("expected %d chars, got %d; first difference at offset %d: expected %r, got %r"
                % (len(expected), len(actual), n, expected[n:n + 20], actual[n:n + 20]))
    return "expected %s (%s), got %s (%s)" % (_short(expected), type(expected).__name__, _short(actual),
                                             type(actual).__name__)


class Report:
    """Collects mismatches of one test and prints them as a readable diff."""

    def __init__(self, name):
        self.name = name
        self.failures = []
        self.checks = 0
        self.notes = []

    def equal(self, where, expected, actual):
        self.checks += 1
        if isinstance(expected, bool) or isinstance(actual, bool) or expected is None or actual is None:
            same = type(expected) is type(actual) and expected == actual
        elif isinstance(expected, (int, float)) and isinstance(actual, (int, float)):
            same = abs(expected - actual) < 1e-9
        else:
            same = type(expected) is type(actual) and expected == actual
        if not same:
            self.failures.append("%s: %s" % (where, describe_difference(expected, actual)))
        return same

    def fail(self, where, message):
        self.checks += 1
        self.failures.append("%s: %s" % (where, message))

    def note(self, text):
        self.notes.append(text)

    def step(self, where, fn, *args, **kwargs):
        """Runs one step; an exception becomes a mismatch and the result None."""
        try:
            return fn(*args, **kwargs)
        except Exception as e:  # any failure of a tool is a finding to print, not a crash of the test
            self.fail(where, "%s: %s" % (type(e).__name__, e))
            return None

    def finish(self):
        for n in self.notes:
            print("note: " + n)
        if self.failures:
            print("%s: %d of %d checks FAILED" % (self.name, len(self.failures), self.checks))
            for f in self.failures:
                print("  - " + f)
            sys.exit(1)
        print("%s: %d checks passed" % (self.name, self.checks))
        sys.exit(0)


def compare_records(report, where, expected_records, actual_records, convert, fields=None):
    """Compares records field by field (all of FIELDS unless `fields` is given); `convert(field
    tuple, value read)` maps what a reader gives to the reference's Python value."""
    if len(expected_records) != len(actual_records):
        report.fail(where, "expected %d records, read %d" % (len(expected_records), len(actual_records)))
    for i, (exp, act) in enumerate(zip(expected_records, actual_records)):
        for field in fields or FIELDS:
            name = field[0]
            if name not in act:
                report.fail("%s record %d field %s" % (where, i + 1, name), "field missing in what was read")
                continue
            report.equal("%s record %d field %s" % (where, i + 1, name), exp[name], convert(field, act[name]))


def from_qdbf_json(field, value):
    """qdbf dump --format json: D as "yyyymmdd" or "", L as bool, N as a number, C/M as text."""
    _, ftype, _, _ = field
    if ftype == "D":
        return datetime.datetime.strptime(value, "%Y%m%d").date() if value else None
    return value


def expected_as_qdbf_reads(record):
    """The engine reads a never-set logical as false (the blank stored character is not a true letter)."""
    r = dict(record)
    if r["ATIVO"] is None:
        r["ATIVO"] = False
    return r


def reference_json_lines():
    """The reference and extra records for the Perl checks, one JSON object per line: "group" says
    which, "values" are the texts for `qdbf append`, "expected" the values with D as "yyyymmdd" or
    "" and L as true/false/null."""
    lines = []
    for group, records in (("reference", reference_records()), ("extra", extra_records())):
        for r in records:
            expected = dict(r)
            expected["DATA"] = r["DATA"].strftime("%Y%m%d") if r["DATA"] else ""
            lines.append(json.dumps({"group": group, "values": qdbf_values(r), "expected": expected},
                                    ensure_ascii=True))
    return lines


if __name__ == "__main__":
    # interop_common.py reference: prints the reference records for the Perl checks.
    if sys.argv[1:] == ["reference"]:
        print("\n".join(reference_json_lines()))
    else:
        sys.stderr.write("usage: interop_common.py reference\n")
        sys.exit(2)
