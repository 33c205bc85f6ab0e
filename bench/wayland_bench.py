#!/usr/bin/env python3
"""Wayland benchmarks: braskelot_wayland_input against wtype one process per
action and, for the MOVE latency, against our minimal virtual-pointer client
(braskelot_wayland_reference_reader), on one private headless sway, judged by
our Wayland event observer (the window with the keyboard focus, covering the
output).

A timed run is over when the observer has seen its last event: the program
is written blocks of 200 lines, each ended with PING (its PONG follows its
round trip, so the compositor has handled every request), wtype's run ends
when its last process has ended; then the observer's MARK, which follows the
observer's own round trip, so every event the compositor sent for them has
reached the window. The program waits for that marker after each block too:
unpaced, a burst of 2,000 commands now and then outran the observer (which
writes a line per event to this driver) and sway disconnected it. The lines
up to the markers give the presses seen; typed text is the observer's TEXT,
the characters its window read through the keymap it held at each press.

wtype cannot click or move the pointer: the mixed stream's clicks are left
out of its runs, and it is compared on the key part, per action.

Figures only: nothing here fails on a slow run. Usage:
  bench/wayland_bench.py [--build DIR] [--rounds N] [--quick]
"""

import argparse
import os
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "drivers"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wayland"))
from common import Observer, Piped, SetupError, next_line  # noqa: E402
from wayland_input_test import Account, Compositor, Runtime  # noqa: E402
from wayland_cases import MODIFIERS  # noqa: E402
from x11_bench import median, percentile, rotate, wrong_count  # noqa: E402
from x11_bench_inputs import MODIFIER_NAMES, VK_NAMES, key_taps, mixed_stream, non_ascii_text  # noqa: E402

WAIT_SECONDS = 60
BLOCK = 200  # protocol lines written at once
WTYPE_MODIFIERS = {"super": "logo"}


def wtype_args(line):
    """wtype's arguments for one KEY_TAP line: the chord's modifiers held around the key."""
    word = line.split()
    vk, mods = int(word[1]), int(word[2])
    chord = [WTYPE_MODIFIERS.get(MODIFIER_NAMES[m], MODIFIER_NAMES[m]) for m in range(4) if mods & (1 << m)]
    return [a for m in chord for a in ("-M", m)] + ["-k", VK_NAMES[vk]] + [a for m in reversed(chord) for a in ("-m", m)]


def key_presses(lines):
    """Presses of keys that are not modifiers (wtype sends its modifiers as
    state only), and keys already down when the keyboard focus entered the
    window: sway moves the focus out and in again around each wtype process,
    and a press that falls in between reaches the window only as a key held
    at the enter, which clients do not act on."""
    presses = held = 0
    for line in lines:
        if line.startswith("key press"):
            keysym = line.split("keysym=", 1)[1].split()[0]
            presses += keysym not in MODIFIERS
        elif line.startswith("keyboard enter"):
            held += int(line.split("keys=", 1)[1].split()[0])
    return presses, held


class Ours:
    """braskelot_wayland_input: protocol lines on a pipe."""

    name = "braskelot_wayland_input"

    def __init__(self, runtime, env):
        self.child = Piped([runtime.programs["program"]], env, **runtime.account.popen_args())
        if next_line(self.child.lines, "ready line") != b"BRASKELOT_WIN_INPUT_READY\r\n":
            raise SetupError("braskelot_wayland_input: no ready line")

    def send(self, lines):
        self.child.send("".join(line + "\n" for line in lines))

    def sync(self):
        self.send(["PING"])
        reply = next_line(self.child.lines, "PONG", timeout=WAIT_SECONDS)
        if reply != b"PONG\r\n":
            raise SetupError(f"braskelot_wayland_input answered {reply!r}")

    def run(self, lines):
        self.send(lines)
        self.sync()

    def type(self, text):
        self.run(key_taps(text))

    def close(self):
        code, _, errors = self.child.finish()
        if code != 0 or errors:
            print(f"  note: braskelot_wayland_input ended with {code}, stderr {errors[:200]!r}")


class Reference(Ours):
    """braskelot_wayland_reference_reader: MOVE and PING only, the least sent for each."""

    name = "reference reader"

    def __init__(self, runtime, env):
        self.child = Piped([runtime.programs["reference"]], env, **runtime.account.popen_args())
        if next_line(self.child.lines, "reference ready line") != b"BRASKELOT_WIN_INPUT_READY\r\n":
            raise SetupError("the reference reader did not start")


