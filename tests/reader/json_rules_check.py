#!/usr/bin/env python3
"""Checks `ckp json` against the file syntax on generated files.

Each file is built from records of known shapes: files with and without a
header, header versions of any size, continued records (also a first record
whose first line holds only blanks and the backslash), blank and comment
lines inside and between records, LF, CR LF and CR CR LF line ends, and
lines padded so that they end just before, at or well inside the reader's
510-character piece. What the syntax rules say each record is comes from a
small reader of line contents written from the rules, not from the library;
the script compares it with what `ckp json` prints, field by field.

Usage: json_rules_check.py CKP [--count N] [--seed S]
Exit status 0 when every file agrees; else the first differences are shown.
"""

import argparse
import collections
import json
import os
import random
import subprocess
import sys
import tempfile

BLANKS = " \t\v"
PIECE = 510


def is_word(c):
    return c.isascii() and (c.isalnum() or c == "_")


# ---- The rules, applied to the contents of physical lines ----------------


# One physical line: its number, content (without its line end) and whether
# it has a line end.
Line = collections.namedtuple("Line", "number content ended")


def physical_lines(data):
    """Lines end with LF, and a CR right before that LF goes with it. A line
    is read in pieces of at most 510 characters: a longer one is cut there,
    its rest a physical line of its own, except that the line end right
    after 510 characters (LF or CR LF) belongs to them."""
    lines = []
    i = 0
    while i < len(data):
        lf = data.find("\n", i, i + PIECE)
        if lf >= 0:
            piece, i, ended = data[i:lf], lf + 1, True
            if piece.endswith("\r"):
                piece = piece[:-1]
        else:
            piece, ended = data[i : i + PIECE], False
            i += len(piece)
            if len(piece) == PIECE and data.startswith("\n", i):
                i, ended = i + 1, True
                if piece.endswith("\r"):
                    piece = piece[:-1]
            elif len(piece) == PIECE and data.startswith("\r\n", i):
                i, ended = i + 2, True
        lines.append(Line(len(lines) + 1, piece, ended))
    return lines


def split_records(lines):
    """Groups physical lines into records: (kind, [(number, text, continued)])
    with kind "comment" or "data"; a data record ends with (number of the
    last line read for it, None, False). Blank and comment lines begin a comment
    record of their own, and are passed over inside a continued record; a
    trailing comment is cut at the first ';' without a backslash before it;
    a final backslash continues the record."""
    records = []
    i = 0
    while i < len(lines):
        line = lines[i]
        if skipped(line):
            records.append(("comment", [(line.number, line.content, False)]))
            i += 1
            continue
        parts = []
        while True:
            text, continued = cut(lines[i].content)
            parts.append((lines[i].number, text, continued))
            i += 1
            if not continued:
                break
            while i < len(lines) and skipped(lines[i]):
                i += 1
            if i == len(lines):
                break
        # Lines passed over at the end of the input belong to the record too.
        records.append(("data", parts + [(lines[i - 1].number, None, False)]))
    return records


def skipped(line):
    """A blank or comment line, passed over inside a continued record."""
    stripped = line.content.lstrip(BLANKS)
    return (stripped == "" and line.ended) or stripped.startswith(";")


def cut(content):
    end = len(content)
    for at, c in enumerate(content):
        if c == ";" and (at == 0 or content[at - 1] != "\\"):
            end = at
            break
    text = content[:end]
    if text.endswith("\\"):
        return text[:-1], True
    return text, False


class Fault(Exception):
    def __init__(self, message, line):
        super().__init__(message)
        self.message, self.line = message, line


class Cursor:
    """The scanner: crosses one line end where a line is continued."""

    def __init__(self, parts):
        self.parts = parts
        self.li = 0
        self.pos = 0

    def text(self):
        return self.parts[self.li][1]

    def char(self):
        t = self.text()
        return t[self.pos] if self.pos < len(t) else ""

    def number(self):
        return self.parts[self.li][0]

    def skip_blanks(self):
        t = self.text()
        while self.pos < len(t) and t[self.pos] in BLANKS:
            self.pos += 1

    def peek(self, c=""):
        self.skip_blanks()
        if self.pos == len(self.text()):
            if not (self.parts[self.li][2] and self.li + 1 < len(self.parts)):
                return False
            self.li += 1
            self.pos = 0
            self.skip_blanks()
        return c == "" or self.char() == c


