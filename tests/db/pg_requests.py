#!/usr/bin/env python3
"""Runs the PostgreSQL cases through the real program against the server
that KORU_PG_CONN names (tests/db/pg_cluster.sh starts one and sets it).

Usage: pg_requests.py KORU KORU_DEBUG CASE_FILE

The cases are those of tests/e2e/run_case.py, with "{conn}" in a file
section replaced by the connection string, and two more section kinds:
  --- psql              SQL run on the database before the program runs
  --- expect-psql       after the run: the first line is a query, the other
                        lines its rows as psql prints them unaligned
                        (values joined by "|", NULL for a null)
Without KORU_PG_CONN the test fails: it never passes by skipping.
"""
import os
import shlex
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import run_case  # noqa: E402


def psql(sql):
    cmd = shlex.split(os.environ["KORU_PG_PSQL"]) + ["-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1",
                                                     "-P", "null=NULL", "-c", sql]
    done = subprocess.run(cmd, capture_output=True, timeout=60)
    if done.returncode != 0:
        raise RuntimeError("psql: %s: %s" % (sql, done.stderr.decode("utf-8", "replace")))
    return done.stdout.decode("utf-8")


def run(case, programs):
    conn = os.environ["KORU_PG_CONN"]
    before, after, sections = [], [], []
    for kind, arg, text in case["sections"]:
        if kind == "psql":
            before.append(text)
        elif kind == "expect-psql":
            after.append(text)
        elif kind == "file":
            sections.append((kind, arg, text.replace("{conn}", conn)))
        else:
            sections.append((kind, arg, text))
    try:
        # Every case starts from an empty schema.
        psql("drop schema if exists public cascade; create schema public")
        for sql in before:
            psql(sql)
        problem = run_case.run({"name": case["name"], "sections": sections}, programs)
        if problem:
            return problem
        for text in after:
            lines = text.split("\n")
            got = psql(lines[0]).rstrip("\n")
            got_lines = got.split("\n") if got else []
            if got_lines != lines[1:]:
                return "database: %s\n  expected: %r\n  actual:   %r" % (lines[0], lines[1:], got_lines)
    except RuntimeError as e:
        return str(e)
    return None


if __name__ == "__main__":
    if not os.environ.get("KORU_PG_CONN") or not os.environ.get("KORU_PG_PSQL"):
        print("FAIL: KORU_PG_CONN and KORU_PG_PSQL are not set; run this through tests/db/pg_cluster.sh")
        sys.exit(1)
    sys.exit(run_case.run_cases(run))
