"""The Wayland side of the applications of tests/x11_apps: the same GTK 3, Qt 5
and Chromium windows on their Wayland backends, foot in place of xterm, run as
the compositor's user, and the seat they share (the focus through sway's IPC,
the keys down through our observer window)."""

import glob
import json
import os
import subprocess
import threading
import time

import apps  # tests/x11_apps, put on the path by the driver
import braskelot
from apps import ANSWER_TIMEOUT, wait_for
from common import Observer, Piped, SetupError, next_line

HERE = os.path.dirname(os.path.abspath(__file__))
QT_WAYLAND_PLUGIN = "/usr/lib/*/qt5/plugins/platforms/libqwayland-generic.so"


class Seat:
    """What the X11 test reads from the X server: who has the keyboard focus
    (sway's tree, by the client's process id) and which keys are down (the
    keys that come with the keyboard focus to a window of our observer)."""

    def __init__(self, runtime, sway, observer, env, program):
        self.runtime, self.observer, self.env, self.program = runtime, observer, env, program
        sockets = glob.glob(os.path.join(runtime.dir, f"sway-ipc.*.{sway.process.pid}.sock"))
        if not sockets:
            raise SetupError("sway has no IPC socket")
        self.socket = sockets[0]

    def swaymsg(self, *argv):
        done = subprocess.run(["swaymsg", "-s", self.socket, "-r", *argv], capture_output=True, text=True,
                              timeout=ANSWER_TIMEOUT)
        return json.loads(done.stdout) if done.stdout.strip() else None

    def views(self):
        found, nodes = [], [self.swaymsg("-t", "get_tree")]
        while nodes:
            node = nodes.pop()
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
            if node.get("pid"):
                found.append(node)
        return found

    def view(self, pid):
        return next((v for v in self.views() if v["pid"] == pid), None)

    def focus_in(self, pid):
        view = self.view(pid)
        return view is not None and view["focused"]

    def focus(self):
        return next((v["pid"] for v in self.views() if v["focused"]), 0)

    def set_focus(self, pid):
        self.swaymsg(f"[pid={pid}] focus")

    def origin(self, pid):
        """Where the window's content starts on the output."""
        view = self.view(pid)
        return view["rect"]["x"] + view["window_rect"]["x"], view["rect"]["y"] + view["window_rect"]["y"]

    def keys_down(self):
        """Keysyms of the keys down on the seat: a window of the observer is
        opened, takes the focus and with it the keys down, and is closed (sway
        gives the focus back to the window that had it)."""
        observer = LateObserver([self.observer], self.env, **self.runtime.account.popen_args())
        try:
            deadline = time.monotonic() + ANSWER_TIMEOUT
            lines = observer.early
            while not any(line.startswith("keyboard enter") for line in lines):
                if time.monotonic() > deadline:
                    raise SetupError("the observer's window did not get the keyboard focus")
                time.sleep(0.02)
                lines = observer.mark()
            return observer.ask("KEYS", "KEYS")
        finally:
            observer.close()


class LateObserver(Observer):
    """The observer started while a keyboard is there: the keymap and the
    focus may come before its ready line."""

    def __init__(self, argv, env, **popen):
        Piped.__init__(self, argv, env, stderr=subprocess.DEVNULL, **popen)
        self.marks = 0
        self.early = []
        while True:
            line = next_line(self.lines, "observer ready line").decode(errors="replace").strip()
            if line == "OBSERVER_READY":
                break
            self.early.append(line)


class Clean:
    """What every run must leave: no key down once the application held its text."""

    what = "no key down"
    while_running = True  # a program's keyboard goes away with it

    @staticmethod
    def problems(down_after_sync):
        return [f"keys down after sync(): {' '.join(down_after_sync)}"] if down_after_sync else []


