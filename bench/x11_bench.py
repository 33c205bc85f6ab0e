#!/usr/bin/env python3
"""X11 benchmarks: braskelot_x11_input, xdotool one process per action,
xdotool's script mode (`xdotool -`) and our minimal XTest reader, side by side
on one private Xvfb, judged by our X event observer.

Each timed run ends with a motion to a position nothing else uses; the run is
over when the observer's POS (XQueryPointer) answers that position, i.e. when
the server has processed every event sent before it. POS is also what pushes
the recorded events to the observer, which the server otherwise holds until it
next flushes to some client. The events are then read up to a marker and
counted, and typed text is compared with the observer's TEXT.

Figures only: nothing here fails on a slow run. Usage:
  bench/x11_bench.py [--build DIR] [--observer PATH] [--rounds N] [--quick]
"""

import argparse
import difflib
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "drivers"))
from common import Observer, SetupError, next_line, start_xvfb, stop  # noqa: E402
from x11_bench_inputs import ascii_text, expected_presses, few_distinct_text, mixed_stream, \
    non_ascii_text  # noqa: E402
from x11_bench_runners import LineProgram, XdotoolPerAction, XdotoolScript  # noqa: E402

WAIT_SECONDS = 60  # for one timed run; a healthy one needs well under a second


# ---- Measures -----------------------------------------------------------------

class Judge:
    """The observer, and a sentinel position per run."""

    def __init__(self, observer):
        self.observer = observer
        self.sentinel = 0
        self.seen = []
        self.has_wtext = b"WTEXT" in open(OBSERVER_PATH, "rb").read()

    def position(self):
        """POS; the event lines read on the way are kept for presses()."""
        self.observer.command("POS")
        while True:
            line = next_line(self.observer.lines, "observer answer to POS").decode(errors="replace")
            if line.startswith("POS "):
                return tuple(int(v) for v in line.split()[1:3])
            self.seen.append(line)

    def next_sentinel(self):
        self.sentinel += 1
        return 1000 + self.sentinel % 20, 740 + self.sentinel // 20 % 20

    def start(self):
        """Clears what earlier runs left: recorded lines and collected text."""
        self.observer.mark()
        self.seen = []
        self.observer.ask("TEXT", "TEXT")
        if self.has_wtext:
            self.window_text(None)

    def window_text(self, expected, quiet=0.3):
        """WTEXT until it holds the expected number of characters, or until
        it has grown no more for `quiet` seconds: the observer's window reads
        its events after the server processed them, so it may lag behind MARK."""
        collected = []
        last_growth = time.monotonic()
        while expected is None or len(collected) < expected:
            got = self.observer.ask("WTEXT", "WTEXT")
            if got:
                collected += got
                last_growth = time.monotonic()
            elif time.monotonic() - last_growth > quiet:
                break
            else:
                time.sleep(0.01)
        return "".join(chr(int(v, 16)) for v in collected)

    def timed(self, send):
        """Seconds from the first write until the server has processed the sentinel motion."""
        x, y = self.next_sentinel()
        begin = time.perf_counter()
        send(f"MOVE {x} {y}")
        self.wait_for(x, y, begin, pause=0.0005)
        return time.perf_counter() - begin

    def wait_for(self, x, y, begin, pause=0.0):
        while self.position() != (x, y):
            if time.perf_counter() - begin > WAIT_SECONDS:
                raise SetupError(f"the pointer did not reach {x},{y} within {WAIT_SECONDS} s")
            if pause:
                time.sleep(pause)

    def presses(self):
        lines = self.seen + self.observer.mark()
        buttons = sum(1 for line in lines if line.startswith("button press"))
        keys = sum(1 for line in lines if line.startswith("key press"))
        return buttons, keys


def wrong_count(sent, got):
    """Characters of the sent text missing or different in what arrived, plus extras."""
    matcher = difflib.SequenceMatcher(None, sent, got, autojunk=False)
    matched = sum(block.size for block in matcher.get_matching_blocks())
    return len(sent) - matched + (len(got) - matched)


def run_mixed(judge, runner, lines):
    judge.start()
    seconds = judge.timed(lambda sentinel: runner.send(lines + [sentinel]))
    return len(lines) / seconds, judge.presses()


def run_typing(judge, runner, text):
    judge.start()
    seconds = judge.timed(lambda sentinel: (runner.type(text), runner.send([sentinel])))
    judge.observer.mark()
    got = "".join(chr(int(v, 16)) for v in judge.observer.ask("TEXT", "TEXT"))
    window = None
    if judge.has_wtext:
        window = judge.window_text(len(text))
    return len(text) / seconds, wrong_count(text, got), None if window is None else wrong_count(text, window)