def parse_path(cur):
    if not cur.peek():
        raise Fault("missing path name", cur.number())
    t = cur.text()
    quoted = cur.char() == '"'
    if quoted:
        cur.pos += 1
    elif t[cur.pos : cur.pos + 2] == '\\"':
        cur.pos += 1
    out = []
    while cur.pos < len(t):
        c = t[cur.pos]
        if quoted and c == "\\" and t[cur.pos + 1 : cur.pos + 2] == '"':
            out.append('"')
            cur.pos += 2
            continue
        if (quoted and c == '"') or (not quoted and c in BLANKS):
            break
        out.append(c)
        cur.pos += 1
    if quoted:
        if cur.char() != '"':
            raise Fault("missing '\"' in path name", cur.number())
        cur.pos += 1
    return "".join(out)


def parse_props(cur, props):
    while cur.peek():
        t = cur.text()
        start = cur.pos
        while cur.pos < len(t) and t[cur.pos] not in BLANKS and t[cur.pos] != "=":
            if not is_word(t[cur.pos]):
                raise Fault("illegal character in property name", cur.number())
            cur.pos += 1
        props.append([t[start : cur.pos], None])
        if not cur.peek("="):
            continue
        cur.pos += 1
        if not cur.peek('"'):
            props.pop()
            raise Fault("missing '\"' for property value", cur.number())
        cur.pos += 1
        t = cur.text()
        out = []
        while cur.pos < len(t) and t[cur.pos] != '"':
            c = t[cur.pos]
            if c == "\\" and t[cur.pos + 1 : cur.pos + 2] in ('"', ";", "\\"):
                out.append(t[cur.pos + 1])
                cur.pos += 2
                continue
            out.append(c)
            cur.pos += 1
        if cur.char() != '"':
            props.pop()
            raise Fault("missing '\"' for property value", cur.number())
        cur.pos += 1
        props[-1][1] = "".join(out)


def parse_fields(cur, props):
    """The positional fields of a syntax-version-0 record, all on the line
    of the path: <version> <binding> [rollback|branch] [<x.y> [checkout]]."""
    rest = cur.text()[cur.pos :]
    for blank in BLANKS:
        rest = rest.replace(blank, " ")
    words = [w for w in rest.split(" ") if w]
    if not words:
        raise Fault("missing <WRX_version>", cur.number())
    if not words[0].isdigit():
        raise Fault("use <non-negative integer> for <WRX_version>", cur.number())
    props.append(["WRXv", words[0]])
    if len(words) < 2:
        raise Fault("missing <binding>", cur.number())
    binding = [b for b in ("static", "dynamic") if matches(words[1], b)]
    if not binding:
        raise Fault("use static or dynamic for <binding>", cur.number())
    props.append(["WRXb", binding[0]])
    rest = words[2:]
    if rest and (matches(rest[0], "rollback") or matches(rest[0], "branch")):
        if matches(rest[0], "rollback"):
            props.append(["WRXo", "reset_default"])
        rest = rest[1:]
    if not rest:
        return
    if not version_pair(rest[0]):
        raise Fault("use <major>.<minor> for <PYXE_version>", cur.number())
    props.append(["WRXpv", rest[0]])
    rest = rest[1:]
    if rest and matches(rest[0], "checkout"):
        props.append(["WRXo", "co"])
        rest = rest[1:]
    if rest:
        raise Fault("unrecognized field", cur.number())


def version_pair(word):
    major, dot, minor = word.partition(".")
    return dot == "." and major.isdigit() and minor.isdigit() and major.isascii() and minor.isascii()


def matches(word, field):
    """Field words are compared case-blind up to the end of the shorter."""
    n = min(len(word), len(field))
    return word[:n].upper() == field[:n].upper()