class OnWayland:
    """Runs the application as the compositor's user, in the private runtime
    folder (the user may reach neither the checkout nor the folder the tests
    were started in); its window is known to sway by the process id."""

    def popen(self, argv, **streams):
        runtime = self.server.runtime
        return subprocess.Popen(argv, env=self.env, cwd=runtime.dir, start_new_session=True,
                                **runtime.account.popen_args(), **streams)

    def script(self, name):
        """The runtime folder's copy of one of the x11-apps scripts."""
        return self.server.runtime.programs[name]

    def focused(self):
        """The compositor's focus: with no keyboard on the seat between two
        programs no application counts itself focused (nor, in GTK, active);
        the next program's keyboard enters the window sway has focused."""
        return self.server.focus_in(self.window)

    def start(self):
        super().start()
        self.window = self.process.pid
        if not self.focus():
            raise SetupError(f"{self.name}: the window did not get the focus: {self.log_tail()}")


class Gtk(OnWayland, apps.Gtk):
    def start(self):
        # The editor says it is ready once its window is active, which on
        # Wayland takes a keyboard on the seat: a program is open while it
        # starts, and only then.
        with braskelot.start(self.server.program):
            super().start()

    def argv(self):
        return [apps.PYTHON, self.script("gtk_text.py")]

    @classmethod
    def missing(cls):
        return apps._python_lacks(["import gi; gi.require_version('Gtk', '3.0')"], "python3-gi and gir1.2-gtk-3.0")


class Qt(OnWayland, apps.Qt):
    def argv(self):
        return [apps.PYTHON, self.script("qt_text.py")]

    @classmethod
    def missing(cls):
        return super().missing() + ([] if glob.glob(QT_WAYLAND_PLUGIN) else ["qtwayland5"])


class Foot(OnWayland, apps.Xterm):
    """foot running `cat > FILE`, read as the xterm is (the terminal's line
    discipline hands each line over at its Return; iutf8 makes BackSpace
    erase a whole UTF-8 character)."""

    name = "foot"

    @classmethod
    def missing(cls):
        return [] if apps._which("foot") else ["foot"]

    def start(self):
        self.output = os.path.join(self.folder, "foot.txt")
        open(self.output, "wb").close()
        self.server.runtime.account.own(self.output)
        self.process = self.popen(["foot", "sh", "-c", f"stty iutf8; exec cat > {self.output}"],
                                  stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)
        self.window = self.process.pid
        self.offset = 0
        wait_for("foot focus", self.focused, process=self.process)


class Chromium(OnWayland, apps.Chromium):
    """Chromium on its Wayland backend, on the page of tests/x11_apps with a
    recorder of the mouse (mouse.js)."""

    FLAGS = [flag for flag in apps.Chromium.FLAGS if not flag.startswith(("--ozone-platform", "--window-position"))] \
        + ["--ozone-platform=wayland"]

    @classmethod
    def missing(cls):
        return [] if apps._which("chromium") else ["chromium"]

    def focused(self):
        self.orders["focus"] = True  # the page focuses its textarea
        return OnWayland.focused(self)

    def start(self):
        self.mouse = []
        self.mouse_arrived = threading.Condition()
        apps.Chromium.start(self)

    def page(self):
        with open(os.path.join(HERE, "mouse.js"), "rb") as f:
            return super().page() + b"<script>\n" + f.read() + b"</script>\n"

    def posted(self, path, report):
        if path != "/mouse":
            return super().posted(path, report)
        with self.mouse_arrived:
            self.mouse += report["events"]
            self.mouse_arrived.notify_all()
        return b"{}"

    def find_window(self):
        """The view of a process of Chromium's group (the browser process)."""
        for view in self.server.views():
            try:
                if os.getpgid(view["pid"]) == self.process.pid:
                    return view["pid"]
            except ProcessLookupError:
                continue
        return None

    def mouse_events(self, count, timeout=ANSWER_TIMEOUT):
        """The mouse events the page recorded, once there are count of them (or
        after the timeout), and then no more."""
        with self.mouse_arrived:
            self.mouse_arrived.wait_for(lambda: len(self.mouse) >= count, timeout)
        time.sleep(0.2)  # any event beyond those expected
        with self.mouse_arrived:
            events, self.mouse = self.mouse, []
        return events


APPS = {app.name: app for app in (Chromium, Gtk, Qt, Foot)}
