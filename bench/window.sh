#!/usr/bin/env bash
# Times the real window (quarrytab-window-bench: click to "Done.", save, copy, paste) of one or more
# builds side by side, runs alternating, with two references measured in the same runs:
# `quarrytab-cli -o FILE IN` of the same build, and the saved file copied with
# `dd bs=4M conv=fsync` (the synced copy floor of the save). Prints medians and ranges; the
# timings of every run are kept in bench/scratch/window-timings.txt.
# usage: bench/window.sh [RUNS] [LABEL=BUILD-FOLDER ...]
#   default: 7 runs of build/default; e.g. to compare with an older commit built elsewhere:
#   bench/window.sh 9 before=../old/build/default after=build/default
# With PIN_CPUS set (e.g. PIN_CPUS=0) the window and quarrytab-cli run on those cores only, as on
# a machine whose other core is busy.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
shift || true
builds=("$@")
pin=()
[ -z "${PIN_CPUS:-}" ] || pin=(taskset -c "$PIN_CPUS")
[ ${#builds[@]} -gt 0 ] || builds=("now=build/default")
for spec in "${builds[@]}"; do
    dir=${spec#*=}
    for tool in quarrytab-window-bench quarrytab-cli; do
        [ -x "$dir/bin/$tool" ] || { echo "no $dir/bin/$tool: build it first" >&2; exit 1; }
    done
done

work=bench/scratch
mkdir -p "$work"
input=$work/input-1000000-8.csv
[ -f "$input" ] || python3 bench/generate.py "$input" 1000000 8
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
log=$work/window-timings.txt
: > "$log"

seconds() {  # runs the command, prints its wall time in seconds
    local start end
    start=$(date +%s%N)
    "$@" > /dev/null
    end=$(date +%s%N)
    echo "scale=3; ($end - $start) / 1000000000" | bc
}

# The disk is shared and mounted with discard: a removed file's blocks are given back at the next
# journal commit, which the next fsync waits for. So every timed write starts after a `sync`,
# with nothing of ours removed since; the floor is the fastest of three copies in each run.
for run in $(seq "$runs"); do
    echo "load $(cut -d' ' -f1 /proc/loadavg)" | tee -a "$log"
    for spec in "${builds[@]}"; do
        label=${spec%%=*}
        dir=${spec#*=}
        mkdir -p "$out/$label"
        rm -f "$out/$label"/*
        sync
        QT_QPA_PLATFORM=offscreen "${pin[@]}" "$dir/bin/quarrytab-window-bench" "$input" "$out/$label" \
            2> /dev/null | sed "s/^/$label /" >> "$log"
        sync
        echo "$label cli: $(seconds "${pin[@]}" "$dir/bin/quarrytab-cli" -o "$out/$label/cli.sql" "$input") s" \
            >> "$log"
        cmp -s "$out/$label/cli.sql" "$out/$label/Quarrytab.txt" ||
            echo "$label: the saved file differs from quarrytab-cli -o" | tee -a "$log"
        floor=
        for copy in 1 2 3; do
            sync
            took=$(seconds dd if="$out/$label/Quarrytab.txt" of="$out/$label/floor$copy" bs=4M \
                conv=fsync status=none)
            floor=$(printf '%s\n' $floor "$took" | sort -n | head -1)
        done
        echo "$label floor: $floor s" >> "$log"
    done
done

python3 - "$log" <<'EOF'
import collections, re, statistics, sys
times = collections.defaultdict(list)
peaks = collections.defaultdict(list)
loads = []
for line in open(sys.argv[1]):
    if line.startswith("load "):
        loads.append(line.split()[1])
        continue
    m = re.match(r"(\S+) (convert|save|copy|paste|cli|floor):\s+([0-9.]+) s", line)
    if m:
        times[(m[1], m[2])].append(float(m[3]))
    m = re.match(r"(\S+) (convert|copy|paste):.*peak[^0-9]*([0-9.]+) MiB", line)
    if m:
        peaks[(m[1], m[2])].append(float(m[3]))
labels = list(dict.fromkeys(label for label, _ in times))
def cell(values):
    return f"{statistics.median(values):.3f} s ({min(values):.3f}-{max(values):.3f})"
print("load average at each run:", " ".join(loads))
print("| step | " + " | ".join(labels) + " |")
print("|---|" + "---|" * len(labels))
names = {"convert": 'click to "Done."', "cli": "`quarrytab-cli -o FILE IN`",
         "save": "save", "floor": "synced copy floor (`dd bs=4M conv=fsync`)",
         "copy": "copy", "paste": "paste (text read as bytes)"}
for step in ["convert", "cli", "save", "floor", "copy", "paste"]:
    print(f"| {names[step]} | " + " | ".join(cell(times[(l, step)]) for l in labels) + " |")
for l in labels:
    convert = statistics.median(times[(l, "convert")])
    cli = statistics.median(times[(l, "cli")])
    save = statistics.median(times[(l, "save")])
    floor = statistics.median(times[(l, "floor")])
    ratios = [s / f for s, f in zip(times[(l, "save")], times[(l, "floor")])]
    print(f"{l}: click to Done. / cli = {convert / cli:.2f}x; save / floor = {save / floor:.2f}x "
          f"(median of the per-run ratios {statistics.median(ratios):.2f}x); peak MiB convert "
          f"{statistics.median(peaks[(l, 'convert')]):.0f}, copy "
          f"{statistics.median(peaks[(l, 'copy')]):.0f}, paste "
          f"{statistics.median(peaks[(l, 'paste')]):.0f}")
EOF
