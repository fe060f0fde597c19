#!/usr/bin/env python3
"""check-json-doc.py JSON_MD CKP

Runs the example of JSON_MD (the files after "`main.ckpt`:" and
"`sub.ckpt`:") through the built command CKP and compares its output,
object by object, and its exit status with what the document shows.
Exits 77 (skipped) when CKP prints no end_line at all: a command older
than the documented schema.
"""
import json
import re
import subprocess
import sys
import tempfile
from pathlib import Path


def block_after(text, marker):
    start = text.index(marker)
    match = re.compile(r"^```[a-z]*\n(.*?)^```", re.S | re.M).search(text, start)
    return match.group(1)


def main():
    doc = Path(sys.argv[1]).read_text()
    ckp = str(Path(sys.argv[2]).resolve())
    want = [json.loads(line) for line in block_after(doc, "`ckp json main.ckpt`").splitlines()]
    want_status = int(re.search(r"`ckp json main.ckpt` prints .*? exits (\d)", doc, re.S).group(1))
    with tempfile.TemporaryDirectory() as work:
        for name in ("main.ckpt", "sub.ckpt"):
            Path(work, name).write_text(block_after(doc, f"`{name}`:"))
        run = subprocess.run([ckp, "json", "main.ckpt"], cwd=work, capture_output=True, text=True)
    got = [json.loads(line) for line in run.stdout.splitlines()]
    if got and not any("end_line" in record for record in got):
        print("ckp json prints no end_line: the documented example is not checked")
        return 77
    status = 0
    if run.returncode != want_status:
        print(f"exit status {run.returncode}, the document says {want_status}: {run.stderr}")
        status = 1
    for i in range(max(len(got), len(want))):
        g = got[i] if i < len(got) else None
        w = want[i] if i < len(want) else None
        if g != w:
            print(f"record {i + 1}:\n  printed  {json.dumps(g)}\n  document {json.dumps(w)}")
            status = 1
    if status == 0:
        print(f"the documented example: {len(want)} records as printed")
    return status


if __name__ == "__main__":
    sys.exit(main())
