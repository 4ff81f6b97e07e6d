"""The qdbf verbs on tables other programs wrote: every writer x every verb, each verb on a fresh
copy of the writer's table, the result read back by python3-dbfread (an independent reader).

WRITERS make the same small table (CODIGO C, QTD N, DATA D and, where the writer writes memos, OBS
M) with Perl XBase (dBase III, dBase IV and FoxPro memos), python3-dbf (dBase III and FoxPro
memos), GDAL and npm dbffile (no memos, their own field sizes). VERBS run qdbf on the copy and say
what the table holds afterwards. A writer whose tool is missing is skipped with a note; with none
at all the test is skipped (exit status 77).

usage: interop_verbs.py QDBF SCRATCH_DIR NODE_MODULES
"""
import datetime
import json
import os
import shutil
import subprocess
import sys

from interop_common import ENCODING, Qdbf, Report, memo_text

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP = 77
D = datetime.date

# CODIGO, QTD, DATA, OBS (the memo, where the writer has one)
ROWS = [
    ("A1", 1.5, D(2024, 2, 29), memo_text(600, 1)),
    ("B2", 2.25, None, ""),
    ("C3", 3.0, D(1999, 12, 31), "nota curta"),
    ("D4", 4.75, D(2000, 1, 1), memo_text(1, 4)),
    ("E5", 0.5, None, "\u00e7\u00e3o \u20ac"),
]


def run(argv, **kwargs):
    p = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)
    if p.returncode != 0:
        raise RuntimeError("%s exited %d: %s" % (argv[0], p.returncode, p.stderr.decode("utf-8", "replace").strip()))
    return p.stdout


# ---- writers: each makes `table` holding ROWS and says whether it has the memo field ----

XBASE_WRITE = r'''
use strict; use warnings; use XBase; use JSON::PP; use Encode qw(encode);
my ($table, $kind) = @ARGV;
my %opts = $kind eq 'fox' ? (memofile => ($table =~ s/\.dbf$/.fpt/r)) : (version => ($kind eq 'db4' ? 0x8B : 3));
my $rows = JSON::PP->new->utf8->decode(do { local $/; <STDIN> });
my $t = XBase->create(name => $table, field_names => ['CODIGO', 'QTD', 'DATA', 'OBS'],
                      field_types => ['C', 'N', 'D', 'M'], field_lengths => [6, 8, 8, 10],
                      field_decimals => [0, 2, 0, 0], %opts) or die XBase->errstr;
for my $i (0 .. $#$rows) {
  my @r = @{$rows->[$i]};
  $t->set_record($i, $r[0], $r[1], $r[2] eq '' ? undef : $r[2], encode('cp1252', $r[3])) or die $t->errstr;
}
$t->close;
'''


def xbase_writer(kind):
    def write(table, tools):
        rows = [[c, q, d.strftime("%Y%m%d") if d else "", m] for c, q, d, m in ROWS]
        run(["/usr/bin/perl", "-e", XBASE_WRITE, table, kind], input=json.dumps(rows).encode("utf-8"))
        return True
    return write


def dbf_writer(dbf_type):
    def write(table, tools):
        dbf = tools["dbf"]
        t = dbf.Table(table, "CODIGO C(6); QTD N(8,2); DATA D; OBS M", dbf_type=dbf_type, codepage=ENCODING)
        t.open(dbf.READ_WRITE)
        for code, qty, date, memo in ROWS:
            t.append((code, qty, date, memo))
        t.close()
        return True
    return write


def gdal_write(table, tools):
    source = table + ".geojson"
    with open(source, "w", encoding="utf-8") as f:
        json.dump({"type": "FeatureCollection", "features": [
            {"type": "Feature", "geometry": None,
             "properties": {"CODIGO": c, "QTD": q, "DATA": d.isoformat() if d else None}} for c, q, d, _ in ROWS]}, f)
    run(["ogr2ogr", "-f", "ESRI Shapefile", table, source, "-lco", "ENCODING=CP1252"])
    os.remove(source)
    return False


