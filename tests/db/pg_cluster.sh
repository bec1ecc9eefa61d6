#!/usr/bin/env bash
# Runs a command against a throwaway PostgreSQL cluster.
#
#   tests/db/pg_cluster.sh COMMAND ARGS...
#
# The cluster is made with initdb in a fresh temporary directory (under
# TMPDIR, else /tmp) and started with pg_ctl on a free TCP port of 127.0.0.1
# only; its Unix socket lives in that private directory.  The server runs as
# an unprivileged user: `postgres` when this script runs as root, the caller
# otherwise.  It holds a login role "app" with a fresh password and a
# database "app" owned by it, in UTF8.  COMMAND runs as the caller, with
#
#   KORU_PG_CONN  DRIVER=PostgreSQL Unicode;Server=127.0.0.1;Port=<port>;Database=app;Uid=app;Pwd=<password>
#   KORU_PG_PORT  <port>
#   PGHOST, PGPORT, PGUSER, PGPASSWORD, PGDATABASE   the same, for psql
#   KORU_PG_PSQL  the psql program of the cluster's server
#
# in its environment, and its standard input is this script's.  Whatever
# happens (the command fails, the script gets INT, TERM or HUP, initdb or
# the start fails) the server is stopped and the directory removed.  The
# exit status is the command's; 125 with a message on standard error when
# the cluster cannot be set up (the command is then not run); 128 + the
# signal number after a signal.
#
# KORU_PG_BIN names the directory of initdb, pg_ctl and psql; by default the
# newest /usr/lib/postgresql/*/bin is used.
set -u

if [ $# -eq 0 ]; then
  echo "usage: pg_cluster.sh COMMAND ARGS..." >&2
  exit 2
fi

die() {
  echo "pg_cluster: $*" >&2
  exit 125
}

# Settings of the caller's environment would redirect psql and the server.
for name in $(compgen -e); do
  case $name in PG*) unset "$name" ;; esac
done

bin=${KORU_PG_BIN:-}
if [ -z "$bin" ]; then
  for dir in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V); do
    [ -x "$dir/initdb" ] && bin=$dir
  done
  [ -n "$bin" ] || die "no PostgreSQL server found under /usr/lib/postgresql/*/bin (make deps installs it)"
fi
for tool in initdb pg_ctl psql; do
  [ -x "$bin/$tool" ] || die "$bin/$tool is missing"
done

if [ "$(id -u)" = 0 ]; then
  server_user=postgres
  id "$server_user" >/dev/null 2>&1 || die "user $server_user does not exist (the postgresql package creates it)"
else
  server_user=$(id -un)
fi

dir=
child=
postmaster=
finished=

cleanup() {
  [ -n "$finished" ] && return
  finished=1
  if [ -n "$child" ] && kill -0 "$child" 2>/dev/null; then
    kill -TERM "$child" 2>/dev/null
    wait "$child" 2>/dev/null
  fi
  if [ -n "$dir" ] && [ -f "$dir/data/postmaster.pid" ]; then
    [ -n "$postmaster" ] || postmaster=$(head -n 1 "$dir/data/postmaster.pid" 2>/dev/null)
    as_server "$bin/pg_ctl" -D "$dir/data" -m immediate -w -t 30 stop >/dev/null 2>&1
  fi
  # A server that did not stop (or whose directory went away under it) is
  # ended by its process id; its children leave with it.
  if [[ $postmaster =~ ^[0-9]+$ ]] && kill -0 "$postmaster" 2>/dev/null; then
    kill -QUIT "$postmaster" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$postmaster" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$postmaster" 2>/dev/null
  fi
  [ -n "$dir" ] && rm -rf "$dir"
}

on_signal() {
  cleanup
  trap - EXIT
  exit $((128 + $1))
}

trap cleanup EXIT
trap 'on_signal 2' INT
trap 'on_signal 15' TERM
trap 'on_signal 1' HUP

# Runs a program as the server's user, in the cluster directory (the
# caller's working directory may be closed to that user).
as_server() {
  if [ "$(id -u)" = 0 ]; then
    (cd "$dir" && runuser -u "$server_user" -- "$@")
  else
    (cd "$dir" && "$@")
  fi
}

free_port() {
  python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}

random_hex() {
  od -An -tx1 -N"$1" /dev/urandom | tr -d ' \n'
}

dir=$(mktemp -d -t koru-pg.XXXXXXXX) || die "cannot make a temporary directory"
# The server's socket path must fit the 107 bytes of a socket address.
[ ${#dir} -le 80 ] || die "the temporary directory $dir is too long for the server's socket (set TMPDIR)"
chmod 700 "$dir"
if [ "$(id -u)" = 0 ]; then
  chown "$server_user:" "$dir" || die "cannot give $dir to user $server_user"
fi
as_server test -w "$dir" || die "user $server_user cannot reach $dir (TMPDIR must be open to it)"

password=$(random_hex 16)
superpass=$(random_hex 16)
printf '%s\n' "$superpass" >"$dir/superpass"
[ "$(id -u)" = 0 ] && chown "$server_user:" "$dir/superpass"
chmod 600 "$dir/superpass"

locale=C
locale -a 2>/dev/null | grep -qix 'c\.utf-\?8' && locale=C.UTF-8

if ! as_server "$bin/initdb" -N -D "$dir/data" -E UTF8 --locale="$locale" \
       --auth-local=peer --auth-host=scram-sha-256 --pwfile="$dir/superpass" >"$dir/initdb.log" 2>&1; then
  tail -n 20 "$dir/initdb.log" >&2
  die "initdb failed"
fi

port=
for attempt in 1 2 3 4 5; do
  candidate=$(free_port) || die "cannot find a free port"
  cat >>"$dir/data/postgresql.conf" <<EOF
listen_addresses = '127.0.0.1'
port = $candidate
unix_socket_directories = '$dir'
unix_socket_permissions = 0700
fsync = off
synchronous_commit = off
full_page_writes = off
EOF
  if as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null 2>&1; then
    port=$candidate
    postmaster=$(head -n 1 "$dir/data/postmaster.pid" 2>/dev/null)
    break
  fi
  # Another process may have taken the port between the probe and the start.
  grep -q 'could not bind\|Address already in use' "$dir/server.log" 2>/dev/null || break
done
if [ -z "$port" ]; then
  tail -n 20 "$dir/server.log" >&2 2>/dev/null
  die "the server did not start"
fi

if ! as_server "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U "$server_user" -d postgres \
       >"$dir/setup.log" 2>&1 <<EOF
CREATE ROLE app LOGIN PASSWORD '$password';
CREATE DATABASE app OWNER app ENCODING 'UTF8' TEMPLATE template0;
EOF
then
  cat "$dir/setup.log" >&2
  die "cannot create the role and the database app"
fi

export KORU_PG_PORT=$port
export KORU_PG_CONN="DRIVER=PostgreSQL Unicode;Server=127.0.0.1;Port=$port;Database=app;Uid=app;Pwd=$password"
export PGHOST=127.0.0.1 PGPORT=$port PGUSER=app PGPASSWORD=$password PGDATABASE=app
export KORU_PG_PSQL="$bin/psql"

# The command runs in the background so that a signal reaches the trap at
# once; it reads this script's standard input (a background command would
# otherwise read /dev/null).
exec 3<&0
"$@" <&3 3<&- &
child=$!
exec 3<&-
wait "$child"
status=$?
child=
exit $status
