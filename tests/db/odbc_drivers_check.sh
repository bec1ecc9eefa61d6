#!/usr/bin/env bash
# The ODBC driver registration that `make deps` runs: on this machine both
# drivers are registered; into an empty driver list both are added and work;
# a second run changes no byte; an entry that is already there is kept as
# it is; a list the user cannot write is reported, not skipped.
set -u
here=$(cd "$(dirname "$0")" && pwd)
register=$here/../../tools/register-odbc-drivers.sh
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for tool in odbcinst isql; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (make deps)"; exit 1; }
done

# The machine's own list: the suite's database tests need both drivers.
for name in "SQLite3" "PostgreSQL Unicode"; do
  odbcinst -q -d -n "$name" >/dev/null 2>&1 || fail "\"$name\" is not registered in the system driver list"
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"

# An empty list: both entries are added.
mkdir "$scratch/empty" && : >"$scratch/empty/odbcinst.ini"
out=$(ODBCSYSINI=$scratch/empty bash "$register" 2>&1) || fail "registering into an empty list failed: $out"
for name in "SQLite3" "PostgreSQL Unicode"; do
  ODBCSYSINI=$scratch/empty odbcinst -q -d -n "$name" >/dev/null 2>&1 || fail "\"$name\" missing after registration"
  case $out in *"registered \"$name\""*) ;; *) fail "no report of registering \"$name\": $out" ;; esac
done

# The entry written is one the driver manager can load: a database file is
# created, written and read back through it.
db=$scratch/t.db
result=$(printf 'create table t(a integer, b varchar(10))\ninsert into t values(7, %s)\nselect a, b from t\n' "'seven'" |
  ODBCSYSINI=$scratch/empty isql -b -d'|' -k "DRIVER=SQLite3;Database=$db" 2>&1)
case $result in *"7|seven"*) ;; *) fail "the registered SQLite3 entry does not run SQL: $result" ;; esac

# Again: nothing changes, nothing is reported.
cp "$scratch/empty/odbcinst.ini" "$scratch/before.ini"
out=$(ODBCSYSINI=$scratch/empty bash "$register" 2>&1) || fail "second run failed: $out"
[ -z "$out" ] || fail "second run reported: $out"
cmp -s "$scratch/before.ini" "$scratch/empty/odbcinst.ini" || fail "second run changed the list"

# One entry present with settings of its own: kept byte for byte, the other added.
mkdir "$scratch/half"
printf '[SQLite3]\nDescription=local build\nDriver=/opt/custom/libsqlite3odbc.so\nUsageCount=3\n' >"$scratch/half/odbcinst.ini"
ODBCSYSINI=$scratch/half bash "$register" >/dev/null 2>&1 || fail "registering into a half list failed"
grep -q '^Driver=/opt/custom/libsqlite3odbc.so$' "$scratch/half/odbcinst.ini" || fail "the existing SQLite3 entry was rewritten"
grep -q '^UsageCount=3$' "$scratch/half/odbcinst.ini" || fail "the existing SQLite3 entry's usage count changed"
ODBCSYSINI=$scratch/half odbcinst -q -d -n "PostgreSQL Unicode" >/dev/null 2>&1 || fail "PostgreSQL Unicode not added beside SQLite3"

# A list the user cannot write: a clear failure naming the driver.
if [ "$(id -u)" = 0 ] && id nobody >/dev/null 2>&1; then
  mkdir "$scratch/locked" && : >"$scratch/locked/odbcinst.ini"
  chmod 644 "$scratch/locked/odbcinst.ini"
  chmod 755 "$scratch/locked"
  out=$(cd / && ODBCSYSINI=$scratch/locked runuser -u nobody -- bash "$register" 2>&1)
  status=$?
  [ $status -ne 0 ] || fail "an unwritable list was accepted"
  case $out in *"\"SQLite3\" is not registered"*"make deps"*) ;; *) fail "unclear report for an unwritable list: $out" ;; esac
  [ -s "$scratch/locked/odbcinst.ini" ] && fail "the unwritable list was written"
fi

[ $failures -eq 0 ] || exit 1
echo PASS
