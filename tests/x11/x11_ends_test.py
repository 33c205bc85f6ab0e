#!/usr/bin/env python3
"""Ends braskelot_x11_input in every way at several moments of a run and
checks that it leaves nothing behind on the X server.

Another client (our observer) stays connected throughout, as on a desktop: an
Xvfb with no client left resets itself and would hide what a program leaves.
Each row of the table below starts the program in a process group of its own,
brings it to a moment, ends it, and then requires: no key down (XQueryKeymap),
the keymap exactly as before (xmodmap -pke), the program and its watchdog gone
by themselves, and a new program typing a non-ASCII text exactly (read back by
the observer's window). A display whose empty keycodes a foreign program has
all bound must still get every character typed.

Prints the matrix of what each end left (keys down, keycodes changed) after
it, before any new program started.

Exit codes: 0 all passed, 1 a check failed, 77 skipped (a tool missing; with
CI=true a missing tool fails instead).
"""

import argparse
import ctypes
import ctypes.util
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "drivers"))
from common import READY_LINE, WAIT, Observer, Piped, missing_tools, next_line, run_on_xvfb, \
    skip_or_fail  # noqa: E402
from x11_cases import NON_ASCII_200, typed  # noqa: E402

# A text typed after each end: Cyrillic, CJK, Latin-1 and Latin Extended,
# characters the US keymap has nowhere, so each needs a spare keycode.
CHECK_TEXT = "Жёлтый €ñ ß 中文 ŵ"
# More distinct characters than there are spare keycodes on a plain Xvfb (19).
FOREIGN_TEXT = "".join(chr(c) for c in range(0x3b1, 0x3c9)) + "Привет мир"
# How long the watchdog may take after the program has gone: it waits for the
# server to notice, then needs a few round trips.
CLEAN_WITHIN = 10.0
# A catchable signal must end the run this fast, even mid-way through a text
# that takes many seconds to type.
SIGNAL_ENDS_WITHIN = 3.0
PACED = "".join(line + "\n" for line in typed(NON_ASCII_200 * 3)) + "PING\n"
HOLD = "KEY_DOWN 16 0\nKEY_DOWN 0 0 1103\nDOWN 10 10 2\nPING\n"

# The moments: what is sent, how the observer's window answers pings, whether
# to wait for the PONG, and how long to let it run before the end.
MOMENTS = {
    "holding Shift, a Unicode key and a button": (HOLD, "answer", True, 0.0),
    "mid-way through a text paced for a reader without the ping": (PACED, "none", False, 1.5),
    "waiting on a hung reader's ping": (PACED, "ignore", False, 1.5),
}

# The ends: (name, how, signal, who undoes what is left).
#   how: "line" QUIT, "close" end of input, "pid" the signal to the program,
#   "group" to its whole process group (as Ctrl+C or a closed terminal does);
#   "stopped": a program that cannot act on Ctrl+C and a hang-up to the group
#   (stopped meanwhile), then killed: the watchdog must have lived through them
ENDS = [
    ("QUIT", "line", None, "program"),
    ("end of input", "close", None, "program"),
    ("SIGTERM", "pid", signal.SIGTERM, "program"),
    ("SIGINT to the group", "group", signal.SIGINT, "program"),
    ("SIGHUP to the group", "group", signal.SIGHUP, "program"),
    ("SIGKILL", "pid", signal.SIGKILL, "watchdog"),
    ("SIGINT, SIGHUP, SIGKILL", "stopped", signal.SIGKILL, "watchdog"),
    ("SIGKILL to the group", "group", signal.SIGKILL, "next program"),
]
# QUIT and the end of input come after the paced text: they finish it first.
ROWS = [(moment, end) for moment in MOMENTS for end in ENDS
        if end[1] in ("pid", "group") or moment.startswith("holding")]


class XkbState(ctypes.Structure):
    """XkbStateRec, up to what is read of it."""
    _fields_ = [("group", ctypes.c_ubyte), ("locked_group", ctypes.c_ubyte), ("base_group", ctypes.c_ushort),
                ("latched_group", ctypes.c_ushort), ("mods", ctypes.c_ubyte * 9), ("ptr_buttons", ctypes.c_ushort)]


