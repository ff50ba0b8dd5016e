#!/usr/bin/env python3
"""tolvex --console driven through a pseudo-terminal, as a person at a terminal uses it.

  pty_test.py TOLVEX

Variables stay from line to line, a running loop stops on Ctrl-C while the
console goes on, a line being typed is dropped by Ctrl-C, a line ending in
a backslash goes on, a box is answered by typing, Ctrl-D ends the console,
and the lines typed are kept in the history file.
"""
import os
import pty
import select
import shutil
import sys
import tempfile
import time

PROMPT = b"tolvex> "
TIMEOUT = 60  # seconds; a sanitizer build on a busy machine is slow


class Console:
    def __init__(self, tolvex, state_home, work):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
            env.update(XDG_STATE_HOME=state_home, TERM="xterm", HOME=state_home)
            os.chdir(work)
            os.execve(tolvex, [tolvex, "--console"], env)
        self.seen = b""  # everything read so far
        self.mark = 0    # where the next expectation starts looking

    def read_some(self, deadline):
        left = deadline - time.monotonic()
        if left <= 0:
            return False
        ready, _, _ = select.select([self.fd], [], [], left)
        if not ready:
            return False
        try:
            data = os.read(self.fd, 4096)
        except OSError:
            return False
        if not data:
            return False
        self.seen += data
        return True

    def expect(self, text):
        """Waits for text after the last expectation; fails the test when it does not come."""
        deadline = time.monotonic() + TIMEOUT
        while True:
            at = self.seen.find(text, self.mark)
            if at >= 0:
                self.mark = at + len(text)
                return
            if not self.read_some(deadline):
                fail("expected %r; the terminal showed:\n%s" % (text, self.seen.decode(errors="replace")))

    def send(self, data):
        # A person reads the prompt before typing.
        time.sleep(0.1)
        os.write(self.fd, data)

    def line(self, text):
        """Types a line at the prompt and waits for the next prompt."""
        self.send(text.encode() + b"\r")

    def wait_exit(self):
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                return os.waitstatus_to_exitcode(status)
            self.read_some(time.monotonic() + 0.2)
        fail("the console did not end after Ctrl-D")


def fail(message):
    sys.stderr.write("console pty test: " + message + "\n")
    sys.exit(1)


def main():
    tolvex = os.path.abspath(sys.argv[1])
    top = tempfile.mkdtemp(prefix="tolvex-console-")
    try:
        state = os.path.join(top, "state")
        work = os.path.join(top, "work")
        os.makedirs(work)
        c = Console(tolvex, state, work)
        c.expect(PROMPT)

        # A variable defined on one line is there on the next.
        c.line("x = 6 * 7")
        c.expect(PROMPT)
        c.line("?x")
        c.expect(b"x = 42")
        c.expect(PROMPT)

        # A loop that would run for hours stops on Ctrl-C; the console goes on
        # and the variables keep what the loop left in them.
        c.line("n = 0")
        c.expect(PROMPT)
        c.line('?"counting" | Loop 2000000000 | n = n + 1 | EndLoop')
        c.expect(b'"counting" = "counting"')  # the line runs: Ctrl-C is a signal now
        time.sleep(0.3)
        c.send(b"\x03")
        c.expect(PROMPT)
        c.line("?n > 0")
        c.expect(b"n > 0 = 1")
        c.expect(PROMPT)
        c.line("?n < 2000000000")
        c.expect(b"n < 2000000000 = 1")
        c.expect(PROMPT)
        c.line("?x")
        c.expect(b"x = 42")
        c.expect(PROMPT)

        # Ctrl-C while typing drops the line: q is never set.
        c.send(b"q = 9")
        c.send(b"\x03")
        c.expect(PROMPT)
        c.line("?q")
        c.expect(b"q = Undefined")
        c.expect(PROMPT)

        # A line ending in a backslash goes on: an If block over three lines.
        c.line("If x = 42 \\")
        c.expect(b"...> ")
        c.line("  z = x + 1 \\")
        c.expect(b"...> ")
        c.line("EndIf")
        c.expect(PROMPT)
        c.line("?z")
        c.expect(b"z = 43")
        c.expect(PROMPT)

        # A box is answered at the terminal: the words it offers, asked again
        # until one of them is typed.
        c.line('a = MsgBox("Go on?", "Ask", 4)')
        c.expect(b"[Ask] Go on?")
        c.expect(b"yes/no? ")
        c.line("maybe")
        c.expect(b"yes/no? ")
        c.line("no")
        c.expect(PROMPT)
        c.line("?a")
        c.expect(b"a = 7")
        c.expect(PROMPT)

        # Ctrl-D ends the console; no macro error was shown, so the status is 0.
        c.send(b"\x04")
        status = c.wait_exit()
        if status != 0:
            fail("exit status %d after Ctrl-D; the terminal showed:\n%s" % (status, c.seen.decode(errors="replace")))
        history = os.path.join(state, "tolvex", "history")
        if not os.path.exists(history):
            fail("no history file at " + history)
        with open(history, "rb") as f:
            kept = f.read()
        if b"?x" not in kept or b"q\\040=\\0409" in kept:
            fail("the history holds:\n" + kept.decode(errors="replace"))
    finally:
        shutil.rmtree(top, ignore_errors=True)


if __name__ == "__main__":
    main()