def dbffile_write(table, tools):
    spec = {"fields": [{"name": "CODIGO", "type": "C", "size": 6}, {"name": "QTD", "type": "N", "size": 8,
                                                                       "decimalPlaces": 2},
                       {"name": "DATA", "type": "D", "size": 8}],
            "records": [{"CODIGO": c, "QTD": q, "DATA": d.isoformat() if d else None} for c, q, d, _ in ROWS]}
    run(["node", os.path.join(HERE, "dbffile_tool.js"), tools["node_modules"], "write", table, "3"],
        input=json.dumps(spec).encode("utf-8"))
    return False


# name, needs (a tool on the PATH or a Python module), write
WRITERS = [
    ("Perl XBase dBase III", "perl:XBase", xbase_writer("db3")),
    ("Perl XBase dBase IV", "perl:XBase", xbase_writer("db4")),
    ("Perl XBase FoxPro", "perl:XBase", xbase_writer("fox")),
    ("python3-dbf dBase III", "python:dbf", dbf_writer("db3")),
    ("python3-dbf FoxPro", "python:dbf", dbf_writer("fp")),
    ("GDAL", "tool:ogr2ogr", gdal_write),
    ("npm dbffile", "npm:dbffile", dbffile_write),
]


# ---- the table as rows: what a verb leaves, and what dbfread reads ----

def expected(rows, memo, fields=("CODIGO", "QTD", "DATA", "OBS")):
    """Live records as dicts of the named fields."""
    out = []
    for code, qty, date, text in rows:
        r = {"CODIGO": code, "QTD": qty, "DATA": date}
        if memo:
            r["OBS"] = text
        out.append({k: v for k, v in r.items() if k in fields})
    return out


READER_QUIRKS = [
    "dbfread reads a memo field without a memo as None (read here as \"\")",
    "dbfread returns the 8 zero bytes after the text of a dBase IV memo (0x8B), taking the block "
    "header's length word, which counts the header, for the text length (dropped here)",
]


def read_back(tools, table):
    """(field names, live records) as python3-dbfread reads them, with its quirks undone."""
    with open(table, "rb") as f:
        version = f.read(1)[0]
    t = tools["dbfread"].DBF(table, encoding=ENCODING, char_decode_errors="strict")
    rows = []
    for record in t:
        row = {}
        for name, value in record.items():
            if name == "OBS":
                value = "" if value is None else value
                if version == 0x8B and value.endswith("\0" * 8):
                    value = value[:-8]
            elif isinstance(value, str):
                value = value.rstrip(" ")
            row[name] = value
        rows.append(row)
    return t.field_names, rows


# ---- verbs: each runs qdbf on `table` and returns (field names, live records) expected ----

def verb_info(q, table, memo, scratch):
    info = q.info(table)
    names = [f["name"] for f in info["fields"]]
    return names, expected(ROWS, memo)


def verb_dump(q, table, memo, scratch):
    dumped = q.dump(table)
    codes = [r["CODIGO"] for r in dumped]
    if codes != [r[0] for r in ROWS]:
        raise AssertionError("dump shows codes %r" % codes)
    if memo and [r["OBS"] for r in dumped] != [r[3] for r in ROWS]:
        raise AssertionError("dump shows other memos")
    return None, expected(ROWS, memo)


def verb_delete_recall(q, table, memo, scratch):
    q.run("delete", table, "--filter", "QTD > 2")
    q.run("recall", table, "--filter", "QTD > 4")
    return None, expected([r for r in ROWS if not 2 < r[1] <= 4], memo)


def verb_replace(q, table, memo, scratch):
    q.run("replace", table, "--set", "QTD=QTD * 2", "--set", "CODIGO=LOWER(CODIGO)", "--filter", "QTD < 3")
    rows = [(c.lower(), q_ * 2, d, m) if q_ < 3 else (c, q_, d, m) for c, q_, d, m in ROWS]
    return None, expected(rows, memo)


def verb_import(q, table, memo, scratch):
    dump = os.path.join(scratch, "dump.json")
    with open(dump, "wb") as f:
        f.write(q.run("dump", table, "--format", "json"))
    q.run("import", table, dump, "--format", "json", "--strict")
    return None, expected(ROWS + ROWS, memo)


def verb_pack(q, table, memo, scratch):
    q.run("delete", table, "--filter", "QTD > 2 .AND. QTD < 4")
    q.run("pack", table)
    live = [r for r in ROWS if not 2 < r[1] < 4]
    if q.info(table)["records"] != len(live):
        raise AssertionError("the header counts %d records" % q.info(table)["records"])
    return None, expected(live, memo)


