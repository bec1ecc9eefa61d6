"""A debugger front end for the tests: it listens on 127.0.0.1, takes the
program's connection and speaks the framed messages, keeping every byte
that passed each way."""
import os
import socket
import subprocess
import tempfile
import time


def header(n):
    digits = str(n).encode()
    return bytes([ord("A") + len(digits)]) + digits


def frame(payload):
    return header(len(payload)) + payload


class Link:
    def __init__(self, conn):
        self.conn = conn
        self.conn.settimeout(5)
        self.received = []   # raw bytes of each message from the program
        self.sent = []       # raw bytes of each message to it

    def _exact(self, n):
        data = b""
        while len(data) < n:
            chunk = self.conn.recv(n - len(data))
            if not chunk:
                raise EOFError("the program closed the link")
            data += chunk
        return data

    def _header(self):
        letter = self._exact(1)
        k = letter[0] - ord("A")
        digits = self._exact(k)
        return letter + digits, int(digits)

    def recv(self):
        """One message from the program; it is acknowledged."""
        head, n = self._header()
        payload = self._exact(n)
        self.received.append(head + payload)
        self.conn.sendall(header(n))
        return payload

    def send(self, payload, ack=True):
        """One message to the program; its acknowledgement is checked."""
        raw = frame(payload)
        self.sent.append(raw)
        self.conn.sendall(raw)
        if ack:
            head, n = self._header()
            assert head == header(len(payload)), (head, payload)

    def send_raw(self, raw):
        self.conn.sendall(raw)

    def expect(self, payload):
        got = self.recv()
        assert got == payload, "expected %r, got %r" % (payload, got)
        return got

    def close(self):
        self.conn.close()

    def closed(self, wait=2):
        """True when the program has closed its end with nothing more sent."""
        self.conn.settimeout(wait)
        try:
            return self.conn.recv(16) == b""
        except ConnectionResetError:
            return True


class FrontEnd:
    def __init__(self):
        self.srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.srv.bind(("127.0.0.1", 0))
        self.srv.listen(1)
        self.port = self.srv.getsockname()[1]
        self.links = []

    def accept(self, timeout=5):
        self.srv.settimeout(timeout)
        conn, _ = self.srv.accept()
        link = Link(conn)
        self.links.append(link)
        return link

    def close(self):
        for link in self.links:
            link.close()
        self.srv.close()


def free_port():
    """A port nobody listens on."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Request:
    """One CGI request on the real program in a scratch directory."""

    def __init__(self, program, modules, top="main", config="", port=None, env=None, body=None, client="127.0.0.1"):
        self.dir = tempfile.mkdtemp(prefix="koru-debug-")
        os.symlink(os.path.abspath(program), os.path.join(self.dir, "koru"))
        lines = ["MODULE_DIR=."]
        if port is not None:
            lines.append("DEBUG_PORT=%d" % port)
        with open(os.path.join(self.dir, "KORU.config"), "w") as f:
            f.write("\n".join(lines) + "\n" + config)
        names = []
        for name, text in modules.items():
            mode = "wb" if isinstance(text, bytes) else "w"
            with open(os.path.join(self.dir, name), mode) as f:
                f.write(text)
            names.append(name)
        if body is None:
            body = module_record(list(modules)) + top_record(top)
        self.body = body
        self.env = {"PATH": os.environ.get("PATH", ""), "CONTENT_LENGTH": str(len(body))}
        if client:
            self.env["REMOTE_ADDR"] = client
        self.env.update(env or {})
        self.proc = None

    def start(self, wrapper=()):
        self.started = time.monotonic()
        self.proc = subprocess.Popen(list(wrapper) + [os.path.join(self.dir, "koru")], cwd=self.dir, env=self.env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.proc.stdin.write(self.body)
        self.proc.stdin.close()
        return self

    def finish(self, timeout=30):
        out = self.proc.stdout.read()
        err = self.proc.stderr.read()
        self.proc.wait(timeout)
        self.proc.stdout.close()
        self.proc.stderr.close()
        self.elapsed = time.monotonic() - self.started
        self.stderr = err
        return out


def field(text):
    """A plain text field of the request records: '0'+k, k digits, text."""
    data = text.encode()
    digits = str(len(data)).encode()
    return bytes([ord("0") + len(digits)]) + digits + data


def short(n):
    digits = str(n).encode()
    return bytes([ord("0") + len(digits)]) + digits


def module_record(names):
    entries = b"".join(field(n) for n in names)
    return b"M" + short(len(names)) + short(len(entries)) + entries


def top_record(top):
    return b"P" + field(top)
