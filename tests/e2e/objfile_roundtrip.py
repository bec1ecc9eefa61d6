#!/usr/bin/env python3
"""Every end-to-end case whose request loads .js modules runs once more with
those modules written as .jo object images (stored and compressed), named by
the request's M record instead of the sources (loaded first), and once more
after a source module of its own (the image's names merged).  The record
stream must be the one the sources give, byte for byte, but for the module
names it mentions.

usage: objfile_roundtrip.py KORU KORU_DEBUG KORU_TOOL CASE_FILE...
"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_case  # noqa: E402

PRELUDE = ("pre_roundtrip.js",
           "var preRoundtripA = 'p';\n"
           "function preRoundtripF(preRoundtripX, y) { return [preRoundtripX, y, {preRoundtripK: 1}]; }\n")


def field(text):
    """A count or length field of the request body: digit count, digits."""
    digits = str(text)
    return str(len(digits)) + digits


class Reader:
    def __init__(self, data, pos):
        self.data, self.pos = data, pos

    def number(self):
        k = int(self.data[self.pos])
        n = int(self.data[self.pos + 1:self.pos + 1 + k])
        self.pos += 1 + k
        return n


def module_records(text):
    """(start, end, [paths]) of each M record of a request body text."""
    out = []
    for m in re.finditer(r"M", text):
        try:
            r = Reader(text, m.start() + 1)
            count, size = r.number(), r.number()
            after = r.pos
            paths = []
            for _ in range(count):
                n = r.number()
                paths.append(text[r.pos:r.pos + n])
                r.pos += n
            if r.pos == after + size and all(p.endswith(".js") for p in paths):
                out.append((m.start(), r.pos, paths))
        except (ValueError, IndexError):
            continue
    return out


def m_record(paths):
    entries = "".join(field(len(p)) + p for p in paths)
    return "M" + field(len(paths)) + field(len(entries)) + entries


def rewrite(text, objects, prelude):
    """The body text with each M record naming the .jo images (after the
    prelude module when asked); None when it names no module of the case."""
    records = module_records(text)
    if not records:
        return None
    out, pos = "", 0
    for start, end, paths in records:
        paths = [p[:-3] + ".jo" if p in objects else p for p in paths]
        if prelude:
            paths = [PRELUDE[0]] + paths
        out += text[pos:start] + m_record(paths)
        pos = end
    return out + text[pos:]


def run(case, programs, tool, variant):
    """The program's output for the case, or None when the case does not
    fit the variant (no module it can rewrite, a module that does not compile)."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("CONTENT_LENGTH", "REMOTE_ADDR", "HTTP_X_FORWARDED_FOR")}
    env.setdefault("TZ", "Asia/Tokyo")
    args, stdin, program, files = [], None, "koru", {}
    with tempfile.TemporaryDirectory() as work:
        module_dir = work
        for kind, arg, text in case["sections"]:
            if kind == "config":
                for line in text.splitlines():
                    if line.startswith("MODULE_DIR="):
                        module_dir = os.path.join(work, line[len("MODULE_DIR="):].strip())
                with open(os.path.join(work, "KORU.config"), "w", encoding="utf-8") as f:
                    f.write(text + "\n")
            elif kind == "file":
                target = os.path.join(work, arg)
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(text.encode("utf-8") + b"\n")
                files[arg] = target
            elif kind == "arg":
                args.append(text)
            elif kind == "env":
                env[arg] = text
            elif kind == "stdin":
                stdin = text
            elif kind == "program":
                program = text.strip()
        if variant:
            compressed, prelude = variant
            objects = set()
            for path, target in files.items():
                if not path.endswith(".js"):
                    continue
                opts = ["--compress"] if compressed else []
                done = subprocess.run([tool, "objfile"] + opts + [target, target[:-3] + ".jo"],
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                if done.returncode == 0:
                    objects.add(path)
            if prelude:
                os.makedirs(module_dir, exist_ok=True)
                with open(os.path.join(module_dir, PRELUDE[0]), "w") as f:
                    f.write(PRELUDE[1])
            changed = False
            for i, a in enumerate(args):
                new = rewrite(a, objects, prelude)
                if new is not None:
                    args[i], changed = new, True
            if stdin is not None:
                new = rewrite(stdin, objects, prelude)
                if new is not None:
                    if env.get("CONTENT_LENGTH", "").strip() == str(len(stdin.encode())):
                        env["CONTENT_LENGTH"] = str(len(new.encode()))
                    elif prelude:
                        return None
                    stdin, changed = new, True
            if not changed or not objects:
                return None
        exe = os.path.join(work, program)
        os.symlink(os.path.abspath(programs[program]), exe)
        proc = subprocess.run([exe] + args, cwd=work, env=env,
                              input=run_case.unescape(stdin) if stdin is not None else b"",
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        out = proc.stdout.replace(work.encode(), b"{dir}")
        return re.sub(rb"(\w+)\.jo\b", rb"\1.js", out) + b"\nexit %d" % proc.returncode


def main():
    programs = {"koru": sys.argv[1], "koru-debug": sys.argv[2]}
    tool = sys.argv[3]
    failed = checked = 0
    variants = [(False, False), (True, False), (False, True), (True, True)]
    for case_file in sys.argv[4:]:
        for case in run_case.parse(case_file):
            source = run(case, programs, tool, None)
            for v in variants:
                got = run(case, programs, tool, v)
                if got is None:
                    continue
                checked += 1
                if got != source:
                    failed += 1
                    print("FAIL %s %s\n  source: %r\n  object: %r" % (case["name"], v, source, got))
    print("%d runs from object images, %d differ" % (checked, failed))
    return 1 if failed or not checked else 0


if __name__ == "__main__":
    sys.exit(main())
