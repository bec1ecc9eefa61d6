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
                        line end); \\xHH stands for a byte, \\\\ for a backslash
  --- expect-journal PATH   the journal file's text must contain this text
  --- program NAME      koru (default) or koru-debug

The program runs in a temporary directory holding a symlink to it, so the
configuration is found beside the program path.
"""
import os
import re
import subprocess
import sys
import tempfile


def unescape(text):
    def repl(m):
        s = m.group(0)
        return "\\" if s == "\\\\" else chr(int(s[2:], 16))
    return re.sub(r"\\\\|\\x[0-9A-Fa-f]{2}", repl, text).encode("latin-1")


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
            s[2] = text[:-1] if text.endswith("\n") else text
    return cases


def run(case, programs):
    env = {k: v for k, v in os.environ.items()
           if k not in ("CONTENT_LENGTH", "REMOTE_ADDR", "HTTP_X_FORWARDED_FOR")}
    env.setdefault("TZ", "Asia/Tokyo")
    args, stdin, expect, journals, program = [], None, None, [], "koru"
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
                expect = unescape(text)
            elif kind == "expect-journal":
                journals.append((arg, text))
            elif kind == "program":
                program = text.strip()
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
        for path, text in journals:
            try:
                with open(os.path.join(work, path), encoding="utf-8") as f:
                    got = f.read()
            except OSError as e:
                return "journal %s: %s" % (path, e)
            if text not in got:
                return "journal %s lacks %r\n  journal: %r" % (path, text, got)
    return None


def main():
    koru, koru_debug, case_file = sys.argv[1], sys.argv[2], sys.argv[3]
    programs = {"koru": koru, "koru-debug": koru_debug}
    failed = 0
    cases = parse(case_file)
    for case in cases:
        problem = run(case, programs)
        if problem:
            failed += 1
            print("FAIL %s: %s" % (case["name"], problem))
        else:
            print("ok   %s" % case["name"])
    print("%d passed, %d failed" % (len(cases) - failed, failed))
    return 1 if failed or not cases else 0


if __name__ == "__main__":
    sys.exit(main())
