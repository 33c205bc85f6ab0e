#!/usr/bin/env python3
"""Types texts through braskelot_x11_input into real applications on a private
Xvfb and checks, character for character, what each application holds.

The applications (Chromium, GTK 3, Qt 5, xterm, Tk) read key events with their
own copy of the keymap, fetched when they get to the events: a spare keycode
rebound before then is read as its new character. Each text is typed by a
fresh program, as a new user types it: `with braskelot.start(program) as ui:
ui.type(text)` at full speed with the client's default waits; once the block
is left the application's own text is read back until it equals the expected
one or stops changing. Every text runs with the machine idle, then loaded (one
busy process per core). After every run: exit code 0, no key down, and the
keymap and auto-repeat as before it. Last, a program is SIGKILLed mid-text
into one application and the next program must type into another exactly.

Exit codes: 0 all exact, 1 a check failed, 77 skipped (a tool missing; with
CI=true a missing tool fails instead).
"""

import argparse
import difflib
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "tests", "drivers"))
sys.path.insert(0, os.path.join(REPO, "clients", "python", "src"))
import braskelot  # noqa: E402
from common import WAIT, SetupError, missing_tools, run_on_xvfb, skip_or_fail  # noqa: E402

import apps  # noqa: E402
import texts  # noqa: E402
import x11_state  # noqa: E402

LOADS = ("idle", "loaded")
PACED_INTERVAL = 0.02  # seconds between the characters of a paced text


def names(value, known, what):
    chosen = [name.strip() for name in value.split(",") if name.strip()]
    unknown = [name for name in chosen if name not in known]
    if unknown:
        raise SystemExit(f"unknown {what}: {', '.join(unknown)} (known: {', '.join(known)})")
    return chosen


def parse_args(description=__doc__, known=apps.APPS, program=("BRASKELOT_X11_PROGRAM", "braskelot_x11_input")):
    """The options; known: the applications by name; program: the variable
    that names the program and its name in build/linux."""
    env = os.environ.get
    parser = argparse.ArgumentParser(description=description.splitlines()[0],
                                     epilog="Each option defaults to its environment variable, for runs through CTest.")
    parser.add_argument("--program", default=env(program[0], os.path.join(REPO, "build", "linux", program[1])))
    parser.add_argument("--apps", default=env("BRASKELOT_APPS", ",".join(known)),
                        help="comma-separated, of: " + ", ".join(known) + " ($BRASKELOT_APPS)")
    parser.add_argument("--texts", default=env("BRASKELOT_APP_TEXTS", ",".join(texts.NAMES)),
                        help="comma-separated, of: " + ", ".join(texts.NAMES) + " ($BRASKELOT_APP_TEXTS)")
    parser.add_argument("--load", default=env("BRASKELOT_APP_LOAD", ",".join(LOADS)),
                        help="idle, loaded or both ($BRASKELOT_APP_LOAD)")
    parser.add_argument("--repeat", type=int, default=int(env("BRASKELOT_APP_REPEAT", "1")),
                        help="runs of each text ($BRASKELOT_APP_REPEAT)")
    parser.add_argument("--quiet", type=float, default=4.0,
                        help="seconds without change after which a wrong text is final")
    parser.add_argument("--timeout", type=float, default=30.0, help="seconds at most per text after the program ended")
    parser.add_argument("--interval", type=float, default=0.0,
                        help="seconds between characters (0: full speed); slow typing checks the test itself")
    args = parser.parse_args()
    args.apps = names(args.apps, list(known), "applications")
    args.texts = names(args.texts, texts.NAMES, "texts")
    args.load = names(args.load, LOADS, "loads")
    return args


