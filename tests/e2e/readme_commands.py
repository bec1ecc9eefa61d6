#!/usr/bin/env python3
"""Runs the shell commands of README.md as a reader would paste them.

Usage: readme_commands.py KORU KORU_DEBUG KORU_TOOL

The repository's files (tracked and new, not ignored) are copied into a
scratch directory and the three programs are linked into its build/, which
is what a fresh clone looks like after `make run`.  Every fenced block with
no language or the language `sh` is a list of commands, one a line (a line
ending in a backslash continues on the next); each runs with bash in the
scratch directory and must exit 0.  A `text` block that follows a command
block (with no other fenced block between) is what that block's commands
print: their standard output, each command's completed with a line end if it
has none, must be exactly the block's lines.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

# The make targets build the programs and run the test suite (make test runs
# this test: it would recurse), install packages, time benchmarks or serve
# until Ctrl-C (web.serve runs the script behind make serve).  The scratch
# directory already holds the programs that the suite was built with, so
# these commands, and only these, are not run.
SKIPPED = re.compile(r"make (run|test|check-asan|deps|bench|serve)")


def blocks(markdown):
    """(language, lines, line number) of each fenced block."""
    out, current = [], None
    for number, line in enumerate(markdown.splitlines(), 1):
        if line.startswith("```"):
            if current is None:
                current = (line[3:].strip(), [], number)
            else:
                out.append(current)
                current = None
        elif current is not None:
            current[1].append(line)
    if current is not None:
        sys.exit(f"FAIL: README.md: the block at line {current[2]} is not closed")
    return out


def commands(lines):
    """The commands of a block: blank and comment lines dropped, continued lines joined."""
    out, pending = [], ""
    for line in lines:
        if line.endswith("\\"):
            pending += line[:-1] + " "
            continue
        line = pending + line
        pending = ""
        if line.strip() and not line.lstrip().startswith("#"):
            out.append(line)
    return out


def without_comment(command):
    return re.sub(r"\s+#.*$", "", command).strip()


def scratch_copy(root, work):
    listed = subprocess.run(["git", "-C", root, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                            capture_output=True)
    if listed.returncode == 0:
        for rel in filter(None, listed.stdout.decode().split("\0")):
            src = os.path.join(root, rel)
            if not os.path.isfile(src):
                continue  # deleted in the working tree
            dst = os.path.join(work, rel)
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            shutil.copy2(src, dst)
    else:  # not a git checkout: everything but build directories
        shutil.copytree(root, work, dirs_exist_ok=True,
                        ignore=shutil.ignore_patterns(".git", "build", "build-*"))


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: readme_commands.py KORU KORU_DEBUG KORU_TOOL")
    programs = [os.path.abspath(p) for p in sys.argv[1:]]
    root = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
    with open(os.path.join(root, "README.md"), encoding="utf-8") as f:
        found = blocks(f.read())

    env = {k: v for k, v in os.environ.items()
           if k not in ("CONTENT_LENGTH", "REMOTE_ADDR", "HTTP_X_FORWARDED_FOR")}
    failures, ran, compared, skipped = [], 0, 0, 0
    with tempfile.TemporaryDirectory() as work:
        scratch_copy(root, work)
        os.makedirs(os.path.join(work, "build"), exist_ok=True)
        for program, name in zip(programs, ("koru", "koru-debug", "koru-tool")):
            os.symlink(program, os.path.join(work, "build", name))

        for i, (language, lines, number) in enumerate(found):
            if language not in ("", "sh"):
                continue
            printed = b""
            for command in commands(lines):
                if SKIPPED.fullmatch(without_comment(command)):
                    print(f"skip: {without_comment(command)} (builds or runs the suite itself)")
                    skipped += 1
                    continue
                done = subprocess.run(["bash", "-c", command], cwd=work, env=env, capture_output=True, timeout=120)
                ran += 1
                if done.returncode != 0:
                    failures.append(f"line {number}: `{command}` exited {done.returncode}: "
                                    f"{done.stdout[-300:]!r} {done.stderr[-300:]!r}")
                out = done.stdout
                if out and not out.endswith(b"\n"):
                    out += b"\n"
                printed += out
            if i + 1 < len(found) and found[i + 1][0] == "text":
                expected = "".join(line + "\n" for line in found[i + 1][1]).encode("utf-8")
                compared += 1
                if printed != expected:
                    failures.append(f"line {number}: the commands printed\n{printed.decode('utf-8', 'replace')}"
                                    f"but README.md says (line {found[i + 1][2]})\n{expected.decode('utf-8')}")

    if ran == 0 or compared == 0 or skipped == 0:
        failures.append(f"README.md: {ran} commands run, {compared} outputs compared, {skipped} skipped;"
                        " expected some of each")
    for f in failures:
        print("FAIL:", f)
    if failures:
        sys.exit(1)
    print(f"PASS ({ran} commands, {compared} outputs, {skipped} skipped)")


if __name__ == "__main__":
    main()