def move_latency(judge, runner, i, lane):
    """Seconds from writing one MOVE to a new position until POS answers it.
    Each runner has its own lane of positions: a move to where the pointer is
    already would measure nothing (and makes xdotool wait for a motion)."""
    x, y = 20 + (i * 7 + lane * 211) % 900, 20 + (i * 13 + lane * 157) % 700
    begin = time.perf_counter()
    runner.send([f"MOVE {x} {y}"])
    judge.wait_for(x, y, begin)
    return time.perf_counter() - begin


def percentile(samples, fraction):
    ordered = sorted(samples)
    return ordered[min(len(ordered) - 1, max(0, int(fraction * len(ordered) + 0.999999) - 1))]


# ---- Driver -------------------------------------------------------------------

def median(values):
    return statistics.median(values) if values else float("nan")


def make_runner(kind, env):
    if kind == "ours":
        return LineProgram("braskelot_x11_input", OURS_PATH, env)
    if kind == "reference":
        return LineProgram("reference reader", REFERENCE_PATH, env)
    if kind == "script":
        runner = XdotoolScript(env)
        time.sleep(0.2)  # its start-up is not what is measured
        return runner
    return XdotoolPerAction(env)


def rotate(items, by):
    return items[by % len(items):] + items[:by % len(items)]


def measure(judge, env, settings):
    kinds = ["ours", "reference", "script", "per action"]
    runners = {kind: make_runner(kind, env) for kind in kinds}
    mixed = {kind: [] for kind in kinds}
    presses = {}
    texts = {"ASCII": ascii_text(settings.chars), "non-ASCII": non_ascii_text(settings.chars),
             "12 distinct": few_distinct_text(settings.chars)}
    typing = {(kind, name): [] for kind in kinds for name in texts}
    for round_number in range(settings.rounds):
        for kind in rotate(kinds, round_number):
            lines = mixed_stream(settings.per_action if kind == "per action" else settings.commands)
            # A run of the fast ones lasts some tens of milliseconds: three a
            # round, so that their median rests on more than a few samples.
            for _ in range(1 if kind in ("script", "per action") else 3):
                rate, seen = run_mixed(judge, runners[kind], lines)
                mixed[kind].append(rate)
                presses[kind] = (seen, expected_presses(lines))
            # A program of its own for each text, ended after it: bindings one
            # leaves behind would take spare keycodes from the next.
            for name, text in texts.items():
                typist = make_runner(kind, env)
                typing[(kind, name)].append(run_typing(judge, typist, text))
                typist.close()
    # Move by move in turns, so that a drift of the machine falls on all alike.
    latency = {kind: [] for kind in kinds}
    probe = []
    every = {"ours": 1, "reference": 1, "script": 2, "per action": 10}
    for i in range(settings.moves):
        for kind in rotate(kinds, i):
            if i % every[kind] == 0:
                latency[kind].append(move_latency(judge, runners[kind], i, kinds.index(kind)))
        # What one POS costs with nothing to wait for: the resolution of the above.
        begin = time.perf_counter()
        judge.position()
        probe.append(time.perf_counter() - begin)
    for runner in runners.values():
        runner.close()
    return kinds, runners, mixed, presses, typing, latency, probe


