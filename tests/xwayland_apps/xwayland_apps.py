"""The X applications of tests/x11_apps on the Xwayland of a headless sway:
run as the compositor's user on its $DISPLAY, their windows managed by sway
(focus through its IPC, by X window id), the X server read back as the x11-apps
test reads Xvfb."""

import ctypes
import os
import subprocess
import sys
import time

import apps  # tests/x11_apps, put on the path by the driver
import x11_state
from apps import ANSWER_TIMEOUT
from common import SetupError

QT_KEYMAP_FAILURE = b"failed to compile a keymap"


def xwayland_pids():
    done = subprocess.run(["pgrep", "-x", "Xwayland"], capture_output=True, text=True, timeout=ANSWER_TIMEOUT)
    return set(done.stdout.split())


class Seat(x11_state.Server):
    """The Xwayland's state (keys down, X focus) through our own X
    connection; the focus is given by sway, which manages the windows."""

    def __init__(self, display, sway_seat, runtime):
        super().__init__(display)
        # Xlib ends the process when the server goes; the line says why.
        self.lost = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p)(self.connection_lost)
        self.x.XSetIOErrorHandler.argtypes = [ctypes.c_void_p]
        self.x.XSetIOErrorHandler(ctypes.cast(self.lost, ctypes.c_void_p))
        self.display_name, self.sway, self.runtime = display, sway_seat, runtime
        self.on_lost = []  # what ends the run's processes
        self.pids = xwayland_pids()

    def connection_lost(self, _display):
        """Xlib's handler may not return: the application and the compositor
        are ended here, then the process."""
        print("FAIL xwayland-apps: the connection to Xwayland broke: Xwayland died", flush=True)
        for stop in self.on_lost:
            try:
                stop()
            except (OSError, ValueError):
                pass
        sys.stdout.flush()
        os._exit(1)

    def keys_down(self):
        """The keys Xwayland holds down once it has caught up: it takes the
        releases sway forwards on its own Wayland connection, which our X
        query can overtake, so a key still down is asked again for a second."""
        deadline = time.monotonic() + 1.0
        down = super().keys_down()
        while down and time.monotonic() < deadline:
            time.sleep(0.02)
            down = super().keys_down()
        return down

    def set_focus(self, window):
        chain = self.ancestors(window)
        self.sway.swaymsg(f"[id={chain[-1] if chain else window}] focus")

    def xwayland_alive(self):
        """Xwayland is the process it was (sway starts another after a crash)."""
        return xwayland_pids() == self.pids

    def keymap_problems(self):
        """xkbcomp reads the keymap Xwayland compiled from ours and compiles it
        again, as X clients that fetch it do."""
        dumped = os.path.join(self.runtime.dir, "xwayland.xkb")
        steps = [["xkbcomp", "-w", "0", "-xkb", self.display_name, dumped],
                 ["xkbcomp", "-w", "0", dumped, dumped + ".xkm"]]
        for argv in steps:
            done = subprocess.run(argv, capture_output=True, text=True, timeout=ANSWER_TIMEOUT)
            if done.returncode != 0:
                return [f"{' '.join(argv[:4])} failed: {done.stderr.strip()[-300:]}"]
        return []


class Clean:
    """What every run must leave: no key down, Xwayland alive, its keymap
    compiling, and no keymap failure in Qt's log."""

    what = "no key down, Xwayland alive, its keymap compiles"
    while_running = True  # Xwayland's keys are read while the program's keyboard is there

    def __init__(self, seat):
        self.seat = seat
        self.app = None

    def problems(self, down_after_sync):
        found = []
        if down_after_sync:
            found.append(f"keycodes down after sync(): {down_after_sync}")
        if not self.seat.xwayland_alive():
            found.append("Xwayland died")
            self.seat.pids = xwayland_pids()
            return found
        found += self.seat.keymap_problems()
        if self.app is not None and self.app.name == "qt" and QT_KEYMAP_FAILURE in self.app.log_bytes():
            found.append("Qt's xcb: " + QT_KEYMAP_FAILURE.decode())
        return found


class AsUser:
    """Runs the application as the compositor's user, in the private runtime
    folder, the scripts from their copies there."""

    def popen(self, argv, **streams):
        runtime = self.server.runtime
        return subprocess.Popen(argv, env=self.env, cwd=runtime.dir, start_new_session=True,
                                **runtime.account.popen_args(), **streams)

    def log_bytes(self):
        self.log.flush()
        with open(self.log.name, "rb") as log:
            return log.read()

    def start(self):
        self.server.on_lost.insert(0, lambda: apps.end_group(self.process))
        super().start()
        self.server.clean.app = self
        if self.name == "qt" and QT_KEYMAP_FAILURE in self.log_bytes():
            raise SetupError("qt: " + QT_KEYMAP_FAILURE.decode())


class Gtk(AsUser, apps.Gtk):
    def argv(self):
        return [apps.PYTHON, self.server.runtime.programs["gtk_text.py"]]


class Qt(AsUser, apps.Qt):
    def argv(self):
        return [apps.PYTHON, self.server.runtime.programs["qt_text.py"]]


class Xterm(AsUser, apps.Xterm):
    def start(self):
        # cat writes it as the compositor's user; reopening keeps the owner.
        output = os.path.join(self.folder, "xterm.txt")
        open(output, "wb").close()
        self.server.runtime.account.own(output)
        super().start()


class Chromium(AsUser, apps.Chromium):
    FLAGS = [flag for flag in apps.Chromium.FLAGS if not flag.startswith("--window-position")]


APPS = {app.name: app for app in (Xterm, Gtk, Qt, Chromium)}
