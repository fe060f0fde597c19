"""Read and write checkpoint files, and keep setups.

A thin layer over the ckp library: every record is read, written and
checked by the library itself; this package only turns its results into
Python objects and its failures into ckp.Error (a missing file is also a
FileNotFoundError, a directory an IsADirectoryError, a refused permission a
PermissionError). The stub __init__.pyi types the interface; py.typed lets
type checkers use it.

    import ckp
    for record in ckp.read("main.ckpt"):
        print(record.type.name, record.path, record.props)
"""

import builtins
import contextlib
import enum
import errno
import os
import sys
import weakref
from collections.abc import MutableMapping

from . import _ckp

__all__ = [
    "Entry", "Error", "FileNotFoundError", "IsADirectoryError", "LibraryWarning",
    "PermissionError", "Reader", "Record", "Setup", "Type", "Writer",
    "check", "format", "format_string", "read",
]

__version__ = _ckp.__version__


class Error(Exception):
    """A failed operation of the library: str(error) is the library's
    message (messages it would have printed included), .operation the
    library function or step that failed. A failure to open a file is also
    the matching OSError: ckp.FileNotFoundError, ckp.IsADirectoryError or
    ckp.PermissionError."""

    def __new__(cls, message="", operation=""):
        if cls is Error:
            cls = _error_class(message)
        return super().__new__(cls, message, operation)

    def __init__(self, message, operation):
        super().__init__(message, operation)
        self.message = message
        self.operation = operation

    def __str__(self):
        return self.message


class _OSFailure(Error):
    """A library failure that is also an OSError with its errno."""

    code = 0

    def __init__(self, message, operation):
        OSError.__init__(self, self.code, message)
        self.message = message
        self.operation = operation

    def __str__(self):
        return self.message


class FileNotFoundError(_OSFailure, builtins.FileNotFoundError):
    """A file to read was not found (under its name, nor with ".Ckpt")."""

    code = errno.ENOENT


class IsADirectoryError(_OSFailure, builtins.IsADirectoryError):
    """A directory was given where a file is read or written."""

    code = errno.EISDIR


class PermissionError(_OSFailure, builtins.PermissionError):
    """The system refused access to a file."""

    code = errno.EACCES


def _error_class(message):
    """The Error subclass for a library message: the library names a
    missing file "file not found" and gives the system's reason otherwise."""
    first = message.split("\n", 1)[0]
    if first.endswith(": file not found") or os.strerror(errno.ENOENT) in first:
        return FileNotFoundError
    if os.strerror(errno.EISDIR) in first:
        return IsADirectoryError
    if os.strerror(errno.EACCES) in first or os.strerror(errno.EPERM) in first:
        return PermissionError
    return Error


class LibraryWarning(UserWarning):
    """Messages the library reported while a call still succeeded."""


class Type(enum.IntEnum):
    """Record types, with the library's codes."""

    NONE = 0
    COMMENT = 3
    ERROR = 4
    SYNTAX = 5
    HEADER = 6
    INCLUDE = 7
    OBJECT = 8
    CONFIG_PATH = 9
    SUB_DIR = 10
    END_INCLUDE = 11
    END = 12


_ckp._register(Error, LibraryWarning)
_ckp._register_types(Type)
Record = _ckp.Record
Reader = _ckp.Reader


def _text(value, what):
    if not isinstance(value, str):
        raise TypeError(f"{what} must be str, not {type(value).__name__}")
    if "\0" in value:
        raise ValueError(f"{what} must not contain NUL")
    return value


# Whether two names lead to one file: the loaded file saved under another
# spelling (absolute, through a link) is still an edit of it.
def _same_file(path, other):
    try:
        return path == other or os.path.samefile(path, other)
    except OSError:
        return False


def _path(value, what="path"):
    if isinstance(value, os.PathLike):
        value = os.fspath(value)
        if isinstance(value, bytes):
            value = os.fsdecode(value)
    if value == "":
        raise ValueError(f"{what} must not be empty")
    return _text(value, what)


def _props(flags, props):
    pairs = [(_text(name, "flag name"), None) for name in flags]
    for name, value in props.items():
        pairs.append((name, None if value is None else _text(value, f"value of {name}")))
    return pairs


def read(path, follow_includes=True):
    """Records of the file at path ("-": standard input); see ckp.pyi."""
    path = _path(path)
    if not isinstance(follow_includes, bool):
        raise TypeError("follow_includes must be bool")
    return _ckp.Reader(None if path == "-" else path, follow_includes)


def check(path):
    """The syntax-error records of the file and its includes."""
    with read(path) as records:
        return [record for record in records if record.type == Type.SYNTAX]


