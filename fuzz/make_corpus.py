#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target from the project's own test
inputs: the end-to-end and hostile cases (configurations, modules, request
bodies, object files), the examples, and the pattern tables of the string
tests.  Object images are made from the cases' modules by `koru-tool
objfile` (stored and compressed).

usage: make_corpus.py KORU_TOOL [OUT_DIR]   (OUT_DIR defaults to fuzz/corpus)

Each seed is named by the SHA-1 of its bytes, as the fuzzing engine names
the inputs it adds, so running the script again adds nothing twice.  Seeds
larger than a target's limit are left out.  The committed corpus is this
set after one merge pass of each target, which keeps only the seeds that add
coverage:

  make_corpus.py build/koru-tool /tmp/seeds
  build-fuzz/fuzz/fuzz-TARGET -merge=1 fuzz/corpus/TARGET /tmp/seeds/TARGET
"""
import glob
import hashlib
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "tests", "hostile"))
from run_case import parse, unescape  # noqa: E402
from run_hostile import BODY_HELPERS  # noqa: E402

MAX_SEED = 64 * 1024
# A case's files are written with a final line end, as the runners write them.
FLAGS = re.compile(r"^[gimsuy]*$")
C_STRING = r'"(?:[^"\\\n]|\\.)*"'
SQL_TEXT = re.compile(rb'"((?:select|insert|update|delete|create|with)\b(?:[^"\\\n]|\\.)*)"', re.I)
ROW = re.compile(r"\{\s*(" + C_STRING + r")\s*,\s*(" + C_STRING + r")(?:\s*,\s*(" + C_STRING + r"))?")


def c_string(literal):
    """The bytes of a C string literal (the escapes the test tables use)."""
    body, out, i = literal[1:-1], bytearray(), 0
    simple = {"n": 10, "r": 13, "t": 9, "f": 12, "v": 11, "0": 0, "\\": 92, '"': 34, "'": 39, "?": 63}
    while i < len(body):
        c = body[i]
        if c != "\\":
            out += c.encode("utf-8")
            i += 1
            continue
        e = body[i + 1]
        if e == "x":
            m = re.match(r"[0-9A-Fa-f]{1,2}", body[i + 2:])
            out.append(int(m.group(0), 16))
            i += 2 + len(m.group(0))
        elif e in simple:
            out.append(simple[e])
            i += 2
        else:
            out += ("\\" + e).encode("utf-8")
            i += 2
    return bytes(out)


def case_sections(path):
    """(kind, arg, bytes) of every section of every case in a case file."""
    for case in parse(path):
        out = []
        for kind, arg, text in case["sections"]:
            if kind in ("file", "outside"):
                data = text.encode("utf-8") + b"\n"
            elif kind == "file-hex":
                data = bytes.fromhex("".join(text.split()))
            elif kind in ("file-py", "stdin-py"):
                data = eval(text, dict(BODY_HELPERS))
            elif kind == "config":
                data = text.encode("utf-8") + b"\n"
            else:
                data = unescape(text)
            out.append((kind, arg, data))
        yield out


def body_of(sections):
    """The request body of a case: standard input, or test mode's first argument."""
    for kind, _, data in sections:
        if kind in ("stdin", "stdin-py"):
            return data
    args = [data for kind, _, data in sections if kind == "arg"]
    if args and not args[0].startswith(b"-"):
        return args[0]
    return None


def object_images(tool, source):
    images = []
    with tempfile.TemporaryDirectory() as work:
        src = os.path.join(work, "m.js")
        with open(src, "wb") as f:
            f.write(source)
        for extra in ([], ["--compress"]):
            out = os.path.join(work, "m.jo")
            r = subprocess.run([tool, "objfile"] + extra + [src, out], capture_output=True)
            if r.returncode == 0 and os.path.exists(out):
                with open(out, "rb") as f:
                    images.append(f.read())
    return images


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    tool = sys.argv[1]
    out_dir = sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "fuzz", "corpus")
    seeds = {t: set() for t in ("request_body", "config", "compile", "objload", "objrun", "regex", "request", "sql")}

    cases = sorted(glob.glob(os.path.join(ROOT, "tests", "e2e", "cases", "*.case")) +
                   glob.glob(os.path.join(ROOT, "tests", "hostile", "*.case")))
    modules = []
    for path in cases:
        for sections in case_sections(path):
            files = [(arg, data) for kind, arg, data in sections if kind.startswith("file")]
            for kind, arg, data in sections:
                if kind == "config":
                    seeds["config"].add(data)
            for arg, data in files:
                if arg.lower().endswith(".js"):
                    seeds["compile"].add(data)
                    modules.append(data)
                elif arg.lower().endswith(".jo"):
                    seeds["objload"].add(data)
                    seeds["objrun"].add(data)
            body = body_of(sections)
            if body is None:
                continue
            seeds["request_body"].add(body)
            # The module the body names first goes with it.
            for arg, data in files:
                if arg.encode("utf-8") in body:
                    seeds["request"].add(body + b"\0" + data)
                    break

    for path in sorted(glob.glob(os.path.join(ROOT, "examples", "*"))):
        if not os.path.isfile(path):
            continue
        with open(path, "rb") as f:
            data = f.read()
        if path.endswith(".js"):
            seeds["compile"].add(data)
            modules.append(data)
        elif path.endswith(".txt"):
            seeds["request_body"].add(data)
            for js in sorted(glob.glob(os.path.join(ROOT, "examples", "*.js"))):
                if os.path.basename(js).encode() in data:
                    with open(js, "rb") as f:
                        seeds["request"].add(data + b"\0" + f.read())

    for source in modules:
        if len(source) > 8192:
            continue
        for image in object_images(tool, source):
            seeds["objload"].add(image)
            seeds["objrun"].add(image)

    # Pattern tables: {pattern, flags, subject, ...} rows of the string tests.
    bits = {c: 1 << i for i, c in enumerate("gimsuy")}
    for path in sorted(glob.glob(os.path.join(ROOT, "tests", "strings", "*.cpp"))):
        with open(path, encoding="utf-8") as f:
            text = f.read()
        for m in ROW.finditer(text):
            pattern = c_string(m.group(1))
            second = c_string(m.group(2)).decode("utf-8", "replace")
            if not FLAGS.match(second) or b"\0" in pattern:
                continue
            subject = c_string(m.group(3)) if m.group(3) else b""
            flag_byte = sum(bits[c] for c in set(second))
            seeds["regex"].add(bytes([flag_byte]) + pattern + b"\0" + subject)

    # SQL texts: the statements of the database cases' modules and of the
    # SQL compiler's tests, once for each placeholder form; the first byte
    # also says whether the statement must be a select.
    for source in modules + [open(p, "rb").read() for p in sorted(glob.glob(os.path.join(ROOT, "tests", "db", "*.cpp")))]:
        for m in SQL_TEXT.finditer(source):
            sql = m.group(1)
            not_select = 0 if sql[:6].lower() == b"select" else 0x80
            for kind in range(3):
                seeds["sql"].add(bytes([kind | not_select]) + sql)

    for target, items in seeds.items():
        d = os.path.join(out_dir, target)
        os.makedirs(d, exist_ok=True)
        kept = 0
        for data in sorted(items):
            if len(data) > MAX_SEED:
                continue
            name = hashlib.sha1(data).hexdigest()
            with open(os.path.join(d, name), "wb") as f:
                f.write(data)
            kept += 1
        print(f"{target}: {kept} seeds")


if __name__ == "__main__":
    main()
