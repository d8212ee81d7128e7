#!/usr/bin/env bash
# Times the reading rules dialog's preview (quarrytab-preview-bench) on a 1 GB file and on a file
# that is one 100 MB line, both written to a temporary folder and deleted afterwards.
# usage: bench/preview.sh [ROUNDS] [BUILD-FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
build=${2:-build/default}
bench=$build/bin/quarrytab-preview-bench
[ -x "$bench" ] || { echo "no $bench: build it first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/generate.py "$work/part.csv" 1000000 8
for _ in $(seq 1 15); do cat "$work/part.csv"; done | head -c 1073741824 > "$work/1gb.csv"
rm "$work/part.csv"
python3 -c "
import sys
with open(sys.argv[1], 'w') as out:
    out.write(('alpha,\"beta, gamma\",12345,' * 4200000)[:100 * 1024 * 1024])
" "$work/line.csv"
for input in "$work/1gb.csv" "$work/line.csv"; do
    QT_QPA_PLATFORM=offscreen "$bench" "$input" "$rounds" 2>/dev/null
done
