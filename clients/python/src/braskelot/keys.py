"""Key names to Windows virtual-key codes, with the modifiers a name implies."""

import difflib
from typing import Dict, List, Sequence, Tuple, Union

CTRL, ALT, SHIFT, WIN = 1, 2, 4, 8

# vk of the generic modifier key for each mask bit, and the bit of every
# modifier key code (left and right variants included).
MODIFIER_VK = {CTRL: 17, ALT: 18, SHIFT: 16, WIN: 91}
MODIFIER_BIT = {17: CTRL, 162: CTRL, 163: CTRL, 18: ALT, 164: ALT, 165: ALT,
                16: SHIFT, 160: SHIFT, 161: SHIFT, 91: WIN, 92: WIN}
GENERIC_MODIFIERS = frozenset(MODIFIER_VK.values())

Key = Tuple[int, int]  # (vk, modifier mask the name implies)

_CANONICAL: Dict[str, Key] = {
    "backspace": (8, 0), "tab": (9, 0), "clear": (12, 0), "enter": (13, 0),
    "shift": (16, 0), "ctrl": (17, 0), "alt": (18, 0), "pause": (19, 0),
    "caps_lock": (20, 0), "escape": (27, 0), "space": (32, 0),
    "page_up": (33, 0), "page_down": (34, 0), "end": (35, 0), "home": (36, 0),
    "left": (37, 0), "up": (38, 0), "right": (39, 0), "down": (40, 0),
    "select": (41, 0), "print": (42, 0), "execute": (43, 0),
    "print_screen": (44, 0), "insert": (45, 0), "delete": (46, 0),
    "help": (47, 0), "win": (91, 0), "win_r": (92, 0), "apps": (93, 0),
    "sleep": (95, 0),
    "kp_multiply": (106, 0), "kp_add": (107, 0), "kp_separator": (108, 0),
    "kp_subtract": (109, 0), "kp_decimal": (110, 0), "kp_divide": (111, 0),
    "num_lock": (144, 0), "scroll_lock": (145, 0),
    "shift_l": (160, 0), "shift_r": (161, 0), "ctrl_l": (162, 0),
    "ctrl_r": (163, 0), "alt_l": (164, 0), "alt_r": (165, 0),
    "browser_back": (166, 0), "browser_forward": (167, 0),
    "browser_refresh": (168, 0), "browser_stop": (169, 0),
    "browser_search": (170, 0), "browser_favorites": (171, 0),
    "browser_home": (172, 0), "volume_mute": (173, 0),
    "volume_down": (174, 0), "volume_up": (175, 0), "media_next": (176, 0),
    "media_previous": (177, 0), "media_stop": (178, 0),
    "media_play_pause": (179, 0), "launch_mail": (180, 0),
    "launch_media": (181, 0), "launch_app1": (182, 0),
    "launch_app2": (183, 0),
    ";": (186, 0), "=": (187, 0), ",": (188, 0), "-": (189, 0), ".": (190, 0),
    "/": (191, 0), "`": (192, 0), "[": (219, 0), "\\": (220, 0),
    "]": (221, 0), "'": (222, 0),
    # Characters a US layout types with Shift: the key plus Shift.
    "!": (49, SHIFT), "@": (50, SHIFT), "#": (51, SHIFT), "$": (52, SHIFT),
    "%": (53, SHIFT), "^": (54, SHIFT), "&": (55, SHIFT), "*": (56, SHIFT),
    "(": (57, SHIFT), ")": (48, SHIFT), "_": (189, SHIFT), "+": (187, SHIFT),
    "{": (219, SHIFT), "}": (221, SHIFT), "|": (220, SHIFT), ":": (186, SHIFT),
    '"': (222, SHIFT), "<": (188, SHIFT), ">": (190, SHIFT), "?": (191, SHIFT),
    "~": (192, SHIFT),
}
for _c in "abcdefghijklmnopqrstuvwxyz":
    _CANONICAL[_c] = (ord(_c) - 32, 0)
for _d in range(10):
    _CANONICAL[str(_d)] = (48 + _d, 0)
    _CANONICAL["kp_%d" % _d] = (96 + _d, 0)
for _f in range(1, 25):
    _CANONICAL["f%d" % _f] = (111 + _f, 0)

