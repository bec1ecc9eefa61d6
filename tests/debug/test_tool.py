#!/usr/bin/env python3
"""koru-tool debug scripted through its standard input against the real
koru-debug running a request.

usage: test_tool.py KORU_DEBUG KORU_TOOL
"""
import os
import shutil
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from frontend import Request, free_port  # noqa: E402

KORU_DEBUG = KORU_TOOL = None

SOURCE = """function f(n) {
  var x = n * 2;
  if (n > 0) f(n - 1);
  return x;
}
function main() {
  var a = 1;
  console.log('start');
  var r = f(2);
  sendToFront("r", String(r + a));
}
"""


class Tool(unittest.TestCase):
    def setUp(self):
        self.port = free_port()
        self.request = Request(KORU_DEBUG, {"m.js": SOURCE}, port=self.port)
        self.addCleanup(shutil.rmtree, self.request.dir, True)

    def session(self, script, modules=True, start_program=True):
        args = [KORU_TOOL, "debug", "--port", str(self.port), "--wait", "10"]
        if modules:
            args += ["--modules", self.request.dir]
        tool = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        tool.stdin.write(script.encode())
        tool.stdin.close()
        first = tool.stdout.readline().decode()
        self.assertIn("listening on 127.0.0.1:%d" % self.port, first)
        out = None
        if start_program:
            time.sleep(0.1)
            self.request.start()
            out = self.request.finish()
        text = tool.stdout.read().decode()
        status = tool.wait(20)
        tool.stdout.close()
        tool.stderr.close()
        return out, text, status

    def assertInOrder(self, text, pieces):
        at = 0
        for p in pieces:
            found = text.find(p, at)
            self.assertGreaterEqual(found, 0, "%r not after position %d in:\n%s" % (p, at, text))
            at = found + len(p)

    def test_break_print_step_finish_continue(self):
        script = "break m.js:2\nrun\nprint n\nstep\nlist\nfinish\nwhere\nprint n\ncontinue\ncontinue\ncontinue\n"
        out, text, status = self.session(script)
        self.assertEqual(status, 0, text)
        self.assertInOrder(text, [
            "breakpoint at m.js:2",
            "the program connected",
            "serving m.js",
            "[console] (L) \"start\"",
            "stopped at m.js:2 (column 3) in f()\n2\t  var x = n * 2;",
            "n = 2",
            "stopped at m.js:3 (column 3) in f()",
            "   2\t  var x = n * 2;\n=> 3\t  if (n > 0) f(n - 1);\n   4\t  return x;",
            # finish leaves f(2), but f(1) meets the breakpoint first.
            "stopped at m.js:2 (column 3) in f()",
            "* #0 f at m.js:2:3\n  #1 f at m.js:3:3\n  #2 main at m.js:6:0",
            "n = 1",
            "stopped at m.js:2 (column 3) in f()",
            "the program has finished",
        ])
        self.assertEqual(out, b"Content-type: text/plane;charset=UTF-8\n\ns11r115C10101110")

    def test_conditions_traces_frames_and_quit(self):
        script = ("break m.js:4 if n == 1\ntrace m.js:1 f\nrun\nwhere\nframe 1\nprint n\nprint x = 7\n"
                  "print f(0)\nclear m.js:4\nnext\nfinish\nprint r\nquit\n")
        out, text, status = self.session(script, modules=False)
        self.assertEqual(status, 0, text)
        self.assertInOrder(text, [
            "breakpoint at m.js:4 if n == 1",
            "tracing the function at m.js:1 as f",
            "[trace] call f( n=2 )",
            "[trace] call f( n=1 )",
            "[trace] call f( n=0 )",
            "[trace] return f( 0 )",
            "stopped at m.js:4 (column 3) in f()",
            "* #0 f at m.js:4:3\n  #1 f at m.js:1:0\n  #2 main at m.js:6:0",
            "n = 2",
            "x = 7 = 7",
            "error: EVAL ERROR: CODE=1860",
            "cleared m.js:4",
            # next: f(1) returns and f(2) stops at its own return.
            "[trace] return f( 2 )",
            "stopped at m.js:4 (column 3) in f()",
            # f(2) returns the 7 its x was given; main stops at its next statement.
            "[trace] return f( 7 )",
            "stopped at m.js:10 (column 3) in main()",
            "r = 7",
            "the program has finished",
        ])
        self.assertNotIn("serving", text)
        self.assertTrue(out.endswith(b"S141855C94EVAL%20ERROR%201855%20(m.js:10:3)%20:%20"
                                     b"%E3%83%87%E3%83%90%E3%83%83%E3%82%B0%E7%B5%82%E4%BA%86"), out)

    def test_end_of_input_continues_to_the_end(self):
        out, text, status = self.session("break m.js:7\nrun\n")
        self.assertEqual(status, 0, text)
        self.assertInOrder(text, ["stopped at m.js:7", "(end of input: continue)", "the program has finished"])
        self.assertTrue(out.endswith(b"C10101110"), out)

    def test_a_link_failure_is_reported_plainly(self):
        script = "run\n"
        tool = subprocess.Popen([KORU_TOOL, "debug", "--port", str(self.port), "--wait", "10"],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        tool.stdin.write(script.encode())
        tool.stdin.close()
        tool.stdout.readline()
        time.sleep(0.1)
        # A program that sends a header that does not parse.
        c = socket.create_connection(("127.0.0.1", self.port))
        c.sendall(b"Zgarbage")
        text = tool.stdout.read().decode()
        c.close()
        self.assertEqual(tool.wait(10), 1)
        tool.stdout.close()
        self.assertIn("link failure: a message header that does not parse", text)

    def test_no_program_within_the_wait(self):
        tool = subprocess.run([KORU_TOOL, "debug", "--port", str(self.port), "--wait", "1"], input=b"run\n",
                              capture_output=True, timeout=10)
        self.assertEqual(tool.returncode, 1)
        self.assertIn(b"no program connected within 1 s", tool.stdout)


if __name__ == "__main__":
    KORU_DEBUG, KORU_TOOL = (os.path.abspath(p) for p in sys.argv[1:3])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
