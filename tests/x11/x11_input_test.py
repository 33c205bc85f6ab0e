#!/usr/bin/env python3
"""Runs braskelot_x11_input on a private Xvfb and checks what the X server
processes.

Our X event observer (braskelot_x11_observer) records every key, button and
motion event the server processes. Each case sends its command lines and PING
to the program, waits for the PONG, and compares the events between two
markers with:
  - the events the case must produce (x11_cases.py), and
  - the records the dry-run program (braskelot_trace) lists for the same
    input, read as the X events they stand for.
Typed text is checked as the characters the observer's focused window got.

Exit codes: 0 all passed, 1 a check failed, 77 skipped (a tool missing; with
CI=true a missing tool fails instead).
"""

import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "drivers"))
from common import READY_LINE, WAIT, Observer, Piped, dry_run, missing_tools, run_on_xvfb, \
    next_line, skip_or_fail, start_xvfb, stop  # noqa: E402
import trace_tokens  # noqa: E402
from trace_tokens import LINE_FIELDS, press_gaps  # noqa: E402
from x11_cases import CLICK_GAP_MS, ENDINGS, MODIFIERS, NON_ASCII_200, SESSION, VK_KEYSYMS, typed  # noqa: E402

SCREEN = (1024, 768)
MISSING_DISPLAY = ":987654"


def observed(lines, names):
    """Observer lines -> tokens; names (keycode -> keysym) learns from every key line."""
    tokens = []
    for line in lines:
        parts = line.split()
        fields = dict(LINE_FIELDS.findall(line))
        if parts[:1] == ["key"]:
            names[fields["keycode"]] = fields["keysym"]
            tokens.append(("+" if parts[1] == "press" else "-") + fields["keysym"])
        elif parts[:1] == ["button"]:
            tokens.append(f"B{fields['button']}{'+' if parts[1] == 'press' else '-'}")
        elif parts[:1] == ["motion"]:
            tokens.append(f"motion@{fields['x']},{fields['y']}")
    return tokens


class TraceReader(trace_tokens.TraceReader):
    """The X events of the trace: wheel clicks as presses and releases of
    buttons 4 and 5 (vertical, away from the user first), 7 and 6."""

    def __init__(self):
        super().__init__(SCREEN, VK_KEYSYMS)

    def wheel_tokens(self, vertical, clicks):
        button = (4 if clicks > 0 else 5) if vertical else (7 if clicks > 0 else 6)
        return [f"B{button}+", f"B{button}-"] * abs(clicks)


def unnamed(tokens):
    """Observed tokens as the dry run is read: keys outside VK_KEYSYMS as +? / -?."""
    known = set(VK_KEYSYMS.values())
    return [t if t[0] not in "+-" or t[1:] in known else t[0] + "?" for t in tokens]


def character_presses(tokens):
    return sum(1 for t in tokens if t[0] == "+" and t[1:] not in MODIFIERS)


def down_names(observer, names):
    return sorted(names.get(k, f"keycode{k}") for k in observer.ask("KEYS", "KEYS"))


def code_points(text):
    return [f"{ord(c):x}" for c in text]


def check_clean(report, name, observer, names):
    report.compare(f"{name}: no key down (XQueryKeymap)", [], down_names(observer, names))
    report.compare(f"{name}: spare keycodes unbound", [], observer.ask("BOUND", "BOUND"))
    report.compare(f"{name}: auto-repeat as before", observer.repeat_off, observer.ask("REPEATOFF", "REPEATOFF"))


