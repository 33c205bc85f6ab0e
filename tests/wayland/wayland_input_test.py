#!/usr/bin/env python3
"""Runs braskelot_wayland_input on a private headless sway and checks what a
client receives.

Our Wayland event observer (braskelot_wayland_observer) is a window that has
the keyboard focus and covers the output; it prints every keyboard and pointer
event it gets, keys read through the keymap it holds. Each case sends its
command lines and PING to the program, waits for the PONG (which follows the
program's round trip), asks the observer for a marker (which follows its own),
and compares the events between two markers with:
  - the events the case must produce (wayland_cases.py), and
  - the records the dry-run program (braskelot_trace) lists for the same
    input, read as the events a client gets for them.
Typed text is checked as the characters the window read.

sway will not run as root: as root the test runs sway, the observer and the
program as an unprivileged user it creates if missing.

Exit codes: 0 all passed, 1 a check failed, 77 skipped (a tool missing; with
CI=true a missing tool fails instead).
"""

import argparse
import glob
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "drivers"))
from common import READY_LINE, WAIT, Observer, Piped, Report, SetupError, dry_run, missing_tools, \
    next_line, skip_or_fail, stop  # noqa: E402
import trace_tokens  # noqa: E402
from trace_tokens import LINE_FIELDS, press_gaps  # noqa: E402
from wayland_cases import AFTER_KILL_TEXT, CLICK_GAP_MS, ENDINGS, KILL_MOMENTS, KILL_SIGNALS, MODIFIERS, SESSION, \
    VK_KEYSYMS  # noqa: E402

SCREEN = (1024, 768)
USER = "braskelot-wayland"
MISSING_DISPLAY = "wayland-braskelot-missing"
BUTTONS = {"272": "B1", "274": "B2", "273": "B3"}
SWAY_CONFIG = """default_border none
default_floating_border none
gaps inner 0
gaps outer 0
xwayland disable
focus_follows_mouse no
output * resolution {w}x{h} position 0 0
""".format(w=SCREEN[0], h=SCREEN[1])


class Account:
    """Who runs the compositor and its clients: an unprivileged user when we are
    root (created if missing), else ourselves."""

    def __init__(self):
        self.user = None
        if os.geteuid() == 0:
            try:
                pwd.getpwnam(USER)
            except KeyError:
                subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent",
                                "--shell", "/usr/sbin/nologin", USER], check=True, timeout=WAIT)
            self.user = pwd.getpwnam(USER)

    def own(self, path):
        if self.user:
            os.chown(path, self.user.pw_uid, self.user.pw_gid)

    def popen_args(self):
        if not self.user:
            return {}
        return {"user": self.user.pw_uid, "group": self.user.pw_gid, "extra_groups": []}


class Runtime:
    """A private XDG_RUNTIME_DIR under /tmp with copies of the programs, which
    the unprivileged user may not reach where they were built."""

    def __init__(self, account, programs, prefix="wl-helper-"):
        self.dir = tempfile.mkdtemp(prefix=prefix)
        os.chmod(self.dir, 0o700)
        account.own(self.dir)
        self.account = account
        self.programs = {}
        for name, path in programs.items():
            copy = os.path.join(self.dir, os.path.basename(path))
            shutil.copy2(path, copy)
            account.own(copy)
            self.programs[name] = copy

    def env(self, display):
        return {"PATH": "/usr/local/bin:/usr/bin:/bin", "XDG_RUNTIME_DIR": self.dir, "WAYLAND_DISPLAY": display,
                "HOME": self.dir, "LANG": "C.UTF-8"}

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class Compositor:
    """A headless compositor (sway, or weston) on a socket of its own."""

    def __init__(self, runtime, kind="sway"):
        before = set(glob.glob(os.path.join(runtime.dir, "wayland-*")))
        env = runtime.env("")
        del env["WAYLAND_DISPLAY"]
        self.log = open(os.path.join(runtime.dir, f"{kind}-{time.monotonic_ns()}.log"), "wb")
        if kind == "sway":
            config = os.path.join(runtime.dir, "sway.config")
            with open(config, "w") as out:
                out.write(SWAY_CONFIG)
            runtime.account.own(config)
            env.update(WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman")
            argv = ["sway", "-c", config]
        else:
            self.display = f"wl-helper-weston-{os.getpid()}"
            argv = ["weston", "--backend=headless-backend.so", f"--socket={self.display}", "--idle-time=0"]
        self.process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log,
                                        start_new_session=True, **runtime.account.popen_args())
        deadline = time.monotonic() + WAIT
        while True:
            if kind == "sway":
                new = [p for p in set(glob.glob(os.path.join(runtime.dir, "wayland-*"))) - before
                       if not p.endswith(".lock")]
                if new:
                    self.display = os.path.basename(new[0])
                    break
            elif os.path.exists(os.path.join(runtime.dir, self.display)):
                break
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise SetupError(f"{kind} did not start (see its log)")
            time.sleep(0.05)

    def stop(self):
        stop(self.process)
        self.log.close()


