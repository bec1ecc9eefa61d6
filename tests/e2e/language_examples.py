#!/usr/bin/env python3
"""Runs the examples of docs/LANGUAGE.md and checks the results it states.

Usage: language_examples.py KORU [MARKDOWN]

Every line of a fenced `js` block is an example "CODE  // → RESULT" (a line
without the arrow fails the test).  CODE that begins with "function" is a
whole module, any other CODE the body of `function main() { ... }`.
RESULT is one of:
  error NNNN     the run reports an error with code NNNN;
  records TEXT   run as a request (test mode), the records before the
                 closing C record are TEXT;
  TEXT           run with "-e main", console.log and console.error print
                 exactly one line, TEXT after its "(L) " prefix (a
                 console.error line keeps its "(E) ").
The program runs in a scratch directory beside a KORU.config with
MODULE_DIR=., in the UTC time zone.
"""
import os
import re
import subprocess
import sys
import tempfile

ARROW = "  // → "


def examples(markdown):
    inside, out = False, []
    for number, line in enumerate(markdown.splitlines(), 1):
        if line.startswith("```"):
            inside = line[3:].strip() == "js" if not inside else False
            continue
        if inside:
            out.append((number, line))
    return out


def run(koru, work, code, args):
    module = code if code.startswith("function") else "function main() { " + code + " }"
    with open(os.path.join(work, "t.js"), "w", encoding="utf-8") as f:
        f.write(module + "\n")
    env = dict(os.environ, TZ="UTC")
    for k in ("CONTENT_LENGTH", "REMOTE_ADDR", "HTTP_X_FORWARDED_FOR"):
        env.pop(k, None)
    done = subprocess.run([os.path.join(work, "koru")] + args, cwd=work, env=env, capture_output=True, timeout=30)
    return done.returncode, done.stdout.decode("utf-8", "replace")


def check(koru, work, code, result):
    """None when the example gives its result, else what it gave."""
    m = re.fullmatch(r"error (\d{4})", result)
    if m:
        rc, out = run(koru, work, code, ["-e", "main", "t.js"])
        return None if rc == 0 and re.search(r"ERROR " + m.group(1) + r" \(", out) else out
    if result.startswith("records "):
        rc, out = run(koru, work, code, ["M111614t.jsP14main", ""])
        records = re.sub(r"C\d+$", "", out)  # the C record: four counts, each a digit count and digits
        closing = re.search(r"C(\d)\d*$", out)
        return None if rc == 0 and closing and records == result[len("records "):] else out
    rc, out = run(koru, work, code, ["-e", "main", "t.js"])
    # Error reports (of an error that a try caught) are printed as well.
    lines = [l for l in out.splitlines() if l.startswith("(L) ") or l.startswith("(E) ")]
    shown = [l[4:] if l.startswith("(L) ") else l for l in lines]
    return None if rc == 0 and shown == [result] else out


def main():
    koru = os.path.abspath(sys.argv[1])
    doc = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(__file__), "..", "..", "docs", "LANGUAGE.md")
    with open(doc, encoding="utf-8") as f:
        found = examples(f.read())
    failures = []
    with tempfile.TemporaryDirectory() as work:
        os.symlink(koru, os.path.join(work, "koru"))
        with open(os.path.join(work, "KORU.config"), "w") as f:
            f.write("MODULE_DIR=.\n")
        for number, line in found:
            if ARROW not in line:
                failures.append(f"line {number}: no '{ARROW.strip()}' result: {line}")
                continue
            code, result = line.split(ARROW, 1)
            got = check(koru, work, code.strip(), result.strip())
            if got is not None:
                failures.append(f"line {number}: {code.strip()}\n  says: {result.strip()}\n  gave: {got.strip()}")
    if len(found) < 10:
        failures.append(f"only {len(found)} examples found in {doc}")
    for f in failures:
        print("FAIL:", f)
    if failures:
        sys.exit(1)
    print(f"PASS ({len(found)} examples)")


if __name__ == "__main__":
    main()
