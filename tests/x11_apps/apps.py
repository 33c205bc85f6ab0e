"""The applications typed into, each started once and asked what it holds:
Chromium (a textarea reporting to a local HTTP server), GTK 3 (a TextView),
Qt 5 (a QPlainTextEdit), Tk (a text widget) and xterm (cat into a file).

Every one runs in a process group of its own, ended by that group's id."""

import http.server
import json
import os
import queue
import shutil
import signal
import subprocess
import threading
import time

from common import SetupError, line_reader  # noqa: E402  (tests/drivers, put on the path by the driver)

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = os.environ.get("BRASKELOT_APP_PYTHON", "/usr/bin/python3")  # the one with Debian's gi and PyQt5
START_TIMEOUT = 60  # seconds; Chromium on a busy 2-core machine needs about 10
ANSWER_TIMEOUT = 10


def end_group(process, timeout=5):
    """Ends the process and everything it started (its own process group)."""
    if process is None or process.poll() is not None:
        return
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            return
        try:
            process.wait(timeout=timeout)
            return
        except subprocess.TimeoutExpired:
            continue


def wait_for(what, check, timeout=START_TIMEOUT, process=None):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        if process is not None and process.poll() is not None:
            raise SetupError(f"{what}: the application ended (exit code {process.returncode})")
        time.sleep(0.05)
    raise SetupError(f"no {what} within {timeout} s")


class App:
    name = ""
    terminator = ""  # typed after each text (a terminal hands a line over at its end)

    def __init__(self, env, folder, server):
        self.env, self.folder, self.server = env, folder, server
        self.process = None
        self.window = None
        self.log = open(os.path.join(folder, f"{self.name}.log"), "wb")

    @classmethod
    def missing(cls):
        """What this application needs and the machine lacks (tool names)."""
        return []

    def focused(self):
        """Whether the X focus is in the application's window and the
        application itself sees its text field focused."""
        return self.server.focus_in(self.window)

    def focus(self):
        """Gives the window the focus again when it lost it; True when it has it."""
        if not self.server.focus_in(self.window):
            self.server.set_focus(self.window)
        try:
            wait_for("focus", self.focused, timeout=5, process=self.process)
            return True
        except SetupError:
            return False

    def popen(self, argv, **streams):
        """The application's process, in a process group of its own."""
        return subprocess.Popen(argv, env=self.env, start_new_session=True, **streams)

    def log_tail(self):
        self.log.flush()
        with open(self.log.name, "rb") as log:
            return log.read()[-600:].decode(errors="replace").strip()

    def stop(self):
        end_group(self.process)
        self.log.close()


class StdioApp(App):
    """One of our scripts: READY <xid> once focused, GET / CLEAR / FOCUS / QUIT."""

    def argv(self):
        raise NotImplementedError

    def start(self):
        self.process = self.popen(self.argv(), stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.log)
        self.lines = queue.Queue()
        threading.Thread(target=line_reader, args=(self.process.stdout, self.lines), daemon=True).start()
        words = self.answer(None, "READY", START_TIMEOUT)
        self.window = int(words[0], 0)

    def answer(self, command, prefix, timeout=ANSWER_TIMEOUT):
        """The words after prefix on the answer line; SetupError after timeout."""
        if command is not None:
            self.process.stdin.write(command.encode() + b"\n")
            self.process.stdin.flush()
        deadline = time.monotonic() + timeout
        while True:
            try:
                line = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                raise SetupError(f"{self.name}: no {prefix} within {timeout} s") from None
            if line is None:
                raise SetupError(f"{self.name}: ended while waiting for {prefix}: {self.log_tail()}")
            words = line.decode().rstrip("\n").split(" ", 1)
            if words[0] == prefix:
                if prefix == "TEXT":
                    return words[1:]
                return words[1].split() if len(words) > 1 else []

    def focused(self):
        return super().focused() and self.answer("FOCUS", "FOCUS") == ["1"]

    def clear(self):
        self.answer("CLEAR", "CLEARED")

    def read(self, timeout=ANSWER_TIMEOUT):
        return self.parse(self.answer("GET", "TEXT", timeout))

    @staticmethod
    def parse(words):
        return json.loads(words[0]) if words else ""

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            try:
                self.process.stdin.write(b"QUIT\n")
                self.process.stdin.flush()
                self.process.wait(timeout=5)
            except (OSError, subprocess.TimeoutExpired):
                pass
        super().stop()


class Gtk(StdioApp):
    name = "gtk"

    @classmethod
    def missing(cls):
        return _python_lacks(["import gi; gi.require_version('Gtk', '3.0'); gi.require_version('GdkX11', '3.0')"],
                             "python3-gi and gir1.2-gtk-3.0")

    def argv(self):
        return [PYTHON, os.path.join(HERE, "gtk_text.py")]


class Qt(StdioApp):
    name = "qt"

    @classmethod
    def missing(cls):
        return _python_lacks(["import PyQt5.QtWidgets"], "python3-pyqt5")

    def argv(self):
        return [PYTHON, os.path.join(HERE, "qt_text.py")]


class Tk(StdioApp):
    name = "tk"

    @classmethod
    def missing(cls):
        return [] if _which("wish") else ["wish (tk8.6)"]

    def argv(self):
        return ["wish", os.path.join(HERE, "tk_text.tcl")]

    @staticmethod
    def parse(words):
        # Code points in hex; Tcl 8.6 keeps a character above U+FFFF as two
        # surrogates, read back here as the one character they stand for.
        units = "".join(chr(int(cp, 16)) for cp in (words[0].split() if words else []))
        return units.encode("utf-16-le", "surrogatepass").decode("utf-16-le", "replace")


