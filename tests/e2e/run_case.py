#!/usr/bin/env python3
"""Runs end-to-end cases through the real program and compares its output
byte for byte.

A case file holds one or more cases.  Each case starts with a line
"=== name" and has sections that start with "--- KIND [ARG]":

  --- config            the KORU.config beside the program
  --- file PATH         a file in the working directory (modules, ...)
  --- arg               one command-line argument (repeatable; the section's
                        text without its final line end)
  --- env NAME          an environment variable
  --- stdin             standard input
  --- expect            standard output, exactly (without the section's final
                        line ends: a line end that belongs to it is written \\x0A); \\xHH stands for a byte, \\\\ for a backslash,
                        {dir} for the scratch directory, {t:TEXT:t} for TEXT
                        as a text field of the record stream, {p:TEXT:p} for
                        TEXT as a plain (never escaped) field
  --- expect-journal PATH   the journal file's text must contain this text
  --- program NAME      koru (default) or koru-debug
  --- sqlite PATH       SQL run on the SQLite database file PATH (created in
                        the working directory) before the program runs
  --- expect-sqlite PATH  after the run: the first line is a query on PATH,
                        the other lines its rows, values joined by "|"
                        (NULL for a null, x'HEX' for a blob, floats as
                        Python writes them)

The program runs in a temporary directory holding a symlink to it, so the
configuration is found beside the program path.
"""
import os
import re
import sqlite3
import subprocess
import sys
import tempfile


def unescape(text):
    """Bytes of a section: UTF-8 text with \\xHH for single bytes."""
    out, pos = b"", 0
    for m in re.finditer(r"\\\\|\\x[0-9A-Fa-f]{2}", text):
        out += text[pos:m.start()].encode("utf-8")
        out += b"\\" if m.group(0) == "\\\\" else bytes([int(m.group(0)[2:], 16)])
        pos = m.end()
    return out + text[pos:].encode("utf-8")


SAFE = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789;,/?:@&=+$-_.*'()#")


def text_field(data):
    """A text field as the front end reads it: plain or escaped, "10" when empty."""
    if not data:
        return b"10"
    if all(b in SAFE for b in data):
        body, base = data, ord("0")
    else:
        body = b"".join(bytes([b]) if b in SAFE else b"%%%02X" % b for b in data)
        base = ord("A")
    digits = str(len(body)).encode()
    return bytes([base + len(digits)]) + digits + body


def expand_expect(text, work):
    text = text.replace("{dir}", work)
    out, pos = b"", 0
    for m in re.finditer(r"\{([tp]):(.*?):\1\}", text, re.S):
        data = m.group(2).encode("utf-8")
        if m.group(1) == "t":
            field = text_field(data)
        else:
            digits = str(len(data)).encode()
            field = bytes([ord("0") + len(digits)]) + digits + data
        out += unescape(text[pos:m.start()]) + field
        pos = m.end()
    return out + unescape(text[pos:])


def parse(path):
    cases, case, section = [], None, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("=== "):
                case = {"name": line[4:].strip(), "sections": []}
                cases.append(case)
                section = None
            elif line.startswith("--- ") and case is not None:
                parts = line[4:].strip().split(None, 1)
                section = [parts[0], parts[1] if len(parts) > 1 else "", []]
                case["sections"].append(section)
            elif section is not None:
                section[2].append(line)
    for case in cases:
        for s in case["sections"]:
            text = "".join(s[2])
            s[2] = text.rstrip("\n")
    return cases


def run(case, programs):
    env = {k: v for k, v in os.environ.items()
           if k not in ("CONTENT_LENGTH", "REMOTE_ADDR", "HTTP_X_FORWARDED_FOR")}
    env.setdefault("TZ", "Asia/Tokyo")
    args, stdin, expect, journals, program = [], None, None, [], "koru"
    databases = []
    with tempfile.TemporaryDirectory() as work:
        for kind, arg, text in case["sections"]:
            if kind == "config":
                with open(os.path.join(work, "KORU.config"), "w", encoding="utf-8") as f:
                    f.write(text + "\n")
            elif kind == "file":
                target = os.path.join(work, arg)
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(text.encode("utf-8") + b"\n")
            elif kind == "arg":
                args.append(text)
            elif kind == "env":
                env[arg] = text
            elif kind == "stdin":
                stdin = unescape(text)
            elif kind == "expect":
                expect = expand_expect(text, work)
            elif kind == "expect-journal":
                journals.append((arg, text))
            elif kind == "program":
                program = text.strip()
            elif kind == "sqlite":
                con = sqlite3.connect(os.path.join(work, arg))
                con.executescript(text)
                con.commit()
                con.close()
            elif kind == "expect-sqlite":
                databases.append((arg, text))
            else:
                return "unknown section " + kind
        exe = os.path.join(work, program)
        os.symlink(os.path.abspath(programs[program]), exe)
        proc = subprocess.run([exe] + args, cwd=work, env=env, input=stdin or b"",
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        if proc.returncode != 0:
            return "exit status %d (stderr %r)" % (proc.returncode, proc.stderr[-400:])
        if expect is not None and proc.stdout != expect:
            return "output differs\n  expected: %r\n  actual:   %r" % (expect, proc.stdout)
        problem = check_journals(work, journals) or check_databases(work, databases)
        if problem:
            return problem
    return None


def sqlite_text(v):
    if v is None:
        return "NULL"
    if isinstance(v, bytes):
        return "x'%s'" % v.hex().upper()
    return str(v)


def check_databases(work, databases):
    """The problem with the database contents a case expects, or None."""
    for path, text in databases:
        lines = text.split("\n")
        con = sqlite3.connect(os.path.join(work, path))
        try:
            rows = con.execute(lines[0]).fetchall()
        except sqlite3.Error as e:
            return "database %s: %s: %s" % (path, lines[0], e)
        finally:
            con.close()
        got = ["|".join(sqlite_text(v) for v in row) for row in rows]
        if got != lines[1:]:
            return "database %s: %s\n  expected: %r\n  actual:   %r" % (path, lines[0], lines[1:], got)
    return None


def check_journals(work, journals):
    """The problem with the journal texts a case expects, or None."""
    for path, text in journals:
        try:
            with open(os.path.join(work, path), encoding="utf-8") as f:
                got = f.read()
        except OSError as e:
            return "journal %s: %s" % (path, e)
        if text not in got:
            return "journal %s lacks %r\n  journal: %r" % (path, text, got)
    return None


def run_cases(run_one):
    """Runs every case of the file named by the third argument with
    run_one(case, programs) and prints the tally; the exit status."""
    koru, koru_debug, case_file = sys.argv[1], sys.argv[2], sys.argv[3]
    programs = {"koru": koru, "koru-debug": koru_debug}
    failed = 0
    cases = parse(case_file)
    for case in cases:
        problem = run_one(case, programs)
        if problem:
            failed += 1
            print("FAIL %s: %s" % (case["name"], problem))
        else:
            print("ok   %s" % case["name"])
    print("%d passed, %d failed" % (len(cases) - failed, failed))
    return 1 if failed or not cases else 0


if __name__ == "__main__":
    sys.exit(run_cases(run))
