#!/usr/bin/env bash
# Times quarrytab-cli of two builds side by side in every mode (plain, --csv --header, each
# dialect, NULLs and padding, a decoded input) on one generated file, writing to /dev/null, and
# checks that both write the same bytes. Prints a table of medians with user times.
# usage: bench/modes.sh BEFORE-BUILD-FOLDER [AFTER-BUILD-FOLDER] [RUNS]
#   e.g. bench/modes.sh ../old/build/default build/default 10
set -euo pipefail
cd "$(dirname "$0")/.."
before=${1:?usage: bench/modes.sh BEFORE-BUILD-FOLDER [AFTER-BUILD-FOLDER] [RUNS]}
after=${2:-build/default}
runs=${3:-10}
for dir in "$before" "$after"; do
    [ -x "$dir/bin/quarrytab-cli" ] || { echo "no $dir/bin/quarrytab-cli: build it first" >&2; exit 1; }
done
command -v hyperfine >/dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }

work=bench/scratch
mkdir -p "$work"
input=$work/input-1000000-8.csv
[ -f "$input" ] || python3 bench/generate.py "$input" 1000000 8

modes=(
    ""
    "--csv --header"
    "--csv --header --dialect postgres"
    "--csv --dialect mysql"
    "--dialect sqlite --rows-per-insert 500 --transaction"
    "--csv --null-empty --ragged pad"
    "--encoding latin1"
)
echo "| options | before | after | faster | output |"
echo "|---|---|---|---|---|"
for mode in "${modes[@]}"; do
    # shellcheck disable=SC2086 # the options are words
    same=$(cmp -s <("$before/bin/quarrytab-cli" $mode "$input" 2>/dev/null) \
                  <("$after/bin/quarrytab-cli" $mode "$input" 2>/dev/null) && echo same || echo DIFFERENT)
    hyperfine -N --warmup 2 --runs "$runs" --export-json "$work/modes.json" \
        "$before/bin/quarrytab-cli $mode $input -o /dev/null" \
        "$after/bin/quarrytab-cli $mode $input -o /dev/null" >/dev/null 2>&1
    python3 - "$work/modes.json" "$mode" "$same" <<'PY'
import json, statistics, sys
results = json.load(open(sys.argv[1]))["results"]
(b, bu), (a, au) = [(statistics.median(r["times"]) * 1000, r["user"] * 1000) for r in results]
print(f"| `{sys.argv[2] or '(none)'}` | {b:.0f} ms ({bu:.0f} user) | {a:.0f} ms ({au:.0f} user) "
      f"| {b / a:.2f}x | {sys.argv[3]} |")
PY
done
