import os
import subprocess

import pytest

import ckp
from conftest import child_env
from ckp import Type

EXPECTED = (b'WRXCHECKPOINT="1.0"\n'
            b";made by a test\n"
            b'cell/a locked owner="alice" note="a \\"q\\" \\; b" empty=""\n'
            b'"with space" x\n'
            b'cfg/p WRXc v="1"\n'
            b"sub/d WRXsd\n"
            b"other.ckpt WRXinc\n"
            b'c 1st="x" last\n')


def write_sample(path):
    with ckp.Writer(path) as w:
        w.header()
        w.comment("made by a test")
        w.object("cell/a", "locked", owner="alice", note='a "q" ; b', empty="")
        w.object("with space", x=None)
        w.config_path("cfg/p", v="1")
        w.sub_dir("sub/d")
        w.include("other.ckpt")
        w.object("c", **{"1st": "x"}, last=None)


def test_writer_output_byte_for_byte(tmp_path):
    path = tmp_path / "out.ckpt"
    write_sample(path)
    assert path.read_bytes() == EXPECTED
    (tmp_path / "other.ckpt").write_text('WRXCHECKPOINT="1.0"\n')
    assert ckp.format(path) == EXPECTED.decode()


def test_transfer_current_and_earlier_records(tmp_path):
    source = tmp_path / "in.ckpt"
    write_sample(source)
    live = tmp_path / "live.ckpt"
    with ckp.Writer(live) as w:
        for record in ckp.read(source, follow_includes=False):
            w.transfer(record)
    assert live.read_bytes() == EXPECTED

    kept = list(ckp.read(source, follow_includes=False))
    later = tmp_path / "later.ckpt"
    with ckp.Writer(later) as w:
        for record in kept:
            if record.type == Type.COMMENT:
                with pytest.raises(ckp.Error):
                    w.transfer(record)
            else:
                w.transfer(record, "added", extra="1")
    lines = later.read_bytes().splitlines()
    assert lines[0] == b'WRXCHECKPOINT="1.0" added extra="1"'
    assert lines[1] == b'cell/a locked owner="alice" note="a \\"q\\" \\; b" empty="" added extra="1"'
    assert lines[3] == b'cfg/p WRXc v="1" added extra="1"'
    assert len(lines) == 7


def test_exception_in_with_block_publishes_nothing(tmp_path):
    path = tmp_path / "keep.ckpt"
    path.write_bytes(b"old content\n")
    with pytest.raises(RuntimeError):
        with ckp.Writer(path) as w:
            w.header()
            w.object("half", x="1")
            raise RuntimeError("stop")
    assert path.read_bytes() == b"old content\n"
    assert os.listdir(tmp_path) == ["keep.ckpt"]
    fresh = tmp_path / "never.ckpt"
    with pytest.raises(KeyError):
        with ckp.Writer(fresh) as w:
            w.header()
            raise KeyError("x")
    assert not fresh.exists()


def test_writer_refusals(tmp_path, capfd):
    path = tmp_path / "r.ckpt"
    with ckp.Writer(path) as w:
        w.header()
        with pytest.raises(ckp.Error) as raised:
            w.object("a", **{"bad-name": "1"})
        assert raised.value.operation == "ckpPutProp"
        with pytest.raises(ckp.Error) as raised:
            w.object("x" * 600)
        assert raised.value.operation == "ckpCreateObj" and str(raised.value)
        with pytest.raises(ValueError):
            w.comment("two\nlines")
        w.object("b")
    # A refused record leaves nothing behind; the writer goes on.
    assert path.read_bytes() == b'WRXCHECKPOINT="1.0"\nb\n'
    with pytest.raises(ckp.Error):
        w.object("after close")
    with pytest.raises(ckp.Error) as raised:
        with ckp.Writer(tmp_path / "no" / "such" / "dir.ckpt") as w:
            w.header()
    assert not (tmp_path / "no").exists()
    assert capfd.readouterr().err == ""


def test_format_matches_the_command(write, examples):
    messy = write("messy.ckpt",
                  'WRXCHECKPOINT  =  "1.0"\n'
                  "a   x=\"1\"   ; trailing\n"
                  "b \\\n  y \\\n  z=\"2\"\n"
                  "  ;  indented comment\n")
    old = write("old.ckpt", "lib/cell 3 static 5.1\n")
    tool = os.environ.get("CKP_TOOL")
    for path in (messy, old, os.path.join(examples, "main.ckpt")):
        canonical = ckp.format(path)
        assert ckp.format_string(canonical) == canonical
        if tool:
            done = subprocess.run([tool, "fmt", path], capture_output=True, check=True)
            assert done.stdout.decode() == canonical
    assert ckp.format(messy).splitlines()[1:3] == ['a x="1"', "b\\"]
    assert ckp.format(old) == 'WRXCHECKPOINT="1.0"\n' + ckp.format(old).split("\n", 1)[1]
    assert ckp.format_string('WRXCHECKPOINT="1.0"\nnot/read.ckpt WRXinc\n').endswith(
        "not/read.ckpt WRXinc\n")
    with pytest.raises(ckp.Error) as raised:
        ckp.format_string('WRXCHECKPOINT="1.0"\nok\nbad "x\n')
    assert ":3:5: illegal character in property name" in str(raised.value)


def test_writer_to_standard_output():
    script = ("import ckp\n"
              "with ckp.Writer('-') as w:\n"
              "    w.header()\n"
              "    w.object('a', b='1')\n")
    import sys
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, check=True,
                          env=child_env())
    assert done.stdout == b'WRXCHECKPOINT="1.0"\na b="1"\n'
