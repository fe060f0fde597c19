"""Builds the Python package ckp with pip: `pip install .` (offline, with
Debian's python3-dev, pybind11-dev and python3-setuptools; add
--no-build-isolation where no package index is reachable).

The extension ckp._ckp is compiled from the library's own sources, so the
package needs no installed libckp. CMake builds the same package from the
same sources (see python/CMakeLists.txt)."""

import glob
import os
import re
import sys

from setuptools import Extension, setup

HERE = os.path.dirname(os.path.abspath(__file__))


def version():
    with open(os.path.join(HERE, "CMakeLists.txt"), encoding="utf-8") as cmake:
        found = re.search(r"project\(ckp VERSION ([0-9.]+)", cmake.read())
    return found.group(1)


def sources():
    """The library's sources for this system, the formatting library's and
    the binding's, as paths relative to this file."""
    platform_elsewhere = "platform_posix.cpp" if sys.platform == "win32" else "platform_win32.cpp"
    found = []
    for pattern in ("src/*/*.cpp", "python/src/*.cpp"):
        found += sorted(glob.glob(os.path.join(HERE, pattern)))
    return [os.path.relpath(path, HERE) for path in found
            if os.path.basename(path) != platform_elsewhere]


def extension():
    include = [os.path.join(HERE, d) for d in ("include", "src", "src/format", "tools")]
    include += sorted(glob.glob(os.path.join(HERE, "src", "*")))
    macros = [("CKP_STATIC", None), ("KVO_STATIC", None),
              ("CKP_PYTHON_VERSION", '"%s"' % version())]
    flags = ["/std:c++20", "/EHsc"] if sys.platform == "win32" else ["-std=c++20",
                                                                    "-fvisibility=hidden"]
    return Extension("ckp._ckp", sources(), include_dirs=[d for d in include if os.path.isdir(d)],
                     define_macros=macros, extra_compile_args=flags, language="c++")


setup(
    version=version(),
    packages=["ckp"],
    package_dir={"": "python"},
    package_data={"ckp": ["__init__.pyi", "py.typed"]},
    ext_modules=[extension()],
)
