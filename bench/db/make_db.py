#!/usr/bin/env python3
"""Writes the database of the benchmark: table t with ROWS rows of four
columns (integer, real, text, date) and an empty table ins of the same
shape for the insert runs.

    make_db.py PATH [ROWS]     (default 100000 rows)
"""
import datetime
import os
import sqlite3
import sys

path = sys.argv[1]
rows = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
if os.path.exists(path):
    os.remove(path)
con = sqlite3.connect(path)
for table in ("t", "ins"):
    con.execute(f"create table {table}(id integer, amount real, label varchar(40), day date)")
start = datetime.date(2020, 1, 1)
con.executemany("insert into t values(?, ?, ?, ?)",
                ((i, i * 0.25 + 0.5, ("品目 %d" if i % 7 == 0 else "item %06d") % i,
                  (start + datetime.timedelta(days=i % 2000)).isoformat()) for i in range(rows)))
con.commit()
con.close()
