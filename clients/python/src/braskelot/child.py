"""The input program as a child process: its pipes, how much of its input it
has taken in, how long a reply may take, and ending it step by step."""

import os
import queue
import select
import signal
import subprocess
import sys
import threading
import time
from typing import IO, Any, List, Optional

try:  # Linux and most Unix systems tell how much of a pipe is still unread
    import fcntl
    import termios
    _FIONREAD: Optional[int] = termios.FIONREAD
except ImportError:  # Windows
    _FIONREAD = None

# A reply may take WAIT_BASE seconds, plus WAIT_PER_COMMAND for every command
# written since the program last answered: it works through them in order,
# and a slow reader paces it (the X11 program types about 60 characters a
# second into an application that cannot answer pings, and waits up to 5 s
# once for one that hangs). The clock restarts whenever the program is seen
# to take in more of its input, so only a program that neither reads nor
# answers for that long is taken as stuck.
WAIT_BASE = 5.0
WAIT_PER_COMMAND = 0.05
# Ending: the bounds between end of input, SIGTERM and SIGKILL.
QUIT_WAIT = 5.0   # after QUIT, once RESET was answered: only the releases are left
HURRY_WAIT = 2.0  # after end of input on the way out of an exception, or when stuck
TERM_WAIT = 5.0   # after SIGTERM, for the program to release and exit
_POLL = 0.25      # how often a wait looks at the pipe


def _reader(stream: IO[bytes], lines: "queue.Queue[Optional[str]]") -> None:
    # Holds no reference to the Input, so a dropped client can be collected.
    for raw in iter(stream.readline, b""):
        lines.put(raw.decode("utf-8", "replace").rstrip("\r\n"))
    lines.put(None)


class Child:
    """The process, the lines it wrote, and what was written to it since its
    last reply."""

    def __init__(self, args: List[str], stderr: Any) -> None:
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=stderr, bufsize=0)
        assert self.proc.stdin is not None and self.proc.stdout is not None
        self.fd = self.proc.stdin.fileno()
        self.lines: "queue.Queue[Optional[str]]" = queue.Queue()
        threading.Thread(target=_reader, args=(self.proc.stdout, self.lines), daemon=True).start()
        # Non-blocking writes, so a program that stops reading cannot hold a
        # write up for ever once the pipe is full.
        self.nonblocking = os.name != "nt"
        if self.nonblocking:
            os.set_blocking(self.fd, False)
        self.unanswered = 0  # commands written since the last reply
        self.owed = 0        # replies asked for and not yet read
        self.partial = False  # the last write was cut short mid-line
        self.progress_at = time.monotonic()
        self.unread_seen: Optional[int] = self.unread()

    # -- how far the program has got ------------------------------------
    def unread(self) -> Optional[int]:
        """Bytes written that the program has not read yet; None where the
        platform does not tell."""
        if _FIONREAD is None or self.proc.stdin is None or self.proc.stdin.closed:
            return None
        count = bytearray(4)
        try:
            fcntl.ioctl(self.fd, _FIONREAD, count, True)
        except OSError:
            return None
        return int.from_bytes(count, sys.byteorder)

    def note_progress(self) -> None:
        """Restarts the clock when the program has read more since last looked."""
        now = self.unread()
        if now is not None and self.unread_seen is not None and now < self.unread_seen:
            self.progress_at = time.monotonic()
        self.unread_seen = now

    def deadline(self, started: float) -> float:
        """When a wait that began at `started` gives up, by the rule above."""
        allowance = WAIT_BASE + WAIT_PER_COMMAND * self.unanswered
        return max(self.progress_at + allowance, started + WAIT_BASE)

    # -- writing and reading ----------------------------------------------
    def write(self, data: bytes, commands: int) -> None:
        """Writes everything; TimeoutError when the program takes none of it
        in for the allowed time, OSError when it has gone."""
        self.unanswered += commands
        if self.partial:
            # A write cut short left half a line: end it, so the program
            # drops it rather than this data's first command.
            data = b"\n" + data
        self.partial = True
        try:
            done = os.write(self.fd, data)
        except BlockingIOError:
            done = 0
        if done < len(data):
            view = memoryview(data)[done:]
            while view:
                try:
                    view = view[os.write(self.fd, view):]
                except BlockingIOError:
                    self.wait_writable()
                    continue
                self.progress_at = time.monotonic()
        self.progress_at = time.monotonic()
        # Unknown until a wait looks: asking on every write would cost a call
        # to the kernel per command.
        self.unread_seen = None
        self.partial = False

    def wait_writable(self) -> None:
        started = time.monotonic()
        while True:
            left = self.deadline(started) - time.monotonic()
            if left <= 0:
                raise TimeoutError("the input program took in none of its input for %.3g s"
                                   % (time.monotonic() - self.progress_at))
            _, ready, _ = select.select([], [self.fd], [], min(left, _POLL))
            if ready:
                return
            self.note_progress()

    def reply(self, expected: str, timeout: Optional[float]) -> bool:
        """Reads up to the reply to the last command that asks for one: True
        when it came, False when the output ended first. TimeoutError after
        `timeout` seconds, or by the rule above when it is None."""
        started = time.monotonic()
        while True:
            now = time.monotonic()
            deadline = started + timeout if timeout is not None else self.deadline(started)
            left = deadline - now
            if left <= 0:
                raise TimeoutError("no %s within %.3g s%s" % (
                    expected, now - started,
                    "" if timeout is not None else
                    " (%d commands unanswered, nothing taken in for %.3g s)"
                    % (self.unanswered, now - self.progress_at)))
            try:
                line = self.lines.get(timeout=min(left, _POLL))
            except queue.Empty:
                if timeout is None:
                    self.note_progress()
                continue
            if line is None:
                return False
            if line in ("PONG", "RESET_OK", "RESET_KEYS_OK") and self.owed:
                # Replies come in order; one owed from a wait that gave up
                # earlier is not this command's.
                self.owed -= 1
                self.progress_at = time.monotonic()
                if self.owed == 0 and line == expected:
                    self.unanswered = 0
                    return True

    # -- ending -------------------------------------------------------------
    def close_input(self) -> None:
        try:
            assert self.proc.stdin is not None
            self.proc.stdin.close()
        except OSError:
            pass

    def end(self, grace: float) -> None:
        """Ends the program, gentlest first: end of input (it releases
        everything and exits), after `grace` seconds SIGTERM (it releases and
        exits), after TERM_WAIT more SIGKILL. Windows has no SIGTERM: there
        the second step is the last."""
        self.close_input()
        try:
            self.proc.wait(timeout=grace)
            return
        except subprocess.TimeoutExpired:
            pass
        if os.name != "nt":
            try:
                self.proc.send_signal(signal.SIGTERM)
                self.proc.wait(timeout=TERM_WAIT)
                return
            except subprocess.TimeoutExpired:
                pass
        self.proc.kill()
        self.proc.wait()