class Writer:
    """Writes a checkpoint file record by record; see ckp.pyi."""

    def __init__(self, path):
        self._target = _path(path)
        self._discarded = False
        self._out = _ckp.Writer(None if self._target == "-" else self._target)

    @property
    def path(self):
        return self._target

    def header(self, *flags, **props):
        out = self._writer()
        try:
            out.header(_props(flags, props))
        except BaseException:
            self._failed()
            raise

    def object(self, path, /, *flags, **props):
        self._record("o", path, flags, props)

    def config_path(self, path, /, *flags, **props):
        self._record("c", path, flags, props)

    def sub_dir(self, path, /, *flags, **props):
        self._record("s", path, flags, props)

    def include(self, path, /):
        self._record("i", path, (), {})

    def comment(self, text=""):
        out = self._writer()
        try:
            out.comment(_text(text, "text"))
        except BaseException:
            self._failed()
            raise

    def transfer(self, record, /, *flags, **props):
        out = self._writer()
        try:
            if not isinstance(record, Record):
                raise TypeError(f"record must be ckp.Record, not {type(record).__name__}")
            out.transfer(record, _props(flags, props))
        except BaseException:
            self._failed()
            raise

    def close(self):
        """Finishes the file and puts it in place; nothing reaches the path
        before this call."""
        if self._discarded:
            raise Error(f"nothing was written to {self._target}: the write was discarded "
                        "after a failed call", "close")
        if self._out is None:
            return
        out, self._out = self._out, None
        text = out.close()
        if text is not None:
            sys.stdout.buffer.write(text)
            sys.stdout.flush()

    def discard(self):
        """Drops what was written; the path is left as it was."""
        if self._out is None:
            return
        out, self._out = self._out, None
        out.discard()

    def __enter__(self):
        return self

    def __exit__(self, kind, value, traceback):
        if kind is None:
            self.close()
        else:
            self.discard()

    def __del__(self):
        if getattr(self, "_out", None) is not None:
            self.discard()

    def _record(self, kind, path, flags, props):
        out = self._writer()
        try:
            out.record(kind, _path(path), _props(flags, props))
        except BaseException:
            self._failed()
            raise

    # A failed call discards the whole write: the path keeps its old content.
    def _failed(self):
        self.discard()
        self._discarded = True

    def _writer(self):
        if self._out is None:
            if self._discarded:
                raise Error("the write was discarded after a failed call", "write")
            raise Error("the writer is closed", "write")
        return self._out


def format(path):
    """The canonical form of the file at path, as `ckp fmt` writes it,
    comments kept."""
    path = _path(path)
    return _ckp.format_file(path, True).decode("utf-8", "surrogateescape")


def format_string(text):
    """The canonical form of a file's text, comments kept; include records
    are kept but not followed. Messages name the text "<string>"."""
    data = _text(text, "text").encode("utf-8", "surrogateescape")
    return _ckp.format_bytes(data, "<string>").decode("utf-8", "surrogateescape")


class Entry(MutableMapping):
    """One entry of a setup: a mapping of property names to values, None
    for a flag. A view: changes go to the setup in memory at once."""

    def __init__(self, setup, name):
        self._setup = setup
        self.name = name

    def __getitem__(self, prop):
        found, value = _ckp.setup_get(self._setup.name, self.name, _text(prop, "property name"))
        if not found:
            raise KeyError(prop)
        return value

    def __setitem__(self, prop, value):
        if value is not None:
            _text(value, "value")
        _ckp.setup_set(self._setup.name, self.name, _text(prop, "property name"), value)

    def __delitem__(self, prop):
        self[prop]  # a missing property is a KeyError, as for a dict
        _ckp.setup_delete_prop(self._setup.name, self.name, prop)

    def __iter__(self):
        return iter([name for name, _ in self._props()])

    def __len__(self):
        return len(self._props())

    def __repr__(self):
        return f"<ckp.Entry {self.name!r} {dict(self._props())!r}>"

    def _props(self):
        return _ckp.setup_props(self._setup.name, self.name)


