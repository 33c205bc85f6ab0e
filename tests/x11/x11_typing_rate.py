#!/usr/bin/env python3
"""Types 1,000 characters through braskelot_x11_input on a private Xvfb and
prints how fast they reached the server and how many came out wrong.

A figure, not a test. Each text goes to the program in one write, as
KEY_TAP Unicode keystrokes; the clock runs from that write to the observer's
line for the last character's release. Then the characters are compared with
what was sent twice: TEXT (the recorded stream read with the keymap in force
at each press) and WTEXT (the observer window's own XLookupString, as an
ordinary client reads them when it gets to them). A spare keycode rebound too
early shows in WTEXT only.

  x11_typing_rate.py --program build/linux/braskelot_x11_input \\
                     --observer build/linux/tests/x11/braskelot_x11_observer
"""

import argparse
import difflib
import os
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "drivers"))
from common import READY_LINE, Observer, Piped, SetupError, missing_tools, next_line, start_xvfb, stop  # noqa: E402
from x11_cases import MODIFIERS, typed  # noqa: E402

LENGTH = 1000
ASCII_TEXT = "".join(chr(0x20 + i % 95) for i in range(LENGTH))
# 300 distinct characters (CJK, Latin Extended-A and -B, Cyrillic) in a cycle,
# with an emoji (a surrogate pair) in every tenth place.
DISTINCT = [chr(c) for c in list(range(0x4E00, 0x4E64)) + list(range(0x100, 0x164)) + list(range(0x410, 0x474))]
EMOJI = [chr(c) for c in range(0x1F600, 0x1F650)]
NON_ASCII_TEXT = "".join(EMOJI[(i // 10) % len(EMOJI)] if i % 10 == 9 else DISTINCT[i % len(DISTINCT)]
                         for i in range(LENGTH))


def wrong(sent, received):
    """Characters sent that did not arrive in their place, or arrived extra:
    what is left over beside the longest common subsequence difflib finds."""
    matcher = difflib.SequenceMatcher(None, sent, received, autojunk=False)
    return max(len(sent), len(received)) - sum(block.size for block in matcher.get_matching_blocks())


def received(observer, command):
    return [chr(int(cp, 16)) for cp in observer.ask(command, command)]


def type_text(program, observer, text):
    """(characters/s to the last release seen, characters/s to the PONG,
    releases missing from the recording, wrong in TEXT, wrong in WTEXT) for
    one text."""
    observer.mark()
    received(observer, "TEXT")
    received(observer, "WTEXT")
    script = "".join(line + "\n" for line in typed(text))
    pong = []  # when the reply came: the server had processed every event by then
    waiter = threading.Thread(target=lambda: pong.append((next_line(program.lines, "PONG"), time.monotonic())))
    started = time.monotonic()
    program.send(script + "PING\n")
    waiter.start()
    releases, last = 0, started
    while releases < len(text):
        try:
            line = next_line(observer.lines, "typed key events", timeout=2)
        except SetupError:
            break  # the recording lost the rest; the window's lookup still counts them
        fields = line.decode(errors="replace").split()
        if fields[:2] == ["key", "release"] and fields[3].split("=")[1] not in MODIFIERS:
            releases, last = releases + 1, time.monotonic()
    waiter.join()
    observer.mark()
    return (len(text) / (last - started), len(text) / (pong[0][1] - started), len(text) - releases,
            wrong(text, received(observer, "TEXT")), wrong(text, received(observer, "WTEXT")))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--observer", required=True)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--only", choices=("ASCII", "non-ASCII"), help="type one of the texts only")
    args = parser.parse_args()
    missing = missing_tools(["Xvfb"], [args.program, args.observer])
    if missing:
        print("SKIP: missing " + ", ".join(missing))
        return 77
    xvfb, observer, program = None, None, None
    try:
        xvfb, display = start_xvfb()
        env = dict(os.environ, DISPLAY=display)
        observer = Observer([args.observer], env)
        program = Piped([args.program], env)
        if next_line(program.lines, "ready line") != READY_LINE:
            raise SetupError("no ready line")
        for name, text in (("ASCII", ASCII_TEXT), ("non-ASCII", NON_ASCII_TEXT)):
            if args.only not in (None, name):
                continue
            for round_number in range(1, args.rounds + 1):
                rate, to_pong, lost, text_wrong, window_wrong = type_text(program, observer, text)
                print(f"{name:9} round {round_number}: {len(text)} characters, {rate:7.0f} chars/s "
                      f"({to_pong:.0f} to the PONG), "
                      f"wrong: {text_wrong} in TEXT, {window_wrong} in WTEXT"
                      + (f" ({lost} releases missing from the recording)" if lost else ""))
        program.finish(close=True)
    finally:
        if program is not None:
            program.kill()
        if observer is not None:
            observer.close()
        stop(xvfb)
    return 0


if __name__ == "__main__":
    sys.exit(main())
