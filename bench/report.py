#!/usr/bin/env python3
"""Runs every benchmark of a build tree and prints one table: the operation, our time, the time
of its reference measured in the same run, the ratio and the aim.

Usage: report.py BUILD_DIR [--repetitions N] [--only WORD]

Each Google Benchmark program runs with its repetitions interleaved at random, so that a
reference and the operation it is compared with share the machine's moods; the table shows
medians. The qdbf dump is timed against python3-dbfread and Perl XBase's dbf_dump on one
1,000,000-record table made here. Only the standard library and the Debian tools are used.
"""

import argparse
import json
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from typing import Optional

PROGRAMS = ["table_bench", "navigation_bench", "key_sort_bench", "expr_bench", "exchange_bench"]
# Whole-session programs time several sessions per benchmark already: one repetition is enough.
SINGLE_RUN = {"exchange_bench"}


@dataclass
class Row:
    operation: str
    ours: str                      # "program:benchmark" or "dump:tool"
    reference: Optional[str]       # as `ours`, or None for an absolute aim
    reference_label: str = ""
    ratio_at_most: Optional[float] = None
    seconds_under: Optional[float] = None
    aim_text: str = ""
    counters: tuple = ()           # benchmark counters shown in the notes


ROWS = [
    Row("physical scan with read-ahead, sum of an N field", "navigation_bench:BM_ScanWithReadAhead",
        "navigation_bench:BM_ScanRawChunks", "raw loop: 1 MB reads, field parsed", ratio_at_most=1.3),
    Row("read record by record without read-ahead", "table_bench:BM_ReadHandler", "table_bench:BM_ReadRaw",
        "one pread per record", aim_text="close the gap"),
    Row("append to an exclusive table", "table_bench:BM_AppendHandler", "table_bench:BM_AppendRaw",
        "one pwrite per record", ratio_at_most=0.5),
    Row("KeySort, 20-byte text keys", "key_sort_bench:BM_KeySortText20", "key_sort_bench:BM_StdSortText20",
        "std::sort", ratio_at_most=1 / 3, counters=("runs",)),
    Row("KeySort, doubles", "key_sort_bench:BM_KeySortDouble", "key_sort_bench:BM_StdSortDouble", "std::sort",
        ratio_at_most=1.0, counters=("runs",)),
    Row("KeySort, dates", "key_sort_bench:BM_KeySortDate", "key_sort_bench:BM_StdSortDate", "std::sort",
        ratio_at_most=1.0, counters=("runs",)),
    Row("SortFile (sorted copy by CODIGO)", "navigation_bench:BM_SortFile", None, seconds_under=1.0),
    Row("SetFilter, then a walk through it", "navigation_bench:BM_SetFilter", None, seconds_under=0.12),
    Row("filter QTD > 10 .AND. .NOT. DELETED()", "expr_bench:BM_FilterInterpreted",
        "expr_bench:BM_FilterHandWritten", "hand-written C++", ratio_at_most=3.0),
    Row("key UPPER(CODIGO) + DTOS(DATA)", "expr_bench:BM_KeyInterpreted", "expr_bench:BM_KeyHandWritten",
        "hand-written C++"),
    Row("HotSync load, 100,000 products (SDF)", "exchange_bench:BM_LoadSdf", None, seconds_under=0.2,
        counters=("peak_rss_MB", "import_s")),
    Row("HotSync load, 100,000 products (CSV)", "exchange_bench:BM_LoadCsv", None, seconds_under=0.2,
        counters=("peak_rss_MB", "import_s")),
    Row("HotSync unload, 100,000 counts", "exchange_bench:BM_Unload", None, seconds_under=0.12,
        counters=("peak_rss_MB", "prepare_empty_s", "export_text_s", "export_dbf_s")),
    Row("qdbf dump --format csv, 1,000,000 records", "dump:qdbf", "dump:dbfread",
        "python3-dbfread iterating", ratio_at_most=0.1),
    Row("qdbf dump --format csv, 1,000,000 records", "dump:qdbf", "dump:dbf_dump", "Perl XBase dbf_dump",
        ratio_at_most=0.1),
]

TIME_UNITS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def base_name(run_name):
    """BM_X/iterations:1/manual_time -> BM_X"""
    return run_name.split("/")[0]


def run_program(path, repetitions, single):
    args = [path, "--benchmark_format=json"]
    if not single and repetitions > 1:
        args += [f"--benchmark_repetitions={repetitions}", "--benchmark_enable_random_interleaving=true"]
    result = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        sys.stderr.write(f"{os.path.basename(path)} failed:\n{result.stderr[-2000:]}\n")
    try:
        data = json.loads(result.stdout)
    except json.JSONDecodeError:
        return {}
    runs = {}
    for b in data.get("benchmarks", []):
        if b.get("run_type") != "iteration" or "error_message" in b:
            if "error_message" in b:
                sys.stderr.write(f"{b['name']}: {b['error_message']}\n")
            continue
        name = base_name(b.get("run_name", b["name"]))
        entry = runs.setdefault(name, {"seconds": [], "counters": {}})
        entry["seconds"].append(b["real_time"] * TIME_UNITS[b["time_unit"]])
        for key, value in b.items():
            if isinstance(value, (int, float)) and key not in ("real_time", "cpu_time", "iterations",
                                                               "repetitions", "repetition_index",
                                                               "threads", "family_index",
                                                               "per_family_instance_index"):
                entry["counters"].setdefault(key, []).append(value)
    return {name: {"seconds": statistics.median(e["seconds"]),
                   "counters": {k: statistics.median(v) for k, v in e["counters"].items()}}
            for name, e in runs.items()}