class Setup(MutableMapping):
    """A setup held in the library's registry; see ckp.pyi."""

    _live = weakref.WeakValueDictionary()

    def __init__(self, name, path, loaded=None):
        self._name = name
        self._path = path
        self._loaded = loaded  # what the load read; None for a new setup
        self._open = True

    @classmethod
    def load(cls, name, group="kvosetup"):
        """Loads a setup file by path, or by name through a search group."""
        name = _path(name, "name")
        group = _text(group, "group")
        if name in cls._live:
            return cls._live[name]
        path = _ckp.setup_load(name, group)
        return cls._enter(name, path if path is not None else name,
                          _ckp.Snapshot(name))

    @classmethod
    def create(cls, path):
        """A new empty setup that save() writes to path."""
        path = _path(path)
        if path in cls._live:
            return cls._live[path]
        _ckp.setup_create(path)
        return cls._enter(path, path)

    @classmethod
    def _enter(cls, name, path, loaded=None):
        setup = cls(name, path, loaded)
        cls._live[name] = setup
        return setup

    @property
    def name(self):
        return self._name

    @property
    def path(self):
        """The file that save() without a path writes."""
        return self._path

    @classmethod
    @contextlib.contextmanager
    def edit(cls, name, group="kvosetup"):
        """Loads the setup while holding the lock of its file's directory,
        yields it, saves it when the block ends without an exception and
        drops it from memory."""
        name = _path(name, "name")
        group = _text(group, "group")
        if name in cls._live:
            raise Error(f"setup {name!r} is loaded already; close it first", "edit")
        path = _ckp.setup_find(name, group)
        if path is None:
            raise Error(f'ckpSetupLoadGroup failed for "{name}"', "ckpSetupLoadGroup")
        if not os.path.isfile(path):  # loading a FIFO would wait for a writer
            raise Error(f"cannot edit {path}: not a regular file", "edit")
        with _ckp.DirectoryLock(path):
            setup = cls.load(name, group)
            try:
                yield setup
                setup.save()
            finally:
                setup.close()

    def save(self, path=None):
        """Saves into the file the setup was loaded from (path None or that
        file) only what changed since the load, into the file as it is now;
        else writes the whole setup to path. The lock of the file is held
        meanwhile."""
        self._check_open()
        path = None if path is None else _path(path)
        if self._loaded is not None and (path is None or _same_file(path, self._path)):
            self._loaded.save(self._path)
        else:
            _ckp.setup_save(self._name, path)

    def close(self):
        """Drops the setup from memory; unsaved changes are lost."""
        if self._open:
            self._open = False
            if Setup._live.get(self._name) is self:
                del Setup._live[self._name]
            _ckp.setup_clear(self._name)

    def __enter__(self):
        return self

    def __exit__(self, kind, value, traceback):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    def __getitem__(self, entry):
        self._check_open()
        if not _ckp.setup_has_entry(self._name, _text(entry, "entry")):
            raise KeyError(entry)
        return Entry(self, entry)

    def __setitem__(self, entry, props):
        self._check_open()
        _text(entry, "entry")
        pairs = list(props.items())
        for prop, value in pairs:
            _text(prop, "property name")
            if value is not None:
                _text(value, f"value of {prop}")
        if _ckp.setup_has_entry(self._name, entry):
            _ckp.setup_delete_entry(self._name, entry)
        _ckp.setup_create_entry(self._name, entry)
        for prop, value in pairs:
            _ckp.setup_set(self._name, entry, prop, value)

    def __delitem__(self, entry):
        self[entry]
        _ckp.setup_delete_entry(self._name, entry)

    def __contains__(self, entry):
        self._check_open()
        return isinstance(entry, str) and "\0" not in entry and \
            _ckp.setup_has_entry(self._name, entry)

    def __iter__(self):
        self._check_open()
        return iter(_ckp.setup_entries(self._name))

    def __len__(self):
        self._check_open()
        return len(_ckp.setup_entries(self._name))

    def __repr__(self):
        return f"<ckp.Setup {self._name!r} {len(self) if self._open else 'closed'}>"

    def _check_open(self):
        if not self._open:
            raise Error(f"setup {self._name!r} is closed", "setup")


def _docs_from_stub():
    """Gives each public function and method of the package that has no
    docstring the one of its stub (__init__.pyi), so that help() shows the
    documented interface; the stub is its one source."""
    import ast

    stub = os.path.join(os.path.dirname(__file__), "__init__.pyi")
    try:
        with open(stub, encoding="utf-8") as text:
            tree = ast.parse(text.read())
    except (OSError, SyntaxError):
        return

    def give(target, node):
        doc = ast.get_docstring(node)
        function = getattr(target, "fget", target)
        if doc and getattr(function, "__doc__", None) is None:
            try:
                function.__doc__ = doc
            except (AttributeError, TypeError):
                pass  # a compiled function documents itself

    for node in tree.body:
        owner = globals().get(getattr(node, "name", ""))
        if owner is None:
            continue
        if isinstance(node, ast.FunctionDef):
            give(owner, node)
        elif isinstance(node, ast.ClassDef):
            for member in node.body:
                if isinstance(member, ast.FunctionDef) and member.name in vars(owner):
                    give(vars(owner)[member.name], member)


_docs_from_stub()
