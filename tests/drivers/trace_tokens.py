"""The dry run's trace read as the events a backend makes of it, as tokens to
compare with an observer's: placements as motion (clamped to the screen),
buttons, wheel clicks of 120 with the remainder kept per axis, keys through
the code table, and no release of what is not down. Unicode keystrokes are
counted and written +? / -?, not named: which keys type a character is the
keymap's business. The program releases a held Unicode keystroke on RESET
and RESET_KEYS, which the dry run does not list."""

import re

LINE_FIELDS = re.compile(r"(\w+)=(\S+)")
BUTTON_FLAGS = {0x0002: "B1+", 0x0004: "B1-", 0x0020: "B2+", 0x0040: "B2-", 0x0008: "B3+", 0x0010: "B3-"}
VERTICAL_WHEEL = 0x0800


class TraceReader:
    """Subclasses say how a backend shows wheel clicks (wheel_tokens) and
    whether a placement where the pointer already is shows at all."""

    repeats_motion = True

    def __init__(self, screen, vk_keysyms):
        self.screen = screen
        self.vk_keysyms = vk_keysyms
        self.down = set()
        self.wheel = {VERTICAL_WHEEL: 0, 0x1000: 0}
        self.high = False
        self.unicode_down = 0
        self.position = None

    def wheel_tokens(self, vertical, clicks):
        """Tokens of clicks (positive: away from the user, or right)."""
        raise NotImplementedError

    def press(self, tokens, name, up, sign_last=False):
        if up == (name in self.down):
            (self.down.discard if up else self.down.add)(name)
            sign = "-" if up else "+"
            tokens.append(name + sign if sign_last else sign + name)

    def read(self, lines):
        tokens, characters = [], 0
        for line in lines:
            parts = line.split()
            fields = {k: int(v, 0) for k, v in LINE_FIELDS.findall(line)}
            if parts[0] == "place":
                x, y = (min(max(int(v), 0), limit - 1) for v, limit in zip(parts[1:3], self.screen))
                if self.repeats_motion or (x, y) != self.position:
                    tokens.append(f"motion@{x},{y}")
                self.position = (x, y)
            elif parts[0] == "mouse" and fields["flags"] in BUTTON_FLAGS:
                token = BUTTON_FLAGS[fields["flags"]]
                self.press(tokens, token[:2], token[2] == "-", sign_last=True)
            elif parts[0] == "mouse" and fields["flags"] in self.wheel:
                axis = fields["flags"]
                self.wheel[axis] += fields["data"]
                clicks = int(self.wheel[axis] / 120)
                self.wheel[axis] -= clicks * 120
                tokens += self.wheel_tokens(axis == VERTICAL_WHEEL, clicks)
            elif parts[0] == "key" and fields["flags"] & 4:
                unit, up = fields["scan"], bool(fields["flags"] & 2)
                if 0xD800 <= unit < 0xDC00:
                    self.high = self.high or not up
                    continue
                if unit != 0 and not up and (unit < 0xDC00 or unit > 0xDFFF or self.high):
                    characters += 1
                    self.unicode_down += 1
                    tokens.append("+?")
                elif up and unit != 0 and self.unicode_down > 0:
                    self.unicode_down -= 1
                    tokens.append("-?")
                if not up:
                    self.high = False
            elif parts[0] == "reply" and parts[1] in ("RESET_OK", "RESET_KEYS_OK"):
                tokens += ["-?"] * self.unicode_down
                self.unicode_down = 0
            elif parts[0] == "key" and fields["vk"] != 0:
                self.press(tokens, self.vk_keysyms.get(fields["vk"], f"vk{fields['vk']}"), bool(fields["flags"] & 2))
        return tokens, characters


def press_gaps(lines):
    """Milliseconds between successive button presses, by the observer's time stamps."""
    times = [int(dict(LINE_FIELDS.findall(line))["time"]) for line in lines if line.startswith("button press")]
    return [later - earlier for earlier, later in zip(times, times[1:])]