def run_session(report, args, env, observer, names):
    script = "".join("".join(line + "\n" for line in case.lines) + "PING\n" for case in SESSION)
    traced = dry_run(args.trace, script)
    reader = TraceReader()
    program = Piped([args.program], env)
    report.check("session: ready line", next_line(program.lines, "ready line") == READY_LINE)
    observer.mark()
    observer.ask("TEXT", "TEXT")
    observer.ask("WTEXT", "WTEXT")
    piece = 0
    for case in SESSION:
        time.sleep(case.settle)
        if case.before:
            subprocess.run(case.before.split()[:1] + ["-display", env["DISPLAY"]] + case.before.split()[1:],
                           check=True, timeout=WAIT)
            observer.mark()
        program.send("".join(line + "\n" for line in case.lines) + "PING\n")
        pongs = 1 + case.lines.count("PING")
        want = [r.encode() + b"\r\n" for r in case.replies] + [b"PONG\r\n"] * pongs
        replies = [next_line(program.lines, f"reply of {case.name}") for _ in want]
        lines = observer.mark()
        seen = observed(lines, names)
        report.check(f"{case.name}: replies", replies == want, f"expected {want}, got {replies}")
        if case.click_gap:
            gaps = press_gaps(lines)
            report.check(f"{case.name}: presses {CLICK_GAP_MS} ms apart or more by the server's clock",
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
        text, window_text = observer.ask("TEXT", "TEXT"), observer.ask("WTEXT", "WTEXT")
        if case.text is not None:
            report.compare(f"{case.name}: text received", code_points(case.text), text)
            report.compare(f"{case.name}: text read by the window's own lookup", code_points(case.text), window_text)
        if case.pos is not None:
            report.compare(f"{case.name}: pointer position", case.pos, tuple(int(v) for v in observer.ask("POS", "POS")))
        if case.keys is not None:
            report.compare(f"{case.name}: keys down", sorted(case.keys.split()), down_names(observer, names))
    code, rest, errors = program.finish(close=True)
    observed(observer.mark(), names)
    report.check("session end of input: exit code 0", code == 0, f"exit code {code}")
    report.check("session: nothing more on stdout", rest == b"", f"unexpected output {rest!r}")
    report.check("session: nothing on stderr", errors == b"", f"stderr {errors!r}")
    check_clean(report, "session end", observer, names)


def run_ending(report, args, env, observer, names, ending):
    name, text, close = ending
    program = Piped([args.program], env)
    report.check(f"{name}: ready line", next_line(program.lines, "ready line") == READY_LINE)
    observer.mark()
    if text:
        program.send(text)
    code, rest, errors = program.finish(close=close)
    seen = observed(observer.mark(), names)
    tokens, _ = TraceReader().read(dry_run(args.trace, text)[0])
    report.compare(f"{name}: buttons agree with dry run", [t for t in tokens if t[0] == "B"],
                   [t for t in seen if t[0] == "B"])
    report.check(f"{name}: exit code 0", code == 0, f"exit code {code}")
    report.check(f"{name}: nothing after the ready line", rest == b"" and errors == b"", f"{rest!r} {errors!r}")
    check_clean(report, name, observer, names)


# Readers that cannot say what they have read: one that lists _NET_WM_PING and
# never answers (hung), one without it. The text comes out right all the same,
# by the fallback pacing, and a hung reader holds the program up for a bounded
# time only: its first unanswered ping (5 s), then never again.
READERS = (("a hung reader", "ignore", 5.0, 15.0), ("a reader without the ping", "none", 0.0, 10.0))


def run_readers(report, args, display):
    text = NON_ASCII_200
    script = "".join(line + "\n" for line in typed(text)) + "PING\n"
    for name, pings, least, most in READERS:
        env = dict(os.environ, DISPLAY=display, BRASKELOT_OBSERVER_PINGS=pings)
        observer = Observer([args.observer], env)
        try:
            observer.mark()
            observer.ask("WTEXT", "WTEXT")
            program = Piped([args.program], env)
            report.check(f"{name}: ready line", next_line(program.lines, "ready line") == READY_LINE)
            started = time.monotonic()
            program.send(script)
            pong = next_line(program.lines, f"{name}: PONG", timeout=WAIT + most)
            took = time.monotonic() - started
            report.check(f"{name}: PONG after {least:.0f} to {most:.0f} s", pong == b"PONG\r\n" and least <= took < most,
                         f"{pong!r} after {took:.1f} s")
            observer.mark()
            report.compare(f"{name}: text received", code_points(text), observer.ask("TEXT", "TEXT"))
            report.compare(f"{name}: text read by the window's own lookup", code_points(text),
                           observer.ask("WTEXT", "WTEXT"))
            code, _, errors = program.finish(close=True)
            report.check(f"{name}: exit code 0, nothing on stderr", code == 0 and errors == b"", f"{code} {errors!r}")
        finally:
            observer.close()


def one_stderr_line(report, name, errors, naming):
    lines = errors.decode(errors="replace").splitlines()
    report.check(f"{name}: one line on stderr{' naming ' + naming if naming else ''}",
                 len(lines) == 1 and naming in lines[0], f"stderr {errors!r}")


def run_missing_display(report, args):
    program = Piped([args.program], dict(os.environ, DISPLAY=MISSING_DISPLAY))
    code, out, errors = program.finish(close=False)
    report.check("missing display: no ready line", out == b"", f"stdout {out!r}")
    report.check("missing display: non-zero exit", code not in (0, None) and isinstance(code, int), f"exit code {code}")
    one_stderr_line(report, "missing display", errors, MISSING_DISPLAY)


def run_without_xtest(report, args):
    xvfb, display = start_xvfb(extra=("-extension", "XTEST"))
    try:
        code, out, errors = Piped([args.program], dict(os.environ, DISPLAY=display)).finish(close=False)
        report.check("no XTEST: no ready line", out == b"", f"stdout {out!r}")
        report.check("no XTEST: non-zero exit", code not in (0, None) and isinstance(code, int), f"exit code {code}")
        one_stderr_line(report, "no XTEST", errors, f"\"{display}\"")
        report.check("no XTEST: the line names it", b"XTEST" in errors, f"stderr {errors!r}")
    finally:
        stop(xvfb)


def run_server_killed(report, args):
    xvfb, display = start_xvfb()
    try:
        program = Piped([args.program], dict(os.environ, DISPLAY=display))
        report.check("server killed: ready line", next_line(program.lines, "ready line") == READY_LINE)
        program.send("KEY_DOWN 65 0\nPING\n")
        next_line(program.lines, "PONG before the kill")
        xvfb.kill()
        xvfb.wait()
        killed = time.monotonic()
        try:
            program.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            pass
        ended = program.process.poll() is not None
        report.check("server killed: ends by itself within 5 s", ended, "still running 5 s after the kill")
        if not ended:  # let a command find the server gone, so the rest can be checked
            try:
                program.send("MOVE 1 1\nPING\n")
            except OSError:
                pass
        code, _, errors = program.finish(close=False, timeout=5)
        print(f"note: ended {time.monotonic() - killed:.2f} s after the kill")
        report.check("server killed: non-zero exit", isinstance(code, int) and code != 0, f"exit code {code}")
        one_stderr_line(report, "server killed", errors, "")
    finally:
        stop(xvfb)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True, help="braskelot_x11_input")
    parser.add_argument("--observer", required=True, help="braskelot_x11_observer")
    parser.add_argument("--trace", required=True, help="the dry-run program braskelot_trace")
    args = parser.parse_args()
    code = skip_or_fail(missing_tools(["Xvfb", "setxkbmap"], [args.program, args.observer, args.trace]))
    if code is not None:
        return code
    def body(report, display):
        env = dict(os.environ, DISPLAY=display)
        observer = Observer([args.observer], env)
        try:
            observer.repeat_off = observer.ask("REPEATOFF", "REPEATOFF")  # keycodes that do not auto-repeat
            names = {}
            run_session(report, args, env, observer, names)
            subprocess.run(["setxkbmap", "-display", display, "us"], check=True, timeout=WAIT)
            for ending in ENDINGS:
                run_ending(report, args, env, observer, names, ending)
            run_missing_display(report, args)
            run_without_xtest(report, args)
            run_server_killed(report, args)
        finally:
            observer.close()
        run_readers(report, args, display)

    return run_on_xvfb("x11", body, f"{SCREEN[0]}x{SCREEN[1]}x24")

if __name__ == "__main__":
    sys.exit(main())