def verb_restructure(q, table, memo, scratch):
    q.run("restructure", table, "--add", "NOVO;C;4", "--retype", "QTD;N;10;3", "--rename", "DATA=QUANDO")
    if not os.path.exists(os.path.splitext(table)[0] + ".bak"):
        raise AssertionError("no backup beside the table")
    rows = expected(ROWS, memo)
    for r in rows:
        r["QUANDO"] = r.pop("DATA")
        r["NOVO"] = ""
    names = ["CODIGO", "QTD", "QUANDO"] + (["OBS"] if memo else []) + ["NOVO"]
    return names, rows


def verb_index(q, table, memo, scratch):
    index = os.path.join(scratch, "codigo.ntx")
    q.run("index", "create", table, index, "--key", "CODIGO")
    q.run("append", table, "CODIGO=F6", "QTD=6", "--index", index)
    q.run("index", "check", table, index)
    seek = q.run("index", "seek", table, index, "F6").decode().strip()
    if seek != "found %d" % (len(ROWS) + 1):
        raise AssertionError("index seek says %r" % seek)
    return None, expected(ROWS + [("F6", 6.0, None, "")], memo)


VERBS = [
    ("info", verb_info),
    ("dump", verb_dump),
    ("delete/recall", verb_delete_recall),
    ("replace", verb_replace),
    ("import", verb_import),
    ("pack", verb_pack),
    ("restructure", verb_restructure),
    ("index create/check", verb_index),
]


def available(need, tools):
    kind, name = need.split(":")
    if kind == "tool":
        return shutil.which(name) is not None
    if kind == "perl":
        return subprocess.run(["/usr/bin/perl", "-M" + name, "-e", "1"], stderr=subprocess.DEVNULL).returncode == 0
    if kind == "python":
        return tools.get(name) is not None
    return shutil.which("node") is not None and os.path.isdir(os.path.join(tools["node_modules"], name))


def main():
    if len(sys.argv) != 4:
        sys.stderr.write("usage: %s QDBF SCRATCH_DIR NODE_MODULES\n" % sys.argv[0])
        sys.exit(2)
    qdbf_path, scratch, node_modules = sys.argv[1:]
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    tools = {"node_modules": node_modules}
    for module in ("dbf", "dbfread"):
        try:
            tools[module] = __import__(module)
        except ImportError:
            tools[module] = None
    if tools["dbfread"] is None:
        print("skipped: python3-dbfread is missing (run scripts/deps)")
        sys.exit(SKIP)
    q = Qdbf(qdbf_path)
    report = Report("qdbf verbs on other writers' tables")
    written = 0
    for name, need, write in WRITERS:
        if not available(need, tools):
            report.note("%s skipped: %s is missing (run scripts/deps)" % (name, need.split(":")[1]))
            continue
        original = os.path.join(scratch, name.replace(" ", "_").lower() + ".dbf")
        memo = report.step(name + " write", write, original, tools)
        if memo is None:
            continue
        written += 1
        for verb, fn in VERBS:
            where = "%s, %s" % (name, verb)
            folder = os.path.join(scratch, "%s_%s" % (os.path.basename(original)[:-4], verb.split("/")[0].split(" ")[0]))
            os.makedirs(folder)
            table = os.path.join(folder, "t.dbf")
            for ext in (".dbf", ".dbt", ".fpt", ".DBT", ".FPT"):
                source = original[:-4] + ext
                if os.path.exists(source):
                    shutil.copy(source, table[:-4] + ext)
            result = report.step(where, fn, q, table, memo, folder)
            if result is None:
                continue
            names, rows = result
            got = report.step(where + " read back", read_back, tools, table)
            if got is None:
                continue
            if names is not None:
                report.equal(where + " fields", names, got[0])
            report.equal(where + " records", len(rows), len(got[1]))
            for n, (want, have) in enumerate(zip(rows, got[1])):
                for field, value in want.items():
                    report.equal("%s record %d %s" % (where, n + 1, field), value, have.get(field))
    for text in READER_QUIRKS:
        report.note(text)
    if written == 0:
        print("skipped: none of the writers is installed (run scripts/deps)")
        sys.exit(SKIP)
    report.finish()


if __name__ == "__main__":
    main()
