#!/usr/bin/env bash
# Lays out a running copy of the order book in RUN: the program and its
# KORU.config, the SQLite database (created on the first start), the
# journal, and lighttpd.conf for 127.0.0.1:PORT.
#   prepare.sh RUN KORU PORT
# KORU_SITE_SCRIPTS names another module directory (the tests add probes);
# KORU_SITE_PG, an ODBC connection string of a PostgreSQL database, keeps
# the orders there instead of in shop.db.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: prepare.sh RUN KORU PORT" >&2; exit 2; }
port=$3
case $port in ''|*[!0-9]*|0*) echo "prepare.sh: bad port '$port'" >&2; exit 2;; esac
[ ${#port} -le 5 ] && [ "$port" -le 65535 ] || { echo "prepare.sh: bad port '$port'" >&2; exit 2; }
site=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$site/../.." && pwd)
mkdir -p "$1/cgi"
run=$(cd "$1" && pwd)
koru=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
scripts=$(cd "${KORU_SITE_SCRIPTS:-$site/scripts}" && pwd)
[ -x "$koru" ] || { echo "prepare.sh: no program at $koru" >&2; exit 1; }

# The connection string goes into a script string: quotes and backslashes
# (and line ends, which would end the setting) are refused.
pg_var=
if [ -n "${KORU_SITE_PG:-}" ]; then
  case $KORU_SITE_PG in
    *'"'*|*\\*|*$'\n'*|*$'\r'*) echo "prepare.sh: KORU_SITE_PG holds a quote, a backslash or a line end" >&2; exit 2;;
  esac
  pg_var="VAR=shopPg:\"$KORU_SITE_PG\""
fi

ln -sfn "$koru" "$run/cgi/koru"
# The seal of the tokens: made once per running copy, never shown.
if [ ! -s "$run/token.secret" ]; then
  (umask 077; od -An -N32 -tx1 /dev/urandom | tr -d ' \n' > "$run/token.secret")
fi
cat > "$run/cgi/KORU.config" <<CONF
MODULE_DIR=$scripts
LOGFILE=$run/journal.log
TOKEN_KEY=shop
TIME_INTERVAL=900
TOKEN_SECRET=$(cat "$run/token.secret")
TOKEN_FREE=products
VAR=shopDb:"$run/shop.db"
CPU_LIMIT=5
MEMORY_LIMIT=256
CONF
if [ -n "$pg_var" ]; then printf '%s\n' "$pg_var" >> "$run/cgi/KORU.config"; fi
chmod 600 "$run/cgi/KORU.config"

# The database, on the first start only.
(cd "$run" && env -u GATEWAY_INTERFACE "$run/cgi/koru" -e setup shop.js > "$run/setup.out")
grep -q -x -e '(L) "created"' -e '(L) "present"' "$run/setup.out" \
  || { echo "prepare.sh: the database setup failed:" >&2; cat "$run/setup.out" >&2; exit 1; }

cat > "$run/lighttpd.conf" <<CONF
server.modules = ("mod_access", "mod_alias", "mod_cgi")
server.bind = "127.0.0.1"
server.port = $port
server.document-root = "$site/public"
server.errorlog = "$run/lighttpd-error.log"
server.max-request-size = 4096
server.max-connections = 256
# Longer than a client keeps an idle connection for its next request
# (Node's fetch: 4 s): at the default 5 s, a loaded machine lets the server
# close a connection just as the client sends on it, and the request is lost.
server.max-keep-alive-idle = 30
index-file.names = ("index.html")
mimetype.assign = (
  ".html" => "text/html; charset=utf-8",
  ".mjs" => "text/javascript; charset=utf-8",
  ".css" => "text/css; charset=utf-8",
  ".png" => "image/png",
)
# The application's one URL runs the program; the client module is served
# from the repository as it is.
alias.url = ("/app" => "$run/cgi/koru", "/koru.mjs" => "$repo/clients/js/koru.mjs")
\$HTTP["url"] == "/app" {
  cgi.assign = ("" => "")
}
CONF
echo "http://127.0.0.1:$port/"
