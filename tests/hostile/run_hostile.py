#!/usr/bin/env python3
"""Runs attacks against the real program in CGI mode, one case at a time.

A case file uses the sections of the end-to-end cases (see
tests/e2e/run_case.py) and these besides:

  --- file-hex PATH     a file in the working directory given as its bytes
                        in hexadecimal digits (whitespace ignored), for
                        binary files such as object modules; no line end
                        is added
  --- stdin-py          standard input made by a Python expression (bytes),
                        with the helpers of BODY_HELPERS below: b(str) the
                        UTF-8 bytes, t(data) a plain text field, M(*paths) a
                        module record, P(text) the TOP record, Q(key, token)
                        the token record, l(name) the journal record,
                        S(**texts) a string variable record
  --- file-py PATH      a file of the application's folder whose bytes a
                        Python expression makes (for texts too big to write
                        out: deeply nested modules, ...); the helpers of stdin-py
  --- feed SIZE MS      standard input is written in pieces of SIZE bytes,
                        MS milliseconds apart (a slow client, a streaming
                        web server)
  --- expect-re         standard output must match this Python regular
                        expression over bytes, whole (re.S); the {t:..:t}
                        and {p:..:p} forms are not expanded here
  --- limit NAME N      seconds (wall time, default 20), rss-mb (the peak
                        resident size, default 200), cpu (the processor
                        seconds given to the process, default 30), as-mb
                        (the address space the process may reserve, default
                        none; not applied under AddressSanitizer, whose
                        shadow memory needs more)
  --- outside PATH      a file beside the application's folder (in
                        ../outside/PATH), there to be read by an attack;
                        the case fails if the program opens any file there
                        or writes anything there
  --- may-write PATH    a file of the application's folder the request may
                        create (the journal, ...)
  --- hold-lock PATH MS the runner holds the exclusive lock of PATH (a
                        journal) for MS milliseconds from the start
  --- term-on-close     SIGTERM is sent the moment the program closes its
                        output, as a web server does once the response is
                        complete

Every case must end with exit status 0, no signal, no core file, within
its limits, with no file written anywhere but the declared ones, and every
journal block in the folder must be whole (start and end lines).
"""
import fcntl
import os
import re
import resource
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from run_case import check_journals, expand_expect, run_cases, unescape  # noqa: E402

JOURNAL_BLOCK = re.compile(rb"-----  start : [^\n]*  -----\n.*?\n=====  end : [0-9/: ]+  ===== \n", re.S)


def _bytes(x):
    return x.encode("utf-8") if isinstance(x, str) else bytes(x)


def _field(data):
    data = _bytes(data)
    digits = str(len(data)).encode()
    return bytes([ord("0") + len(digits)]) + digits + data


def _sized(letter, entries):
    return letter + _count(len(entries)) + _short(sum(map(len, entries))) + b"".join(entries)


def _count(n):
    digits = str(n).encode()
    return bytes([ord("0") + len(digits)]) + digits


_short = _count


BODY_HELPERS = {
    "b": lambda s: s.encode("utf-8"),
    "t": _field,
    "M": lambda *paths: _sized(b"M", [_short(len(_bytes(p))) + _bytes(p) for p in paths]),
    "P": lambda text: b"P" + _field(text),
    "Q": lambda key, token: b"Q" + _field(key) + _field(token),
    "l": lambda name: b"l" + _field(name),
    "S": lambda **texts: _sized(b"S", [_field(k) + _field(v) for k, v in texts.items()]),
}


def snapshot(root):
    """Every file below root with its size and modification time."""
    out = {}
    for d, _, files in os.walk(root):
        for f in files:
            p = os.path.join(d, f)
            try:
                st = os.lstat(p)
            except OSError:
                continue
            out[os.path.relpath(p, root)] = (st.st_size, st.st_mtime_ns)
    return out


def feed(proc, data, size, pause):
    try:
        for i in range(0, len(data), size):
            proc.stdin.write(data[i:i + size])
            proc.stdin.flush()
            time.sleep(pause)
        proc.stdin.close()
    except (BrokenPipeError, ConnectionResetError, ValueError):
        pass


