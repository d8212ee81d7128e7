#!/usr/bin/env bash
# Converts very large and degenerate inputs with quarrytab-cli, checks that nothing was lost, and
# prints the time and peak memory of each. usage: bench/big_inputs.sh
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/default/bin/quarrytab-cli
[ -x "$cli" ] || { echo "build first: ./dev test" >&2; exit 1; }
work=bench/scratch
mkdir -p "$work"

run() {  # run NAME INPUT [OPTIONS...]: converts INPUT to $work/big.sql and prints figures
    local name=$1 input=$2
    shift 2
    /usr/bin/time -f "%e s %M" -o "$work/time.txt" "$cli" "$@" -o "$work/big.sql" "$input"
    read -r seconds _ kib < "$work/time.txt"
    printf '%-28s input %6d MB  output %6d MB  %6.2f s  peak %5d MB\n' "$name" \
        $(( $(stat -c %s "$input") >> 20 )) $(( $(stat -c %s "$work/big.sql") >> 20 )) \
        "$seconds" $(( kib >> 10 ))
}
check() {  # check DESCRIPTION EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then echo "  ok: $1"; else echo "  LOST: $1 (expected $2, got $3)"; exit 1; fi
}

# 1. About 1 GB of ordinary lines.
base=$work/input-1000000-8.csv
[ -f "$base" ] || python3 bench/generate.py "$base"
for _ in $(seq 14); do cat "$base"; done > "$work/1gb.csv"
run "1 GB, 14M lines" "$work/1gb.csv"
check "one statement per line plus CREATE TABLE" $((14000000 + 1)) "$(wc -l < "$work/big.sql")"
rm -f "$work/1gb.csv"

# 2. One line of 200 MB.
head -c $((200 << 20)) /dev/zero | tr '\0' 'x' > "$work/long.csv"
run "200 MB single line" "$work/long.csv" --insert-only
check "every byte of the line" $(((200 << 20) + 40)) "$(stat -c %s "$work/big.sql")"
rm -f "$work/long.csv"

# 3. A million empty lines.
python3 -c "import sys; sys.stdout.write('\n' * 1000000)" > "$work/empty-lines.csv"
run "1M empty lines" "$work/empty-lines.csv"
check "only the CREATE TABLE" "CREATE TABLE 'Table1_empty-lines' ('fld1' text);" "$(tr -d '\r' < "$work/big.sql")"

# 4. Lines of nothing but delimiters.
python3 -c "import sys; sys.stdout.write((',' * 10000 + '\n') * 2000)" > "$work/delimiters.csv"
run "2000 lines of 10000 commas" "$work/delimiters.csv" --insert-only
check "10001 empty values a line" $((2000 * 10001)) "$(grep -o "''" "$work/big.sql" | wc -l)"
rm -f "$work/empty-lines.csv" "$work/delimiters.csv" "$work/big.sql" "$work/time.txt"
