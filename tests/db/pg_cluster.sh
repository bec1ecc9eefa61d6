#!/bin/bash
# Runs a command against a throwaway PostgreSQL cluster:
#   tests/db/pg_cluster.sh COMMAND ARGS...
# The cluster is made in a temporary directory and listens on a free port of
# 127.0.0.1 only; it runs as an unprivileged user (postgres when this runs
# as root).  The command sees KORU_PG_CONN, a connection string for the
# database "app" owned by the user "app".  The cluster is stopped and its
# directory removed whatever happens; a cluster that cannot start fails.
set -u
bin=${PG_BIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)}
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    echo "FAIL: no PostgreSQL server programs found (set PG_BIN)" >&2
    exit 1
fi
[ $# -ge 1 ] || { echo "usage: $0 COMMAND ARGS..." >&2; exit 2; }

as_user=()
if [ "$(id -u)" = 0 ]; then as_user=(runuser -u postgres --); fi

dir=$(mktemp -d /tmp/koru-pg.XXXXXX)
chmod 755 "$dir"
[ ${#as_user[@]} -gt 0 ] && chown postgres "$dir"
data=$dir/data
started=0
cleanup() {
    if [ $started = 1 ]; then "${as_user[@]}" "$bin/pg_ctl" -D "$data" -m immediate -w stop >/dev/null 2>&1; fi
    rm -rf "$dir"
}
trap cleanup EXIT INT TERM

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
if ! "${as_user[@]}" "$bin/initdb" -D "$data" -A trust -U postgres -E UTF8 --locale=C >"$dir/initdb.log" 2>&1; then
    echo "FAIL: initdb" >&2; cat "$dir/initdb.log" >&2; exit 1
fi
if ! "${as_user[@]}" "$bin/pg_ctl" -D "$data" -w -t 60 -l "$dir/server.log" \
        -o "-c listen_addresses=127.0.0.1 -p $port -k $dir -c fsync=off" start >/dev/null 2>&1; then
    echo "FAIL: the cluster did not start" >&2; cat "$dir/server.log" >&2; exit 1
fi
started=1
psql=("${as_user[@]}" "$bin/psql" -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port" -U postgres -d postgres)
if ! "${psql[@]}" -c "create role app login password 'app'" -c "create database app owner app" >/dev/null; then
    echo "FAIL: could not create the database" >&2; exit 1
fi
export KORU_PG_CONN="DRIVER=PostgreSQL Unicode;Server=127.0.0.1;Port=$port;Database=app;Uid=app;Pwd=app"
export KORU_PG_PSQL="$bin/psql -h 127.0.0.1 -p $port -U app -d app"
"$@"
