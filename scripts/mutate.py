#!/usr/bin/env python3
"""Mutation testing: plants one small fault at a time in the library's
sources, rebuilds, runs the test suite and counts the faults it catches.

The faults are flipped comparisons (< <=, > >=, == !=), integer literals off
by one, dropped calls (a line that is only a call becomes empty) and changed
character constants. The candidates are every such spot in the chosen files,
in file and line order; the seed picks --count of them, so the same seed and
count on the same sources give the same mutants. Each mutant is written over
the source, built and tested, and the original bytes are written back before
the next one, on failure and on Ctrl-C as well.
"""

import argparse
import fnmatch
import os
import random
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

COMPARISONS = {" < ": " <= ", " <= ": " < ", " > ": " >= ", " >= ": " > ",
               " == ": " != ", " != ": " == "}
COMPARISON_RE = re.compile(r" (<=|>=|==|!=|<|>) ")
INTEGER_RE = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
CHAR_RE = re.compile(r"'(\\.|[^'\\])'")
CALL_RE = re.compile(r"^\s*(?:\(void\)\s*)?[A-Za-z_][\w:]*(?:(?:\.|->)[A-Za-z_]\w*)*\(.*\);\s*$")
NOT_A_CALL = re.compile(r"^\s*(return|if|while|for|switch|case|do|else|delete|throw)\b")


def literal_spans(line):
    """Spans of string literals, char constants and a trailing // comment."""
    spans = []
    i = 0
    while i < len(line):
        c = line[i]
        if c == "/" and line.startswith("//", i):
            spans.append((i, len(line)))
            break
        if c in "\"'":
            j = i + 1
            while j < len(line) and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            spans.append((i, j + 1))
            i = j + 1
            continue
        i += 1
    return spans


def outside(spans, start, end):
    return all(end <= a or start >= b for a, b in spans)


def changed_char(body):
    if body.startswith("\\"):
        return {"\\n": "\\t", "\\t": "\\n", "\\0": "\\n", "\\\\": "/", "\\'": '"'}.get(body, "\\n")
    return "a" if body == " " else " " if not body.isalnum() else chr(ord(body) ^ 1)


def line_mutants(text):
    """(column, old, new, kind) for every mutant of one source line."""
    stripped = text.strip()
    if not stripped or stripped.startswith(("#", "//", "/*", "*")) or "static_assert" in text:
        return []
    spans = literal_spans(text)
    found = []
    for m in COMPARISON_RE.finditer(text):
        if outside(spans, m.start(), m.end()) and "template" not in text:
            found.append((m.start(), m.group(0), COMPARISONS[m.group(0)], "comparison"))
    for m in INTEGER_RE.finditer(text):
        if outside(spans, m.start(), m.end()) and not text[:m.start()].rstrip().endswith("["):
            value = int(m.group(1))
            new = str(value + 1) if value < 2 else str(value - 1)
            found.append((m.start(), m.group(1), new, "literal"))
    for m in CHAR_RE.finditer(text):
        if "//" not in text[:m.start()]:
            found.append((m.start(), m.group(0), "'" + changed_char(m.group(1)) + "'", "char"))
    if CALL_RE.match(text) and not NOT_A_CALL.match(text) and "=" not in text.split("(")[0]:
        found.append((len(text) - len(text.lstrip()), stripped, "", "dropped call"))
    return found


def candidates(files):
    result = []
    for path in files:
        lines = (ROOT / path).read_text().split("\n")
        depth = 0  # inside a /* */ comment
        for number, text in enumerate(lines, 1):
            if depth or "/*" in text:
                depth = 0 if "*/" in text else 1
                continue
            for column, old, new, kind in line_mutants(text):
                result.append((path, number, column, old, new, kind))
    return result


def apply(original, mutant):
    path, number, column, old, new, _ = mutant
    lines = original.split("\n")
    text = lines[number - 1]
    assert text[column:column + len(old)] == old, mutant
    lines[number - 1] = text[:column] + new + text[column + len(old):]
    return "\n".join(lines)


def describe(mutant):
    path, number, _, old, new, kind = mutant
    return f"{path}:{number}: {kind}: {old.strip()!r} -> {new.strip()!r}"


