import os

import pytest

import ckp
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


def test_writer_output_and_transfer_of_current_and_earlier_records(tmp_path):
    source = tmp_path / "in.ckpt"
    write_sample(source)
    assert source.read_bytes() == EXPECTED
    live = tmp_path / "live.ckpt"
    with ckp.Writer(live) as w:
        for record in ckp.read(source, follow_includes=False):
            w.transfer(record)
    assert live.read_bytes() == EXPECTED

    kept = list(ckp.read(source, follow_includes=False))
    later = tmp_path / "later.ckpt"
    with ckp.Writer(later) as w:
        for record in kept:
            if record.type != Type.COMMENT:
                w.transfer(record, "added", extra="1")
    lines = later.read_bytes().splitlines()
    assert lines[0] == b'WRXCHECKPOINT="1.0" added extra="1"' and len(lines) == 7
    assert lines[3] == b'cfg/p WRXc v="1" added extra="1"'
    # A comment is copied only while it is its reader's current record.
    with pytest.raises(ckp.Error):
        with ckp.Writer(tmp_path / "never.ckpt") as w:
            w.transfer(next(r for r in kept if r.type == Type.COMMENT))
    assert not (tmp_path / "never.ckpt").exists()


REFUSALS = [
    (lambda w: w.object("a", **{"bad-name": "1"}), ckp.Error, "ckpPutProp"),
    (lambda w: w.object("x" * 600), ckp.Error, "ckpCreateObj"),
    (lambda w: w.comment("two\nlines"), ValueError, None),
]


@pytest.mark.parametrize("call, kind, operation", REFUSALS)
def test_a_refused_call_discards_the_write(tmp_path, capfd, call, kind, operation):
    path = tmp_path / "r.ckpt"
    path.write_bytes(b"old\n")
    w = ckp.Writer(path)
    w.header()
    with pytest.raises(kind) as raised:
        call(w)
    if operation:
        assert raised.value.operation == operation and str(raised.value)
    # Nothing of it is published: later calls and the close say so.
    with pytest.raises(ckp.Error, match="discarded"):
        w.object("b")
    with pytest.raises(ckp.Error, match="discarded") as raised:
        w.close()
    assert raised.value.operation == "close"
    assert path.read_bytes() == b"old\n"
    assert os.listdir(tmp_path) == ["r.ckpt"]
    assert capfd.readouterr().err == ""


def test_exception_discard_and_a_missing_directory_publish_nothing(tmp_path):
    path = tmp_path / "d.ckpt"
    path.write_bytes(b"old\n")
    with pytest.raises(RuntimeError):
        with ckp.Writer(path) as w:
            w.object("half", x="1")
            raise RuntimeError("stop")
    with ckp.Writer(path) as w:
        w.header()
        w.discard()
        w.discard()
    w.close()  # nothing more happens
    assert path.read_bytes() == b"old\n"
    with ckp.Writer(path) as w:
        w.header()
        w.object("new")
    assert path.read_bytes() == b'WRXCHECKPOINT="1.0"\nnew\n'
    with pytest.raises(ckp.Error):
        w.object("after close")
    with pytest.raises(ckp.Error):
        with ckp.Writer(tmp_path / "no" / "such" / "dir.ckpt") as w:
            w.header()
    assert os.listdir(tmp_path) == ["d.ckpt"]


def test_format_and_format_string(write):
    messy = write("messy.ckpt", 'WRXCHECKPOINT="1.0"\na   x="1"   ; trailing\nb \\\n  y\n')
    canonical = 'WRXCHECKPOINT="1.0"\na x="1" ; trailing\nb\\\ny\n'
    assert ckp.format(messy) == canonical and ckp.format_string(canonical) == canonical
    assert ckp.format_string('WRXCHECKPOINT="1.0"\nnot/read.ckpt WRXinc\n').endswith(
        "not/read.ckpt WRXinc\n")
    with pytest.raises(ckp.Error) as raised:
        ckp.format_string('WRXCHECKPOINT="1.0"\nok\nbad "x\n')
    assert str(raised.value) == "<string>:3:5: illegal character in property name"

