import os
import re
import shutil
import subprocess
import sys

import pytest

from conftest import child_env

ROOT = os.path.normpath(os.path.join(os.path.dirname(__file__), "..", ".."))


def readme_python_example():
    with open(os.environ.get("CKP_README", os.path.join(ROOT, "README.md"))) as readme:
        text = readme.read()
    section = text[text.index("\n## Python\n"):]
    section = section[:section.find("\n## ", 1)] if "\n## " in section[1:] else section
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


def run(args, cwd):
    return subprocess.run(args, cwd=cwd, capture_output=True, text=True, env=child_env())


def test_readme_example_runs_as_written(tmp_path):
    shutil.copytree(os.path.join(ROOT, "examples", "project"), tmp_path / "examples" / "project")
    done = run([sys.executable, "-c", readme_python_example()], tmp_path)
    assert done.returncode == 0, done.stderr
    written = (tmp_path / "small_cells.ckpt").read_text()
    assert written == done.stdout
    lines = written.splitlines()
    assert lines[0] == 'WRXCHECKPOINT="1.0"'
    assert [line.split()[0] for line in lines[1:]] == ["lib/cells/inv", "lib/cells/nand2"]
    assert lines[1].endswith(' source="examples/project/libs/cells.ckpt:3"')


@pytest.mark.parametrize("name, status, expected", [
    ("main.ckpt", 0, "type: cell (2), pad (1)"),
    ("broken.ckpt", 1, "broken.ckpt:3:5: illegal character in property name"),
    ("absent.ckpt", 2, ""),
])
def test_report_example(tmp_path, name, status, expected):
    shutil.copytree(os.path.join(ROOT, "examples", "project"), tmp_path, dirs_exist_ok=True)
    (tmp_path / "broken.ckpt").write_text('WRXCHECKPOINT="1.0"\nok type="x"\nbad "x\n')
    done = run([sys.executable, os.path.join(ROOT, "examples", "report.py"), name, "type"],
               tmp_path)
    assert done.returncode == status, done.stderr
    assert expected in done.stdout
    if status == 2:
        assert done.stderr.startswith("report: ") and not done.stdout


def test_stub_names_what_the_module_has():
    import ast

    import ckp

    with open(os.path.join(os.path.dirname(ckp.__file__), "__init__.pyi")) as stub:
        tree = ast.parse(stub.read())
    helpers = {"PathArg", "Property"}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            assert hasattr(ckp, node.name), node.name
            assert ast.get_docstring(node) or node.name in ("Reader",), node.name
        if isinstance(node, ast.ClassDef):
            cls = getattr(ckp, node.name)
            for member in node.body:
                if isinstance(member, ast.FunctionDef):
                    assert hasattr(cls, member.name), f"{node.name}.{member.name}"
        if isinstance(node, ast.Assign):
            assert node.targets[0].id in helpers
    assert set(ckp.__all__) <= {n.name for n in tree.body if hasattr(n, "name")}
