"""`ckp json` and Python see the same text: bytes that are not UTF-8 are
surrogate escapes in both, and `ckp from-json` gives them back."""
import json
import os
import subprocess

import pytest

import ckp

TOOL = os.environ.get("CKP_TOOL")


@pytest.mark.skipif(not TOOL, reason="the ckp command is not built")
def test_json_and_python_read_the_same_text(write):
    content = (b'WRXCHECKPOINT="1.0"\n; caf\xe9\n'
               b'm\xe9t k="\xfc\xe2\x82" ok="\xc3\xa9\xf0\x9f\x98\x80"\n'
               b'b v="\xed\xa0\x80\xf0\x9f\x98"\n')
    path = write("latin.ckpt", content)
    done = subprocess.run([TOOL, "json", path], capture_output=True, check=True)
    objects = [json.loads(line) for line in done.stdout.decode("utf-8").splitlines()]
    records = list(ckp.read(path))
    assert [(o.get("path"), [tuple(p) for p in o["props"]]) for o in objects] == \
        [(r.path, list(r.props)) for r in records]
    assert objects[1]["text"] == "; caf\udce9"
    back = subprocess.run([TOOL, "from-json"], input=done.stdout, capture_output=True,
                          check=True)
    assert back.stdout == content


@pytest.mark.skipif(not TOOL, reason="the ckp command is not built")
def test_lines_follow_one_rule(write):
    write("sub.ckpt", 'WRXCHECKPOINT="1.0"\n; sub\ns/a k="1" \\\n  j="2"\n')
    path = write("main.ckpt", 'WRXCHECKPOINT="1.0"\n; note\n\na x="1" \\\n  ; inside\n'
                              '  y=""\nbad \\\n  k="open\nsub.ckpt WRXinc\nz q="1"\n')
    done = subprocess.run([TOOL, "json", path], capture_output=True)
    objects = [json.loads(line) for line in done.stdout.decode().splitlines()]
    ours = [(r.type.name.lower().replace("_", ""), r.line, r.end_line,
             r.error[1] if r.error else None) for r in ckp.read(path)]
    theirs = [(o["type"], o["line"], o["end_line"], o.get("error_line")) for o in objects]
    assert ours == theirs
    assert ("syntax", 7, 8, 8) in ours
