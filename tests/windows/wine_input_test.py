#!/usr/bin/env python3
"""Runs braskelot_win_input.exe under Wine and checks what really reaches the
platform's input stream.

A hook observer of our own (hook_observer.cpp) watches the low-level keyboard
and mouse hooks while the program is driven over its pipes. Each case sends
its command lines followed by PING, waits for the PONG, and compares the
injected events that the hooks saw between two markers with:
  - the events the case must produce (wine_cases.py), and
  - the events the dry-run program (braskelot_trace) reports for the same input.
A third check compares the dry-run scan-code table with the platform's
MapVirtualKeyW under Wine.

Exit codes: 0 all passed, 1 a check failed, 77 skipped (no Wine or Xvfb here;
with CI=true a missing tool fails instead).
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "drivers"))
from common import READY_LINE, WAIT, Observer, Piped, SetupError, WinePrefix, dry_run, missing_tools, next_line, \
    run_on_xvfb, skip_or_fail  # noqa: E402
from wine_cases import ENDINGS, KNOWN_SCAN_DIFFERENCES, MODS_UP, SESSION  # noqa: E402

TOOLS = ["wine", "wineboot", "wineserver", "Xvfb", "xdotool"]
START_WAIT = 60  # seconds for a Wine program's first line: the first start in a prefix is slow
MULTI_CLICK_GAP_MS = 10


def start_program(exe, env):
    """The program under Wine; (process, its ready line)."""
    program = Piped(["wine", exe], env)
    return program, next_line(program.lines, "ready line", timeout=START_WAIT)


# ---------------------------------------------------------------- events

LINE_FIELDS = re.compile(r"(\w+)=(-?\d+)")
BUTTONS = {"L": (0x0002, 0x0004), "R": (0x0008, 0x0010), "M": (0x0020, 0x0040)}
BUTTON_MESSAGES = {f"WM_{b}BUTTON{d}": (b, "+" if d == "DOWN" else "-")
                   for b in "LRM" for d in ("DOWN", "UP")}
VK_PACKET = 231


def observed_events(lines, scans):
    """Hook lines -> (tokens, button events with time stamps). Only injected
    events count: Wine may report the pointer placement as a plain move."""
    tokens, buttons = [], []
    for line in lines:
        parts = line.split()
        if len(parts) < 2 or parts[0] not in ("key", "mouse"):
            continue
        kind, message = parts[0], parts[1]
        fields = {k: int(v) for k, v in LINE_FIELDS.findall(line)}
        if not fields.get("inj"):
            continue
        if kind == "key":
            # The direction comes from the message: Wine's Unicode key-up lacks the up flag.
            sign = "+" if message in ("WM_KEYDOWN", "WM_SYSKEYDOWN") else "-"
            vk, scan = fields["vk"], fields["scan"]
            if vk == VK_PACKET:
                tokens.append(f"{sign}u{scan}")
                continue
            token = f"{sign}{vk}{'e' if fields['ext'] else ''}"
            if scan != scans[vk]:
                token += f"(scan={scan}, platform says {scans[vk]})"
            tokens.append(token)
        elif message == "WM_MOUSEMOVE":
            tokens.append(f"move@{fields['x']},{fields['y']}")
        elif message in BUTTON_MESSAGES:
            button, sign = BUTTON_MESSAGES[message]
            tokens.append(f"{button}{sign}@{fields['x']},{fields['y']}")
            buttons.append((sign, fields["t"]))
        elif message in ("WM_MOUSEWHEEL", "WM_MOUSEHWHEEL"):
            # The hook carries the wheel delta in the high word of mouseData.
            delta = (fields["data"] >> 16) & 0xFFFF
            delta -= 0x10000 if delta >= 0x8000 else 0
            tokens.append(f"{'wheel' if message == 'WM_MOUSEWHEEL' else 'hwheel'}={delta}")
        else:
            tokens.append(f"mouse:{message}")
    return tokens, buttons


def trace_events(trace_lines, pointer):
    """Dry-run trace lines of one case -> tokens in the observer's notation.
    pointer: [x, y] where the last placement left the pointer; kept up to date."""
    tokens = []
    for line in trace_lines:
        parts = line.split()
        if not parts:
            continue
        if parts[0] == "place":
            pointer[:] = [int(parts[1]), int(parts[2])]
        elif parts[0] == "key":
            fields = {k: int(v) for k, v in LINE_FIELDS.findall(line)}
            flags = fields["flags"]
            sign = "-" if flags & 2 else "+"
            if flags & 4:
                tokens.append(f"{sign}u{fields['scan']}")
            else:
                tokens.append(f"{sign}{fields['vk']}{'e' if flags & 1 else ''}")
        elif parts[0] == "mouse":
            flags = int(parts[1].split("=")[1], 16)
            data = int(parts[2].split("=")[1])
            if flags == 0x0001:
                tokens.append(f"move@{pointer[0]},{pointer[1]}")
            elif flags == 0x0800:
                tokens.append(f"wheel={data}")
            elif flags == 0x1000:
                tokens.append(f"hwheel={data}")
            else:
                for button, (down, up) in BUTTONS.items():
                    if flags in (down, up):
                        tokens.append(f"{button}{'+' if flags == down else '-'}@{pointer[0]},{pointer[1]}")
    return tokens


def check_click_gaps(report, name, buttons):
    gaps = [later[1] - earlier[1] for earlier, later in zip(buttons, buttons[1:])
            if earlier[0] == "-" and later[0] == "+"]
    report.check(f"{name}: pause between clicks", bool(gaps) and min(gaps) >= MULTI_CLICK_GAP_MS,
                 f"gaps between an up and the next down {gaps} ms, want each >= {MULTI_CLICK_GAP_MS}")


# ---------------------------------------------------------------- environment

def pointer_from_x(display):
    out = subprocess.run(["xdotool", "getmouselocation"], env=dict(os.environ, DISPLAY=display),
                         capture_output=True, text=True, timeout=WAIT).stdout
    found = dict(re.findall(r"(\w+):(\d+)", out))
    return int(found.get("x", -1)), int(found.get("y", -1))


# ---------------------------------------------------------------- the checks

def check_after(report, case, observer, display):
    """The pointer (from the platform and from X) and the keys down, where the case names them."""
    if case.pos is not None:
        platform = tuple(int(v) for v in observer.ask("POS", "POS"))
        report.check(f"{case.name}: pointer position", platform == case.pos,
                     f"GetCursorPos says {platform}, want {case.pos}")
        x_pos = pointer_from_x(display)
        report.check(f"{case.name}: X pointer position", x_pos == case.pos, f"xdotool says {x_pos}, want {case.pos}")
    if case.held is not None:
        held = sorted(int(v) for v in observer.ask("KEYS", "KEYS"))
        want = sorted(int(v) for v in case.held.split())
        report.check(f"{case.name}: keys and buttons down", held == want, f"down {held}, want {want}")


def run_session(report, args, env, observer, scans, display):
    script = "".join("".join(line + "\n" for line in case.lines) + "PING\n" for case in SESSION)
    traced = dry_run(args.trace, script)
    traced_pointer = [0, 0]
    program, ready = start_program(args.program, env)
    report.check("session: ready line", ready == READY_LINE, f"got {ready!r}")
    observer.mark()
    for index, case in enumerate(SESSION):
        program.send("".join(line + "\n" for line in case.lines) + "PING\n")
        replies = [next_line(program.lines, f"reply of {case.name}") for _ in range(len(case.replies) + 1)]
        events, buttons = observed_events(observer.mark(), scans)
        want_replies = [reply.encode() + b"\r\n" for reply in case.replies] + [b"PONG\r\n"]
        report.check(f"{case.name}: replies", replies == want_replies, f"expected {want_replies}, got {replies}")
        report.compare(f"{case.name}: events", case.expect, events)
        report.compare(f"{case.name}: agrees with dry run", trace_events(traced[index], traced_pointer), events)
        if case.click_gaps:
            check_click_gaps(report, case.name, buttons)
        check_after(report, case, observer, display)
    code, rest, errors = program.finish(close=True)
    events, _ = observed_events(observer.mark(), scans)
    report.compare("session end of input: events", MODS_UP.split(), events)
    report.check("session end of input: exit code", code == 0, f"exit code {code}")
    report.check("session: nothing more on stdout", rest == b"", f"unexpected output {rest!r}")
    report.check("session: nothing on stderr", errors == b"", f"stderr {errors!r}")


def run_ending(report, args, env, observer, scans, ending):
    program, ready = start_program(args.program, env)
    report.check(f"{ending.name}: ready line", ready == READY_LINE, f"got {ready!r}")
    observer.mark()
    if ending.text:
        program.send(ending.text)
    code, rest, _ = program.finish(close=ending.close)
    events, _ = observed_events(observer.mark(), scans)
    report.compare(f"{ending.name}: events", ending.expect, events)
    report.compare(f"{ending.name}: agrees with dry run",
                   trace_events(dry_run(args.trace, ending.text)[0], [0, 0]), events)
    report.check(f"{ending.name}: exit code", code == 0, f"exit code {code}")
    report.check(f"{ending.name}: nothing after the ready line", rest == b"", f"unexpected output {rest!r}")


def dry_run_scan_codes(trace_exe):
    """The dry-run table, read back through the dry-run program's key records."""
    taps = "".join(f"KEY_TAP {vk} 0\n" for vk in range(1, 256))
    ours = {0: 0}
    for line in dry_run(trace_exe, taps)[0]:
        if line.startswith("key "):
            fields = {k: int(v) for k, v in LINE_FIELDS.findall(line)}
            ours.setdefault(fields["vk"], fields["scan"])
    return ours


