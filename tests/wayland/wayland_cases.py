"""The cases of the wayland test: what each input must make a client see.

Expected events, one token each, in the order the observer's window got them:
  +a / -a        key press / release, named by the keysym the window read at the press
  B1+ / B1-      BTN_LEFT press / release (B2 middle, B3 right)
  W0+1 / W1-1    one wheel click: axis 0 vertical, 1 horizontal, with its discrete sign
  motion@X,Y     the pointer entered or moved to (X, Y) of the window, which covers the output
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "x11"))
from x11_cases import CHORD, EMOJI, MODIFIERS, NON_ASCII_200, VK_KEYSYMS, typed  # noqa: E402,F401

CLICK_GAP_MS = 10


class Case:
    def __init__(self, name, lines, expect=None, replies=(), pos=None, keys=None, text=None, mods=None,
                 click_gap=False):
        self.name = name
        self.lines = lines
        self.expect = None if expect is None else expect.split()  # None: the text decides
        self.replies = list(replies)
        self.pos = pos  # pointer position afterwards
        self.keys = keys  # keysyms of the keys down afterwards, e.g. "Control_L a"
        self.text = text  # characters the window must have read
        self.mods = mods  # the modifiers the window holds at the press of the chord's key
        self.click_gap = click_gap


def click(button, count, x, y):
    b = {0: 1, 1: 2, 2: 3}[button]
    once = f"B{b}+ B{b}- "
    return Case(f"click button {button} x{count}", [f"CLICK {x} {y} {button} {count}"],
                f"motion@{x},{y} " + once * count, pos=(x, y), click_gap=count > 1)


def text_case(name, text):
    return Case(name, typed(text), text=text, keys="")


# One program run, in this order: state carries from case to case. A placement
# where the pointer already is moves nothing, and the window is told nothing.
SESSION = [
    Case("ping", [], ""),
    Case("move", ["MOVE 100 200"], "motion@100,200", pos=(100, 200)),
    Case("moves in one chunk coalesce", ["MOVE 300 400", "MOVE 250 150"], "motion@250,150", pos=(250, 150)),
    Case("move off the screen is clamped", ["MOVE 5000 -20"], "motion@1023,0", pos=(1023, 0)),
    Case("move far to the left and down is clamped", ["MOVE -70000 99999"], "motion@0,767", pos=(0, 767)),
    Case("left down", ["DOWN 110 120 0"], "motion@110,120 B1+", pos=(110, 120)),
    Case("left up", ["UP 130 140 0"], "motion@130,140 B1-", pos=(130, 140)),
    Case("middle down", ["DOWN 150 160 1"], "motion@150,160 B2+"),
    Case("middle up", ["UP 170 180 1"], "motion@170,180 B2-"),
    Case("right down", ["DOWN 190 200 2"], "motion@190,200 B3+"),
    Case("right up", ["UP 210 220 2"], "motion@210,220 B3-", pos=(210, 220)),
    Case("right up again is no event", ["UP 210 220 2"], ""),
    *[click(button, count, 40 + 10 * count, 50 + button) for button in (0, 1, 2) for count in (1, 2, 3)],
    Case("scroll down", ["SCROLL 0 120"], "W0+1"),
    Case("scroll up", ["SCROLL 0 -120"], "W0-1"),
    Case("scroll right", ["SCROLL 120 0"], "W1+1"),
    Case("scroll left", ["SCROLL -120 0"], "W1-1"),
    Case("scroll three clicks", ["SCROLL 0 360"], "W0+1 " * 3),
    Case("half a click waits", ["SCROLL 0 60"], ""),
    Case("second half makes the click", ["SCROLL 0 60"], "W0+1"),
    Case("vertical first, horizontal remainder kept", ["SCROLL 30 -240"], "W0-1 W0-1"),
    Case("horizontal remainder completed", ["SCROLL 90 0"], "W1+1"),
    Case("opposite halves cancel", ["SCROLL 0 60", "SCROLL 0 -60", "PING", "SCROLL 0 60"], ""),
    Case("scroll nothing", ["SCROLL 0 -60"], ""),
    Case("tap letter", ["KEY_TAP 65 0"], "+a -a", text="a", keys=""),
    Case("tap left arrow", ["KEY_TAP 37 0"], "+Left -Left"),
    Case("tap right control", ["KEY_TAP 163 0"], "+Control_R -Control_R"),
    Case("tap F1", ["KEY_TAP 112 0"], "+F1 -F1"),
    Case("tap four-modifier chord", ["KEY_TAP 65 15"], CHORD.replace("+a -a", "+A -A"), keys="",
         mods="Shift+Control+Mod1+Mod4"),
    Case("tap Control+Alt chord", ["KEY_TAP 66 3"], "+Control_L +Alt_L +b -b -Control_L -Alt_L", mods="Control+Mod1"),
    Case("tap Windows chord", ["KEY_TAP 67 8"], "+Super_L +c -c -Super_L", mods="Mod4"),
    Case("tap empty record", ["KEY_TAP 0 0 0"], "", keys=""),
    Case("chord down", ["KEY_DOWN 65 1"], "+Control_L +a", keys="Control_L a", mods="Control"),
    Case("second key in held chord", ["KEY_DOWN 66 1"], "+b", keys="Control_L a b"),
    Case("tap inside held chord", ["KEY_TAP 67 1"], "+c -c", keys="Control_L a b"),
    Case("chord up releases control", ["KEY_UP 65 1"], "-a -Control_L", keys="b"),
    Case("last key of chord up", ["KEY_UP 66 1"], "-b", keys=""),
    Case("generic shift is the left one", ["KEY_DOWN 16 0"], "+Shift_L", keys="Shift_L"),
    Case("a letter with Shift held", ["KEY_TAP 65 0"], "+A -A", text="A", keys="Shift_L", mods="Shift"),
    Case("shift released", ["KEY_UP 16 0"], "-Shift_L", keys=""),
    text_case("ascii text", "Hello, World! 0123456789 ~`{}|"),
    text_case("e acute", "\u00e9"),
    text_case("sharp s", "\u00df"),
    text_case("CJK", "\u4e2d\u6587\u5b57"),
    text_case("emoji as two taps", EMOJI),
    Case("emoji as press, press, release, release",
         ["KEY_DOWN 0 0 55357", "KEY_DOWN 0 0 56832", "KEY_UP 0 0 55357", "KEY_UP 0 0 56832"], text=EMOJI, keys=""),
    Case("characters while Shift is held", typed("\u0436") + ["KEY_DOWN 16 0"] + typed("\u0436\u00e9h")
         + ["KEY_UP 16 0"] + typed("\u0436"), text="\u0436\u0436\u00e9h\u0436", keys=""),
    Case("lone surrogate types nothing", ["KEY_TAP 0 0 56832"], "", text="", keys=""),
    text_case("200 distinct non-ASCII characters", NON_ASCII_200),
    text_case("the same 200 again, reversed", NON_ASCII_200[::-1]),
    Case("hold buttons and chord", ["DOWN 50 60 0", "DOWN 50 60 2", "KEY_DOWN 65 1"],
         "motion@50,60 B1+ B3+ +Control_L +a", keys="Control_L a"),
    Case("reset releases all", ["RESET"], "B1- B3- -a -Control_L", replies=["RESET_OK"], pos=(50, 60), keys=""),
    Case("hold button and keys", ["DOWN 70 80 0", "KEY_DOWN 66 0", "KEY_DOWN 37 0", "KEY_DOWN 0 0 20013"],
         "motion@70,80 B1+ +b +Left +U4E2D", keys="b Left U4E2D"),
    Case("reset keys keeps the button", ["RESET_KEYS"], "-Left -b -U4E2D", replies=["RESET_KEYS_OK"], keys=""),
    Case("reset after reset keys", ["RESET"], "B1-", replies=["RESET_OK"], keys=""),
    Case("reset with nothing held", ["RESET"], "", replies=["RESET_OK"], keys=""),
]

# Runs of their own: each ends by QUIT or by the end of its input, with keys,
# a button and a character key held.
ENDINGS = [
    ("quit", "KEY_DOWN 65 0\nDOWN 5 6 1\nKEY_DOWN 0 0 20013\nQUIT\nPING\n", False),
    ("end of input", "KEY_DOWN 67 0\nDOWN 9 10 2\nKEY_DOWN 0 0 1234\n", True),
    ("input closed at once", "", True),
]

# Signals that end the program, and the moments they come at: what it holds
# then (Shift, a Unicode key and the left button), or a long text of distinct
# characters half-typed. SIGINT goes to the program's whole process group, as
# Ctrl+C in a terminal sends it.
KILL_SIGNALS = ["SIGTERM", "SIGINT", "SIGHUP", "SIGKILL"]
HOLDING = "KEY_DOWN 16 0\nKEY_DOWN 0 0 233\nDOWN 300 200 0\nPING\n"
MID_TEXT = "".join(f"KEY_TAP 0 0 {0x4E00 + i}\n" for i in range(3000))
KILL_MOMENTS = [("holding Shift, é and the left button", HOLDING), ("mid-way through a long text", MID_TEXT)]
# What the next program types once the killed one is gone.
AFTER_KILL_TEXT = "après ß 中文 ok"
