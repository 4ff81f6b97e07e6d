#!/usr/bin/env python3
"""The layering check: quiet on the checkout, failing on includes that run the wrong way.

Usage: check_layers_test.py CHECKOUT
"""
import pathlib
import shutil
import subprocess
import sys
import tempfile

CHECKOUT = pathlib.Path(sys.argv[1])
CHECK = CHECKOUT / "scripts" / "check-layers"
failures = []


def run(root):
    result = subprocess.run([sys.executable, str(CHECK), str(root)], capture_output=True, text=True)
    return result.returncode, result.stderr


def expect(name, condition, detail=""):
    if not condition:
        failures.append(f"{name}: {detail}")


code, err = run(CHECKOUT)
expect("the checkout keeps its layers", code == 0, err)

with tempfile.TemporaryDirectory() as scratch:
    # A copy of the real sources with one deliberately wrong include: the format layer reaching
    # up into the handler.
    tree = pathlib.Path(scratch) / "tree"
    shutil.copytree(CHECKOUT / "src", tree / "src")
    value_h = tree / "src" / "dbf" / "value.h"
    value_h.write_text(value_h.read_text() + '\n#include "handler/db_handler.h"\n')
    code, err = run(tree)
    expect("the format layer including the handler fails", code == 1, err)
    expect("the fault names the file and the include",
           'src/dbf/value.h' in err and '"handler/db_handler.h"' in err and "1 include(s)" in err, err)

    # Small trees: what passes and what does not.
    cases = [
        ("downward includes pass", {"handler/a.cpp": '#include "index/b.h"\n#include "platform/c.h"\n#include <vector>\n'}, 0),
        ("own folder and plain names pass", {"expr/sort/a.cpp": '#include "expr/b.h"\n#include "a.h"\n'}, 0),
        ("upward include fails", {"expr/a.cpp": '#include "index/b.h"\n'}, 1),
        ("folders of one level stay apart", {"config/a.cpp": '#include "dataset/b.h"\n'}, 1),
        ("an unplaced folder fails", {"newthing/a.cpp": '#include "platform/b.h"\n'}, 1),
        ("spaces inside the directive are read", {"platform/a.h": '#  include   "dbf/b.h"\n'}, 1),
    ]
    for name, files, wanted in cases:
        root = pathlib.Path(scratch) / name.replace(" ", "_")
        for relative, text in files.items():
            path = root / "src" / relative
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text)
        code, err = run(root)
        expect(name, code == wanted, f"exit {code}, wanted {wanted}: {err}")

for failure in failures:
    print("FAILED", failure)
sys.exit(1 if failures else 0)