# --- qdbf dump against the other readers -------------------------------------------------------

DUMP_RECORDS = 1_000_000
DUMP_FIELDS = [("CODIGO", b"C", 20, 0), ("LOJA", b"C", 4, 0), ("ESTOQUE", b"N", 6, 0), ("DATA", b"D", 8, 0)]


def write_dump_table(path):
    """A 1,000,000-record dBase III table of 39-byte records (39 MB), made byte by byte."""
    record_length = 1 + sum(f[2] for f in DUMP_FIELDS)
    header_length = 32 + 32 * len(DUMP_FIELDS) + 1
    header = struct.pack("<B3BIHH20x", 0x03, 124, 6, 7, DUMP_RECORDS, header_length, record_length)
    for name, kind, length, decimals in DUMP_FIELDS:
        header += struct.pack("<11sc4xBB14x", name.encode(), kind, length, decimals)
    header += b"\r"
    with open(path, "wb") as out:
        out.write(header)
        chunk = []
        for i in range(DUMP_RECORDS):
            code = b"789%010d" % (i * 7919 % 10_000_000_000)
            day = 1 + i % 28
            chunk.append(b" %-20s%-4s%6d%04d%02d%02d" % (code, b"0%d" % (1 + i % 9), i % 100_000 - 500,
                                                       2000 + i % 25, 1 + i % 12, day))
            if len(chunk) == 65536:
                out.write(b"".join(chunk))
                chunk = []
        out.write(b"".join(chunk))
        out.write(b"\x1a")


def time_command(args):
    start = time.perf_counter()
    with open(os.devnull, "wb") as sink:
        result = subprocess.run(args, stdout=sink, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        raise RuntimeError(f"{args[0]} failed: {result.stderr.decode(errors='replace')[-500:]}")
    return elapsed


def run_dump(build_dir, repetitions):
    qdbf = os.path.join(build_dir, "qdbf")
    commands = {
        "qdbf": [qdbf, "dump", None, "--format", "csv"],
        "dbfread": ["/usr/bin/python3", "-c",
                    "import sys, dbfread\nfor record in dbfread.DBF(sys.argv[1]): pass", None],
        "dbf_dump": [shutil.which("dbf_dump") or "/usr/bin/dbf_dump", None],
    }
    folder = tempfile.mkdtemp(prefix="quarvel-dump-bench-")
    try:
        table = os.path.join(folder, "CONTAGEM.DBF")
        write_dump_table(table)
        times = {tool: [] for tool in commands}
        for _ in range(repetitions):
            for tool, args in commands.items():
                try:
                    times[tool].append(time_command([table if a is None else a for a in args]))
                except (RuntimeError, OSError) as error:
                    sys.stderr.write(f"dump with {tool}: {error}\n")
        return {tool: {"seconds": statistics.median(t), "counters": {}} for tool, t in times.items() if t}
    finally:
        shutil.rmtree(folder, ignore_errors=True)


# --- the table ---------------------------------------------------------------------------------

def lookup(results, key):
    program, name = key.split(":")
    return results.get(program, {}).get(name)


def seconds_text(s):
    return f"{s:.3f} s" if s >= 0.1 else f"{s * 1000:.1f} ms"


def aim_of(row):
    if row.ratio_at_most is not None:
        return f"<= {row.ratio_at_most:.2f}x"
    if row.seconds_under is not None:
        return f"< {seconds_text(row.seconds_under)}"
    return row.aim_text or "-"


def print_table(results):
    lines = [("Operation", "Ours", "Reference (same run)", "Ratio", "Aim", "", "Notes")]
    for row in ROWS:
        ours = lookup(results, row.ours)
        ref = lookup(results, row.reference) if row.reference else None
        ours_text = seconds_text(ours["seconds"]) if ours else "n/a"
        ref_text = "-"
        ratio_text = "-"
        status = ""
        if row.reference:
            ref_text = f"{row.reference_label} {seconds_text(ref['seconds'])}" if ref else f"{row.reference_label} n/a"
            if ours and ref and ref["seconds"] > 0:
                ratio = ours["seconds"] / ref["seconds"]
                ratio_text = f"{ratio:.2f}x"
                if row.ratio_at_most is not None:
                    status = "met" if ratio <= row.ratio_at_most else "missed"
        elif ours and row.seconds_under is not None:
            status = "met" if ours["seconds"] < row.seconds_under else "missed"
        notes = ""
        if ours:
            notes = ", ".join(f"{c} {ours['counters'][c]:.3g}" for c in row.counters if c in ours["counters"])
        lines.append((row.operation, ours_text, ref_text, ratio_text, aim_of(row), status, notes))
    widths = [max(len(line[i]) for line in lines) for i in range(len(lines[0]))]
    for n, line in enumerate(lines):
        print("  ".join(cell.ljust(widths[i]) for i, cell in enumerate(line)).rstrip())
        if n == 0:
            print("  ".join("-" * w for w in widths))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build_dir")
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--only", help="run only the programs (or 'dump') whose name contains this word")
    args = parser.parse_args()
    results = {}
    for program in PROGRAMS:
        if args.only and args.only not in program:
            continue
        path = os.path.join(args.build_dir, "bench", program)
        if not os.access(path, os.X_OK):
            sys.stderr.write(f"{path} is missing\n")
            continue
        sys.stderr.write(f"running {program}...\n")
        results[program] = run_program(path, args.repetitions, program in SINGLE_RUN)
    if not args.only or args.only in "dump":
        sys.stderr.write("running the dump comparison...\n")
        results["dump"] = run_dump(args.build_dir, args.repetitions)
    print_table(results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
