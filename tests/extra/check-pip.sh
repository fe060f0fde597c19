#!/usr/bin/env bash
# check-pip.sh WORKDIR
#
# The Python package as a Python user installs it: `pip install .` into a
# new venv of Debian's python3, offline (--no-build-isolation --no-index),
# then `import ckp` there from a clean environment, and mypy --strict on a
# user's script sees the package's types (py.typed and the stub).
set -euo pipefail
if [[ $# -ne 1 ]]; then
  echo "usage: $0 WORKDIR" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$1
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

/usr/bin/python3 -m venv "$work/venv"
(cd "$root" && "$work/venv/bin/pip" install --quiet --no-build-isolation --no-index .)

cat >"$work/user.py" <<'EOS'
import ckp


def objects(name: str) -> list[str]:
    paths: list[str] = []
    try:
        for record in ckp.read(name):
            if record.type == ckp.Type.OBJECT and record.path is not None:
                paths.append(record.path)
    except FileNotFoundError as missing:
        print(missing.filename)
    return paths


with ckp.Writer("out.ckpt") as out:
    out.header()
    out.object("cell/a", "locked", owner="alice")
assert objects("out.ckpt") == ["cell/a"], objects("out.ckpt")
try:
    ckp.read("no/such.ckpt")
except FileNotFoundError as missing:
    assert isinstance(missing, ckp.Error)
print("ckp", ckp.__version__, "from", ckp.__file__)
EOS
(cd "$work" && env -i PATH=/usr/bin:/bin "$work/venv/bin/python" -s user.py)
installed=$("$work/venv/bin/python" -c 'import ckp, os; print(os.path.dirname(ckp.__file__))')
[[ $installed == "$work"/venv/* ]] || { echo "ckp imported from $installed"; exit 1; }
[[ -f $installed/py.typed && -f $installed/__init__.pyi ]] || { echo "no py.typed or stub"; exit 1; }

cat >"$work/wrong.py" <<'EOS'
import ckp

count: int = ckp.read("a.ckpt")
EOS
(cd "$work" && mypy --strict --python-executable "$work/venv/bin/python" user.py)
if (cd "$work" && mypy --strict --python-executable "$work/venv/bin/python" wrong.py >mypy.txt); then
  echo "mypy took a Reader for an int: the package's types are not seen"
  exit 1
fi
grep -q 'has type "Reader"' "$work/mypy.txt" || { cat "$work/mypy.txt"; exit 1; }
echo "pip: installed offline into a venv, imported, typed for mypy --strict"
