import os

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "..", "examples", "project")


@pytest.fixture
def write(tmp_path):
    """Writes bytes (or text) to a file under the test's directory and
    returns its path."""

    def put(name, content):
        path = tmp_path / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content.encode() if isinstance(content, str) else content)
        return str(path)

    return put


@pytest.fixture
def examples():
    return os.path.normpath(EXAMPLES)


def child_env():
    """The environment of a Python child process that imports the same ckp
    as the tests, whatever its working directory."""
    import ckp

    home = os.path.dirname(os.path.abspath(ckp.__file__))
    return dict(os.environ, PYTHONPATH=os.pathsep.join(
        [home] + [p for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p]))