class WtypePerAction:
    """One wtype process per action, as agent harnesses run it."""

    name = "wtype per action"

    def __init__(self, runtime, env):
        self.env, self.popen = env, runtime.account.popen_args()

    def wtype(self, args):
        subprocess.run(["wtype"] + args, env=self.env, check=True, timeout=WAIT_SECONDS, **self.popen)

    def run(self, lines):
        for line in lines:
            if line.startswith("KEY_TAP"):
                self.wtype(wtype_args(line))

    def type(self, text):
        # One process for the whole text: the best case for this way.
        self.wtype(["--", text])

    def close(self):
        pass


def blocks(runner, lines):
    """The program's lines in blocks of BLOCK, each waited for (PONG, then the
    observer's marker) before the next: sway disconnects a client that falls
    behind a burst by more than its socket holds, and the observer, writing a
    line per event to a pipe this driver reads, is such a client. wtype's
    processes wait for themselves."""
    if not isinstance(runner, Ours):
        return [lambda: runner.run(lines)]
    return [lambda block=lines[i:i + BLOCK]: runner.run(block) for i in range(0, len(lines), BLOCK)]


def timed(observer, steps):
    """Seconds from the first write until the observer has seen the last event; its lines."""
    observer.mark()
    observer.ask("TEXT", "TEXT")
    lines = []
    begin = time.perf_counter()
    for step in steps:
        step()
        lines += observer.mark()
    return time.perf_counter() - begin, lines


def run_mixed(observer, runner, lines):
    seconds, seen = timed(observer, blocks(runner, lines))
    keys = [line for line in lines if line.startswith("KEY_TAP")]
    clicks = len(lines) - len(keys) if isinstance(runner, Ours) else 0
    buttons = sum(1 for line in seen if line.startswith("button press"))
    return len(lines) / seconds, len(keys) / seconds, (buttons, clicks, *key_presses(seen), len(keys))


def run_typing(observer, runner, text):
    if isinstance(runner, Ours):
        seconds, _ = timed(observer, blocks(runner, key_taps(text)))
    else:
        seconds, _ = timed(observer, [lambda: runner.type(text)])
    got = "".join(chr(int(v, 16)) for v in observer.ask("TEXT", "TEXT"))
    return len(text) / seconds, wrong_count(text, got)


def position(observer):
    observer.command("POS")
    while True:
        line = next_line(observer.lines, "observer answer to POS").decode(errors="replace")
        if line.startswith("POS "):
            return tuple(int(v) for v in line.split()[1:3])


def move_latency(observer, runner, i, lane):
    """Seconds from writing one MOVE to a new position until the observer's
    POS answers it. Each runner has its own lane of positions: a move to
    where the pointer already is would send no motion to the window."""
    x, y = 20 + (i * 7 + lane * 211) % 900, 20 + (i * 13 + lane * 157) % 700
    begin = time.perf_counter()
    runner.send([f"MOVE {x} {y}"])
    while position(observer) != (x, y):
        if time.perf_counter() - begin > WAIT_SECONDS:
            raise SetupError(f"the observer did not see the pointer reach {x},{y}")
    return time.perf_counter() - begin


def measure(runtime, env, observer, settings):
    kinds = {"ours": Ours, "wtype": WtypePerAction}
    mixed = {kind: [] for kind in kinds}
    keys_rate = {kind: [] for kind in kinds}
    presses = {}
    typing = {kind: [] for kind in kinds}
    text = non_ascii_text(settings.chars)
    for round_number in range(settings.rounds):
        for kind in rotate(list(kinds), round_number):
            lines = mixed_stream(settings.per_action if kind == "wtype" else settings.commands)
            runner = kinds[kind](runtime, env)
            for _ in range(3 if kind == "ours" else 1):
                rate, key_rate, seen = run_mixed(observer, runner, lines)
                mixed[kind].append(rate)
                keys_rate[kind].append(key_rate)
                presses[kind] = seen
            runner.close()
            # A program of its own for the text, as wtype starts one for it.
            typist = kinds[kind](runtime, env)
            typing[kind].append(run_typing(observer, typist, text))
            typist.close()
    # Move by move in turns, so that a drift of the machine falls on both alike.
    movers = {"ours": Ours(runtime, env), "reference": Reference(runtime, env)}
    latency, probe = {kind: [] for kind in movers}, []
    for i in range(settings.moves):
        for kind in rotate(list(movers), i):
            latency[kind].append(move_latency(observer, movers[kind], i, 0 if kind == "ours" else 1))
        # What one POS costs with nothing to wait for: the resolution of the above.
        begin = time.perf_counter()
        position(observer)
        probe.append(time.perf_counter() - begin)
    for mover in movers.values():
        mover.close()
    return mixed, keys_rate, presses, typing, latency, probe


