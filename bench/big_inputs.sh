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
    local name=$1 input=$2 status=0
    shift 2
    # A file with a record of another width is written but exits 1; the checks after each run
    # say whether anything was lost.
    /usr/bin/time -f "%e s %M" -o "$work/time.txt" "$cli" "$@" -o "$work/big.sql" "$input" ||
        status=$?
    read -r seconds _ kib < <(tail -n 1 "$work/time.txt")
    peak=$kib
    printf '%-28s input %6d MB  output %6d MB  %6.2f s  peak %5d MB%s\n' "$name" \
        $(( $(stat -c %s "$input") >> 20 )) $(( $(stat -c %s "$work/big.sql") >> 20 )) \
        "$seconds" $(( kib >> 10 )) "$([ $status -eq 0 ] || echo "  (exit $status)")"
}
refused() {  # refused NAME INPUT [OPTIONS...]: a conversion that must stop, writing nothing,
    # for the reason $reason (by default a header past its limit)
    local name=$1 input=$2
    shift 2
    rm -f "$work/big.sql"
    if /usr/bin/time -f "%e s %M" -o "$work/time.txt" "$cli" "$@" -o "$work/big.sql" "$input" \
        2> "$work/err.txt"; then
        echo "  NOT REFUSED: $name"
        exit 1
    fi
    read -r seconds _ kib < <(tail -n 1 "$work/time.txt")  # after time's line on the exit status
    peak=$kib
    printf '%-28s input %6d MB  refused        %6.2f s  peak %5d MB\n' "$name" \
        $(( $(stat -c %s "$input") >> 20 )) "$seconds" $(( kib >> 10 ))
    check "nothing written" "" "$([ -e "$work/big.sql" ] && echo written || true)"
    check "the reason given" 1 "$(grep -c "${reason:-its header holds more than}" "$work/err.txt")"
}
bounded() {  # the last run's peak memory within the conversion's bound of 64 MiB
    check "peak within 64 MiB" yes "$([ "$peak" -le $((64 << 10)) ] && echo yes || echo "$peak KiB")"
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

# 2. One line of 1 GiB, which is also the first line: its INSERT waits for the CREATE TABLE.
gib=$((1 << 30))
head -c "$gib" /dev/zero | tr '\0' 'x' > "$work/long.csv"
create="CREATE TABLE 'Table1_long' ('fld1' text);"
insert="INSERT INTO 'Table1_long' VALUES ('');"
run "1 GiB single line" "$work/long.csv"
check "every byte of the line" $((${#create} + 2 + ${#insert} + gib + 2)) "$(stat -c %s "$work/big.sql")"
run "1 GiB single line, --csv" "$work/long.csv" --csv
check "every byte of the line" $((${#create} + 2 + ${#insert} + gib + 2)) "$(stat -c %s "$work/big.sql")"
rm -f "$work/long.csv"

# 3. One quoted field of 1 GiB holding line breaks, then a short record.
{ printf '"'; head -c "$gib" /dev/zero | tr '\0' 'x' | fold -w 1048575; printf '"\na\n'; } \
    > "$work/quoted.csv"
create="CREATE TABLE 'Table1_quoted' ('fld1' text);"
insert="INSERT INTO 'Table1_quoted' VALUES ('');"
run "1 GiB quoted field, --csv" "$work/quoted.csv" --csv
value=$(($(stat -c %s "$work/quoted.csv") - 5))
check "every byte of the field" $((${#create} + 2 + 2 * (${#insert} + 2) + value + 1)) \
    "$(stat -c %s "$work/big.sql")"
rm -f "$work/quoted.csv"

# 4. A first line of 500 MiB: 5 million fields, so a CREATE TABLE of 5 million columns.
python3 -c "
import sys
field = 'x' * 104 + ','
for _ in range(50): sys.stdout.write(field * 100000)
sys.stdout.write('x\nlast\n')" > "$work/wide.csv"
run "500 MiB first line" "$work/wide.csv"
columns=$((5000000 + 1))
# Neither names nor values hold a comma, so each line has one comma fewer than its items.
check "a column for each field" $((columns - 1)) "$(head -n 1 "$work/big.sql" | tr -cd , | wc -c)"
check "a value for each field" $((columns - 1)) "$(sed -n 2p "$work/big.sql" | tr -cd , | wc -c)"
rm -f "$work/wide.csv"

# 5. A million empty lines.
python3 -c "import sys; sys.stdout.write('\n' * 1000000)" > "$work/empty-lines.csv"
run "1M empty lines" "$work/empty-lines.csv"
check "only the CREATE TABLE" "CREATE TABLE 'Table1_empty-lines' ('fld1' text);" "$(tr -d '\r' < "$work/big.sql")"

# 6. Lines of nothing but delimiters.
python3 -c "import sys; sys.stdout.write((',' * 10000 + '\n') * 2000)" > "$work/delimiters.csv"
run "2000 lines of 10000 commas" "$work/delimiters.csv" --insert-only
check "10001 empty values a line" $((2000 * 10001)) "$(grep -o "''" "$work/big.sql" | wc -l)"
rm -f "$work/empty-lines.csv" "$work/delimiters.csv"

# 7. Headers whose names would outgrow the memory bound: 300,001 commas, 2 million empty names,
# one name of 300 MB. Each stops at the header's limit, in bounded memory.
python3 -c "import sys; sys.stdout.write(',' * 300001 + '\n1\n')" > "$work/commas.csv"
refused "--header, 300001 commas" "$work/commas.csv" --header
python3 -c "import sys; sys.stdout.write(',' * 1999999 + '\n1\n')" > "$work/empty-names.csv"
refused "--header, 2M empty names" "$work/empty-names.csv" --header --csv
{ head -c 300000000 /dev/zero | tr '\0' 'n'; printf '\n1\n'; } > "$work/long-name.csv"
refused "--header, a 300 MB name" "$work/long-name.csv" --header
rm -f "$work/commas.csv" "$work/empty-names.csv" "$work/long-name.csv"

# 8. One line of 10 million commas (10,000,001 empty fields) under the options that look at a
# record's values side by side. A table of every field is refused (no database's has so many
# columns); --columns and --null-word go on, holding no field they do not use.
head -c 10000000 /dev/zero | tr '\0' , > "$work/commas.csv"
run "10M commas, --columns 1" "$work/commas.csv" --columns 1
bounded
check "one value" "INSERT INTO 'Table1_commas' VALUES ('');" "$(sed -n 2p "$work/big.sql" | tr -d '\r')"
run "10M commas, --null-word" "$work/commas.csv" --null-word NA
bounded
check "a value for each field" 10000000 "$(sed -n 2p "$work/big.sql" | tr -cd , | wc -c)"
many='more columns than any'
for options in "--types --dialect sqlite" "--types --csv --dialect postgres" \
    "--primary-key fld1 --dialect mysql" "--not-null fld1 --dialect postgres" \
    "--on-conflict update --key fld1 --dialect postgres --rows-per-insert 10" \
    "--types --null-word NA --dialect sqlite"; do
    # shellcheck disable=SC2086 # the options are words
    reason=$many refused "10M commas, ${options%% --dialect*}" "$work/commas.csv" $options
    bounded
done
refused "10M commas, --columns by name" "$work/commas.csv" --header --columns fld1
bounded
refused "10M commas, --types --header" "$work/commas.csv" --header --types --dialect sqlite
bounded
rm -f "$work/commas.csv" "$work/err.txt"
rm -f "$work/big.sql" "$work/time.txt"
