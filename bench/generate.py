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
    words = ["alpha", "Bergen", "O'Brien", "caf\u00e9", "kettle", "1234.50", "2024-07-01",
             "north east", "x", "Zoë", "99", "teapot", "ready", "  padded ", "-17"]
    with open(output, "w", encoding="utf-8", newline="") as out:
        out.write(delimiter.join(f"column{k}" for k in range(1, fields + 1)) + "\r\n")
        for n in range(1, lines):
            row = [str(n)] + [rng.choice(words) for _ in range(fields - 1)]
            out.write(delimiter.join(row) + "\r\n")


if __name__ == "__main__":
    main()
