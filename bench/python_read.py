#!/usr/bin/env python3
"""Reading every record and property of a 20 MB file from Python: ckp.read
against configparser reading the same records as INI sections.

    PYTHONPATH=build/release/python /usr/bin/python3 bench/python_read.py [--mb=20] [--reps=3]

Inputs are generated in a temporary directory and removed afterwards. Each
reader runs --reps times, the two alternating; the best time of each counts.
"""

import argparse
import configparser
import os
import sys
import tempfile
import time

import ckp

OWNERS = ["alice", "bob", "carol", "dave"]


def records(megabytes):
    """(path, props) pairs, about megabytes MB as a checkpoint file."""
    size = 0
    index = 0
    while size < megabytes * 1_000_000:
        props = [("type", "cell"), ("drive", str(index % 8 + 1)),
                 ("area", f"{index % 97}.{index % 10}"), ("owner", OWNERS[index % 4]),
                 ("note", f"revision {index} of the floor plan, checked")]
        if index % 3 == 0:
            props.append(("locked", None))
        path = f"lib/block{index // 1000}/cell{index}"
        size += len(path) + sum(len(n) + (len(v) + 4 if v is not None else 1)
                                for n, v in props) + 1
        index += 1
        yield path, props


def write_inputs(directory, megabytes):
    ckpt = os.path.join(directory, "big.ckpt")
    ini = os.path.join(directory, "big.ini")
    with ckp.Writer(ckpt) as out, open(ini, "w") as sections:
        out.header()
        for path, props in records(megabytes):
            out.object(path, **dict(props))
            sections.write(f"[{path}]\n")
            for name, value in props:
                sections.write(name + "\n" if value is None else f"{name} = {value}\n")
    return ckpt, ini


def read_ckp(path):
    count = 0
    for record in ckp.read(path):
        for name, value in record.props:
            count += 1
    return count


def read_ini(path):
    parser = configparser.ConfigParser(allow_no_value=True, interpolation=None,
                                       delimiters=("=",), comment_prefixes=(";",))
    parser.optionxform = str  # keep names as written, as ckp does
    parser.read(path)
    count = 0
    for section in parser.sections():
        for name, value in parser.items(section, raw=True):
            count += 1
    return count


def best(function, path, reps, results):
    times = []
    for _ in range(reps):
        start = time.perf_counter()
        results.append(function(path))
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    options = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    options.add_argument("--mb", type=float, default=20)
    options.add_argument("--reps", type=int, default=3)
    args = options.parse_args()
    with tempfile.TemporaryDirectory(prefix="ckp-bench-") as directory:
        ckpt, ini = write_inputs(directory, args.mb)
        counts = []
        ckp_times, ini_times = [], []
        for _ in range(args.reps):
            ckp_times.append(best(read_ckp, ckpt, 1, counts))
            ini_times.append(best(read_ini, ini, 1, counts))
        if len(set(counts)) != 1:
            sys.exit(f"the readers disagree: {sorted(set(counts))} properties")
        sizes = os.path.getsize(ckpt) / 1e6, os.path.getsize(ini) / 1e6
    ckp_best, ini_best = min(ckp_times), min(ini_times)
    print(f"properties read: {counts[0]} (checkpoint {sizes[0]:.1f} MB, INI {sizes[1]:.1f} MB)")
    print(f"ckp.read:     best {ckp_best:.3f} s of {args.reps}")
    print(f"configparser: best {ini_best:.3f} s of {args.reps}")
    print(f"ratio configparser/ckp: {ini_best / ckp_best:.2f}")


if __name__ == "__main__":
    main()
