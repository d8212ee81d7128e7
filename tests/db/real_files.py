#!/usr/bin/env python3
"""Loads what `quarrytab-cli --auto` writes for each real file of tests/data/real into a database
and compares it, record by record (in order; for PostgreSQL and MariaDB, which keep no order, as a
multiset), with what Python's csv module reads from the file under the
decisions written in the folder's INDEX.

    real_files.py CLI DATA_FOLDER sqlite|postgres|mysql [SERVER_STATE_FOLDER] [--types] [--copy]

With --types the columns are typed (`--auto --types`) and every value is read back as text; each
file's line then names the types its columns got. With --copy (PostgreSQL) the rows are written
with `--format copy` and read by psql from its standard input. A file whose INDEX line names a
word for a missing value is converted with `--null-word` and that word read as NULL. Prints one
line per file and a summary; fails when fewer than 99% of the records load exact, or when a file
does not load exact and quarrytab-cli said nothing of being unsure (a silent fault).
"""
import collections
import csv
import io
import os
import sqlite3
import subprocess
import sys

GOAL = 0.99


def read_index(folder):
    entries = []
    with open(os.path.join(folder, "INDEX"), encoding="utf-8") as index:
        lines = [line for line in index if not line.startswith("#")]
    names = lines[0].rstrip("\n").split("\t")
    for line in lines[1:]:
        entries.append(dict(zip(names, line.rstrip("\n").split("\t"))))
    return entries


def expected_table(path, entry):
    """The column names (or None) and the records, as a careful reader reads the file."""
    with open(path, "rb") as f:
        data = f.read()
    text = data.decode(entry["encoding"], errors="replace")
    lines = text.splitlines(keepends=True)[int(entry["skip"]):]
    if entry["comment"] != "-":
        lines = [line for line in lines if not line.startswith(entry["comment"])]
    delimiter = {"TAB": "\t", "SPACE": " "}.get(entry["delimiter"], entry["delimiter"])
    quoting = csv.QUOTE_MINIMAL if entry["quoting"] == "csv" else csv.QUOTE_NONE
    reader = csv.reader(io.StringIO("".join(lines), newline=""), delimiter=delimiter,
                        quoting=quoting, strict=False)
    # Only an empty line holds no record; a line of spaces is one.
    records = [r for r in reader if r]
    names = records.pop(0) if entry["header"] == "yes" else None
    word = entry["null"]
    if word != "-":
        # The csv reader cannot tell a quoted field from another: the word must never be quoted.
        if f'"{word}"' in text:
            raise ValueError(f"{entry['file']} holds {word} quoted")
        records = [[None if v == word else v for v in r] for r in records]
    return names, records


def copy_text_values(line):
    """One row of PostgreSQL's COPY text format."""
    values = []
    for field in line.split("\t"):
        if field == "\\N":
            values.append(None)
            continue
        out, i = [], 0
        while i < len(field):
            c = field[i]
            if c == "\\" and i + 1 < len(field):
                nxt = field[i + 1]
                out.append({"n": "\n", "r": "\r", "t": "\t", "b": "\b", "f": "\f",
                            "v": "\v"}.get(nxt, nxt))
                i += 2
            else:
                out.append(c)
                i += 1
        values.append("".join(out))
    return values


def load_sqlite(sql):
    db = sqlite3.connect(":memory:")
    db.executescript(sql)
    (table,) = db.execute("SELECT name FROM sqlite_master WHERE type='table'").fetchone()
    quoted = '"' + table.replace('"', '""') + '"'
    columns = [row[1] for row in db.execute(f"PRAGMA table_info({quoted})")]
    # As text: a typed column's value as SQLite prints it.
    texts = ", ".join('CAST("' + c.replace('"', '""') + '" AS TEXT)' for c in columns)
    rows = [list(row) for row in db.execute(f"SELECT {texts} FROM {quoted} ORDER BY rowid")]
    return columns, rows


def load_mysql(sql, state, schema):
    """Through the mariadb client, as a user loads it; every value read back as text."""
    with open(os.path.join(state, "socket"), encoding="utf-8") as f:
        socket = f.read().strip()
    client = ["mariadb", "--no-defaults", "-u", "root", "-S", socket,
              "--default-character-set=utf8mb4"]

    def run(script, database=schema):
        done = subprocess.run(client + ["-N", "-B", database], input=script.encode(),
                              capture_output=True)
        if done.returncode != 0:
            raise RuntimeError(done.stderr.decode(errors="replace").strip()[:300])
        return done.stdout.decode()

    run(f"DROP DATABASE IF EXISTS {schema}; CREATE DATABASE {schema} CHARACTER SET utf8mb4 "
        f"COLLATE utf8mb4_bin;", "quarrytab")
    try:
        run(sql)
        table = bytes.fromhex(run(f"SELECT HEX(TABLE_NAME) FROM information_schema.TABLES "
                                  f"WHERE TABLE_SCHEMA = '{schema}'").strip()).decode()
        literal = table.replace("'", "''")
        columns = [bytes.fromhex(line).decode() for line in run(
            f"SELECT HEX(COLUMN_NAME) FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = "
            f"'{schema}' AND TABLE_NAME = '{literal}' ORDER BY ORDINAL_POSITION").split()]
        quote = lambda name: "`" + name.replace("`", "``") + "`"
        texts = ", ".join(f"IF({quote(c)} IS NULL, 'N', CONCAT('X', HEX(CAST({quote(c)} AS "
                          f"CHAR))))" for c in columns)
        out = run(f"SELECT {texts} FROM {quote(table)}")
        rows = [[None if v == "N" else bytes.fromhex(v[1:]).decode("utf-8", errors="replace")
                 for v in line.split("\t")] for line in out.split("\n")[:-1]]
    finally:
        run(f"DROP DATABASE IF EXISTS {schema}", "quarrytab")
    return columns, rows