class Load:
    """One busy process per core while it is entered; ended by PID."""

    def __init__(self, active):
        self.active = active
        self.busy = []

    def __enter__(self):
        if self.active:
            self.busy = [subprocess.Popen([sys.executable, "-c", "while 1: pass"])
                         for _ in range(max(2, os.cpu_count() or 2))]
            time.sleep(0.5)  # all of them running before the first text
        return self

    def __exit__(self, *_):
        for process in self.busy:
            process.kill()
            process.wait()


def wrong(expected, got):
    """Characters not in their place or extra: what is left beside the longest
    common subsequence difflib finds."""
    matcher = difflib.SequenceMatcher(None, expected, got, autojunk=False)
    return max(len(expected), len(got)) - sum(block.size for block in matcher.get_matching_blocks())


def difference(expected, got):
    first = next((i for i, (a, b) in enumerate(zip(expected, got)) if a != b), min(len(expected), len(got)))
    start = max(0, first - 8)
    return (f"{wrong(expected, got)} wrong of {len(expected)} (held {len(got)}), first at {first}: "
            f"expected {expected[start:first + 24]!r} got {got[start:first + 24]!r}")


def hold(app, expected, ended, args):
    """(the text the application holds, the monotonic time it first held the
    expected one or None); ended: when the program had ended."""
    last, changed = None, time.monotonic()
    deadline = ended + args.timeout
    while True:
        try:
            got = app.read(timeout=max(0.5, deadline - time.monotonic()))
        except SetupError:
            got = last  # busy: counts as no change
        now = time.monotonic()
        if got == expected:
            return got, now
        if got != last:
            last, changed = got, now
        elif now - changed >= args.quiet or now >= deadline:
            return got if got is not None else "", None
        time.sleep(0.02)


class Clean:
    """The state every run must leave: no key down, the keymap and the
    auto-repeat as they were."""

    what = "no key down, keymap and auto-repeat as before"
    while_running = False  # the keys down are read once the program has ended

    def __init__(self, server):
        self.server = server
        self.keymap, self.repeat = server.keymap(), server.auto_repeat()

    def problems(self, _down_while_running):
        found = []
        down = self.server.keys_down()
        if down:
            found.append(f"keycodes down after the program ended: {down}")
        keymap, repeat = self.server.keymap(), self.server.auto_repeat()
        if keymap != self.keymap:
            changed = [code for code in keymap if keymap[code] != self.keymap.get(code)]
            found.append(f"keymap changed at keycodes {changed[:12]}{' ...' if len(changed) > 12 else ''}")
            self.keymap = keymap  # the next runs are judged on their own changes
        if repeat != self.repeat:
            found.append(f"auto-repeat {self.repeat[0]} {self.repeat[1]} became {repeat[0]} {repeat[1]}")
            self.repeat = repeat
        return found


def steps_for(app, case):
    steps = list(case.steps)
    if app.terminator:
        kind, value = steps[-1]
        steps[-1:] = [(kind, value + app.terminator)] if kind in ("type", "paced") else [steps[-1], ("type", app.terminator)]
    return steps, case.expected + app.terminator


def type_steps(ui, steps, args):
    for kind, value in steps:
        if kind == "press":
            ui.press(value)
        else:
            ui.type(value, interval=PACED_INTERVAL if kind == "paced" else args.interval)


def run_case(report, app, case, load, args, server, clean):
    label = f"{app.name} {case.name} {load}"
    steps, expected = steps_for(app, case)
    app.clear()
    if not app.focus():
        report.check(f"{label}: the window has the focus", False, f"focus on window {server.focus():#x}")
        return None
    started = time.monotonic()
    # As a new user types: a program of its own, the client's default waits,
    # and the end of the block the only barrier (it waits for the program to
    # finish the text and end). A backend whose keyboard goes with its program
    # (Wayland) is asked for the keys down before that.
    down = []
    with braskelot.start(args.program) as ui:
        type_steps(ui, steps, args)
        if clean.while_running:
            ui.sync()
            down = server.keys_down()
    ended = time.monotonic()
    got, held = hold(app, expected, ended, args)
    result = {"exact": got == expected, "wrong": wrong(expected, got) if got != expected else 0,
              "sent": len(expected) / (ended - started),
              "held": len(expected) / (held - started) if held is not None else None}
    report.check(f"{label}: exact", result["exact"], difference(expected, got))
    print(f"note: {label}: {len(expected)} characters, typed and the program ended at {result['sent']:.0f}/s"
          + (f", held at {result['held']:.0f}/s" if held is not None else f", {result['wrong']} wrong"))
    problems = clean.problems(down) + ([f"exit code {ui.returncode}"] if ui.returncode != 0 else [])
    report.check(f"{label}: exit code 0, {clean.what}", not problems, "; ".join(problems))
    return result