class Xterm(App):
    """xterm with a UTF-8 locale running `cat > FILE`: the terminal's line
    discipline hands each line over at its Return, BackSpace erases a whole
    UTF-8 character (xterm sets iutf8)."""

    name = "xterm"
    terminator = "\n"

    @classmethod
    def missing(cls):
        return [] if _which("xterm") else ["xterm"]

    def start(self):
        self.output = os.path.join(self.folder, "xterm.txt")
        window_file = os.path.join(self.folder, "xterm.window")
        open(self.output, "wb").close()
        if os.path.exists(window_file):  # from an xterm started here before
            os.remove(window_file)
        script = f'echo "$WINDOWID" > {window_file}.new && mv {window_file}.new {window_file}; exec cat > {self.output}'
        self.process = self.popen(["xterm", "-xrm", "XTerm*utf8: 1", "-geometry", "100x30+0+0", "-e", "sh", "-c", script],
                                  stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)
        wait_for("xterm window", lambda: os.path.exists(window_file), process=self.process)
        with open(window_file) as f:
            self.window = int(f.read().strip())
        self.offset = 0
        self.server.set_focus(self.window)
        wait_for("xterm focus", self.focused, process=self.process)

    def clear(self):
        self.offset = os.path.getsize(self.output)

    def read(self, timeout=ANSWER_TIMEOUT):
        with open(self.output, "rb") as f:
            f.seek(self.offset)
            return f.read().decode("utf-8", "replace")


class Chromium(App):
    """Chromium in app mode on a page served by the test: a textarea that
    reports its value, its generation of clears and whether it has the focus."""

    name = "chromium"
    FLAGS = ["--no-sandbox", "--disable-gpu", "--no-first-run", "--no-default-browser-check",
             "--disable-background-networking", "--disable-component-update", "--disable-sync", "--disable-quic",
             "--disable-extensions", "--disable-breakpad", "--disable-crash-reporter", "--password-store=basic", "--ozone-platform=x11",
             "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
             "--window-position=0,0", "--window-size=900,600"]

    @classmethod
    def missing(cls):
        return [tool for tool in ("chromium", "xdotool") if not _which(tool)]

    def start(self):
        self.state = {"value": None, "generation": 0, "focused": False, "reports": 0}
        self.orders = {"clear": 0, "focus": False}
        self.changed = threading.Condition()
        page = self.page()
        app = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *_):
                pass

            def send(self, body, kind):
                self.send_response(200)
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                self.wfile.write(body)

            def do_GET(self):
                self.send(page, "text/html; charset=utf-8")

            def do_POST(self):
                report = json.loads(self.rfile.read(int(self.headers["Content-Length"])))
                self.send(app.posted(self.path, report), "application/json")

        self.http = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.http.serve_forever, daemon=True).start()
        url = f"http://127.0.0.1:{self.http.server_address[1]}/"
        profile = os.path.join(self.folder, "chromium-profile")
        self.process = self.popen(["chromium", *self.FLAGS, f"--user-data-dir={profile}", f"--app={url}"],
                                  stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)
        self.window = wait_for("Chromium window", self.find_window, process=self.process)
        wait_for("Chromium page report", lambda: self.state["reports"] > 0, process=self.process)
        if not self.focus():
            raise SetupError(f"chromium: the textarea did not get the focus: {self.log_tail()}")

    @staticmethod
    def page():
        with open(os.path.join(HERE, "page.html"), "rb") as f:
            return f.read()

    def posted(self, _path, report):
        """Takes in a report of the page; the orders to answer it with."""
        with self.changed:
            self.state.update(report)
            self.state["reports"] += 1
            orders = json.dumps(self.orders).encode()
            self.changed.notify_all()
        return orders

    def find_window(self):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "chromium"], env=self.env,
                               capture_output=True, text=True, timeout=ANSWER_TIMEOUT).stdout.split()
        return int(found[-1]) if found else None

    def fresh(self, timeout=ANSWER_TIMEOUT):
        """The page's state from a report sent after this call."""
        with self.changed:
            seen = self.state["reports"]
            if not self.changed.wait_for(lambda: self.state["reports"] > seen, timeout):
                raise SetupError(f"chromium: the page sent no report within {timeout} s")
            return dict(self.state)

    def focused(self):
        self.orders["focus"] = True
        return super().focused() and self.fresh()["focused"]

    def clear(self):
        self.orders["clear"] += 1
        wait_for("cleared textarea", lambda: (lambda s: s["generation"] == self.orders["clear"] and s["value"] == "")(
            self.fresh()), timeout=ANSWER_TIMEOUT, process=self.process)

    def read(self, timeout=ANSWER_TIMEOUT):
        return self.state["value"]

    def stop(self):
        super().stop()
        if getattr(self, "http", None) is not None:
            self.http.shutdown()
            self.http.server_close()


APPS = {app.name: app for app in (Chromium, Gtk, Qt, Xterm, Tk)}


def _which(tool):
    return shutil.which(tool) is not None


def _python_lacks(statements, package):
    if not os.path.exists(PYTHON):
        return [PYTHON]
    result = subprocess.run([PYTHON, "-c", "; ".join(statements)], capture_output=True, timeout=ANSWER_TIMEOUT)
    return [package] if result.returncode != 0 else []