def run(command, log, timeout=None):
    with open(log, "a") as out:
        out.write("$ " + " ".join(command) + "\n")
        out.flush()
        try:
            return subprocess.run(command, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return 124


def configure(build, log):
    env_ok = run(["cmake", "--preset", "dev", "-B", build, "-DCKP_BUILD_BENCH=OFF",
                  "-DCKP_BUILD_FUZZ=OFF"], log)
    return env_ok == 0


def build_tree(build, log):
    return run(["cmake", "--build", build, "-j2"], log) == 0


def test_tree(build, log, per_test):
    """None when the suite passes, else the names of the tests that failed."""
    start = log.stat().st_size
    if run(["ctest", "--test-dir", build, "-j2", "--stop-on-failure", "--timeout",
            str(per_test)], log) == 0:
        return None
    with open(log) as out:
        out.seek(start)
        failed = re.findall(r"^\s*\d+ - (\S+) \(", out.read(), re.M)
    return failed or ["(ctest failed)"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--count", type=int, default=40)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--files", default="src/*/*.cpp",
                        help="glob over paths from the project root (default src/*/*.cpp)")
    parser.add_argument("--build", default="build/mutate")
    parser.add_argument("--timeout", type=int, default=60, help="seconds per test")
    parser.add_argument("--list", action="store_true", help="print the mutants only")
    parser.add_argument("--only", metavar="FILE",
                        help="of the chosen mutants, run those whose description (as --list "
                             "prints it) appears in FILE, e.g. a previous run's output")
    parser.add_argument("--skip-baseline", action="store_true",
                        help="do not run the suite on the unchanged sources first")
    args = parser.parse_args()

    files = sorted(str(p.relative_to(ROOT)) for p in ROOT.glob("src/**/*")
                   if p.is_file() and fnmatch.fnmatch(str(p.relative_to(ROOT)), args.files)
                   and p.suffix in (".cpp", ".hpp")
                   # Not compiled on this platform: its mutants would all survive.
                   and ("win32" not in p.name or "win32" in args.files))
    pool = candidates(files)
    count = min(args.count, len(pool))
    chosen = sorted(random.Random(args.seed).sample(pool, count),
                    key=lambda m: (m[0], m[1], m[2]))
    if args.only:
        # Earlier output names a mutant as "...: src/x.cpp:12: kind: 'a' -> 'b' by T".
        wanted = Path(args.only).read_text()
        chosen = [m for m in chosen if describe(m) in wanted]
        count = len(chosen)
    print(f"mutate: {len(pool)} candidates in {len(files)} files; seed {args.seed}, "
          f"{count} mutants", flush=True)
    if args.list:
        for mutant in chosen:
            print(describe(mutant))
        return 0

    os.environ.setdefault("CMAKE_CXX_COMPILER_LAUNCHER", "ccache")
    os.environ.setdefault("CMAKE_C_COMPILER_LAUNCHER", "ccache")
    os.environ.setdefault("CCACHE_BASEDIR", str(ROOT))
    os.environ.setdefault("CCACHE_NOHASHDIR", "1")
    build = args.build
    log = ROOT / build / "mutate.log"
    log.parent.mkdir(parents=True, exist_ok=True)
    log.write_text("")
    if not configure(build, log) or not build_tree(build, log):
        print(f"mutate: the unchanged tree does not build (see {log})")
        return 2
    if not args.skip_baseline and test_tree(build, log, args.timeout) is not None:
        print(f"mutate: the suite fails on the unchanged tree (see {log})")
        return 2

    # SIGTERM ends the run as Ctrl-C does, through the restoring finally.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    killed, survived, broken = [], [], []
    start = time.monotonic()
    for index, mutant in enumerate(chosen, 1):
        source = ROOT / mutant[0]
        original = source.read_bytes()
        began = time.monotonic()
        try:
            source.write_text(apply(original.decode(), mutant))
            with open(log, "a") as out:
                out.write(f"=== mutant {index}: {describe(mutant)}\n")
            failed = None
            if not build_tree(build, log):
                outcome, bucket = "does not compile", broken
            elif (failed := test_tree(build, log, args.timeout)) is None:
                outcome, bucket = "SURVIVED", survived
            else:
                outcome, bucket = "killed", killed
        finally:
            source.write_bytes(original)
        bucket.append(mutant)
        by = f" by {', '.join(failed[:3])}" if failed else ""
        print(f"[{index}/{count}] {outcome} ({time.monotonic() - began:.0f} s): {describe(mutant)}{by}",
              flush=True)

    # The restored sources leave the build as the unchanged tree's.
    build_tree(build, log)
    compiled = len(killed) + len(survived)
    score = 100.0 * len(killed) / compiled if compiled else 0.0
    print(f"mutate: {len(killed)} killed, {len(survived)} survived, {len(broken)} do not compile; "
          f"score {len(killed)}/{compiled} = {score:.1f}% in {time.monotonic() - start:.0f} s")
    for mutant in survived:
        print("survived: " + describe(mutant))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        print("mutate: interrupted; sources restored")
        sys.exit(130)