def observed(lines, names):
    """Observer lines -> (tokens, modifiers at each key press by its token)."""
    tokens, mods = [], []
    for line in lines:
        parts = line.split()
        fields = dict(LINE_FIELDS.findall(line))
        if parts[:1] == ["key"]:
            keycode = fields["keycode"]
            if parts[1] == "press":
                names[keycode] = fields["keysym"]
                tokens.append("+" + fields["keysym"])
                mods.append((fields["keysym"], fields["mods"], int(keycode), int(fields["char"], 16)))
            else:
                tokens.append("-" + names.get(keycode, fields["keysym"]))
        elif parts[:1] == ["button"]:
            tokens.append(BUTTONS.get(fields["button"], "B?") + ("+" if parts[1] == "press" else "-"))
        elif parts[:1] == ["motion"] or parts[:2] == ["pointer", "enter"]:
            tokens.append(f"motion@{fields['x']},{fields['y']}")
        elif parts[:1] == ["axis_discrete"]:
            tokens.append(f"W{fields['axis']}{int(fields['discrete']):+d}")
    return tokens, mods


class TraceReader(trace_tokens.TraceReader):
    """The events a Wayland client gets for the trace: no motion where the
    pointer already is, and wheel clicks as discrete steps (vertical positive
    data is away from the user: a negative step)."""

    repeats_motion = False

    def __init__(self):
        super().__init__(SCREEN, VK_KEYSYMS)

    def wheel_tokens(self, vertical, clicks):
        if vertical:
            return ["W0-1" if clicks > 0 else "W0+1"] * abs(clicks)
        return ["W1+1" if clicks > 0 else "W1-1"] * abs(clicks)


def unnamed(tokens):
    """Observed tokens as the dry run is read: a letter in either case as its
    key, other keys outside VK_KEYSYMS as +? / -?."""
    known = set(VK_KEYSYMS.values())
    out = []
    for t in tokens:
        if t[0] in "+-" and len(t) == 2 and t[1].isalpha():
            t = t.lower()
        out.append(t if t[0] not in "+-" or t[1:] in known else t[0] + "?")
    return out


def character_presses(tokens):
    return sum(1 for t in tokens if t[0] == "+" and t[1:] not in MODIFIERS)


def code_points(text):
    return [f"{ord(c):x}" for c in text]


