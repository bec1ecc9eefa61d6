#!/bin/bash
# A result far larger than one row buffer: the Z and Y records of 30,000
# rows are the concatenation of every row's fields, byte for byte, as the
# rows were stored.
set -eu
koru=$(realpath "$1")
export E2E_DIR=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
printf 'MODULE_DIR=.\n' > KORU.config
ln -s "$koru" koru
cat > m.js <<'JS'
function main() {
  var db = openDb("sqlite", "libodbc.so.2", "DRIVER=SQLite3;Database=rows.db");
  selectToFront(db, "z", "select i, r, s from t order by i");
  selectHashToFront(db, "y", "select i, s from t where i % 7 = 0 order by i");
}
JS
python3 - <<'PY'
import os, sqlite3, subprocess, sys
sys.path.insert(0, os.environ["E2E_DIR"])
con = sqlite3.connect("rows.db")
con.execute("create table t(i integer, r real, s varchar(30))")
rows = [(i, i + 0.25, "row %d/あ" % i if i % 3 else "") for i in range(30000)]
con.executemany("insert into t values(?, ?, ?)", rows)
con.commit()
from run_case import text_field
def count(n):
    d = str(n).encode()
    return bytes([ord("0") + len(d)]) + d
def num(base, text):
    return bytes([ord(base) + len(text)]) + text.encode()
z = b"Z" + count(3) + count(len(rows)) + text_field(b"z")
for i, r, s in rows:
    z += num("N", str(i)) + num("a", repr(r)) + text_field(s.encode())
sel = [row for row in rows if row[0] % 7 == 0]
y = b"Y" + count(2) + count(len(sel)) + text_field(b"y") + text_field(b"i") + text_field(b"s")
for i, r, s in sel:
    y += num("N", str(i)) + text_field(s.encode())
done = subprocess.run(["./koru", "M111614m.jsP14main", "x=1"], capture_output=True, timeout=60)
expected = z + y + b"C10101012"
if done.stdout != expected:
    at = next((k for k in range(min(len(done.stdout), len(expected))) if done.stdout[k] != expected[k]), None)
    print("FAIL: the records differ at byte %s (got %d bytes, expected %d)" % (at, len(done.stdout), len(expected)))
    print("  got:      %r" % done.stdout[at - 40 if at else 0:(at or 0) + 40])
    print("  expected: %r" % expected[at - 40 if at else 0:(at or 0) + 40])
    sys.exit(1)
print("ok (%d bytes)" % len(expected))
PY