def report(settings, kinds, runners, mixed, presses, typing, latency, probe):
    names = {kind: runners[kind].name for kind in kinds}
    print(f"\n[1] mixed stream of clicks, key taps and chords, {settings.rounds} rounds (3 runs each for the "
          "program and the reference reader), median")
    for kind in kinds:
        (buttons, keys), (want_buttons, want_keys) = presses[kind]
        count = settings.per_action if kind == "per action" else settings.commands
        print(f"  {names[kind]:<22} {median(mixed[kind]):10.0f} commands/s  ({count} commands; button presses "
              f"{buttons}/{want_buttons}, key presses {keys}/{want_keys} seen/sent)")
    print(f"\n[2] typing {settings.chars} characters as Unicode keystrokes (xdotool: `type --delay 0`, "
          "one line a character in script mode, one process for the whole text per action)")
    for name in ("ASCII", "non-ASCII", "12 distinct"):
        for kind in kinds:
            runs = typing[(kind, name)]
            wrong = max(run[1] for run in runs)
            window = [run[2] for run in runs if run[2] is not None]
            extra = f", window's own lookup wrong {max(window)}" if window else ""
            print(f"  {name:<11} {names[kind]:<22} {median([run[0] for run in runs]):10.0f} chars/s  "
                  f"wrong {wrong} (worst round){extra}")
    print("\n[3] MOVE write-to-pointer latency (until POS answers the new position)")
    for kind in kinds:
        samples = latency[kind]
        print(f"  {names[kind]:<22} median {median(samples) * 1e6:9.0f} us  p99 {percentile(samples, 0.99) * 1e6:9.0f} us"
              f"  ({len(samples)} moves)")
    print(f"  {'POS alone (probe cost)':<22} median {median(probe) * 1e6:9.0f} us  p99 {percentile(probe, 0.99) * 1e6:9.0f} us")

    ours_mixed = median(mixed["ours"])
    ours_non_ascii = typing[("ours", "non-ASCII")]
    rows = [
        ("mixed stream vs xdotool -", ours_mixed / median(mixed["script"]), ">= 10x", lambda r: r >= 10),
        ("mixed stream vs per action", ours_mixed / median(mixed["per action"]), ">= 100x", lambda r: r >= 100),
        ("mixed stream vs reference reader", ours_mixed / median(mixed["reference"]), "-", None),
        ("non-ASCII typing, chars/s", median([run[0] for run in ours_non_ascii]), ">= 1000", lambda r: r >= 1000),
        ("non-ASCII typing, wrong", max(run[1] for run in ours_non_ascii), "0", lambda r: r == 0),
    ]
    if ours_non_ascii[0][2] is not None:
        rows.append(("  wrong in the window's own lookup", max(run[2] for run in ours_non_ascii), "0",
                     lambda r: r == 0))
        rows.append(("  the same, 12 distinct characters", max(run[2] for run in typing[("ours", "12 distinct")]),
                     "0", lambda r: r == 0))
    rows += [
        ("MOVE latency median vs reference", median(latency["ours"]) / median(latency["reference"]), "<= 1.2x",
         lambda r: r <= 1.2),
        ("MOVE latency p99 vs reference", percentile(latency["ours"], 0.99) / percentile(latency["reference"], 0.99),
         "-", None),
    ]
    print("\nSummary: braskelot_x11_input")
    print(f"{'measure':<36} {'value':>10}  {'goal':<8}")
    for name, value, goal, test in rows:
        verdict = "" if test is None else ("met" if test(value) else "MISSED")
        print(f"{name:<36} {value:10.2f}  {goal:<8} {verdict}")


def main():
    global OURS_PATH, REFERENCE_PATH, OBSERVER_PATH
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build", "linux"))
    parser.add_argument("--observer", help="the X event observer (default: the one in the build folder)")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--quick", action="store_true", help="smaller sizes, for a try-out")
    settings = parser.parse_args()
    settings.commands, settings.per_action, settings.chars, settings.moves = \
        (400, 50, 200, 100) if settings.quick else (2000, 200, 1000, 500)
    OURS_PATH = os.path.join(settings.build, "braskelot_x11_input")
    REFERENCE_PATH = os.path.join(settings.build, "bench", "braskelot_x11_reference_reader")
    OBSERVER_PATH = settings.observer or os.path.join(settings.build, "tests", "x11", "braskelot_x11_observer")
    missing = [tool for tool in ("Xvfb", "xdotool") if subprocess.run(["sh", "-c", f"command -v {tool}"],
                                                                      capture_output=True).returncode != 0]
    missing += [path for path in (OURS_PATH, REFERENCE_PATH, OBSERVER_PATH) if not os.path.exists(path)]
    if missing:
        print(f"x11 benchmarks skipped: missing {', '.join(missing)}")
        return 0
    began = time.monotonic()
    print(f"load average before: {' '.join(f'{v:.2f}' for v in os.getloadavg())}")
    xvfb, display = start_xvfb()
    observer = None
    try:
        env = dict(os.environ, DISPLAY=display)
        observer = Observer([OBSERVER_PATH], env)
        report(settings, *measure(Judge(observer), env, settings))
    finally:
        if observer is not None:
            observer.close()
        stop(xvfb)
    print(f"({time.monotonic() - began:.0f} s; load average after: {' '.join(f'{v:.2f}' for v in os.getloadavg())})")
    return 0


OURS_PATH = REFERENCE_PATH = OBSERVER_PATH = ""

if __name__ == "__main__":
    sys.exit(main())
