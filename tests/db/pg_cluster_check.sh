#!/usr/bin/env bash
# The throwaway PostgreSQL cluster of pg_cluster.sh: the command reaches a
# UTF8 database "app" as the password-protected role "app" over 127.0.0.1,
# with the script's standard input; its exit status comes back; and after a
# normal end, a failing command, a SIGTERM to the script, an initdb that
# fails and a start that fails, no server process, socket or directory is
# left.
set -u
here=$(cd "$(dirname "$0")" && pwd)
cluster=$here/pg_cluster.sh
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

scratch=$(mktemp -d)
# A server that a failed check left running is ended by its recorded id
# before the scratch directory goes.
finish() {
  local pid
  for pid in $(cat "$scratch"/*/postmaster 2>/dev/null); do
    kill -0 "$pid" 2>/dev/null && kill -QUIT "$pid"
  done
  rm -rf "$scratch"
}
trap finish EXIT
# The server's user must reach the clusters made below the scratch directory.
chmod 755 "$scratch"
mkdir -m 755 "$scratch/tmp"

run_cluster() { TMPDIR=$scratch/tmp bash "$cluster" "$@"; }

# Run inside a cluster: notes the cluster's directory, its server's process
# and that process's children, and the port, for the checks made after.
cat >"$scratch/record.sh" <<'EOF'
#!/usr/bin/env bash
out=$1
mkdir -p "$out"
set -- "$TMPDIR"/koru-pg.*
[ $# -eq 1 ] && [ -d "$1" ] || { echo "record: expected one cluster directory, found: $*" >&2; exit 90; }
echo "$1" >"$out/dir"
head -n 1 "$1/data/postmaster.pid" >"$out/postmaster"
ps -o pid= --ppid "$(cat "$out/postmaster")" >"$out/children"
echo "$KORU_PG_PORT" >"$out/port"
EOF

accepts() {
  python3 - "$1" <<'EOF'
import socket, sys
s = socket.socket()
s.settimeout(2)
try:
    s.connect(("127.0.0.1", int(sys.argv[1])))
except OSError:
    sys.exit(1)
EOF
}

# Nothing of the cluster recorded in $2 may remain.
check_gone() {
  local label=$1 out=$2
  [ -s "$out/postmaster" ] || { fail "$label: the command did not run inside a cluster"; return; }
  local left
  left=$(ls -A "$scratch/tmp")
  [ -z "$left" ] || fail "$label: left behind in the temporary directory: $left"
  [ -e "$(cat "$out/dir")" ] && fail "$label: the cluster directory is still there"
  local pid
  for pid in $(cat "$out/postmaster" "$out/children"); do
    kill -0 "$pid" 2>/dev/null && fail "$label: server process $pid still runs: $(ps -o args= -p "$pid")"
  done
  local port
  port=$(cat "$out/port")
  accepts "$port" && fail "$label: port $port still accepts connections"
  local socket
  for socket in /tmp/.s.PGSQL.$port /var/run/postgresql/.s.PGSQL.$port; do
    [ -e "$socket" ] && fail "$label: socket $socket exists"
  done
}

for tool in psql python3 ps; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (make deps)"; exit 1; }
done

# 1. A normal run.  The SQL comes on the script's standard input.
cat >"$scratch/inside.sh" <<'EOF'
#!/usr/bin/env bash
set -u
bash "$RECORD" "$OUT" || exit 1
q() { psql -X -At -v ON_ERROR_STOP=1 "$@"; }
expected="DRIVER=PostgreSQL Unicode;Server=127.0.0.1;Port=$KORU_PG_PORT;Database=app;Uid=app;Pwd=$PGPASSWORD"
[ "$KORU_PG_CONN" = "$expected" ] || echo "conn: $KORU_PG_CONN"
[[ $PGPASSWORD =~ ^[0-9a-f]{32}$ ]] || echo "password: $PGPASSWORD"
q -c "select current_user, current_database(), pg_encoding_to_char(encoding), inet_server_addr()
      from pg_database where datname = current_database()"
q -c "select rolsuper, rolcreaterole, rolcreatedb from pg_roles where rolname = current_user"
q -c "select pg_get_userbyid(datdba) from pg_database where datname = 'app'"
q -c "show listen_addresses"
# The statements of standard input, then the rows they left.
q -q
q -c "select tableowner from pg_tables where tablename = 't'"
# No password, or a wrong one: refused.
PGPASSWORD= q -c "select 1" </dev/null 2>/dev/null && echo "no password: accepted"
PGPASSWORD=wrong q -c "select 1" </dev/null 2>/dev/null && echo "wrong password: accepted"
# The superuser has no password and cannot log in over TCP.
PGUSER=postgres PGPASSWORD= q -c "select 1" </dev/null 2>/dev/null && echo "superuser over tcp: accepted"
exit 0
EOF
got=$(printf "create table t(k integer, v varchar(10));\ninsert into t values (1, '日本語'), (2, null);\nselect k, coalesce(v, 'NULL'), length(v) from t order by k;\n" |
  RECORD=$scratch/record.sh OUT=$scratch/normal run_cluster bash "$scratch/inside.sh" 2>"$scratch/normal.err")
status=$?
expected="app|app|UTF8|127.0.0.1
f|f|f
app
127.0.0.1
1|日本語|3
2|NULL|
app"
[ $status -eq 0 ] || fail "normal run: status $status: $(cat "$scratch/normal.err")"
[ "$got" = "$expected" ] || fail "normal run printed
$got
-- expected --
$expected
-- stderr --
$(cat "$scratch/normal.err")"
check_gone "normal run" "$scratch/normal"

# 2. A failing command: its status comes back, the cluster goes.
RECORD=$scratch/record.sh run_cluster bash -c 'bash "$RECORD" "$1" && exit 7' _ "$scratch/failing" 2>"$scratch/failing.err"
status=$?
[ $status -eq 7 ] || fail "failing command: status $status, expected 7: $(cat "$scratch/failing.err")"
check_gone "failing command" "$scratch/failing"

# 3. SIGTERM to the script while its command runs: the command is ended too.
RECORD=$scratch/record.sh TMPDIR=$scratch/tmp \
  bash "$cluster" bash -c 'bash "$RECORD" "$1" && touch "$1/ready" && exec sleep 300' _ "$scratch/term" \
  2>"$scratch/term.err" &
script=$!
for _ in $(seq 600); do
  [ -e "$scratch/term/ready" ] && break
  kill -0 $script 2>/dev/null || break
  sleep 0.1
done
if [ -e "$scratch/term/ready" ]; then
  command_pids=$(ps -o pid= --ppid $script)
  [ -n "$command_pids" ] || fail "SIGTERM: the script has no running command"
  kill -TERM $script
  # The script must end promptly, not when its command happens to finish.
  for _ in $(seq 300); do
    kill -0 $script 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 $script 2>/dev/null; then
    fail "SIGTERM: the script still runs 30 s after the signal"
    for pid in $command_pids; do kill -TERM "$pid" 2>/dev/null; done
  fi
  wait $script
  status=$?
  [ $status -eq 143 ] || fail "SIGTERM: status $status, expected 143"
  for pid in $command_pids; do
    kill -0 "$pid" 2>/dev/null && fail "SIGTERM: the command ($pid: $(ps -o args= -p "$pid")) still runs"
  done
  check_gone "SIGTERM" "$scratch/term"
else
  fail "SIGTERM: the cluster never ran the command: $(cat "$scratch/term.err")"
  kill -TERM $script 2>/dev/null
  wait $script
fi

# 4. Set-up failures: status 125, a message, the command not run, nothing left.
real_bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
for case in initdb start; do
  fake=$scratch/bin-$case
  mkdir -m 755 "$fake"
  for tool in initdb pg_ctl psql; do ln -s "$real_bin/$tool" "$fake/$tool"; done
  case $case in
    initdb) rm "$fake/initdb"; printf '#!/bin/sh\necho "initdb: no space left" >&2\nexit 1\n' >"$fake/initdb"
            chmod 755 "$fake/initdb"; message="initdb failed" ;;
    start)  rm "$fake/pg_ctl"
            printf '#!/bin/sh\nfor a; do [ "$a" = start ] && exit 1; done\nexec "%s/pg_ctl" "$@"\n' "$real_bin" >"$fake/pg_ctl"
            chmod 755 "$fake/pg_ctl"; message="did not start" ;;
  esac
  KORU_PG_BIN=$fake run_cluster touch "$scratch/ran-$case" 2>"$scratch/$case.err"
  status=$?
  [ $status -eq 125 ] || fail "$case failure: status $status, expected 125"
  grep -q "^pg_cluster: .*$message" "$scratch/$case.err" || fail "$case failure: no clear message: $(cat "$scratch/$case.err")"
  [ -e "$scratch/ran-$case" ] && fail "$case failure: the command ran"
  left=$(ls -A "$scratch/tmp")
  [ -z "$left" ] || { fail "$case failure: left behind: $left"; rm -rf "${scratch:?}"/tmp/*; }
done

[ $failures -eq 0 ] || exit 1
echo PASS
