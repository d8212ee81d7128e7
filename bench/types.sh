#!/usr/bin/env bash
# What --types costs: the 1,000,000-line benchmark file (and one whose columns all keep a type to
# its end) converted with and without --types, the first read alone (--explain), and the same from
# standard input, which is kept in a temporary file for the second read.
# usage: [RUNS=5] bench/types.sh [LINES]
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/default/bin/quarrytab-cli
[ -x "$cli" ] || { echo "build first: ./dev test (or cmake --build --preset default)" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }
lines=${1:-1000000}
work=bench/scratch
mkdir -p "$work"
mixed=$work/input-$lines-8.csv
[ -f "$mixed" ] || python3 bench/generate.py "$mixed" "$lines" 8
# Every column typed to the last line: integers, decimals of two places, dates, date and time.
typed=$work/typed-$lines.csv
[ -f "$typed" ] || python3 - "$typed" "$lines" <<'PY'
import random, sys
rng = random.Random(2026)
with open(sys.argv[1], "w", newline="") as out:
    out.write("id,qty,price,rate,day,at,code,delta\r\n")
    for n in range(1, int(sys.argv[2])):
        out.write(f"{n},{rng.randrange(1000)},{rng.randrange(10**7)}.{rng.randrange(100):02d},"
                  f"{rng.randrange(100)}.{rng.randrange(10)}{rng.randrange(1, 10)},"
                  f"20{rng.randrange(10, 30)}-{rng.randrange(1, 13):02d}-{rng.randrange(1, 29):02d},"
                  f"2024-0{rng.randrange(1, 10)}-1{rng.randrange(10)} 1{rng.randrange(10)}:"
                  f"{rng.randrange(60):02d}:{rng.randrange(60):02d},{rng.randrange(1, 10**9)},"
                  f"-{rng.randrange(1, 10**5)}\r\n")
PY
for input in "$mixed" "$typed"; do
    echo "$input: $(stat -c %s "$input") bytes"
    "$cli" --csv --header --dialect postgres --types -o /dev/null "$input" 2>&1 | cut -c1-300
    rules="--csv --header --dialect postgres"
    hyperfine -N --warmup 1 --runs "${RUNS:-5}" --export-markdown "$work/types.md" \
        -n 'plain' "$cli $rules -o /dev/null $input" \
        -n 'with --types' "$cli $rules --types -o /dev/null $input" \
        -n 'first read alone (--explain --types)' "$cli $rules --explain --types $input" \
        -n 'plain, standard input' "sh -c '$cli $rules -o /dev/null - < $input'" \
        -n 'with --types, standard input' "sh -c '$cli $rules --types -o /dev/null - < $input'" \
        >/dev/null
    cat "$work/types.md"
    echo "peak resident memory, --types from standard input:"
    sh -c "/usr/bin/time -f '%M KiB' $cli $rules --types -o /dev/null - < $input" 2>&1 | tail -1
done
