#!/usr/bin/env python3
"""A report on a checkpoint file and the files it includes: the records of
each file by type, every syntax error, and the values of one property.

    examples/report.py FILE [PROPERTY]

Exit status 1 when the files hold syntax errors, 2 when they cannot be read.
"""

import collections
import sys

import ckp


def main(argv):
    if len(argv) not in (2, 3):
        print("usage: report.py FILE [PROPERTY]", file=sys.stderr)
        return 2
    path, wanted = argv[1], argv[2] if len(argv) == 3 else "owner"
    kinds = collections.defaultdict(collections.Counter)
    values = collections.Counter()
    errors = []
    try:
        for record in ckp.read(path):
            kinds[record.file][record.type.name.lower()] += 1
            if record.type == ckp.Type.SYNTAX:
                message, line, column = record.error
                errors.append(f"{record.file}:{line}:{column}: {message}")
            for name, value in record.props:
                if name == wanted:
                    values["(flag)" if value is None else value] += 1
    except ckp.Error as error:
        print(f"report: {error}", file=sys.stderr)
        return 2
    for file, counts in kinds.items():
        print(file + ": " + ", ".join(f"{n} {kind}" for kind, n in sorted(counts.items())))
    print(f"{wanted}: " + (", ".join(f"{v} ({n})" for v, n in values.most_common()) or "none"))
    for line in errors:
        print(line)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