def data_record(parts, syntax):
    first, last = parts[0][0], parts[-1][0]
    parts = parts[:-1]
    out = {"line": first, "end_line": last, "props": []}
    cur = Cursor(parts)
    try:
        # The builder looks for the path, and the path parser again: two
        # line ends may be crossed before it.
        if not cur.peek():
            raise Fault("missing path name", cur.number())
        out["path"] = parse_path(cur)
        (parse_props if syntax == 1 else parse_fields)(cur, out["props"])
    except Fault as fault:
        out.update(type="syntax", error=fault.message, error_line=fault.line)
        out.setdefault("path", None)
        return out
    names = [p[0] for p in out["props"]]
    if out["path"] == "":
        out["type"] = "none"
    elif syntax == 1 and "WRXc" in names:
        out["type"] = "configpath"
    elif syntax == 1 and "WRXsd" in names:
        out["type"] = "subdir"
    else:
        out["type"] = "object"
    return out


def header_version(parts):
    """The header check on the first record: (syntax, refusal or None)."""
    cur = Cursor(parts)
    if not cur.peek() or not cur.text().startswith("WRXCHECKPOINT", cur.pos):
        return 0, None
    cur.pos += len("WRXCHECKPOINT")
    if is_word(cur.char()) or not cur.peek("="):
        return 0, None
    cur.pos += 1
    if not cur.peek('"'):
        return 0, None
    cur.pos += 1
    t = cur.text()
    close = t.find('"', cur.pos)
    if close < 0:
        return 0, None
    value = t[cur.pos : close]
    digits = len(value) - len(value.lstrip("0123456789"))
    if digits == 0:
        return -1, "illegal major version in syntax"
    if value[digits:] != ".0":
        return -1, "illegal minor version in syntax"
    major = int(value[:digits])
    if major not in (0, 1):
        return -1, "unknown syntax version"
    return major, None


def expected(lines):
    """The records `ckp json` must print for the lines, or a refusal."""
    records = split_records(lines)
    if not records:
        return [{"type": "header", "line": 0, "end_line": 0, "props": [], "version": 0}], None
    kind, parts = records[0]
    syntax = 0
    if kind == "data":
        end = parts[-1][0]
        parts = parts[:-1]
        syntax, refusal = header_version(parts)
        if refusal is not None:
            return None, refusal
    out = []
    if syntax == 1:
        header = {"type": "header", "line": parts[0][0], "end_line": end, "version": 1}
        cur = Cursor(parts)
        cur.peek()
        cur.pos = cur.text().index('"', cur.text().index("=", cur.pos)) + 1
        cur.pos = cur.text().index('"', cur.pos) + 1
        header["props"] = []
        try:
            parse_props(cur, header["props"])
        except Fault as fault:
            header.update(type="syntax", error=fault.message, error_line=fault.line)
            del header["version"]
        out.append(header)
        records = records[1:]
    elif kind == "comment" and parts[0][1].strip(BLANKS) == "":
        # A blank first line is not read again: the header holds it.
        out.append({"type": "header", "line": 1, "end_line": 1, "props": [], "version": 0})
        records = records[1:]
    else:
        out.append({"type": "header", "line": 0, "end_line": 0, "props": [], "version": 0})
    for kind, parts in records:
        if kind == "comment":
            number, text, _ = parts[0]
            out.append({"type": "comment", "line": number, "end_line": number, "props": [], "text": text})
        else:
            out.append(data_record(parts, syntax))
    return out, None


# ---- The generator -------------------------------------------------------


def random_path(rng):
    return rng.choice(["p", "lib/cell", "a_b/c.d", '"my dir/f x"', "x" * rng.randint(1, 40)])


def random_props(rng):
    props = []
    for i in range(rng.randint(0, 3)):
        name = rng.choice(["k", "owner", "v2", "flag"]) + str(i)
        value = rng.choice([None, "", "1", "a b", 'say \\"hi\\"', "x\\;y", "a\\\\b"])
        props.append(name if value is None else '%s="%s"' % (name, value))
    return props


