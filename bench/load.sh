#!/usr/bin/env bash
# How long SQLite takes to load what quarrytab-cli writes: one INSERT per line, each its own
# transaction (the default), against --transaction --rows-per-insert 500. Without a transaction
# every INSERT waits for the disk, so that side loads only the first LOADED lines and the time for
# all lines is scaled from it.
# usage: bench/load.sh [LINES] [LOADED]      (defaults: 1000000 lines; 2000 loaded one by one)
set -euo pipefail
cd "$(dirname "$0")/.."
lines=${1:-1000000}
loaded=${2:-2000}
cli=build/default/bin/quarrytab-cli
command -v sqlite3 >/dev/null || { echo "needs sqlite3 (apt-get install sqlite3)" >&2; exit 1; }
work=bench/scratch
mkdir -p "$work"
input=$work/input-$lines-8.csv
[ -f "$input" ] || python3 bench/generate.py "$input" "$lines" 8

seconds() { local start end; start=$(date +%s.%N); "$@"; end=$(date +%s.%N); echo "$end - $start" | bc; }
load() { rm -f "$work/load.db"; sqlite3 "$work/load.db" < "$1"; }

("$cli" --csv --header --dialect sqlite "$input" || true) | head -n $((loaded + 1)) > "$work/plain.sql"
"$cli" --csv --header --dialect sqlite --transaction --rows-per-insert 500 "$input" > "$work/batched.sql"
plain=$(seconds load "$work/plain.sql")
batched=$(seconds load "$work/batched.sql")
rows=$(sqlite3 "$work/load.db" "SELECT count(*) FROM \"Table1_input-$lines-8\"")
echo "one INSERT per line, no transaction: $plain s for $loaded rows," \
     "$(echo "$plain * ($lines - 1) / $loaded" | bc) s scaled to $((lines - 1)) rows"
echo "--transaction --rows-per-insert 500: $batched s for $rows rows"
