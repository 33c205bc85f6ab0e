"""Text to KEY_TAP lines."""

from typing import List

_RETURN = "KEY_TAP 13 0\n"
_TAB = "KEY_TAP 9 0\n"


def text_lines(text: str) -> List[str]:
    """One entry per typed character (two for a pair of surrogates).

    Line feed, carriage return and CR LF are one Return each; tab is Tab; any
    other control character raises ValueError.
    """
    if not isinstance(text, str):
        raise ValueError("type() takes a str, not %s" % type(text).__name__)
    out: List[str] = []
    previous = ""
    for index, char in enumerate(text):
        code = ord(char)
        if char == "\n":
            if previous != "\r":
                out.append(_RETURN)
        elif char == "\r":
            out.append(_RETURN)
        elif char == "\t":
            out.append(_TAB)
        elif code < 32 or 127 <= code < 160:
            raise ValueError("control character U+%04X at index %d cannot be typed" % (code, index))
        elif code > 0xFFFF:
            code -= 0x10000
            out.append("KEY_TAP 0 0 %d\nKEY_TAP 0 0 %d\n" % (0xD800 + (code >> 10), 0xDC00 + (code & 0x3FF)))
        else:
            out.append("KEY_TAP 0 0 %d\n" % code)
        previous = char
    return out