def run_session(report, args, runtime, env, observer, names, keycodes):
    script = "".join("".join(line + "\n" for line in case.lines) + "PING\n" for case in SESSION)
    traced = dry_run(args.trace, script)
    reader = TraceReader()
    program = Piped([runtime.programs["program"]], env, **runtime.account.popen_args())
    report.check("session: ready line", next_line(program.lines, "ready line") == READY_LINE)
    observer.mark()
    observer.ask("TEXT", "TEXT")
    piece = 0
    for case in SESSION:
        program.send("".join(line + "\n" for line in case.lines) + "PING\n")
        pongs = 1 + case.lines.count("PING")
        want = [r.encode() + b"\r\n" for r in case.replies] + [b"PONG\r\n"] * pongs
        replies = [next_line(program.lines, f"reply of {case.name}") for _ in want]
        lines = observer.mark()
        seen, mods = observed(lines, names)
        report.check(f"{case.name}: replies", replies == want, f"expected {want}, got {replies}")
        if case.click_gap:
            gaps = press_gaps(lines)
            report.check(f"{case.name}: presses {CLICK_GAP_MS} ms apart or more by the compositor's clock",
                         gaps and min(gaps) >= CLICK_GAP_MS, f"gaps {gaps} ms")
        trace_tokens, characters = [], 0
        for _ in range(pongs):
            tokens, count = reader.read(traced[piece])
            trace_tokens, characters, piece = trace_tokens + tokens, characters + count, piece + 1
        if case.expect is not None:
            report.compare(f"{case.name}: events", case.expect, seen)
            report.compare(f"{case.name}: agrees with dry run", trace_tokens, unnamed(seen))
        else:
            report.check(f"{case.name}: one character key press per typed character in the dry run",
                         character_presses(seen) == characters,
                         f"{character_presses(seen)} presses, the dry run types {characters} characters")
            report.check(f"{case.name}: every press released", sorted(t[1:] for t in seen if t[0] == "+")
                         == sorted(t[1:] for t in seen if t[0] == "-"), " ".join(seen))
        for keysym, active, keycode, character in mods:
            if keysym in VK_KEYSYMS.values() and len(keysym) > 1:  # a letter may be typed on a character key
                keycodes.setdefault("named", set()).add(keycode)
            elif character >= 0x80:
                keycodes.setdefault("characters", set()).add(keycode)
            if case.mods is not None and keysym not in MODIFIERS:
                report.compare(f"{case.name}: modifiers at the press of {keysym}", [case.mods], [active])
        text = observer.ask("TEXT", "TEXT")
        if case.text is not None:
            report.compare(f"{case.name}: text the window read", code_points(case.text), text)
        if case.pos is not None:
            report.compare(f"{case.name}: pointer position", case.pos, tuple(int(v) for v in observer.ask("POS", "POS")))
        if case.keys is not None:
            report.compare(f"{case.name}: keys down", sorted(case.keys.split()), sorted(observer.ask("KEYS", "KEYS")))
    code, rest, errors = program.finish(close=True)
    observed(observer.mark(), names)
    report.check("session end of input: exit code 0", code == 0, f"exit code {code}")
    report.check("session: nothing more on stdout", rest == b"", f"unexpected output {rest!r}")
    report.check("session: nothing on stderr", errors == b"", f"stderr {errors!r}")
    report.compare("session end: no key down", [], observer.ask("KEYS", "KEYS"))
    print(f"note: the window got {observer.ask('KEYMAPS', 'KEYMAPS')[0]} keymaps in all")


def run_ending(report, args, runtime, env, observer, names, ending):
    name, text, close = ending
    program = Piped([runtime.programs["program"]], env, **runtime.account.popen_args())
    report.check(f"{name}: ready line", next_line(program.lines, "ready line") == READY_LINE)
    observer.mark()
    if text:
        program.send(text)
    code, rest, errors = program.finish(close=close)
    seen, _ = observed(observer.mark(), names)
    tokens, _ = TraceReader().read(dry_run(args.trace, text)[0])
    report.compare(f"{name}: buttons agree with dry run", [t for t in tokens if t[0] == "B"],
                   [t for t in seen if t[0] == "B"])
    report.check(f"{name}: every key pressed is released", sorted(t[1:] for t in seen if t[0] == "+")
                 == sorted(t[1:] for t in seen if t[0] == "-"), " ".join(seen))
    report.check(f"{name}: exit code 0", code == 0, f"exit code {code}")
    report.check(f"{name}: nothing after the ready line", rest == b"" and errors == b"", f"{rest!r} {errors!r}")
    report.compare(f"{name}: no key down", [], observer.ask("KEYS", "KEYS"))


def text_lines(text):
    out = []
    for c in text:
        code = ord(c)
        units = [code] if code <= 0xFFFF else [0xD800 + ((code - 0x10000) >> 10), 0xDC00 + ((code - 0x10000) & 0x3FF)]
        out += [f"KEY_TAP 0 0 {unit}\n" for unit in units]
    return "".join(out)


