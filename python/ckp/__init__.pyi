"""Read and write checkpoint files, and keep setups.

Every function calls the ckp library; failures raise ckp.Error, and bad
arguments (None where a str is needed, a non-str, a str holding NUL) raise
TypeError or ValueError before the library is called. Texts are str: bytes
that are not UTF-8 come through as surrogate escapes and are written back
unchanged. Paths may be str or os.PathLike.

The library keeps process-wide state (the setup registry); every call
holds the interpreter lock, so threads take turns.
"""

import builtins
import enum
import os
from collections.abc import Iterator, Mapping, MutableMapping
from types import TracebackType
from typing import ContextManager, Optional, Union

__version__: str
"""The version of the library and the package, e.g. "1.0.0"."""

PathArg = Union[str, os.PathLike[str]]
Property = tuple[str, Optional[str]]

class Error(Exception):
    """A failed library operation.

    str(error) and .message are the library's message, with the messages
    it would have printed to standard error during the call; .operation is
    the library function or step that failed (e.g. "ckpOpen")."""

    message: str
    operation: str
    def __init__(self, message: str, operation: str) -> None: ...

class FileNotFoundError(Error, builtins.FileNotFoundError):
    """A file to read was not found (under its name, nor with ".Ckpt"):
    both a ckp.Error and the builtin FileNotFoundError."""

class IsADirectoryError(Error, builtins.IsADirectoryError):
    """A directory was given where a file is read or written."""

class PermissionError(Error, builtins.PermissionError):
    """The system refused access to a file."""

class LibraryWarning(UserWarning):
    """Messages the library reported while a call still succeeded (a setup
    property that could not be kept, for instance)."""

class Type(enum.IntEnum):
    """Record types, with the library's codes."""

    NONE = 0
    """A data record with an empty path."""
    COMMENT = 3
    """A comment or blank line."""
    ERROR = 4
    SYNTAX = 5
    """A malformed record; see Record.error."""
    HEADER = 6
    """The header record (empty for a file without one)."""
    INCLUDE = 7
    """An include record; the included file's records follow it."""
    OBJECT = 8
    CONFIG_PATH = 9
    SUB_DIR = 10
    END_INCLUDE = 11
    """An included file ended; reading goes on in its includer."""
    END = 12

class Record:
    """One record, as read. A snapshot: it stays valid after the reader
    moves on."""

    type: Type
    """The record's type."""
    path: Optional[str]
    """The path name, for object, include, config-path, subdirectory,
    syntax and empty-path records; None for the others."""
    props: list[Property]
    """(name, value) pairs in record order; value None for a flag."""
    file: str
    """The file the record was read from ("-" for standard input): an
    included file for its own records."""
    line: int
    """The record's first line in its file."""
    end_line: int
    """Its last line (the one the library's reports name)."""
    error: Optional[tuple[str, int, int]]
    """For a SYNTAX record: (message, line, column), the column 1-based in
    the faulty line with tabs counted as blanks; None otherwise."""

class Reader(Iterator[Record]):
    """The records of a file, one after the other; made by read(). The
    file is closed at its end, by close(), or when the reader is dropped."""

    def __iter__(self) -> Reader: ...
    def __next__(self) -> Record:
        """The next record; raises ckp.Error when reading fails."""
    def close(self) -> None: ...
    def __enter__(self) -> Reader: ...
    def __exit__(self, *exc: object) -> None: ...

def read(path: PathArg, follow_includes: bool = True) -> Reader:
    """Iterates the records of the file at path ("-": standard input).

    Reading tries path, then path + ".Ckpt". With follow_includes, the
    records of an included file come right after its INCLUDE record and
    end with an END_INCLUDE record; without, the include record is passed
    over and the file is not opened. A malformed record is a SYNTAX record
    and reading goes on after it. Raises ckp.Error when the file cannot be
    opened or read."""

def check(path: PathArg) -> list[Record]:
    """The SYNTAX records of the file and the files it includes, each with
    its file, line and error; empty for a file without faults."""

