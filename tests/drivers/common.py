"""What the drivers that run a real program beside an observer share: the
report, line readers with time-outs, a private Xvfb and the frame of a run on
it, a private Wine prefix, an observer session with markers, the skip-or-fail
rule for missing tools, and the dry-run trace."""

import os
import queue
import select
import shutil
import signal
import subprocess
import sys
import threading
import time

SKIP = 77
READY_LINE = b"BRASKELOT_WIN_INPUT_READY\r\n"
WAIT = 20  # seconds for any single answer; a healthy run needs milliseconds


class SetupError(Exception):
    pass


class Report:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print(f"PASS {name}")
        else:
            self.failed += 1
            print(f"FAIL {name}: {detail}")
        sys.stdout.flush()
        return ok

    def compare(self, name, expected, seen):
        return self.check(name, list(expected) == list(seen),
                          f"expected [{' '.join(map(str, expected))}]\n     saw      [{' '.join(map(str, seen))}]")

    def close(self, label):
        """The closing line; the exit code of the driver."""
        print(f"{label}: {self.passed} passed, {self.failed} failed")
        return 1 if self.failed else 0


def skip_or_fail(missing):
    """None when nothing is missing; else the exit code after one line:
    a skip locally, a failure under CI=true."""
    if not missing:
        return None
    reason = "missing " + ", ".join(missing)
    if os.environ.get("CI") == "true":
        print(f"FAIL: {reason} (CI=true, so this is no skip)")
        return 1
    print(f"SKIP: {reason}")
    return SKIP


def missing_tools(tools, paths=()):
    return [tool for tool in tools if shutil.which(tool) is None] + [p for p in paths if not os.path.exists(p)]


def line_reader(stream, lines):
    for line in iter(stream.readline, b""):
        lines.put(line)
    lines.put(None)


def next_line(lines, what, timeout=WAIT):
    """The next line; SetupError on a time-out or the end of the stream."""
    try:
        line = lines.get(timeout=timeout)
    except queue.Empty:
        raise SetupError(f"no {what} within {timeout} s") from None
    if line is None:
        raise SetupError(f"output ended while waiting for {what}")
    return line


class Piped:
    """A child with pipes on all three streams and its stdout read line by line."""

    def __init__(self, argv, env, stderr=subprocess.PIPE, **popen):
        self.process = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=stderr, env=env,
                                        **popen)
        self.lines = queue.Queue()
        threading.Thread(target=line_reader, args=(self.process.stdout, self.lines), daemon=True).start()

    def send(self, text):
        self.process.stdin.write(text.encode())
        self.process.stdin.flush()

    def finish(self, close=True, timeout=WAIT):
        """Closes the input if asked, waits for the exit; (exit code, unread stdout, stderr)."""
        if close and not self.process.stdin.closed:
            self.process.stdin.close()
        try:
            code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            code = "none (killed after timeout)"
        if not self.process.stdin.closed:
            try:
                self.process.stdin.close()
            except OSError:
                pass
        rest = b""
        while True:
            line = next_line_or_end(self.lines)
            if line is None:
                errors = self.process.stderr.read() if self.process.stderr else b""
                return code, rest, errors
            rest += line

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def next_line_or_end(lines):
    try:
        return lines.get(timeout=WAIT)
    except queue.Empty:
        raise SetupError("standard output stayed open after the exit") from None


class Observer(Piped):
    """An observer with LF-ended lines: markers and answers to questions."""

    def __init__(self, argv, env, ready_timeout=WAIT, **popen):
        super().__init__(argv, env, stderr=subprocess.DEVNULL, **popen)
        self.marks = 0
        first = next_line(self.lines, "observer ready line", timeout=ready_timeout)
        if first != b"OBSERVER_READY\n":
            raise SetupError(f"observer said {first!r}")

    def command(self, text):
        self.send(text + "\n")

    def mark(self):
        """Every line the observer printed before this marker's answer."""
        self.marks += 1
        marker = f"MARK {self.marks}\n".encode()
        self.command(f"MARK {self.marks}")
        seen = []
        while True:
            line = next_line(self.lines, "observer marker")
            if line == marker:
                return seen
            seen.append(line.decode(errors="replace").strip())

    def ask(self, command, prefix):
        """The fields of the answer line that starts with prefix."""
        self.command(command)
        while True:
            line = next_line(self.lines, f"observer answer to {command}").decode(errors="replace").split()
            if line and line[0] == prefix:
                return line[1:]

    def close(self):
        try:
            self.process.stdin.close()
            self.process.wait(timeout=WAIT)
        except (OSError, subprocess.TimeoutExpired):
            self.kill()


def start_xvfb(screen="1024x768x24", extra=()):
    """A private X server on a free display; (process, ":N"). extra: more
    server arguments (e.g. "-extension", "XTEST" to turn an extension off)."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen, "-nolisten", "tcp", *extra],
                            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + WAIT
    while not number.endswith(b"\n"):
        ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
        chunk = os.read(read_end, 16) if ready else b""
        if not chunk:
            xvfb.kill()
            xvfb.wait()
            os.close(read_end)
            raise SetupError("Xvfb did not report a display")
        number += chunk
    os.close(read_end)
    return xvfb, ":" + number.decode().strip()


def stop(process):
    if process is not None and process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def run_on_xvfb(label, body, screen="1024x768x24"):
    """The frame of a driver: body(report, display) on a private Xvfb; a setup
    error is one failed "environment" check; returns the exit code after the
    closing line. A CTest time-out sends SIGTERM: it leaves through the
    finally blocks (body's and this one, which stops Xvfb)."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    started = time.monotonic()
    report = Report()
    xvfb = None
    try:
        xvfb, display = start_xvfb(screen)
        body(report, display)
    except (SetupError, subprocess.SubprocessError, OSError) as error:
        report.check("environment", False, str(error))
    finally:
        stop(xvfb)
    print(f"note: took {time.monotonic() - started:.1f} s")
    return report.close(label)


class WinePrefix:
    """A private Wine prefix (the folder prefix) on a private Xvfb, booted in the
    background; ready() waits for the boot and gives the environment."""

    def __init__(self, prefix, display):
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEARCH="win64", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=display)
        self.error = None
        self.thread = threading.Thread(target=self.boot, daemon=True)
        self.thread.start()

    def boot(self):
        try:
            started = time.monotonic()
            subprocess.run(["wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=300, check=True)
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=300)
            # A fresh persistent server: without it the first program often stalled for seconds.
            subprocess.run(["wineserver", "-p"], env=self.env, timeout=WAIT)
            print(f"note: Wine prefix booted in {time.monotonic() - started:.1f} s")
        except (subprocess.SubprocessError, OSError) as error:
            self.error = f"wineboot: {error}"

    def ready(self):
        self.thread.join()
        if self.error:
            raise SetupError(self.error)
        return self.env

    def close(self):
        self.thread.join()
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=WAIT)


def dry_run(trace_exe, text):
    """The dry-run trace of a whole input, cut into pieces at each PONG."""
    result = subprocess.run([trace_exe], input=text.encode(), capture_output=True, timeout=WAIT)
    pieces = [[]]
    for line in result.stderr.decode().splitlines():
        if line == "reply PONG":
            pieces.append([])
        else:
            pieces[-1].append(line)
    return pieces
