"""What the X11 benchmarks send: the mixed stream, the texts, and the same
commands as xdotool arguments."""

import random

MODIFIER_NAMES = ["ctrl", "alt", "shift", "super"]  # mask bits 1, 2, 4, 8 of the protocol
VK_NAMES = {13: "Return", 9: "Tab", 37: "Left", 39: "Right", 112: "F1", 116: "F5",
            **{vk: chr(vk).lower() for vk in range(65, 91)}, **{vk: chr(vk) for vk in range(48, 58)}}


def mixed_stream(count, seed=7):
    """Clicks, key taps and chords of one to four modifiers, fixed seed."""
    rng = random.Random(seed)
    keys = sorted(VK_NAMES)
    # Control+Alt with a function key is a server action (switch screen), not a key event.
    chord_keys = [vk for vk in keys if vk < 112]
    lines = []
    for i in range(count):
        kind = i % 4
        if kind == 0:
            lines.append(f"CLICK {rng.randrange(0, 900)} {rng.randrange(0, 700)} {rng.choice((0, 0, 2))}")
        elif kind == 1:
            lines.append(f"KEY_TAP {rng.choice(keys)} 0")
        else:
            lines.append(f"KEY_TAP {rng.choice(chord_keys)} {rng.choice((1, 1, 3, 5, 15))}")
    return lines


def ascii_text(count):
    sentence = "The quick brown fox jumps over the lazy dog, 0123456789; (a+b)*c=d? [x] {y} 'q' \"w\" "
    return (sentence * (count // len(sentence) + 1))[:count]


def non_ascii_text(count, seed=11):
    """Many distinct characters: Latin Extended-A, Greek, Cyrillic, kana, CJK,
    and a few emoji (surrogate pairs in UTF-16)."""
    pool = [chr(c) for c in list(range(0x100, 0x180)) + list(range(0x391, 0x3A2)) + list(range(0x3A3, 0x3CA))
            + list(range(0x410, 0x450)) + list(range(0x3041, 0x3094)) + list(range(0x4E00, 0x4E64))
            + list(range(0x1F600, 0x1F614))]
    rng = random.Random(seed)
    text = []
    while len(text) < count:
        rng.shuffle(pool)
        text.extend(pool)
    return "".join(text[:count])


def key_taps(text):
    """KEY_TAP lines of the UTF-16 units of the text, as Unicode keystrokes."""
    units = text.encode("utf-16-le")
    return [f"KEY_TAP 0 0 {int.from_bytes(units[i:i + 2], 'little')}" for i in range(0, len(units), 2)]


def xdotool_args(line):
    """The xdotool command for one protocol line."""
    word = line.split()
    if word[0] == "MOVE":
        return ["mousemove", word[1], word[2]]
    if word[0] == "CLICK":
        # Without --delay 0 a single click waits 100 ms.
        return ["mousemove", word[1], word[2], "click", "--delay", "0", str({0: 1, 1: 2, 2: 3}[int(word[3])])]
    vk, mods = int(word[1]), int(word[2])
    chord = [MODIFIER_NAMES[m] for m in range(4) if mods & (1 << m)]
    # Without --delay 0 xdotool waits 12 ms around each key: give it its best case.
    return ["key", "--delay", "0", "+".join(chord + [VK_NAMES[vk]])]


def expected_presses(lines):
    """(button presses, key presses) the lines must make the server see."""
    buttons = sum(1 for line in lines if line.startswith("CLICK"))
    keys = sum(1 + bin(int(line.split()[2])).count("1") for line in lines if line.startswith("KEY_TAP"))
    return buttons, keys


def few_distinct_text(count):
    """Non-ASCII characters, fewer distinct ones than a server has spare
    keycodes (Xvfb: 19), so that each is bound once and reused."""
    pool = "éßüöäñçøåæœł"
    return (pool * (count // len(pool) + 1))[:count]