def run_killed(report, runtime, env, observer, names, signame, moment):
    """The program ended by a signal at a moment; then nothing may be down
    when the next program's keyboard enters the window, and that program types
    and clicks as if nothing had been."""
    number = getattr(signal, signame)
    label = f"{signame} {moment[0]}"
    program = Piped([runtime.programs["program"]], env, start_new_session=True, **runtime.account.popen_args())
    report.check(f"{label}: ready line", next_line(program.lines, "ready line") == READY_LINE)
    observer.mark()
    program.send(moment[1])
    if moment[1].endswith("PING\n"):
        next_line(program.lines, "PONG before the signal")
        seen = observer.mark()
    else:
        seen, deadline = [], time.monotonic() + WAIT
        while sum(1 for line in seen if line.startswith("key press")) < 20 and time.monotonic() < deadline:
            seen += observer.mark()
    if number == signal.SIGINT:
        os.killpg(program.process.pid, number)
    else:
        program.process.send_signal(number)
    sent = time.monotonic()
    code, _, errors = program.finish(close=False, timeout=5)
    took = time.monotonic() - sent
    seen += observer.mark()
    observer.ask("TEXT", "TEXT")  # what the killed program typed
    tokens, _ = observed(seen, names)
    report.check(f"{label}: ends by the signal within 2 s", code == -number and took < 2, f"exit {code} after {took:.2f} s")
    report.check(f"{label}: nothing on stderr", errors == b"", f"stderr {errors!r}")
    if number != signal.SIGKILL:
        report.check(f"{label}: every key and button pressed is released before the devices go",
                     sorted(t[1:] for t in tokens if t[0] == "+") == sorted(t[1:] for t in tokens if t[0] == "-")
                     and tokens.count("B1+") == tokens.count("B1-"), " ".join(tokens[-12:]))
    after = Piped([runtime.programs["program"]], env, **runtime.account.popen_args())
    next_line(after.lines, "ready line after the signal")
    after.send(text_lines(AFTER_KILL_TEXT) + "CLICK 500 400 0\nPING\n")
    next_line(after.lines, "PONG after the signal")
    seen = observer.mark()
    enters = [line for line in seen if line.startswith("keyboard enter")]
    report.check(f"{label}: the next keyboard enters with no key down", enters and all(
        line.endswith("keys=0") for line in enters), f"{enters}")
    report.compare(f"{label}: the next program types exactly", code_points(AFTER_KILL_TEXT), observer.ask("TEXT", "TEXT"))
    buttons = [t for t in observed(seen, names)[0] if t[0] == "B" or t.startswith("motion")]
    report.compare(f"{label}: the next program's click", ["motion@500,400", "B1+", "B1-"], buttons[-3:])
    after.finish(close=True)


def run_grab_after_kill(report, runtime, env, observer):
    """A program killed (SIGKILL) with the left button down over one window:
    sway keeps that button's grab, so a later click elsewhere would still go
    to that window, unless the program's watchdog releases the button. With a
    second observer sway tiles the output: left half, right half."""
    right = Observer([runtime.programs["observer"]], env, **runtime.account.popen_args())
    try:
        time.sleep(0.3)  # both windows laid out
        program = Piped([runtime.programs["program"]], env, **runtime.account.popen_args())
        next_line(program.lines, "ready line before the kill")
        program.send("DOWN 200 200 0\nPING\n")
        next_line(program.lines, "PONG before the kill")
        program.process.kill()
        program.finish(close=False)
        right.mark()
        after = Piped([runtime.programs["program"]], env, **runtime.account.popen_args())
        next_line(after.lines, "ready line after the kill")
        after.send("CLICK 800 400 0\nPING\n")
        next_line(after.lines, "PONG after the kill")
        buttons = [line.split()[1] for line in right.mark() if line.startswith("button")]
        after.finish(close=True)
        report.compare("SIGKILL holding the left button: a later click in another window reaches it",
                       ["press", "release"], buttons)
    finally:
        right.close()
        observer.mark()


