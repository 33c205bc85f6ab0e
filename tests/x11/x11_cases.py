"""The cases of the x11 test: what each input must make the X server see.

Expected events, one token each, in server order:
  +a / -a        key press / release of a keycode whose first keysym is a
  B1+ / B1-      button 1 press / release (4 and 5 the vertical wheel, 6 and 7 the horizontal)
  motion@X,Y     pointer motion to root coordinates (X, Y)
"""

# Keysyms of the key codes the cases use, on the US keymap of a plain Xvfb
# (and letters on any keymap): the dry-run trace is read through this table.
VK_KEYSYMS = {16: "Shift_L", 17: "Control_L", 18: "Alt_L", 91: "Super_L", 160: "Shift_L", 161: "Shift_R",
              162: "Control_L", 163: "Control_R", 164: "Alt_L", 37: "Left", 13: "Return", 112: "F1",
              **{vk: chr(vk).lower() for vk in range(65, 91)}, **{vk: chr(vk) for vk in range(48, 58)}}
MODIFIERS = {"Shift_L", "Shift_R", "Control_L", "Control_R", "Alt_L", "Alt_R", "Super_L", "Super_R",
             "ISO_Level3_Shift", "Mode_switch", "ISO_Level5_Shift"}
CHORD = "+Control_L +Alt_L +Shift_L +Super_L +a -a -Control_L -Alt_L -Shift_L -Super_L"


# The pause between the clicks of a double or triple click is 10 ms, and the
# program starts it only once the server has processed the click before it.
# The server stamps each event with its millisecond clock when it processes
# it, so the stamps of the presses on either side differ by 10 or more.
CLICK_GAP_MS = 10


class Case:
    def __init__(self, name, lines, expect=None, replies=(), pos=None, keys=None, text=None, before=None,
                 click_gap=False, settle=0.0):
        self.name = name
        self.lines = lines
        self.expect = None if expect is None else expect.split()  # None: the text decides
        self.replies = list(replies)
        self.pos = pos  # pointer position afterwards (XQueryPointer)
        self.keys = keys  # keysyms of the keycodes down afterwards (XQueryKeymap), e.g. "Control_L a"
        self.text = text  # characters the observer's window must have received
        self.before = before  # a hook run just before the case: "setxkbmap de"
        self.click_gap = click_gap  # the button presses are the clicks of one CLICK, paused between
        self.settle = settle  # seconds to wait first: spare bindings that old are replaced on their plain level


def click(button, count, x, y):
    b = {0: 1, 1: 2, 2: 3}[button]
    once = f"motion@{x},{y} B{b}+ motion@{x},{y} B{b}- "
    return Case(f"click button {button} x{count}", [f"CLICK {x} {y} {button} {count}"],
                f"motion@{x},{y} " + once * count, pos=(x, y), click_gap=count > 1)


def typed(text):
    """KEY_TAP lines of the UTF-16 units of text, as Unicode keystrokes."""
    units = text.encode("utf-16-le")
    return [f"KEY_TAP 0 0 {int.from_bytes(units[i:i + 2], 'little')}" for i in range(0, len(units), 2)]


def text_case(name, text):
    return Case(name, typed(text), text=text, keys="")


NON_ASCII_200 = "".join(chr(c) for c in list(range(0x100, 0x164)) + list(range(0x410, 0x474)))
EMOJI = "\U0001F600"

