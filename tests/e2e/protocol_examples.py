#!/usr/bin/env python3
"""Runs the worked examples of docs/PROTOCOL.md in test mode.

Usage: protocol_examples.py KORU MARKDOWN

Each fenced `exchange` block has the lines "script: ..." (the module t.js),
"body: ..." (the request body) and "reply: ..." (the exact output) or
"reply-starts: ..." (the output's start).  The program runs in a scratch
directory beside a KORU.config with MODULE_DIR=., with the body and an
empty variable list as its arguments.
"""
import os
import subprocess
import sys
import tempfile


def exchanges(markdown):
    out, current = [], None
    for number, line in enumerate(markdown.splitlines(), 1):
        if line.startswith("```"):
            if current is None and line[3:].strip() == "exchange":
                current = {"line": number}
            elif current is not None:
                out.append(current)
                current = None
        elif current is not None and ": " in line:
            key, value = line.split(": ", 1)
            current[key] = value
    return out


def main():
    koru, doc = os.path.abspath(sys.argv[1]), sys.argv[2]
    with open(doc, encoding="utf-8") as f:
        found = exchanges(f.read())
    failures = []
    with tempfile.TemporaryDirectory() as work:
        os.symlink(koru, os.path.join(work, "koru"))
        with open(os.path.join(work, "KORU.config"), "w") as f:
            f.write("MODULE_DIR=.\n")
        for ex in found:
            with open(os.path.join(work, "t.js"), "w") as f:
                f.write(ex["script"] + "\n")
            env = {k: v for k, v in os.environ.items() if k not in ("CONTENT_LENGTH", "REMOTE_ADDR")}
            done = subprocess.run(["./koru", ex["body"], ""], cwd=work, env=env, capture_output=True, timeout=30)
            out = done.stdout.decode("utf-8", "replace")
            if "reply" in ex:
                ok = out == ex["reply"]
            elif "reply-starts" in ex:
                ok = out.startswith(ex["reply-starts"])
            else:
                ok = False
            if not ok or done.returncode != 0:
                failures.append(f"line {ex['line']}: body {ex['body']}\n  gave {out}")
    if len(found) < 5:
        failures.append(f"only {len(found)} examples in {doc}")
    for f in failures:
        print("FAIL:", f)
    if failures:
        sys.exit(1)
    print(f"PASS ({len(found)} exchanges)")


if __name__ == "__main__":
    main()