def run_app(report, kind, args, env, folder, server, clean, results, more=None, cases=texts.CASES):
    """Every text of cases in the application, idle then loaded;
    more(report, app, load), when given, runs after the texts of each load."""
    app = kind(env, folder, server)
    try:
        started = time.monotonic()
        app.start()
        print(f"note: {app.name} ready in {time.monotonic() - started:.1f} s (window {app.window:#x})")
        for load in args.load:
            with Load(load == "loaded"):
                for case in cases:
                    if case.name not in args.texts or app.name in case.skip:
                        continue
                    for _ in range(args.repeat):
                        try:
                            result = run_case(report, app, case, load, args, server, clean)
                        except (SetupError, braskelot.Error, TimeoutError) as error:
                            if app.process.poll() is not None:
                                raise
                            report.check(f"{app.name} {case.name} {load}: runs", False, str(error))
                            continue
                        if result is not None:
                            results.setdefault((app.name, case.name, load), []).append(result)
                if more is not None:
                    more(report, app, load)
    except (SetupError, braskelot.Error, TimeoutError, OSError) as error:
        report.check(f"{app.name}: runs", False, f"{error}\n     log: {app.log_tail()}")
    finally:
        app.stop()


# The killed case: the first application is typed at the pace of one that
# cannot answer pings (16 s for the long text), so the kill, once it holds its
# first line, is mid-text with every spare keycode bound; the next is one that
# answers them, typed the CJK text (more distinct characters than the spare
# keycodes hold).
KILLED_FIRST = ("xterm", "tk")
KILLED_NEXT = ("gtk", "qt", "chromium", "tk", "xterm")
KILL_AFTER = 100  # characters the first application holds at the kill


def killed_pair(chosen):
    first = next((name for name in KILLED_FIRST if name in chosen), chosen[0] if chosen else None)
    second = next((name for name in KILLED_NEXT if name in chosen and name != first), None)
    return (first, second) if first is not None and second is not None else None


def kill_mid_text(report, app, label, args):
    """Types the long text by a program that is SIGKILLed once the
    application holds KILL_AFTER characters: nothing of the program's own
    runs at its end."""
    steps, expected = steps_for(app, next(case for case in texts.CASES if case.name == "long"))
    app.clear()
    if not report.check(f"{label}: the window has the focus", app.focus(), "no focus"):
        return
    ui = braskelot.start(args.program)
    try:
        type_steps(ui, steps, args)
        deadline = time.monotonic() + args.timeout
        while len(app.read() or "") < KILL_AFTER and time.monotonic() < deadline:
            time.sleep(0.02)
        ui._proc.kill()
        ui._proc.wait()
        held = len(app.read() or "")
    finally:
        try:
            ui.close()
        except braskelot.ProgramExited:
            pass
    report.check(f"{label}: killed mid-text", KILL_AFTER <= held < len(expected),
                 f"the application held {held} of {len(expected)} characters at the kill")
    print(f"note: {label}: killed with {held} of {len(expected)} characters typed")