_ALIASES: Dict[str, str] = {
    "return": "enter", "kp_enter": "enter", "esc": "escape",
    "control": "ctrl", "control_l": "ctrl_l", "control_r": "ctrl_r",
    "lctrl": "ctrl_l", "rctrl": "ctrl_r", "option": "alt", "menu_key": "apps",
    "lalt": "alt_l", "ralt": "alt_r", "altgr": "alt_r", "lshift": "shift_l",
    "rshift": "shift_r", "super": "win", "cmd": "win", "command": "win",
    "meta": "win", "windows": "win", "win_l": "win", "super_l": "win",
    "super_r": "win_r", "meta_l": "win", "meta_r": "win_r", "lwin": "win",
    "rwin": "win_r", "menu": "apps", "context_menu": "apps",
    "pgup": "page_up", "prior": "page_up", "pgdn": "page_down",
    "next": "page_down", "del": "delete", "ins": "insert", "bksp": "backspace",
    "back_space": "backspace", "capslock": "caps_lock", "caps": "caps_lock",
    "numlock": "num_lock", "scrolllock": "scroll_lock", "prtsc": "print_screen",
    "prtscr": "print_screen", "snapshot": "print_screen", "break": "pause",
    "arrow_left": "left", "arrow_up": "up", "arrow_right": "right",
    "arrow_down": "down", "arrowleft": "left",
    "kp_add": "kp_add", "kp_plus": "kp_add", "kp_minus": "kp_subtract",
    "kp_times": "kp_multiply", "kp_star": "kp_multiply", "kp_slash": "kp_divide",
    "kp_period": "kp_decimal", "kp_dot": "kp_decimal", "add": "kp_add",
    "subtract": "kp_subtract", "multiply": "kp_multiply", "divide": "kp_divide",
    "decimal": "kp_decimal", "separator": "kp_separator",
    "mute": "volume_mute", "audio_mute": "volume_mute",
    "xf86audiomute": "volume_mute", "xf86audiolowervolume": "volume_down",
    "xf86audioraisevolume": "volume_up", "xf86audioplay": "media_play_pause",
    "xf86audiopause": "media_play_pause", "xf86audionext": "media_next",
    "xf86audioprev": "media_previous", "xf86audiostop": "media_stop",
    "xf86back": "browser_back", "xf86forward": "browser_forward",
    "xf86refresh": "browser_refresh", "xf86stop": "browser_stop",
    "xf86search": "browser_search", "xf86favorites": "browser_favorites",
    "xf86homepage": "browser_home", "xf86mail": "launch_mail",
    "play_pause": "media_play_pause", "media_prev": "media_previous",
    "prev_track": "media_previous", "next_track": "media_next",
    "space_bar": "space", "spacebar": "space",
    # X keysym spellings of the punctuation keys.
    "semicolon": ";", "equal": "=", "comma": ",", "minus": "-",
    "period": ".", "slash": "/", "grave": "`", "bracketleft": "[",
    "backslash": "\\", "bracketright": "]", "apostrophe": "'",
    "exclam": "!", "at": "@", "numbersign": "#", "dollar": "$",
    "percent": "%", "asciicircum": "^", "ampersand": "&", "asterisk": "*",
    "parenleft": "(", "parenright": ")", "underscore": "_", "plus": "+",
    "braceleft": "{", "braceright": "}", "bar": "|", "colon": ":",
    "quotedbl": '"', "less": "<", "greater": ">", "question": "?",
    "asciitilde": "~",
}
for _d in range(10):
    _ALIASES["num%d" % _d] = "kp_%d" % _d
    _ALIASES["numpad%d" % _d] = "kp_%d" % _d
del _ALIASES["kp_add"]


def _fold(name: str) -> str:
    """Lookup form: case-insensitive, underscores, dashes and spaces ignored."""
    if len(name) == 1:
        return name.lower()
    return name.lower().replace("_", "").replace("-", "").replace(" ", "")


_LOOKUP: Dict[str, Key] = {}
for _name, _key in _CANONICAL.items():
    _LOOKUP[_fold(_name)] = _key
for _alias, _target in _ALIASES.items():
    _LOOKUP[_fold(_alias)] = _CANONICAL[_target]

CANONICAL_NAMES: Tuple[str, ...] = tuple(sorted(_CANONICAL))
ALIASES: Dict[str, str] = dict(_ALIASES)
KEY_NAMES: Tuple[str, ...] = tuple(sorted(set(_CANONICAL) | set(_ALIASES)))


def resolve(name: str) -> Key:
    """(vk, implied modifier mask) of one key name; ValueError if unknown."""
    if not isinstance(name, str) or name == "":
        raise ValueError("a key name must be a non-empty string, not %r" % (name,))
    key = _LOOKUP.get(_fold(name))
    if key is None:
        near = difflib.get_close_matches(name.lower(), KEY_NAMES, n=3, cutoff=0.5)
        hint = (" (nearest: %s)" % ", ".join(near)) if near else ""
        raise ValueError("unknown key name %r%s; see braskelot.KEY_NAMES" % (name, hint))
    return key


KeysArg = Union[str, Sequence[str]]


def split_chord(keys: KeysArg) -> List[str]:
    """'ctrl+shift+t' or ['ctrl', 'shift', 't'] as a list of key names."""
    if isinstance(keys, str):
        if keys == "+":
            return ["+"]
        if keys.endswith("++"):
            return keys[:-2].split("+") + ["+"]
        parts = keys.split("+")
    else:
        parts = list(keys)
    if not parts or any(not isinstance(p, str) or p == "" for p in parts):
        raise ValueError("bad key chord %r" % (keys,))
    return parts