def data_lines(rng, syntax):
    """The lines of one data record, continued or not."""
    head = random_path(rng)
    tail = ["%d %s" % (rng.randint(0, 99), rng.choice(["static", "DYNAMIC"]))] if syntax == 0 else random_props(rng)
    shape = rng.choice(["one", "continued", "blank-first", "inner-skip", "cut-comment"])
    if shape == "one":
        return [" ".join([head] + tail)]
    if shape == "continued":
        if syntax == 0:
            return [" ".join([head] + tail) + " \\", " extra"]
        return [head + " \\"] + [" " + t + " \\" for t in tail[:-1]] + ([" " + tail[-1]] if tail else [" last"])
    if shape == "blank-first":
        return [rng.choice(["", " ", "\t "]) + "\\", " ".join([head] + tail)]
    if shape == "inner-skip":
        return [" ".join([head] + tail) + " \\", "", "; inside \\", " tailflag" if syntax == 1 else " more"]
    return [" ".join([head] + tail) + " ; note \\"]


def generate(rng):
    """The text of a file (one character a byte)."""
    syntax = rng.choice([0, 0, 1, 1, "big", "zero"])
    contents = []
    if syntax == "big":
        major = rng.choice([2, 2**31, 2**32, 2**32 + 1, 2**32 - 1, 2**64 + 1, 10**30])
        contents.append('WRXCHECKPOINT="%d.0"' % major)
        syntax = 1
    elif syntax == "zero":
        contents.append('WRXCHECKPOINT="0.0"')
        syntax = 0
    elif syntax == 1:
        contents.append(rng.choice(['WRXCHECKPOINT="1.0"', 'WRXCHECKPOINT="1.0" owner="me"', "  WRXCHECKPOINT = \"1.0\""]))
    for n in range(rng.randint(1, 6)):
        kind = rng.choice(["data", "data", "data", "comment", "blank", "long"])
        if kind == "long":  # cut into pieces
            contents.append("y" * rng.randint(PIECE - 5, 2 * PIECE + 5) + " 1 static")
        elif kind == "comment":
            contents.append("; remark %d" % n)
        elif kind == "blank":
            contents.append(rng.choice(["", "  "]))
        else:
            contents.extend(data_lines(rng, syntax))
    # Line ends, and leading blanks that bring a line to the end of a piece,
    # or just short of it or past it.
    data = []
    for content in contents:
        end = rng.choice(["\n", "\n", "\r\n", "\r\r\n", ""])
        width = rng.choice([None, None, PIECE - 2, PIECE - 1, PIECE, PIECE + 1])
        if width is not None and len(content) < width:
            content = " " * (width - len(content) - end.count("\r") + (end == "\r\n")) + content
        data.append(content + (end or "\n"))
    if rng.random() < 0.2:
        data[-1] = data[-1].rstrip("\n")  # no line end at the end of the file
    return "".join(data)


# ---- The comparison ------------------------------------------------------

FIELDS = ("type", "line", "end_line", "props", "path", "text", "version", "error", "error_line")


def compare(ckp, path, lines):
    want, refusal = expected(lines)
    run = subprocess.run([ckp, "json", path], capture_output=True)
    if refusal is not None:
        if run.returncode == 0 or refusal.encode() not in run.stderr:
            return ["expected a refusal (%s), got status %d: %r" % (refusal, run.returncode, run.stderr)]
        return []
    if run.returncode not in (0, 1):  # 1: the file has syntax errors
        return ["refused: %r" % run.stderr]
    got = [json.loads(l) for l in run.stdout.decode("latin-1").splitlines()]
    faults = []
    if len(got) != len(want):
        faults.append("%d records, expected %d" % (len(got), len(want)))
    for i, (g, w) in enumerate(zip(got, want)):
        for field in FIELDS:
            if field in w and w[field] is not None and g.get(field) != w[field]:
                faults.append("record %d %s: %r, expected %r" % (i, field, g.get(field), w[field]))
    return faults


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("ckp")
    parser.add_argument("--count", type=int, default=500)
    parser.add_argument("--seed", type=int, default=26)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    failed = 0
    with tempfile.TemporaryDirectory(prefix="ckp-json-rules-") as tmp:
        for n in range(args.count):
            text = generate(rng)
            data = text.encode("latin-1")
            path = os.path.join(tmp, "f%d.ckpt" % n)
            with open(path, "wb") as f:
                f.write(data)
            faults = compare(args.ckp, path, physical_lines(text))
            if faults:
                failed += 1
                if failed <= 5:
                    print("file %d %r:" % (n, data))
                    for fault in faults[:6]:
                        print("  " + fault)
    print("%d of %d files differ" % (failed, args.count))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