def check_scan_codes(report, trace_exe, scans, show_all):
    ours = dry_run_scan_codes(trace_exe)
    differences = {vk: (ours.get(vk), scans[vk]) for vk in range(256) if ours.get(vk) != scans[vk]}
    new = {vk: pair for vk, pair in differences.items() if KNOWN_SCAN_DIFFERENCES.get(vk) != pair}
    print(f"note: {len(differences) - len(new)} known scan-code differences from Wine"
          " (KNOWN_SCAN_DIFFERENCES); --scan-codes lists them")
    for vk in sorted(set(KNOWN_SCAN_DIFFERENCES) - set(differences)):
        print(f"note: vk {vk} no longer differs; drop it from KNOWN_SCAN_DIFFERENCES")
    report.check("scan codes: dry-run table agrees with MapVirtualKeyW", not new,
                 f"{len(new)} differences not known: " + ", ".join(f"vk {vk} ours 0x{a:02X} Wine 0x{b:02X}"
                                                                   for vk, (a, b) in sorted(new.items())))
    if show_all:
        for vk, (mine, wine) in sorted(differences.items()):
            print(f"scan code of vk {vk} (0x{vk:02X}): dry-run table 0x{mine:02X}, Wine MapVirtualKeyW 0x{wine:02X}")


def run_all(report, args, display):
    prefix = tempfile.mkdtemp(prefix="braskelot-wine-")
    wine = WinePrefix(prefix, display)
    observer = None
    try:
        env = wine.ready()
        observer = Observer(["wine", args.observer], env, ready_timeout=START_WAIT)
        scans = [int(v) for v in observer.ask("SCANS", "SCANS")]
        if len(scans) != 256:
            raise SetupError(f"observer gave {len(scans)} scan codes")
        check_scan_codes(report, args.trace, scans, args.scan_codes)
        run_session(report, args, env, observer, scans, display)
        for ending in ENDINGS:
            run_ending(report, args, env, observer, scans, ending)
    finally:
        if observer is not None:
            observer.close()
        wine.close()
        shutil.rmtree(prefix, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--windows-build-dir", required=True)
    parser.add_argument("--trace", required=True, help="the dry-run program braskelot_trace")
    parser.add_argument("--scan-codes", action="store_true", help="list every scan-code difference from Wine")
    args = parser.parse_args()
    args.program = os.path.join(args.windows_build_dir, "braskelot_win_input.exe")
    args.observer = os.path.join(args.windows_build_dir, "tests", "windows", "braskelot_hook_observer.exe")
    code = skip_or_fail(missing_tools(TOOLS, [args.program, args.observer, args.trace]))
    if code is not None:
        return code
    # The finally blocks of run_all stop the persistent wineserver and remove the prefix.
    return run_on_xvfb("wine", lambda report, display: run_all(report, args, display))


if __name__ == "__main__":
    sys.exit(main())
