"""The build backend of the Python package ckp: setuptools' own
(setuptools.build_meta), which compiles the extension from setup.py.

setuptools before 70.1 builds wheels only with the separate `wheel`
package, which a new venv of Debian's python3 lacks; `pip install
--no-build-isolation .` there would fail. Without `wheel`, this backend
lets setuptools compile the extension and packs the wheel itself: a zip of
the package with its dist-info (METADATA, WHEEL, RECORD), as the wheel
format describes."""

import base64
import hashlib
import os
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import zipfile

from setuptools import build_meta as _setuptools

HERE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

get_requires_for_build_sdist = _setuptools.get_requires_for_build_sdist
build_sdist = _setuptools.build_sdist


def _have_wheel():
    try:
        import wheel  # noqa: F401
    except ImportError:
        return False
    return True


def get_requires_for_build_wheel(config_settings=None):
    return _setuptools.get_requires_for_build_wheel(config_settings) if _have_wheel() else []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    if _have_wheel():
        return _setuptools.build_wheel(wheel_directory, config_settings, metadata_directory)
    return _pack_wheel(wheel_directory)


def _setup_value(*args):
    done = subprocess.run([sys.executable, "setup.py", "--quiet", *args], cwd=HERE,
                          check=True, capture_output=True, text=True)
    return done.stdout.strip().splitlines()[-1] if done.stdout.strip() else ""


def _tag():
    python = "cp%d%d" % sys.version_info[:2]
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return "%s-%s-%s" % (python, python, platform)


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return "%s,sha256=%s,%d" % (name, digest, len(data))


def _pack_wheel(wheel_directory):
    version = _setup_value("--version")
    build = tempfile.mkdtemp(prefix="ckp-wheel-")
    try:
        subprocess.run([sys.executable, "setup.py", "--quiet", "build_py", "--build-lib", build,
                        "build_ext", "--build-lib", build], cwd=HERE, check=True)
        tag = _tag()
        name = "ckp-%s-%s.whl" % (version, tag)
        info = "ckp-%s.dist-info" % version
        files = {}
        for root, _, names in os.walk(os.path.join(build, "ckp")):
            for file in names:
                path = os.path.join(root, file)
                with open(path, "rb") as content:
                    files[os.path.relpath(path, build).replace(os.sep, "/")] = content.read()
        files[info + "/METADATA"] = (
            "Metadata-Version: 2.1\nName: ckp\nVersion: %s\n"
            "Summary: Read and write checkpoint files, and keep setups\n"
            "Requires-Python: >=3.8\n" % version).encode()
        files[info + "/WHEEL"] = (
            "Wheel-Version: 1.0\nGenerator: ckp_build\nRoot-Is-Purelib: false\nTag: %s\n"
            % tag).encode()
        record = [_record_line(path, data) for path, data in sorted(files.items())]
        record.append(info + "/RECORD,,")
        files[info + "/RECORD"] = ("\n".join(record) + "\n").encode()
        with zipfile.ZipFile(os.path.join(wheel_directory, name), "w",
                             zipfile.ZIP_DEFLATED) as wheel_zip:
            for path, data in sorted(files.items()):
                wheel_zip.writestr(path, data)
        return name
    finally:
        shutil.rmtree(build, ignore_errors=True)