def refused(report, name, runtime, display, naming):
    env = runtime.env(display)
    code, out, errors = Piped([runtime.programs["program"]], env, **runtime.account.popen_args()).finish(close=False)
    lines = errors.decode(errors="replace").splitlines()
    report.check(f"{name}: no ready line", out == b"", f"stdout {out!r}")
    report.check(f"{name}: non-zero exit", isinstance(code, int) and code != 0, f"exit code {code}")
    report.check(f"{name}: one line on stderr naming the display{' and ' + ', '.join(naming) if naming else ''}",
                 len(lines) == 1 and f'"{display}"' in lines[0] and all(n in lines[0] for n in naming),
                 f"stderr {errors!r}")


def run_without_protocols(report, runtime):
    if shutil.which("weston") is None:
        print("note: weston is not installed: no compositor without the protocols to try")
        return
    weston = Compositor(runtime, "weston")
    try:
        refused(report, "weston (no virtual keyboard or pointer)", runtime, weston.display,
                ["zwp_virtual_keyboard_manager_v1", "zwlr_virtual_pointer_manager_v1", "GNOME and KDE"])
    finally:
        weston.stop()


def run_compositor_killed(report, runtime):
    sway = Compositor(runtime)
    try:
        program = Piped([runtime.programs["program"]], runtime.env(sway.display), **runtime.account.popen_args())
        report.check("compositor killed: ready line", next_line(program.lines, "ready line") == READY_LINE)
        program.send("KEY_DOWN 65 0\nPING\n")
        next_line(program.lines, "PONG before the kill")
        os.killpg(sway.process.pid, signal.SIGKILL)
        sway.process.wait()
        killed = time.monotonic()
        try:
            program.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            pass
        ended = program.process.poll() is not None
        report.check("compositor killed: ends by itself within 5 s", ended, "still running 5 s after the kill")
        code, _, errors = program.finish(close=False, timeout=5)
        print(f"note: ended {time.monotonic() - killed:.2f} s after the kill")
        report.check("compositor killed: non-zero exit", isinstance(code, int) and code != 0, f"exit code {code}")
        lines = errors.decode(errors="replace").splitlines()
        report.check("compositor killed: one line on stderr naming the display",
                     len(lines) == 1 and f'"{sway.display}"' in lines[0], f"stderr {errors!r}")
    finally:
        sway.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True, help="braskelot_wayland_input")
    parser.add_argument("--observer", required=True, help="braskelot_wayland_observer")
    parser.add_argument("--trace", required=True, help="the dry-run program braskelot_trace")
    args = parser.parse_args()
    code = skip_or_fail(missing_tools(["sway"] + (["useradd"] if os.geteuid() == 0 else []),
                                      [args.program, args.observer, args.trace]))
    if code is not None:
        return code
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    started = time.monotonic()
    report = Report()
    runtime = sway = observer = None
    try:
        account = Account()
        runtime = Runtime(account, {"program": args.program, "observer": args.observer})
        sway = Compositor(runtime)
        env = runtime.env(sway.display)
        observer = Observer([runtime.programs["observer"]], env, **account.popen_args())
        names, keycodes = {}, {}
        run_session(report, args, runtime, env, observer, names, keycodes)
        shared = keycodes.get("named", set()) & keycodes.get("characters", set())
        report.check("non-ASCII characters: never on a keycode of a named key", not shared, f"shared {sorted(shared)}")
        report.check("non-ASCII characters: only on keycodes above the PC keyboard's (evdev 84 and up)",
                     min(keycodes.get("characters", {999})) >= 84 + 8, f"keycodes {sorted(keycodes.get('characters'))}")
        for ending in ENDINGS:
            run_ending(report, args, runtime, env, observer, names, ending)
        for signame in KILL_SIGNALS:
            for moment in KILL_MOMENTS:
                run_killed(report, runtime, env, observer, names, signame, moment)
        run_grab_after_kill(report, runtime, env, observer)
        refused(report, "missing display", runtime, MISSING_DISPLAY, [])
        run_without_protocols(report, runtime)
        run_compositor_killed(report, runtime)
    except (SetupError, subprocess.SubprocessError, OSError) as error:
        report.check("environment", False, str(error))
    finally:
        if observer is not None:
            observer.close()
        if sway is not None:
            sway.stop()
        if runtime is not None:
            runtime.close()
    print(f"note: took {time.monotonic() - started:.1f} s")
    return report.close("wayland")


if __name__ == "__main__":
    sys.exit(main())
