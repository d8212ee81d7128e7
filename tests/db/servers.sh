#!/usr/bin/env bash
# Starts or stops a throw-away database server for the loading tests:
#   servers.sh start|stop postgres|mariadb STATE_FOLDER
# The server lives in a new temporary folder, listens on a Unix socket only (no TCP port) and
# runs as an unprivileged user: as "nobody" when this script runs as root, since neither server
# runs as root. STATE_FOLDER records where the server is, for the tests and for "stop"; "start"
# first stops a server an earlier, interrupted run left behind.
set -euo pipefail

action=${1:?start or stop} server=${2:?postgres or mariadb} state=${3:?state folder}

as_server_user() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u nobody -- "$@"
    else
        "$@"
    fi
}

fail() {
    echo "cannot start $server: $*" >&2
    for log in "$root"/*.log; do
        [ -f "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
    done
    exit 1
}

postgres_bin() {
    local dir
    for dir in /usr/lib/postgresql/*/bin; do
        [ -x "$dir/$1" ] && { echo "$dir/$1"; return; }
    done
    command -v "$1" || echo "$1"
}

stop() {
    [ -f "$state/root" ] || return 0
    local root
    root=$(cat "$state/root")
    case $server in
    postgres)
        [ -f "$root/data/postmaster.pid" ] &&
            as_server_user "$(postgres_bin pg_ctl)" -D "$root/data" -m immediate -w stop >/dev/null 2>&1 || true
        ;;
    mariadb)
        if [ -f "$root/server.pid" ]; then
            local pid
            pid=$(cat "$root/server.pid")
            kill "$pid" 2>/dev/null || true
            for _ in $(seq 100); do
                kill -0 "$pid" 2>/dev/null || break
                sleep 0.1
            done
            kill -9 "$pid" 2>/dev/null || true
        fi
        ;;
    esac
    rm -rf "$root" "$state/root" "$state/socket"
}

start() {
    stop
    mkdir -p "$state"
    root=$(mktemp -d "${TMPDIR:-/tmp}/quarrytab-$server.XXXXXX")
    echo "$root" >"$state/root"
    chmod 755 "$root"
    [ "$(id -u)" -eq 0 ] && chown nobody:nogroup "$root"
    # The server's user may not be allowed into the folder the run started in.
    cd "$root"
    case $server in
    postgres)
        command -v "$(postgres_bin initdb)" >/dev/null || fail "initdb not found (Debian package postgresql)"
        as_server_user "$(postgres_bin initdb)" -D "$root/data" -U quarrytab --auth=trust -E UTF8 \
            --locale=C --no-sync --no-instructions >"$root/initdb.log" 2>&1 ||
            fail "initdb failed"
        as_server_user "$(postgres_bin pg_ctl)" -D "$root/data" -l "$root/server.log" -w -t 30 \
            -o "-c listen_addresses='' -k $root -c fsync=off -c synchronous_commit=off \
                -c full_page_writes=off" start >"$root/pg_ctl.log" 2>&1 ||
            fail "the server did not start"
        echo "$root" >"$state/socket"
        ;;
    mariadb)
        command -v mariadbd >/dev/null || command -v /usr/sbin/mariadbd >/dev/null ||
            fail "mariadbd not found (Debian package mariadb-server)"
        local daemon
        daemon=$(command -v mariadbd || echo /usr/sbin/mariadbd)
        # A throw-away server needs no accounts: without grant tables it starts on an empty
        # folder in a fraction of a second (installing the system tables takes seconds). Its
        # output goes to its log, so that the test run does not wait on it. Its database is
        # latin1 (many servers' default) and its sql_mode has NO_BACKSLASH_ESCAPES, settings the
        # statements must load under all the same.
        as_server_user mkdir "$root/data"
        as_server_user "$daemon" --no-defaults --datadir="$root/data" --socket="$root/server.sock" \
            --skip-networking --pid-file="$root/server.pid" --log-error="$root/server.log" \
            --sql-mode=STRICT_TRANS_TABLES,NO_BACKSLASH_ESCAPES \
            --skip-grant-tables --innodb-flush-log-at-trx-commit=0 --innodb-buffer-pool-size=64M \
            </dev/null >/dev/null 2>&1 &
        for _ in $(seq 300); do
            mariadb --no-defaults -u root --socket="$root/server.sock" -e 'SELECT 1' \
                >/dev/null 2>&1 && break
            kill -0 $! 2>/dev/null || fail "the server stopped"
            sleep 0.05
        done
        mariadb --no-defaults -u root --socket="$root/server.sock" \
            -e 'CREATE DATABASE quarrytab CHARACTER SET latin1' ||
            fail "the server does not answer"
        echo "$root/server.sock" >"$state/socket"
        ;;
    esac
}

case $action in
start) start ;;
stop) stop ;;
*) echo "usage: servers.sh start|stop postgres|mariadb STATE_FOLDER" >&2; exit 2 ;;
esac
