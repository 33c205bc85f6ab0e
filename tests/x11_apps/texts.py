"""The texts the applications are typed: each a list of steps (("type", text)
or ("press", key name)) and the text the application must hold afterwards."""

import string
from collections import namedtuple

Case = namedtuple("Case", "name steps expected skip")  # skip: apps it does not apply to


def typed(name, text, skip=()):
    return Case(name, [("type", text)], text, frozenset(skip))


ASCII = ("The quick brown fox jumps over the lazy dog; THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG. "
         + string.punctuation + " " + string.digits)
WESTERN = ("Größe, déjà vu, niño, façade, Ærø, œuvre; Ça coûte 5 € chez Müller’s «naïve» café — "
           "ÅÄÖ åäö ß Ÿ ¿¡ Ørsted, Łódź, İstanbul.")
CYRILLIC_GREEK = ("Съешь же ещё этих мягких французских булок, да выпей чаю. Ґанок, Єва, Їжак. "
                  "Ξεσκεπάζω την ψυχοφθόρα βδελυγμία. Ωμέγα!")
# The first lines of the Thousand Character Classic (every character distinct),
# then kana and hangul: 110 characters, 92 of them different.
CJK = ("天地玄黄，宇宙洪荒。日月盈昃，辰宿列张。寒来暑往，秋收冬藏。闰余成岁，律吕调阳。云腾致雨，露结为霜。"
       "金生丽水，玉出昆冈。剑号巨阙，珠称夜光。果珍李柰，菜重芥姜。海咸河淡，鳞潜羽翔。"
       "いろはにほへと、カタカナ。한국어 키보드")
# Astral characters (above U+FFFF, two UTF-16 units each): emoji, a skin tone
# modifier, a flag of two regional indicators, mathematical and Gothic letters,
# CJK Extension B.
EMOJI = "😀😃😄 🎉🚀 👍🏽 🇫🇷 ❤️ 𝐀𝐁𝐂 𝔘𝔫𝔦 𐍈𐌰𐌲 𠀋𡈽𢀀 ok"

# 300 distinct characters (CJK, Latin Extended-A and -B, Cyrillic) in a cycle
# with an emoji in every tenth place, as the typing-rate benchmark types them,
# in 10 lines of 100.
_DISTINCT = [chr(c) for c in list(range(0x4E00, 0x4E64)) + list(range(0x100, 0x164)) + list(range(0x410, 0x474))]
_EMOJI_CYCLE = [chr(c) for c in range(0x1F600, 0x1F650)]
_LONG = "".join(_EMOJI_CYCLE[(i // 10) % len(_EMOJI_CYCLE)] if i % 10 == 9 else _DISTINCT[i % len(_DISTINCT)]
                for i in range(1000))
LONG = "\n".join(_LONG[i:i + 100] for i in range(0, 1000, 100))

CASES = [
    typed("ascii", ASCII),
    typed("western", WESTERN),
    typed("cyrillic-greek", CYRILLIC_GREEK),
    typed("cjk", CJK),
    typed("emoji", EMOJI),
    typed("long", LONG),
    # One character a write, 20 ms apart: each new binding is pressed while
    # the application is idle, just after the change (a reader that takes a
    # change in late reads that press with the key's previous character).
    Case("paced", [("paced", CYRILLIC_GREEK[:60])], CYRILLIC_GREEK[:60], frozenset()),
    # A BackSpace between texts at full speed, twice (the second erases a
    # character of three UTF-8 bytes).
    Case("backspace", [("type", "abc"), ("press", "BackSpace"), ("type", "d — ünï €"), ("press", "BackSpace"),
                       ("type", "✓ fin")], "abd — ünï ✓ fin", frozenset()),
    # Control+A selects all, so the text after it replaces the one before;
    # a terminal (xterm, foot) reads Control+A as a character of its own, Tk's text widget
    # as the start of the line.
    Case("select-all", [("type", "brouillon ø 草稿"), ("press", "ctrl+a"), ("type", "final ß 定稿")], "final ß 定稿",
         frozenset({"xterm", "tk", "foot"})),
]
# Not a text of its own: a program killed mid-text into one application, then
# the cjk text typed by the next program into another (x11-apps only).
KILLED = "killed"
NAMES = [case.name for case in CASES] + [KILLED]
