#!/usr/bin/env python3
"""Writes a delimited test file: LINES lines of FIELDS fields, about 10 bytes a field.

usage: generate.py OUTPUT [LINES] [FIELDS] [DELIMITER]
The content is fixed by a seed, so every run produces the same bytes.
"""
import random
import sys


def main() -> None:
    output = sys.argv[1]
    lines = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    fields = int(sys.argv[3]) if len(sys.argv) > 3 else 8
    delimiter = sys.argv[4] if len(sys.argv) > 4 else ","
    rng = random.Random(2026)
    words = ["alphabetic", "Bergen-Nord", "O'Brien Ltd", "caf\u00e9 cr\u00e8me", "kettle",
             "1234567.50", "2024-07-01", "north east", "x", "Zo\u00eb Lang", "99", "teapot set",
             "ready-made", "  padded  ", "-17.000001"]
    with open(output, "w", encoding="utf-8", newline="") as out:
        out.write(delimiter.join(f"column{k}" for k in range(1, fields + 1)) + "\r\n")
        for n in range(1, lines):
            row = [str(n)] + [rng.choice(words) for _ in range(fields - 1)]
            out.write(delimiter.join(row) + "\r\n")


if __name__ == "__main__":
    main()
