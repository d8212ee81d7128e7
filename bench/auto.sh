#!/usr/bin/env bash
# What --auto costs: the sniffer alone on each real file of tests/data/real (in the program, free of
# process start-up); then each real file of tests/data/real converted RUNS times with --auto alone and
# with the same rules given as options (the ones in the folder's INDEX, --ragged pad included, so
# both read the file twice), and the difference per file; then the second read --ragged pad makes
# of a large file, against --ragged keep. usage: bench/auto.sh [RUNS] [LINES]
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/default/bin/quarrytab-cli
[ -x "$cli" ] || { echo "build first: ./dev test" >&2; exit 1; }
runs=${1:-10} lines=${2:-1000000}
work=bench/scratch
mkdir -p "$work"
real=tests/data/real

# The options that say what the INDEX says of a file.
given() {  # given FILE
    awk -F'\t' -v f="$1" '$1 == f {
        d = $7 == "TAB" ? "\\t" : $7 == "SPACE" ? " " : $7
        printf "-d\n%s\n", d
        if ($8 == "csv") print "--csv"; else print "--no-csv"
        printf "--skip-lines\n%s\n", $9
        if ($10 != "-") printf "--comment\n%s\n", $10
        if ($11 == "yes") print "--header"; else print "--no-header"
        if ($6 == "utf-8-sig") print "--strip-bom"
        print "--ragged"; print "pad"
    }' "$real/INDEX"
}

# Processor time (user and system, which load from other programs changes little) and wall time.
TIMEFORMAT='%U %S %R'
measure() {  # measure auto|given: RUNS runs over every real file
    for _ in $(seq "$runs"); do
        for file in "$real"/*.*; do
            if [ "$1" = auto ]; then
                "$cli" --auto --dialect sqlite -o "$work/auto.sql" "$file" >/dev/null 2>&1 || true
            else
                mapfile -t options <<<"${options_of[$file]}"
                "$cli" "${options[@]}" --dialect sqlite -o "$work/given.sql" "$file" \
                    >/dev/null 2>&1 || true
            fi
        done
    done
}

build/default/bin/quarrytab-sniff-bench "$real"/*.*
files=$(ls "$real"/*.* | wc -l)
declare -A options_of
for file in "$real"/*.*; do
    options_of[$file]=$(given "$(basename "$file")")
done
read -r au as ar < <({ time measure auto; } 2>&1)
read -r gu gs gr < <({ time measure given; } 2>&1)
count=$((files * runs))
printf '%d files x %d runs, per file: --auto %.2f ms processor (%.2f ms wall), options given '\
'%.2f ms (%.2f ms): --auto adds %.2f ms processor, %.2f ms wall\n' "$files" "$runs" \
    "$(echo "($au + $as) * 1000 / $count" | bc -l)" "$(echo "$ar * 1000 / $count" | bc -l)" \
    "$(echo "($gu + $gs) * 1000 / $count" | bc -l)" "$(echo "$gr * 1000 / $count" | bc -l)" \
    "$(echo "($au + $as - $gu - $gs) * 1000 / $count" | bc -l)" \
    "$(echo "($ar - $gr) * 1000 / $count" | bc -l)"

# The second read of --ragged pad on a large file.
big=$work/input-$lines-8.csv
[ -f "$big" ] || python3 bench/generate.py "$big" "$lines"
for mode in keep pad; do
    /usr/bin/time -f "%e" -o "$work/time.txt" "$cli" --csv --header --ragged "$mode" \
        -o "$work/big.sql" "$big" 2>/dev/null || true
    printf '%s: --ragged %s %s s\n' "$(basename "$big") ($(( $(stat -c %s "$big") >> 20 )) MB)" \
        "$mode" "$(cat "$work/time.txt")"
done
/usr/bin/time -f "%e" -o "$work/time.txt" "$cli" --auto -o "$work/big.sql" "$big" 2>/dev/null || true
printf '%s: --auto %s s\n' "$(basename "$big")" "$(cat "$work/time.txt")"