def load_postgres(sql, state, schema):
    with open(os.path.join(state, "socket"), encoding="utf-8") as f:
        socket = f.read().strip()
    psql = ["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", socket, "-U", "quarrytab",
            "-d", "postgres"]

    def run(script):
        done = subprocess.run(psql + ["-A", "-t"], input=script.encode(), capture_output=True)
        if done.returncode != 0:
            raise RuntimeError(done.stderr.decode(errors="replace").strip()[:300])
        return done.stdout.decode()

    run(f"DROP SCHEMA IF EXISTS {schema} CASCADE; CREATE SCHEMA {schema};\n"
        f"SET search_path TO {schema};\n" + sql)
    table = run(f"SELECT table_name FROM information_schema.tables "
                f"WHERE table_schema = '{schema}'").strip()
    literal = table.replace("'", "''")
    columns = run(f"SELECT column_name FROM information_schema.columns WHERE table_schema = "
                  f"'{schema}' AND table_name = '{literal}' ORDER BY ordinal_position")
    quoted = '"' + table.replace('"', '""') + '"'
    out = run(f"COPY (SELECT * FROM {schema}.{quoted}) TO STDOUT")
    rows = [copy_text_values(line) for line in out.split("\n")[:-1]]
    run(f"DROP SCHEMA {schema} CASCADE")
    return columns.split("\n")[:-1], rows


def main():
    arguments = [a for a in sys.argv[1:] if a not in ("--types", "--copy")]
    typed = "--types" in sys.argv[1:]
    given = (["--types"] if typed else []) + (
        ["--format", "copy"] if "--copy" in sys.argv[1:] else [])
    cli, folder, database = arguments[:3]
    state = arguments[3] if len(arguments) > 3 else ""
    entries = read_index(folder)
    files_right = records_exact = records_all = 0
    silent = []
    for number, entry in enumerate(entries):
        path = os.path.join(folder, entry["file"])
        names, records = expected_table(path, entry)
        words = ["--null-word", entry["null"]] if entry["null"] != "-" else []
        run = subprocess.run([cli, "--auto", "--dialect", database] + given + words + [path],
                             capture_output=True)
        said = run.stderr.decode(errors="replace")
        try:
            sql = run.stdout.decode("utf-8")
            if database == "sqlite":
                columns, rows = load_sqlite(sql)
            elif database == "mysql":
                columns, rows = load_mysql(sql, state, f"real{number}")
            else:
                columns, rows = load_postgres(sql, state, f"real{number}")
            problem = ""
        except Exception as error:  # a load that fails counts every record as not exact
            columns, rows, problem = [], [], str(error)
        width = len(columns)
        wanted = [tuple(record + [None] * (width - len(record))) for record in records]
        got = [tuple(row) for row in rows]
        if database == "sqlite":
            exact = sum(1 for a, b in zip(wanted, got) if a == b)
        else:
            # The servers hand rows back in no set order: each record must be there as often.
            counts = collections.Counter(got)
            exact = 0
            for record in wanted:
                if counts[record] > 0:
                    counts[record] -= 1
                    exact += 1
        # MySQL takes no name that ends in a space: such names lose their trailing spaces.
        fitted = [name.rstrip(" ") if database == "mysql" else name for name in names or []]
        wanted_names = [name if name else f"fld{k + 1}" for k, name in enumerate(fitted)]
        # SQLite and MySQL take names without regard to case: a name that repeats an earlier one
        # so (R's "v_1" and "V_1") is told apart by a suffix.
        names_right = names is None or all(
            got == name or (database != "postgres" and got.startswith(name + "_") and
                            name.lower() in (n.lower() for n in wanted_names[:k]))
            for k, (got, name) in enumerate(zip(columns, wanted_names)))
        names_right = names_right and (names is None or len(columns) >= len(wanted_names))
        right = exact == len(records) == len(rows) and names_right and not problem
        files_right += right
        records_exact += exact
        records_all += len(records)
        unsure = "unsure" in said or run.returncode != 0
        if not right and not unsure:
            silent.append(entry["file"])
        note = "right" if right else ("WRONG (said it was unsure)" if unsure else "WRONG, SILENT")
        extra = "" if names_right else f"; columns {columns[:len(names)]} != {names}"
        types = ""
        if typed:
            chosen = [line.split(": columns ", 1)[1] for line in said.splitlines()
                      if ": columns " in line]
            # Only the typed ones: a text column's reason is the value that ruled the rest out.
            types = "; " + ", ".join(c for c in (chosen[0] if chosen else "").split(", ")
                                     if " TEXT (" not in c and " LONGTEXT (" not in c)
        print(f"{entry['file']}: {exact}/{len(records)} records exact, {len(rows)} loaded; "
              f"{note}{extra}{'; ' + problem if problem else ''}{types}")
    share = records_exact / records_all if records_all else 1.0
    print(f"{database}: {files_right} of {len(entries)} files right, {records_exact} of "
          f"{records_all} records exact ({100 * share:.2f}%) with --auto"
          f"{''.join(' ' + g for g in given) if given else ' alone'}")
    if silent:
        print("files wrong without a word of doubt: " + ", ".join(silent))
    return 0 if share >= GOAL and not silent else 1


if __name__ == "__main__":
    sys.exit(main())
