import pytest

import ckp


@pytest.mark.parametrize("kind, call", [
    (TypeError, lambda p: ckp.read(None)),
    (TypeError, lambda p: ckp.read(3)),
    (TypeError, lambda p: ckp.read(b"bytes.ckpt")),
    (TypeError, lambda p: ckp.read(p, follow_includes=1)),
    (TypeError, lambda p: ckp.check(None)),
    (TypeError, lambda p: ckp.format(None)),
    (TypeError, lambda p: ckp.format_string(b"x")),
    (TypeError, lambda p: ckp.Writer(None)),
    (TypeError, lambda p: ckp.Setup.load(None)),
    (TypeError, lambda p: ckp.Setup.load(p, group=None)),
    (TypeError, lambda p: ckp.Setup.create(7)),
    (ValueError, lambda p: ckp.read("a\0b")),
    (ValueError, lambda p: ckp.read("")),
    (ValueError, lambda p: ckp.format_string("a\0")),
    (ValueError, lambda p: ckp.Writer("x\0y")),
    (ValueError, lambda p: ckp.Setup.load("n\0")),
    (ValueError, lambda p: ckp.Setup.create("")),
])
def test_wrong_arguments_raise_type_or_value_error(kind, call, tmp_path):
    with pytest.raises(kind):
        call(str(tmp_path / "x.ckpt"))


def test_writer_and_setup_arguments(tmp_path, write):
    # Each refused argument discards the write: the file is never made.
    for kind, bad in ((TypeError, lambda w: w.object(None)),
                      (TypeError, lambda w: w.object("a", b=1)),
                      (TypeError, lambda w: w.object("a", 5)),
                      (TypeError, lambda w: w.comment(None)),
                      (TypeError, lambda w: w.transfer("not a record")),
                      (TypeError, lambda w: w.include(None)),
                      (ValueError, lambda w: w.object("a\0")),
                      (ValueError, lambda w: w.object("a", b="\0")),
                      (ValueError, lambda w: w.object("a", "fl\0g")),
                      (ValueError, lambda w: w.comment("x\0"))):
        w = ckp.Writer(tmp_path / "w.ckpt")
        with pytest.raises(kind):
            bad(w)
        with pytest.raises(ckp.Error):
            w.close()
        assert not (tmp_path / "w.ckpt").exists()
    setup = ckp.Setup.load(write("s.setup", 'WRXCHECKPOINT="1.0"\ne a="1"\n'))
    try:
        with pytest.raises(TypeError):
            setup["e"]["a"] = 1
        with pytest.raises(TypeError):
            setup[None]
        with pytest.raises(ValueError):
            setup["e"]["a\0"] = "x"
        with pytest.raises(TypeError):
            setup["f"] = {"a": 2}
        assert "f" not in setup and dict(setup["e"]) == {"a": "1"}
    finally:
        setup.close()