def run(case, programs, under_asan):
    env = {k: v for k, v in os.environ.items()
           if k not in ("CONTENT_LENGTH", "REMOTE_ADDR", "HTTP_X_FORWARDED_FOR")}
    env.setdefault("TZ", "Asia/Tokyo")
    env["GATEWAY_INTERFACE"] = "CGI/1.1"
    args, stdin, expect, expect_re, journals, program = [], b"", None, None, [], "koru"
    limits = {"seconds": 20.0, "rss-mb": 200.0, "cpu": 30.0}
    feeding, may_write, term_on_close, hold = None, set(), False, None
    with tempfile.TemporaryDirectory() as top:
        work = os.path.join(top, "app")
        outside = os.path.join(top, "outside")
        os.makedirs(work)
        os.makedirs(outside)
        for kind, arg, text in case["sections"]:
            if kind == "config":
                with open(os.path.join(work, "KORU.config"), "w", encoding="utf-8") as f:
                    f.write(text + "\n")
            elif kind in ("file", "outside"):
                target = os.path.join(work if kind == "file" else outside, arg)
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(text.encode("utf-8") + b"\n")
            elif kind == "file-hex":
                target = os.path.join(work, arg)
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(bytes.fromhex("".join(text.split())))
            elif kind == "file-py":
                target = os.path.join(work, arg)
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(eval(text, dict(BODY_HELPERS)))
            elif kind == "arg":
                args.append(text)
            elif kind == "env":
                env[arg] = text
            elif kind == "stdin":
                stdin = unescape(text)
            elif kind == "stdin-py":
                stdin = eval(text, dict(BODY_HELPERS))
            elif kind == "feed":
                size, ms = arg.split()
                feeding = (int(size), int(ms) / 1000.0)
            elif kind == "expect":
                expect = expand_expect(text, work)
            elif kind == "expect-re":
                expect_re = re.compile(text.encode("utf-8"), re.S)
            elif kind == "expect-journal":
                journals.append((arg, text))
            elif kind == "program":
                program = text.strip()
            elif kind == "limit":
                name, n = arg.split()
                limits[name] = float(n)
            elif kind == "hold-lock":
                path, ms = arg.split()
                hold = (path, int(ms) / 1000.0)
            elif kind == "term-on-close":
                term_on_close = True
            elif kind == "may-write":
                may_write.add(arg.strip())
            else:
                return "unknown section " + kind
        if "CONTENT_LENGTH" not in env:
            env["CONTENT_LENGTH"] = str(len(stdin))
        exe = os.path.join(work, program)
        os.symlink(os.path.abspath(programs[program]), exe)
        before = snapshot(top)
        outside_atimes = {p: os.stat(os.path.join(outside, p)).st_atime_ns for p in snapshot(outside)}

        def limit_child():
            resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
            cpu = int(limits["cpu"])
            resource.setrlimit(resource.RLIMIT_CPU, (cpu, cpu + 1))
            if "as-mb" in limits and not under_asan:
                space = int(limits["as-mb"] * 1024 * 1024)
                resource.setrlimit(resource.RLIMIT_AS, (space, space))

        lock_fd = None
        if hold:
            lock_fd = os.open(os.path.join(work, hold[0]), os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
            fcntl.flock(lock_fd, fcntl.LOCK_EX)
            threading.Timer(hold[1], lambda: os.close(lock_fd)).start()
            before = snapshot(top)
        started = time.monotonic()
        proc = subprocess.Popen([exe] + args, cwd=work, env=env, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=limit_child)
        if feeding:
            writer = threading.Thread(target=feed, args=(proc, stdin, feeding[0], feeding[1]))
        else:
            writer = threading.Thread(target=feed, args=(proc, stdin, max(len(stdin), 1), 0))
        writer.start()
        out, err = [], []

        def read_output(stream, into):
            into.append(stream.read())
            if term_on_close:
                try:
                    os.kill(proc.pid, 15)
                except ProcessLookupError:
                    pass

        readers = [threading.Thread(target=read_output, args=(proc.stdout, out)),
                   threading.Thread(target=lambda s, b: b.append(s.read()), args=(proc.stderr, err))]
        for r in readers:
            r.start()
        deadline = started + limits["seconds"]
        status = rusage = None
        while True:
            pid, status, rusage = os.wait4(proc.pid, os.WNOHANG)
            if pid:
                break
            if time.monotonic() > deadline:
                proc.kill()
                _, status, rusage = os.wait4(proc.pid, 0)
                writer.join()
                return "still running after %.0f s" % limits["seconds"]
            time.sleep(0.005)
        proc.returncode = 0  # reaped above; keep Popen from waiting again
        elapsed = time.monotonic() - started
        writer.join()
        for r in readers:
            r.join()
        stdout, stderr = out[0] if out else b"", err[0] if err else b""
        if os.WIFSIGNALED(status):
            return "ended by signal %d after %.1f s (stderr %r)" % (os.WTERMSIG(status), elapsed, stderr[-400:])
        if os.WEXITSTATUS(status) != 0:
            return "exit status %d (stderr %r)" % (os.WEXITSTATUS(status), stderr[-400:])
        rss_mb = rusage.ru_maxrss / 1024.0
        if not under_asan and rss_mb > limits["rss-mb"]:
            return "peak resident size %.0f MB over %.0f MB" % (rss_mb, limits["rss-mb"])
        if expect is not None and stdout != expect:
            return "output differs\n  expected: %r\n  actual:   %r" % (expect[:2000], stdout[:2000])
        if expect_re is not None and not expect_re.fullmatch(stdout):
            return "output does not match %r\n  actual:   %r" % (expect_re.pattern[:400], stdout[:2000])
        after = snapshot(top)
        for path, stamp in after.items():
            rel = os.path.relpath(os.path.join(top, path), work)
            if path.startswith("outside" + os.sep) and before.get(path) != stamp:
                return "wrote %s outside the application" % path
            if before.get(path) != stamp and rel not in may_write and not path.startswith("outside"):
                return "wrote %s, which the case does not allow" % rel
        for p, atime in outside_atimes.items():
            if os.stat(os.path.join(outside, p)).st_atime_ns != atime:
                return "read outside/%s" % p
        for name in os.listdir(work):
            if name.startswith("core"):
                return "left a core file " + name
        for path in may_write:
            full = os.path.join(work, path)
            if path.endswith(".log") and os.path.exists(full):
                data = open(full, "rb").read()
                rest = JOURNAL_BLOCK.sub(b"", data)
                if rest:
                    return "journal %s is not made of whole blocks: %r" % (path, data[-400:])
        problem = check_journals(work, journals)
        if problem:
            return problem
    return None


if __name__ == "__main__":
    under_asan = os.environ.get("KORU_UNDER_ASAN") == "1"
    sys.exit(run_cases(lambda case, programs: run(case, programs, under_asan)))
