#!/usr/bin/env bash
# Times quarrytab-cli side by side with the sqlite3 shell (.import then .dump) and with the copy
# floor (reading the input and writing a file as large as the output), on one generated file.
# usage: [RUNS=15] bench/run.sh [LINES] [FIELDS]      (defaults: 1000000 lines, 8 fields)
set -euo pipefail
cd "$(dirname "$0")/.."
lines=${1:-1000000}
fields=${2:-8}
cli=build/default/bin/quarrytab-cli
[ -x "$cli" ] || { echo "build first: ./dev test (or cmake --build --preset default)" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }
command -v sqlite3 >/dev/null || { echo "needs sqlite3 (apt-get install sqlite3)" >&2; exit 1; }

work=bench/scratch
mkdir -p "$work"
input=$work/input-$lines-$fields.csv
[ -f "$input" ] || python3 bench/generate.py "$input" "$lines" "$fields"

"$cli" -o "$work/out.sql" "$input"
size=$(stat -c %s "$work/out.sql")
head -c "$size" /dev/zero > "$work/out-sized.bin"
echo "input: $(stat -c %s "$input") bytes, $lines lines, $fields fields; output: $size bytes"

hyperfine --warmup 2 --runs "${RUNS:-15}" --export-markdown "$work/timings.md" \
    -n 'quarrytab-cli > FILE' "$cli $input > $work/out.sql" \
    -n 'quarrytab-cli -o FILE (atomic, synced)' "$cli -o $work/out.sql $input" \
    -n 'quarrytab-cli --csv --header > FILE' "$cli --csv --header $input > $work/out-csv.sql" \
    -n 'sqlite3 .import + .dump' \
       "rm -f $work/db.sqlite; sqlite3 $work/db.sqlite '.mode csv' '.import $input t' '.output $work/dump.sql' '.dump'" \
    -n 'copy floor (cat)' "cat $input > /dev/null; cat $work/out-sized.bin > $work/floor.out"

echo
echo "peak resident memory of quarrytab-cli:"
/usr/bin/time -f "%M KiB" "$cli" -o "$work/out.sql" "$input"
