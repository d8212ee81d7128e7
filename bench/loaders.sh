#!/usr/bin/env bash
# CSV into a loaded table, side by side in one run: quarrytab-cli piped into each database's own
# client against that database's own bulk loader on the same file. PostgreSQL: --format copy into
# psql against psql's \copy ... csv header; SQLite: INSERTs into the sqlite3 shell against its
# .import --csv; MariaDB: INSERTs into the mariadb client against LOAD DATA LOCAL INFILE. The
# servers are throw-away ones on a Unix socket (tests/db/servers.sh), stopped at the end.
# usage: [RUNS=3] [ROWS_PER_INSERT=500] bench/loaders.sh [LINES] [FIELDS]
#        (defaults: 300000 lines, 8 fields)
set -euo pipefail
cd "$(dirname "$0")/.."
lines=${1:-300000}
fields=${2:-8}
batch=${ROWS_PER_INSERT:-500}
cli=$PWD/build/default/bin/quarrytab-cli
[ -x "$cli" ] || { echo "build first: cmake --build --preset default" >&2; exit 1; }
for tool in hyperfine sqlite3 psql mariadb; do
    command -v $tool >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

work=$PWD/bench/scratch
mkdir -p "$work"
input=$work/input-$lines-$fields.csv
[ -f "$input" ] || python3 bench/generate.py "$input" "$lines" "$fields"
table="Table1_input-$lines-$fields"

servers=$work/servers
trap 'tests/db/servers.sh stop postgres "$servers/postgres"; tests/db/servers.sh stop mariadb "$servers/mariadb"' EXIT
tests/db/servers.sh start postgres "$servers/postgres"
tests/db/servers.sh start mariadb "$servers/mariadb"
psql="psql -X -q -v ON_ERROR_STOP=1 -h $(cat "$servers/postgres/socket") -U quarrytab -d postgres"
mariadb="mariadb --no-defaults -u root -S $(cat "$servers/mariadb/socket") quarrytab"

# The tables the native loaders fill, as quarrytab-cli would make them.
columns() {
    local type=$1 k
    for k in $(seq 1 "$fields"); do printf '%s"column%d" %s' "$([ "$k" -gt 1 ] && echo ,)" "$k" "$type"; done
}
pg_table="DROP TABLE IF EXISTS \"$table\"; CREATE TABLE \"$table\" ($(columns TEXT));"
my_table="DROP TABLE IF EXISTS \`$table\`; CREATE TABLE \`$table\` ($(columns LONGTEXT | tr '"' '`')) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;"
pg_drop="$psql -c 'DROP TABLE IF EXISTS \"$table\"'"
my_drop="$mariadb -e 'DROP TABLE IF EXISTS \`$table\`'"
echo "input: $(stat -c %s "$input") bytes, $lines lines, $fields fields"

hyperfine --warmup 1 --runs "${RUNS:-3}" --export-markdown "$work/loaders.md" \
    --prepare "$pg_drop" -n 'postgres: quarrytab-cli --format copy | psql' \
    "$cli --csv --header --dialect postgres --format copy --transaction $input | $psql" \
    --prepare "$psql -c '$pg_table'" -n 'postgres: psql \copy csv header' \
    "$psql -c \"\\\\copy \\\"$table\\\" from '$input' csv header\"" \
    --prepare "$pg_drop" -n "postgres: quarrytab-cli --rows-per-insert $batch | psql" \
    "$cli --csv --header --dialect postgres --transaction --rows-per-insert $batch $input | $psql" \
    --prepare "rm -f $work/load.db" -n "sqlite: quarrytab-cli --rows-per-insert $batch | sqlite3" \
    "$cli --csv --header --dialect sqlite --transaction --rows-per-insert $batch $input | sqlite3 $work/load.db" \
    --prepare "rm -f $work/load.db" -n 'sqlite: sqlite3 .import --csv' \
    "sqlite3 $work/load.db '.import --csv $input t'" \
    --prepare "$my_drop" -n "mariadb: quarrytab-cli --rows-per-insert $batch | mariadb" \
    "$cli --csv --header --dialect mysql --transaction --rows-per-insert $batch $input | $mariadb" \
    --prepare "$mariadb -e '$my_table'" -n 'mariadb: LOAD DATA LOCAL INFILE' \
    "$mariadb --local-infile=1 -e \"LOAD DATA LOCAL INFILE '$input' INTO TABLE \\\`$table\\\` CHARACTER SET utf8mb4 FIELDS TERMINATED BY ',' OPTIONALLY ENCLOSED BY '\\\"' ESCAPED BY '' LINES TERMINATED BY X'0D0A' IGNORE 1 LINES\""

echo
echo "rows loaded last: postgres $($psql -A -t -c "SELECT count(*) FROM \"$table\""), mariadb $($mariadb -N -e "SELECT count(*) FROM \`$table\`")"
