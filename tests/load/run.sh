#!/usr/bin/env bash
# The three load runs of the order book behind lighttpd, one after another:
# SQLite, SQLite with a tenth of the orders ended by SIGTERM, and
# PostgreSQL (a throwaway cluster).  Fails when any run's checks fail.
#   tests/load/run.sh KORU   (LOAD_REQUESTS, LOAD_CLIENTS: the counts)
set -u
here=$(cd "$(dirname "$0")" && pwd)
export KORU=${1:?usage: run.sh KORU}
status=0
echo "== run 1: SQLite"
LOAD_DB=sqlite LOAD_TERMINATE=0 node "$here/load.mjs" || status=1
echo "== run 2: SQLite, a tenth of the orders ended by SIGTERM"
LOAD_DB=sqlite LOAD_TERMINATE=${LOAD_TERMINATE:-0.1} node "$here/load.mjs" || status=1
echo "== run 3: PostgreSQL"
LOAD_DB=postgresql LOAD_TERMINATE=0 bash "$here/../db/pg_cluster.sh" node "$here/load.mjs" || status=1
[ $status = 0 ] && echo "load: the three runs passed" || echo "load: a run failed"
exit $status