# One program run, in this order: state carries from case to case.
SESSION = [
    Case("ping", [], ""),
    Case("move", ["MOVE 100 200"], "motion@100,200", pos=(100, 200)),
    Case("moves in one chunk coalesce", ["MOVE 300 400", "MOVE 250 150"], "motion@250,150", pos=(250, 150)),
    Case("move off the screen is clamped", ["MOVE 5000 -20"], "motion@1023,0", pos=(1023, 0)),
    Case("left down", ["DOWN 110 120 0"], "motion@110,120 B1+", pos=(110, 120)),
    Case("left up", ["UP 130 140 0"], "motion@130,140 B1-", pos=(130, 140)),
    Case("middle down", ["DOWN 150 160 1"], "motion@150,160 B2+"),
    Case("middle up", ["UP 170 180 1"], "motion@170,180 B2-"),
    Case("right down", ["DOWN 190 200 2"], "motion@190,200 B3+"),
    Case("right up", ["UP 210 220 2"], "motion@210,220 B3-", pos=(210, 220)),
    *[click(button, count, 40 + 10 * count, 50 + button) for button in (0, 1, 2) for count in (1, 2, 3)],
    Case("scroll down", ["SCROLL 0 120"], "B5+ B5-"),
    Case("scroll up", ["SCROLL 0 -120"], "B4+ B4-"),
    Case("scroll right", ["SCROLL 120 0"], "B7+ B7-"),
    Case("scroll left", ["SCROLL -120 0"], "B6+ B6-"),
    Case("scroll three clicks", ["SCROLL 0 360"], "B5+ B5- " * 3),
    Case("half a click waits", ["SCROLL 0 60"], ""),
    Case("second half makes the click", ["SCROLL 0 60"], "B5+ B5-"),
    Case("vertical first, horizontal remainder kept", ["SCROLL 30 -240"], "B4+ B4- B4+ B4-"),
    Case("horizontal remainder completed", ["SCROLL 90 0"], "B7+ B7-"),
    Case("opposite halves cancel", ["SCROLL 0 60", "SCROLL 0 -60", "PING", "SCROLL 0 60"], ""),
    Case("scroll nothing", ["SCROLL 0 -60"], ""),
    Case("tap letter", ["KEY_TAP 65 0"], "+a -a", keys=""),
    Case("tap left arrow", ["KEY_TAP 37 0"], "+Left -Left"),
    Case("tap right control", ["KEY_TAP 163 0"], "+Control_R -Control_R"),
    Case("tap four-modifier chord", ["KEY_TAP 65 15"], CHORD, keys=""),
    Case("tap empty record", ["KEY_TAP 0 0 0"], "", keys=""),
    Case("chord down", ["KEY_DOWN 65 1"], "+Control_L +a", keys="Control_L a"),
    Case("second key in held chord", ["KEY_DOWN 66 1"], "+b", keys="Control_L a b"),
    Case("tap inside held chord", ["KEY_TAP 67 1"], "+c -c", keys="Control_L a b"),
    Case("chord up releases control", ["KEY_UP 65 1"], "-a -Control_L", keys="b"),
    Case("last key of chord up", ["KEY_UP 66 1"], "-b", keys=""),
    Case("generic shift is the left one", ["KEY_DOWN 16 0"], "+Shift_L", keys="Shift_L"),
    Case("shift released", ["KEY_UP 16 0"], "-Shift_L", keys=""),
    text_case("ascii text", "Hello, World! 0123456789 ~`{}|"),
    text_case("e acute", "\u00e9"),
    text_case("sharp s", "\u00df"),
    text_case("CJK", "\u4e2d\u6587\u5b57"),
    text_case("emoji as two taps", EMOJI),
    Case("emoji as press, press, release, release",
         ["KEY_DOWN 0 0 55357", "KEY_DOWN 0 0 56832", "KEY_UP 0 0 55357", "KEY_UP 0 0 56832"], text=EMOJI, keys=""),
    Case("letters with a case while Shift is held", typed("\u0436") + ["KEY_DOWN 16 0"] + typed("\u0436\u00e9")
         + ["KEY_UP 16 0"] + typed("\u0436"), text="\u0436\u0436\u00e9\u0436", keys=""),
    Case("lone surrogate types nothing", ["KEY_TAP 0 0 56832"], "", text="", keys=""),
    text_case("200 distinct non-ASCII characters", NON_ASCII_200),
    Case("hold buttons and chord", ["DOWN 50 60 0", "DOWN 50 60 2", "KEY_DOWN 65 1"],
         "motion@50,60 B1+ motion@50,60 B3+ +Control_L +a", keys="Control_L a"),
    Case("reset releases all", ["RESET"], "B1- B3- -a -Control_L", replies=["RESET_OK"], pos=(50, 60), keys=""),
    Case("hold button and keys", ["DOWN 70 80 0", "KEY_DOWN 66 0", "KEY_DOWN 37 0", "KEY_DOWN 0 0 20013"],
         "motion@70,80 B1+ +b +Left +U4E2D", keys="b Left U4E2D", settle=0.1),
    Case("reset keys keeps the button", ["RESET_KEYS"], "-Left -b -U4E2D", replies=["RESET_KEYS_OK"], keys=""),
    Case("reset after reset keys", ["RESET"], "B1-", replies=["RESET_OK"], keys=""),
    Case("reset with nothing held", ["RESET"], "", replies=["RESET_OK"], keys=""),
    Case("letter on a German keymap", ["KEY_TAP 89 0"], "+y -y", text="y", keys="", before="setxkbmap de"),
    Case("other letter on a German keymap", ["KEY_TAP 90 0"], "+z -z", text="z", keys=""),
    text_case("text on a German keymap", "a\u00e9\u00dfz\u4e2d" + EMOJI),
]

# Runs of their own: each ends by QUIT or by the end of its input, with keys,
# a button and a spare-keycode binding held.
ENDINGS = [
    ("quit", "KEY_DOWN 65 0\nDOWN 5 6 1\nKEY_DOWN 0 0 20013\nQUIT\nPING\n", False),
    ("end of input", "KEY_DOWN 67 0\nDOWN 9 10 2\nKEY_DOWN 0 0 1234\n", True),
    ("input closed at once", "", True),
]
