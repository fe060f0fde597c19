import inspect
import os
import pathlib
import subprocess
import sys

import pytest

import ckp
from conftest import child_env
from ckp import Type


def summary(records):
    return [(r.type, r.path, r.props, os.path.basename(r.file), r.line, r.end_line)
            for r in records]


def test_records_their_fields_and_lines(write):
    path = write("a.ckpt",
                 'WRXCHECKPOINT="1.0"\n'
                 "; remark\n"
                 'cell/a owner="alice" \\\n'
                 "   ; skipped inside a record\n"
                 '   note="x \\"y\\"" locked\n'
                 'cfg WRXc v=""\n'
                 "sub WRXsd\n")
    got = summary(ckp.read(path))
    assert got == [
        (Type.HEADER, None, [], "a.ckpt", 1, 1),
        (Type.COMMENT, None, [], "a.ckpt", 2, 2),
        (Type.OBJECT, "cell/a", [("owner", "alice"), ("note", 'x "y"'), ("locked", None)],
         "a.ckpt", 3, 5),
        (Type.CONFIG_PATH, "cfg", [("WRXc", None), ("v", "")], "a.ckpt", 6, 6),
        (Type.SUB_DIR, "sub", [("WRXsd", None)], "a.ckpt", 7, 7),
    ]
    assert isinstance(got[0][0], Type) and Type.OBJECT == 8
    assert all(r.error is None for r in ckp.read(path))


def test_syntax_errors_carry_line_and_column_and_reading_goes_on(write):
    path = write("bad.ckpt", 'WRXCHECKPOINT="1.0"\ngood x="1"\nbad "x\nalso y="2\nlast z\n')
    records = list(ckp.read(path))
    assert [r.type for r in records] == [Type.HEADER, Type.OBJECT, Type.SYNTAX, Type.SYNTAX,
                                         Type.OBJECT]
    first, second = records[2], records[3]
    assert first.error == ("illegal character in property name", 3, 5)
    assert (first.line, first.end_line, first.path) == (3, 3, "bad")
    assert second.error == ("missing '\"' for property value", 4, 10)
    checked = ckp.check(pathlib.Path(path))
    assert [r.error for r in checked] == [first.error, second.error]
    assert ckp.check(write("fine.ckpt", 'WRXCHECKPOINT="1.0"\na x\n')) == []


def test_includes_followed_or_not(examples):
    main = os.path.join(examples, "main.ckpt")
    followed = summary(ckp.read(main))
    ends = [(row[3], row[4]) for row in followed if row[0] == Type.END_INCLUDE]
    assert ends == [("main.ckpt", 3), ("main.ckpt", 4)] and followed[3][3] == "cells.ckpt"
    alone = summary(ckp.read(main, follow_includes=False))
    assert [row[0] for row in alone] == [Type.HEADER, Type.COMMENT, Type.INCLUDE,
                                         Type.INCLUDE, Type.COMMENT, Type.OBJECT]


def test_path_like_suffix_stdin_and_odd_bytes(write, tmp_path):
    write("named.Ckpt", b'WRXCHECKPOINT="1.0"\nlatin v="caf\xe9"\n')
    records = list(ckp.read(tmp_path / "named"))  # the suffix is tried too
    assert records[1].props == [("v", "caf\udce9")]
    out = str(tmp_path / "copy.ckpt")
    with ckp.Writer(out) as w:
        w.transfer(records[1])
    assert open(out, "rb").read() == b'latin v="caf\xe9"\n'

    # Standard input read and standard output written as "-".
    script = ("import ckp, sys\n"
              "with ckp.Writer('-') as w:\n"
              "    for r in ckp.read('-'):\n"
              "        print(r.type.name, r.path, r.file, r.props, file=sys.stderr)\n"
              "        w.transfer(r)\n")
    text = b'WRXCHECKPOINT="1.0"\na b="1"\n'
    done = subprocess.run([sys.executable, "-c", script], input=text, capture_output=True,
                          check=True, env=child_env())
    assert done.stdout == text
    assert done.stderr.decode().splitlines() == ["HEADER None - []", "OBJECT a - [('b', '1')]"]


def test_read_failures_raise_ckp_error(tmp_path, examples, capfd):
    cases = [(tmp_path / "missing.ckpt", FileNotFoundError, ckp.FileNotFoundError),
             (tmp_path, IsADirectoryError, ckp.IsADirectoryError)]
    if os.geteuid() != 0:  # root reads any file
        locked = tmp_path / "locked.ckpt"
        locked.write_text('WRXCHECKPOINT="1.0"\n')
        locked.chmod(0)
        cases.append((locked, PermissionError, ckp.PermissionError))
    for path, builtin, own in cases:
        with pytest.raises(builtin) as raised:
            list(ckp.read(path))
        assert isinstance(raised.value, ckp.Error) and type(raised.value) is own
        assert str(path) in str(raised.value) and raised.value.operation == "ckpOpen"
    with pytest.raises(IsADirectoryError):
        ckp.Writer(tmp_path)
    plain = ckp.Error("no record to add a property to", "ckpPutProp")
    assert type(plain) is ckp.Error and not isinstance(plain, OSError)
    reader = ckp.read(os.path.join(examples, "main.ckpt"))
    next(reader)
    reader.close()
    with pytest.raises(StopIteration):
        next(reader)
    assert capfd.readouterr().err == ""


def test_package_documents_itself():
    assert ckp.__version__.count(".") == 2
    undocumented = []
    for name in ckp.__all__:
        item = getattr(ckp, name)
        if not inspect.getdoc(item):
            undocumented.append(name)
        for member, value in vars(item).items() if inspect.isclass(item) else ():
            function = getattr(value, "fget", value)
            if not member.startswith("_") and callable(function) and not inspect.getdoc(function):
                undocumented.append(f"{name}.{member}")
    assert undocumented == []