def run_killed(report, args, env, folder, server, clean, results):
    """A program killed mid-text into one application, then a fresh one
    typing into the next: that one must get its text exactly, whatever the
    killed program left bound or held."""
    pair = killed_pair(args.apps)
    if pair is None:
        print(f"note: {texts.KILLED}: needs two applications, one of {', '.join(KILLED_FIRST)} among them")
        return
    first, second = (apps.APPS[name](env, folder, server) for name in pair)
    case = next(case for case in texts.CASES if case.name == "cjk")._replace(name=texts.KILLED)
    try:
        first.start()
        second.start()
        for load in args.load:
            with Load(load == "loaded"):
                kill_mid_text(report, first, f"{first.name} long {load}, killed", args)
                result = run_case(report, second, case, load, args, server, clean)
                if result is not None:
                    results.setdefault((second.name, case.name, load), []).append(result)
    except (SetupError, braskelot.Error, TimeoutError, OSError) as error:
        report.check(f"{first.name} then {second.name}: {texts.KILLED} runs", False,
                     f"{error}\n     log: {first.log_tail()} / {second.log_tail()}")
    finally:
        first.stop()
        second.stop()


def cell(runs):
    if not runs:
        return "-"
    exact = [run for run in runs if run["exact"]]
    text = f"{len(exact)}/{len(runs)}"
    if exact:
        text += f" {statistics.median(run['held'] for run in exact):7,.0f}/s"
    if len(exact) < len(runs):
        text += f" ({max(run['wrong'] for run in runs if not run['exact'])} wrong)"
    return text


def summary(results, args, cases=texts.CASES):
    print("== exact runs / runs, characters per second from the start of typing until the application "
          "held the whole text (median of the exact runs), the most characters wrong in the others ==")
    print(f"{'application':12}{'text':16}" + "".join(f"{load:30}" for load in args.load))
    for app in args.apps:
        for case in cases:
            if case.name in args.texts and app not in case.skip:
                print(f"{app:12}{case.name:16}" + "".join(f"{cell(results.get((app, case.name, load))):30}"
                                                          for load in args.load))
        if any((app, texts.KILLED, load) in results for load in args.load):
            print(f"{app:12}{'cjk, ' + texts.KILLED:16}"
                  + "".join(f"{cell(results.get((app, texts.KILLED, load))):30}" for load in args.load))


def main():
    args = parse_args()
    kinds = [apps.APPS[name] for name in args.apps]
    missing = missing_tools(["Xvfb", "setxkbmap"], [args.program]) + [tool for kind in kinds for tool in kind.missing()]
    code = skip_or_fail(list(dict.fromkeys(missing)))
    if code is not None:
        return code
    results = {}

    def body(report, display):
        subprocess.run(["setxkbmap", "-display", display, "us"], check=True, timeout=WAIT)
        with tempfile.TemporaryDirectory(prefix="braskelot-apps-") as folder:
            runtime = os.path.join(folder, "runtime")
            os.mkdir(runtime, 0o700)
            env = {key: value for key, value in os.environ.items()
                   if key not in ("WAYLAND_DISPLAY", "XMODIFIERS", "GTK_IM_MODULE", "QT_IM_MODULE",
                                  "DBUS_SESSION_BUS_ADDRESS", "XAUTHORITY")}
            env.update(DISPLAY=display, LANG="C.UTF-8", LC_ALL="C.UTF-8", HOME=folder, XDG_RUNTIME_DIR=runtime,
                       NO_AT_BRIDGE="1", GDK_BACKEND="x11", QT_QPA_PLATFORM="xcb")
            os.environ["DISPLAY"] = display  # for the client's program
            server = x11_state.Server(display)
            try:
                clean = Clean(server)
                for kind in kinds:
                    run_app(report, kind, args, env, folder, server, clean, results)
                if texts.KILLED in args.texts:
                    run_killed(report, args, env, folder, server, clean, results)
            finally:
                server.close()
        summary(results, args)

    return run_on_xvfb("x11-apps", body, "1280x800x24")


if __name__ == "__main__":
    sys.exit(main())