class Writer:
    """Writes a checkpoint file, one whole record per call:

        with ckp.Writer("out.ckpt") as out:
            out.header()
            out.object("cell/a", "locked", owner="alice")

    Properties are keyword arguments in the order given, a value of None
    writing a flag; flags may also come as positional names before them
    (names that are not Python identifiers: **{"1st": "x"}). Nothing reaches
    path until close() (the end of a with block without an exception): the
    records go to a temporary beside path through the library's safe
    replacement, which close() puts in place in one step, so path holds its
    old content or the whole new one. Whatever does not finish cleanly
    leaves path as it was: an exception in the with block, discard(), a
    writer dropped unclosed, and any call that raised (ckp.Error for a
    record the library refuses, TypeError or ValueError for an argument):
    such a call discards the whole write at once, later calls raise
    ckp.Error, and so does close(). "-" writes standard output, all at
    close()."""

    def __init__(self, path: PathArg) -> None: ...
    @property
    def path(self) -> str:
        """The file written ("-": standard output)."""
    def header(self, *flags: str, **props: Optional[str]) -> None:
        """The header record `WRXCHECKPOINT="1.0"`, with any properties."""
    def object(self, path: PathArg, /, *flags: str, **props: Optional[str]) -> None:
        """An object record."""
    def config_path(self, path: PathArg, /, *flags: str, **props: Optional[str]) -> None:
        """A config-path record."""
    def sub_dir(self, path: PathArg, /, *flags: str, **props: Optional[str]) -> None:
        """A subdirectory record."""
    def include(self, path: PathArg, /) -> None:
        """An include record for the file at path."""
    def comment(self, text: str = "") -> None:
        """A comment line: ";" and text (one line)."""
    def transfer(self, record: Record, /, *flags: str, **props: Optional[str]) -> None:
        """A copy of a record read elsewhere, with further properties added.
        A record that is still its reader's current one is copied exactly by
        the library; an older one is written again from its type, path and
        properties (comments and syntax records only while current)."""
    def close(self) -> None:
        """Finishes the file and puts it in place; raises ckp.Error when
        that fails or an earlier call failed (path is then unchanged).
        Nothing more happens on a closed or discarded writer."""
    def discard(self) -> None:
        """Drops what was written; path is left as it was. A later close()
        does nothing."""
    def __enter__(self) -> Writer: ...
    def __exit__(
        self,
        kind: Optional[type[BaseException]],
        value: Optional[BaseException],
        traceback: Optional[TracebackType],
    ) -> None: ...

def format(path: PathArg) -> str:
    """The canonical form of the file at path, byte for byte what
    `ckp fmt` writes: every record as the writer writes it, a header given
    to a file without one, the records of included files left in their
    files. Raises ckp.Error naming every syntax error."""

def format_string(text: str) -> str:
    """The canonical form of a file's text, as format(); include records
    are kept but their files are not read."""

class Entry(MutableMapping[str, Optional[str]]):
    """One entry of a setup: property name -> value, None for a flag (an
    empty value is ""). A view of the setup in memory: reads and changes go
    to the library at once; iteration is in the store's (sorted) order."""

    name: str
    def __getitem__(self, prop: str) -> Optional[str]: ...
    def __setitem__(self, prop: str, value: Optional[str]) -> None: ...
    def __delitem__(self, prop: str) -> None: ...
    def __iter__(self) -> Iterator[str]: ...
    def __len__(self) -> int: ...

class Setup(MutableMapping[str, Entry]):
    """A setup: entries by name, each a mapping of properties, held in the
    library's process-wide registry until close().

        team = ckp.Setup.load("team.setup")
        team["bob"]["role"] = "lead"
        team["carol"] = {"role": "layout", "remote": None}
        del team["alice"]
        team.save()

    Iteration is in the store's order (ascending byte order of the names).
    Assigning a mapping to an entry replaces the entry. One Setup object
    exists per name while it lives."""

    @classmethod
    def load(cls, name: PathArg, group: str = "kvosetup") -> Setup:
        """Loads the setup file name, or, when no such file exists, the file
        of that name found through the search group (environment variable
        KVO_SEARCH_<GROUP>). A setup already loaded is returned as it is in
        memory. Raises ckp.Error with the library's messages (every faulty
        record of the file) when loading fails."""
    @classmethod
    def create(cls, path: PathArg) -> Setup:
        """A new empty setup that save() writes to path; ckp.Error when a
        file exists there."""
    @property
    def name(self) -> str:
        """The name the setup was loaded or created under."""
    @property
    def path(self) -> str:
        """The file that save() without a path writes."""
    @classmethod
    def edit(cls, name: PathArg, group: str = "kvosetup") -> ContextManager[Setup]:
        """A whole edit under the lock of the setup file's directory, the
        lock that the ckp command and every setup save take, so that editors
        of one setup take turns:

            with ckp.Setup.edit("team.setup") as team:
                team["bob"]["role"] = "lead"

        The setup is loaded fresh (ckp.Error when it is loaded already),
        saved when the block ends without an exception, and dropped from
        memory in any case."""
    def save(self, path: Optional[PathArg] = None) -> None:
        """Saves the setup. A loaded setup saved without a path (or to the
        file it came from) gets only the changes made since it was loaded
        (or last saved so) applied to its file as the file is now: every
        other record keeps its text, order and comments, a changed record
        keeps its comments, and the line ends stay. ckp.Error naming the
        entry when an entry was changed in the file meanwhile too; nothing
        is written then. A setup made by create(), or a save to another
        path ("-": a dump on standard error), writes the whole setup,
        replacing the file safely; directories missing on the way to path
        are made. The lock of the file is held while it writes, as the ckp
        command does."""
    def close(self) -> None:
        """Drops the setup from memory; changes not saved are lost."""
    def __enter__(self) -> Setup: ...
    def __exit__(self, *exc: object) -> None: ...
    def __getitem__(self, entry: str) -> Entry: ...
    def __setitem__(self, entry: str, props: Mapping[str, Optional[str]]) -> None: ...
    def __delitem__(self, entry: str) -> None: ...
    def __iter__(self) -> Iterator[str]: ...
    def __len__(self) -> int: ...
