#!/usr/bin/env bash
# Makes sure the two ODBC drivers that scripts name in their connection
# strings are registered with the driver manager: "SQLite3" and
# "PostgreSQL Unicode".  The Debian packages register them when they are
# installed; a machine whose /etc/odbcinst.ini was replaced or emptied
# afterwards has the libraries but not the entries.  A driver that is
# already registered is left alone, so running this again changes nothing.
#
#   tools/register-odbc-drivers.sh
#
# The driver list is unixODBC's system one (ODBCSYSINI selects another
# directory).  Exits non-zero when a driver is missing and the list cannot
# be written.
set -u

if ! command -v odbcinst >/dev/null 2>&1; then
  echo "odbc drivers: odbcinst is missing (install the unixodbc and odbcinst packages: make deps)" >&2
  exit 1
fi

ini=$(odbcinst -j 2>/dev/null | sed -n 's/^DRIVERS\.*: *//p')
if [ -z "$ini" ]; then
  echo "odbc drivers: odbcinst -j does not name the driver list" >&2
  exit 1
fi

# name|driver|setup library, as the packages register them; a bare file name
# is found in the driver manager's own directory.
drivers=("SQLite3|libsqlite3odbc.so|libsqlite3odbc.so"
         "PostgreSQL Unicode|psqlodbcw.so|libodbcpsqlS.so")

status=0
for entry in "${drivers[@]}"; do
  IFS='|' read -r name library setup <<<"$entry"
  if odbcinst -q -d -n "$name" >/dev/null 2>&1; then
    continue
  fi
  if { [ -e "$ini" ] && [ ! -w "$ini" ]; } || { [ ! -e "$ini" ] && [ ! -w "$(dirname "$ini")" ]; }; then
    echo "odbc drivers: \"$name\" is not registered in $ini (run 'make deps' as root)" >&2
    status=1
    continue
  fi
  template=$(mktemp)
  printf '[%s]\nDescription=%s\nDriver=%s\nSetup=%s\n' "$name" "$name ODBC driver" "$library" "$setup" >"$template"
  if odbcinst -i -d -f "$template" >/dev/null 2>&1 && odbcinst -q -d -n "$name" >/dev/null 2>&1; then
    echo "odbc drivers: registered \"$name\" in $ini"
  else
    echo "odbc drivers: could not register \"$name\" in $ini" >&2
    status=1
  fi
  rm -f "$template"
done
exit $status