def report(settings, mixed, keys_rate, presses, typing, latency, probe):
    names = {"ours": Ours.name, "wtype": WtypePerAction.name}
    print(f"\n[1] mixed stream of clicks, key taps and chords, {settings.rounds} rounds (3 runs a round for the "
          "program), median; wtype cannot click: it is sent the key taps and chords only")
    for kind in ("ours", "wtype"):
        buttons, clicks, keys, held, want_keys = presses[kind]
        count = settings.per_action if kind == "wtype" else settings.commands
        every = f"{median(mixed[kind]):9.0f} commands/s" if kind == "ours" else f"{'':>20}"
        print(f"  {names[kind]:<24} {every}  {median(keys_rate[kind]):9.0f} key commands/s  ({count} commands, "
              f"{want_keys} of them keys; button presses {buttons}/{clicks}, key presses {keys}/{want_keys} "
              f"seen/sent, modifiers not counted, last run; {held} more only held at a keyboard enter)")
    print(f"\n[2] typing {settings.chars} non-ASCII characters (wtype: one process for the whole text, its best case)")
    for kind in ("ours", "wtype"):
        runs = typing[kind]
        print(f"  {names[kind]:<24} {median([r[0] for r in runs]):9.0f} chars/s  "
              f"wrong {max(r[1] for r in runs)} (worst round, as the observer's window read them)")
    print("\n[3] MOVE write-to-pointer latency (until the observer's POS answers the new position)")
    for kind, name in (("ours", Ours.name), ("reference", Reference.name)):
        samples = latency[kind]
        print(f"  {name:<24} median {median(samples) * 1e6:8.0f} us  p99 {percentile(samples, 0.99) * 1e6:8.0f} us"
              f"  ({len(samples)} moves)")
    print(f"  {'POS alone (probe cost)':<24} median {median(probe) * 1e6:8.0f} us  p99 {percentile(probe, 0.99) * 1e6:8.0f} us")

    per_action = median(keys_rate["ours"]) / median(keys_rate["wtype"])
    rows = [
        ("key commands/s vs wtype per action", per_action, ">= 50x", lambda r: r >= 50),
        ("  all commands/s vs its key ones", median(mixed["ours"]) / median(keys_rate["wtype"]), "-", None),
        ("non-ASCII typing, chars/s", median([r[0] for r in typing["ours"]]), ">= 1000", lambda r: r >= 1000),
        ("non-ASCII typing, wrong", max(r[1] for r in typing["ours"]), "0", lambda r: r == 0),
        ("MOVE latency median vs reference", median(latency["ours"]) / median(latency["reference"]), "<= 1.2x",
         lambda r: r <= 1.2),
        ("MOVE latency p99 vs reference",
         percentile(latency["ours"], 0.99) / percentile(latency["reference"], 0.99), "-", None),
    ]
    print("\nSummary: braskelot_wayland_input")
    print(f"{'measure':<38} {'value':>10}  {'goal':<8}")
    for name, value, goal, test in rows:
        verdict = "" if test is None else ("met" if test(value) else "MISSED")
        print(f"{name:<38} {value:10.2f}  {goal:<8} {verdict}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build", "linux"))
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--quick", action="store_true", help="smaller sizes, for a try-out")
    settings = parser.parse_args()
    settings.commands, settings.per_action, settings.chars, settings.moves = \
        (400, 40, 200, 100) if settings.quick else (2000, 200, 1000, 500)
    programs = {"program": os.path.join(settings.build, "braskelot_wayland_input"),
                "observer": os.path.join(settings.build, "tests", "wayland", "braskelot_wayland_observer"),
                "reference": os.path.join(settings.build, "bench", "braskelot_wayland_reference_reader")}
    missing = [tool for tool in ("sway", "wtype") if subprocess.run(["sh", "-c", f"command -v {tool}"],
                                                                    capture_output=True).returncode != 0]
    missing += [path for path in programs.values() if not os.path.exists(path)]
    if missing:
        print(f"wayland benchmarks skipped: missing {', '.join(missing)}")
        return 0
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    began = time.monotonic()
    print(f"load average before: {' '.join(f'{v:.2f}' for v in os.getloadavg())}")
    runtime = sway = observer = None
    try:
        account = Account()
        runtime = Runtime(account, programs, prefix="wl3-bench-")
        sway = Compositor(runtime)
        env = runtime.env(sway.display)
        observer = Observer([runtime.programs["observer"]], env, **account.popen_args())
        report(settings, *measure(runtime, env, observer, settings))
    except SetupError:
        if observer is not None:
            print(f"observer's exit code: {observer.process.poll()}")
        if sway is not None:
            with open(sway.log.name, errors="replace") as log:
                print("sway's log ends:\n" + log.read()[-2000:])
        raise
    finally:
        if observer is not None:
            observer.close()
        if sway is not None:
            sway.stop()
        if runtime is not None:
            runtime.close()
    print(f"({time.monotonic() - began:.0f} s; load average after: {' '.join(f'{v:.2f}' for v in os.getloadavg())})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
