#!/usr/bin/env bash
# Clicks through the reading rules as a person would, in the real window on a virtual display:
# adds a quoted CSV with a header through the open dialog, chooses rules in the rules dialog from
# the keyboard, converts and saves; the saved file must equal quarrytab-cli's with the same options.
# usage: rules_under_xvfb.sh WINDOW-PROGRAM CLI-PROGRAM   (run under xvfb-run; needs xdotool)
set -euo pipefail
[ -z "${TRACE:-}" ] || set -x
window=$1
cli=$2
home=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$home"' EXIT
mkdir -p "$home/Desktop" "$home/data"
input=$home/data/people.csv
printf 'id,name,city,note\r\n1,"Smith, Anna",Oslo,first\r\n2,"O'"'"'Brien, Pat","New York","said ""hi"""\r\n3,Lee,Seoul,\r\n4,"M\xc3\xbcller","two\r\nlines",x\r\n5,Short,Paris\r\n' > "$input"

# Waits up to ten seconds for a condition.
waitFor() {
    for _ in $(seq 1 100); do
        if eval "$1"; then return 0; fi
        sleep 0.1
    done
    echo "gave up waiting for: $1" >&2
    exit 1
}
# Clicks a control of the main window at its place in twips (15 twips a pixel).
click() {
    xdotool mousemove --window "$main" $(( $1 / 15 )) $(( $2 / 15 )) click 1
}
named() {
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1
}

HOME=$home XDG_CONFIG_HOME=$home/.config "$window" &
pid=$!
waitFor '[ -n "$(named "Quarrytab Software")" ]'
main=$(named "Quarrytab Software")
sleep 0.5

click 2040 3220                                   # "Add CSV Files"
waitFor '[ -n "$(named "^Add File")" ]'
sleep 0.5
xdotool type --delay 10 "$input"
xdotool key Return
waitFor '[ -z "$(named "^Add File")" ]'

click 13950 1187                                  # "Reading Rules..." (Frame3 + its place)
waitFor '[ -n "$(named "Reading Rules")" ]'
sleep 0.5
# Quoted fields, first line names the columns, PostgreSQL, empty fields as NULL, pad.
xdotool key alt+q alt+f alt+b Down Down alt+m alt+w Down
sleep 0.3
xdotool key Return                                # OK
waitFor '[ -z "$(named "Reading Rules")" ]'

click 11940 1777                                  # "Start Converting"
waitFor '[ -n "$(named "^Quarrytab$")" ]'
sleep 0.3
xdotool key Return                                # the "Done." message with the notes
waitFor '[ -z "$(named "^Quarrytab$")" ]'

click 9960 5812                                   # "Save Results As Text File"
waitFor '[ -f "$home/Desktop/Quarrytab.txt" ]'
waitFor '[ -n "$(named "^Quarrytab$")" ]'
xdotool key Return

"$cli" --csv --header --dialect postgres --null-empty --ragged pad "$input" > "$home/cli.sql"
if ! cmp "$home/Desktop/Quarrytab.txt" "$home/cli.sql"; then
    diff <(cat -A "$home/Desktop/Quarrytab.txt") <(cat -A "$home/cli.sql") >&2 || true
    exit 1
fi
grep -q 'INSERT INTO "Table1_people" ("id","name"' "$home/cli.sql" ||
    grep -q 'CREATE TABLE "Table1_people" ("id" TEXT,"name" TEXT' "$home/cli.sql"
echo "the window's saved statements equal quarrytab-cli's"