class OtherClient:
    """A client connected throughout, as a desktop always has one, without a
    window (an observer's window would fight the reader's for the focus); it
    also reads which keys are down."""

    def __init__(self, display):
        self.xlib = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.xlib.XOpenDisplay.restype = ctypes.c_void_p
        self.xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.xlib.XQueryKeymap.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
        self.xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xlib.XkbGetState.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_void_p]
        self.xlib.XDefaultRootWindow.restype = ctypes.c_ulong
        self.xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        window, number = ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int)
        self.xlib.XQueryPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong, window, window, number, number, number,
                                            number, ctypes.POINTER(ctypes.c_uint)]
        self.display = self.xlib.XOpenDisplay(display.encode())
        if not self.display:
            raise OSError(f"cannot open {display}")

    def keys_down(self):
        keys = ctypes.create_string_buffer(32)
        self.xlib.XQueryKeymap(self.display, keys)
        return [k for k in range(256) if keys.raw[k // 8] >> (k % 8) & 1]

    def buttons_down(self):
        windows, numbers, mask = [ctypes.c_ulong() for _ in range(2)], [ctypes.c_int() for _ in range(4)], ctypes.c_uint()
        self.xlib.XQueryPointer(self.display, self.xlib.XDefaultRootWindow(self.display),
                                *[ctypes.byref(v) for v in windows + numbers], ctypes.byref(mask))
        return [b for b in range(1, 6) if mask.value & (0x80 << b)]  # Button1Mask is 1 << 8

    def locked_group(self):
        state = XkbState()
        self.xlib.XkbGetState(self.display, 0x100, ctypes.byref(state))  # XkbUseCoreKbd
        return state.locked_group

    def close(self):
        self.xlib.XCloseDisplay(self.display)


def keymap(display):
    """keycode -> the rest of its xmodmap -pke line."""
    out = subprocess.run(["xmodmap", "-display", display, "-pke"], capture_output=True, text=True, timeout=WAIT,
                         check=True).stdout
    rows = {}
    for line in out.splitlines():
        head, _, rest = line.partition("=")
        rows[int(head.split()[1])] = rest.strip()
    return rows


def changed(before, now):
    return sorted(k for k in before if before[k] != now.get(k))


def code_points(text):
    return [f"{ord(c):x}" for c in text]


def group_gone(pgid):
    try:
        os.killpg(pgid, 0)
        return False
    except ProcessLookupError:
        return True
    except PermissionError:
        return False


def others_in_group(pgid, pid):
    """The processes of the group but pid: the program's watchdog."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == pid:
            continue
        try:
            with open(f"/proc/{entry}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[2]) == pgid:
            found.append(int(entry))
    return found


def wait_for(condition, within):
    deadline = time.monotonic() + within
    while True:
        if condition():
            return True
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)


class Run:
    """The program in a process group of its own."""

    def __init__(self, program, env):
        self.piped = Piped([program], env, start_new_session=True)
        self.pid = self.piped.process.pid

    def ready(self):
        return next_line(self.piped.lines, "ready line") == READY_LINE


def type_exactly(report, name, args, env, text):
    """A new program types text into a fresh observer window; both checks of it."""
    observer = Observer([args.observer], env)
    try:
        observer.mark()
        observer.ask("TEXT", "TEXT")
        observer.ask("WTEXT", "WTEXT")
        run = Run(args.program, env)
        report.check(f"{name}: new program ready", run.ready())
        run.piped.send("".join(line + "\n" for line in typed(text)) + "PING\n")
        next_line(run.piped.lines, "PONG of the new program")
        observer.mark()
        report.compare(f"{name}: new program's text received", code_points(text), observer.ask("TEXT", "TEXT"))
        report.compare(f"{name}: new program's text read by the window", code_points(text),
                       observer.ask("WTEXT", "WTEXT"))
        code, _, errors = run.piped.finish(close=True)
        report.check(f"{name}: new program exits 0, nothing on stderr", code == 0 and errors == b"",
                     f"{code} {errors!r}")
    finally:
        observer.close()


def end_run(run, how, number):
    if how == "line":
        run.piped.send("QUIT\n")
    elif how == "close":
        run.piped.process.stdin.close()
    elif how == "pid":
        os.kill(run.pid, number)
    elif how == "stopped":
        os.kill(run.pid, signal.SIGSTOP)
        os.killpg(run.pid, signal.SIGINT)
        os.killpg(run.pid, signal.SIGHUP)
        time.sleep(0.2)
        os.kill(run.pid, number)
    else:
        os.killpg(run.pid, number)


def run_row(report, args, display, watcher, before, matrix, moment, end):
    name = f"{end[0]}, {moment}"
    text, pings, wait_pong, linger = MOMENTS[moment]
    end_name, how, number, undoer = end
    env = dict(os.environ, DISPLAY=display, BRASKELOT_OBSERVER_PINGS=pings)
    reader = Observer([args.observer], env)  # the focused window the text goes to
    try:
        run = Run(args.program, env)
        report.check(f"{name}: ready line", run.ready())
        run.piped.send(text)
        if wait_pong:
            next_line(run.piped.lines, "PONG")
        time.sleep(linger)
        # Where the program must undo all itself, its watchdog is stopped
        # meanwhile, so that what it would do cannot stand in for the program.
        stopped = others_in_group(run.pid, run.pid) if undoer == "program" else []
        for pid in stopped:
            os.kill(pid, signal.SIGSTOP)
        ended_at = time.monotonic()
        end_run(run, how, number)
        code, _, errors = run.piped.finish(close=how in ("line", "close"))
        took = time.monotonic() - ended_at
        left_at_exit = (watcher.keys_down(), watcher.buttons_down(), changed(before, keymap(display)))
        for pid in stopped:
            os.kill(pid, signal.SIGCONT)
    finally:
        reader.close()
    if number is None:
        report.check(f"{name}: exit code 0", code == 0, f"exit code {code}")
    else:
        report.check(f"{name}: killed by {number.name}", code == -number, f"exit code {code}")
        # Its standard output closes with it: nothing else (the watchdog) holds it.
        report.check(f"{name}: ends, its output closed, within {SIGNAL_ENDS_WITHIN:.0f} s",
                     took < SIGNAL_ENDS_WITHIN, f"{took:.1f} s")
    report.check(f"{name}: nothing on stderr", errors == b"", f"{errors!r}")
    if undoer == "program":
        report.compare(f"{name}: nothing down and the keymap as before as it exits", ([], [], []), left_at_exit)
        report.check(f"{name}: a watchdog was there to stop", len(stopped) == 1, f"{stopped}")
    report.check(f"{name}: program and watchdog gone by themselves", wait_for(lambda: group_gone(run.pid), 5.0))

    def clean():
        return watcher.keys_down() == [] and watcher.buttons_down() == [] and changed(before, keymap(display)) == []

    # The program undoes all before it exits, so there is nothing to wait for;
    # the watchdog needs a moment after it.
    if undoer == "watchdog":
        wait_for(clean, CLEAN_WITHIN)
    keys, bound = watcher.keys_down() + [f"B{b}" for b in watcher.buttons_down()], changed(before, keymap(display))
    matrix.append((end_name, moment, keys, bound))
    if undoer == "next program":
        starter = Run(args.program, dict(env, BRASKELOT_OBSERVER_PINGS="answer"))
        report.check(f"{name}: next program ready", starter.ready())
        wait_for(clean, CLEAN_WITHIN)
        starter.piped.finish(close=True)
    report.compare(f"{name}: no key down", [], watcher.keys_down())
    report.compare(f"{name}: no button down", [], watcher.buttons_down())
    report.compare(f"{name}: keymap as before (keycodes changed)", [], changed(before, keymap(display)))
    # A spare key's character in another group is typed with that group
    # locked for its press; an end between the two must put it back.
    if undoer != "next program":
        report.compare(f"{name}: the keyboard's locked group as before", [0], [watcher.locked_group()])
    type_exactly(report, name, args, dict(os.environ, DISPLAY=display), CHECK_TEXT)


def run_foreign(report, args, display, watcher):
    """Every empty keycode bound by someone else before the program starts."""
    before = keymap(display)
    empty = [k for k, row in before.items() if not row]
    report.check("foreign bindings: the server has empty keycodes to take", len(empty) > 0, "none")
    lines = [f"keycode {k} = U{0x2600 + i:04X}" for i, k in enumerate(empty)]
    subprocess.run(["xmodmap", "-display", display, "-"], input="\n".join(lines) + "\n", text=True, check=True,
                   timeout=WAIT)
    foreign = keymap(display)
    report.check("foreign bindings: no empty keycode left", all(row for row in foreign.values()), "")
    type_exactly(report, "foreign bindings", args, dict(os.environ, DISPLAY=display), FOREIGN_TEXT)
    report.compare("foreign bindings: keymap as the foreign program left it", [], changed(foreign, keymap(display)))
    report.compare("foreign bindings: no key down", [], watcher.keys_down())
    subprocess.run(["xmodmap", "-display", display, "-"], input="".join(f"keycode {k} =\n" for k in empty),
                   text=True, check=True, timeout=WAIT)


def print_matrix(matrix):
    print("note: what each end left on the server before any new program started")
    print(f"note: {'end':22} {'moment':60} keys and buttons down  keycodes changed")
    for end, moment, keys, bound in matrix:
        print(f"note: {end:22} {moment:60} {len(keys):21} {' '.join(map(str, keys)):8}  {len(bound)} {' '.join(map(str, bound))}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True, help="braskelot_x11_input")
    parser.add_argument("--observer", required=True, help="braskelot_x11_observer")
    args = parser.parse_args()
    code = skip_or_fail(missing_tools(["Xvfb", "xmodmap"], [args.program, args.observer]))
    if code is not None:
        return code

    def body(report, display):
        watcher = OtherClient(display)
        matrix = []
        try:
            before = keymap(display)
            for moment, end in ROWS:
                run_row(report, args, display, watcher, before, matrix, moment, end)
            run_foreign(report, args, display, watcher)
        finally:
            watcher.close()
            print_matrix(matrix)

    return run_on_xvfb("x11-ends", body)


if __name__ == "__main__":
    sys.exit(main())
