"""The X11 side of the client's tests: where the checkout and the X11 pair are,
the observer's event lines read as tokens, the server the fixtures share, and
small helpers of the cases (expected tokens, processes, files)."""

import importlib
import os
import re
import sys
from pathlib import Path
from typing import Any, Dict, List, Optional, Tuple

import pytest

import braskelot

# The checkout: the X11 drivers' helpers and the default build folder live there.
_UP = Path(__file__).resolve().parents
REPO = Path(os.environ.get("BRASKELOT_REPO") or _UP[min(3, len(_UP) - 1)])
_FIELDS = re.compile(r"(\w+)=(\S+)")


def skip_or_fail(missing: List[str]) -> None:
    reason = "missing " + ", ".join(missing)
    if os.environ.get("CI") == "true":
        pytest.fail(reason + " (CI=true, so this is no skip)")
    pytest.skip(reason)


def x11_paths() -> Tuple[str, str]:
    build = REPO / "build" / "linux"
    return (os.environ.get("BRASKELOT_X11_PROGRAM") or str(build / "braskelot_x11_input"),
            os.environ.get("BRASKELOT_X11_OBSERVER") or str(build / "tests" / "x11" / "braskelot_x11_observer"))


def x11_module(name: str) -> Any:
    """A module of the test drivers (tests/x11, tests/wayland, tests/drivers)."""
    for folder in (REPO / "tests" / "drivers", REPO / "tests" / "x11", REPO / "tests" / "wayland"):
        if str(folder) not in sys.path:
            sys.path.insert(0, str(folder))
    return importlib.import_module(name)


def token(line: str) -> Optional[str]:
    """An observer event line as one token: +keysym / -keysym, B<n>+@x,y /
    B<n>-@x,y, motion@x,y; None for anything else. Fields are key=value and
    extra ones are ignored."""
    words = line.split()
    fields = dict(_FIELDS.findall(line))
    try:
        if words[0] == "key":
            return ("+" if words[1] == "press" else "-") + fields["keysym"]
        if words[0] == "button":
            sign = "+" if words[1] == "press" else "-"
            return "B%s%s@%s,%s" % (fields["button"], sign, fields["x"], fields["y"])
        if words[0] == "motion":
            return "motion@%s,%s" % (fields["x"], fields["y"])
    except (IndexError, KeyError):
        pass
    return None


class X11:
    """The private server, its observer, and the program under test."""

    def __init__(self, program: str, display: str, observer: Any) -> None:
        self.program = program
        self.display = display
        self.observer = observer
        self.names: Dict[str, str] = {}  # keycode -> keysym, learnt from key lines
        self.lines: List[str] = []  # raw event lines of the last events()

    def events(self) -> List[str]:
        """Every event the server processed since the last call, as tokens.
        Ask the questions below only after this, since they skip event lines."""
        self.lines = self.observer.mark()
        tokens = []
        for line in self.lines:
            fields = dict(_FIELDS.findall(line))
            if line.startswith("key ") and "keycode" in fields and "keysym" in fields:
                self.names[fields["keycode"]] = fields["keysym"]
            t = token(line)
            if t is not None:
                tokens.append(t)
        return tokens

    def pos(self) -> Tuple[int, int]:
        x, y = self.observer.ask("POS", "POS")[:2]
        return int(x), int(y)

    def keys(self) -> List[str]:
        """Keysyms of the keys down now, sorted."""
        return sorted(self.names.get(k, "keycode" + k) for k in self.observer.ask("KEYS", "KEYS"))

    def text(self) -> str:
        return "".join(chr(int(u, 16)) for u in self.observer.ask("TEXT", "TEXT"))

    def bound(self) -> List[str]:
        return self.observer.ask("BOUND", "BOUND")

    def start(self) -> braskelot.Input:
        return braskelot.start(self.program)


# -- the tokens the cases expect --

def click(button: int, x: int, y: int, count: int = 1) -> List[str]:
    """A CLICK: placement, then per click a placement before the press and the release."""
    one = ["motion@%d,%d" % (x, y), "B%d+@%d,%d" % (button, x, y), "motion@%d,%d" % (x, y), "B%d-@%d,%d" % (button, x, y)]
    return ["motion@%d,%d" % (x, y)] + one * count


def wheel(button: int, x: int, y: int, clicks: int = 1) -> List[str]:
    return ["B%d+@%d,%d" % (button, x, y), "B%d-@%d,%d" % (button, x, y)] * clicks


def last_motion(tokens: List[str]) -> Tuple[int, int]:
    return next(tuple(map(int, t[7:].split(","))) for t in reversed(tokens) if t.startswith("motion@"))


# -- processes and files --

def ended(pid: int) -> bool:
    """Whether a process that is not our child has ended (gone or a zombie)."""
    try:
        with open("/proc/%d/stat" % pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] == "Z"
    except FileNotFoundError:
        return True


def executable(path: Path) -> str:
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text("#!/bin/sh\n")
    path.chmod(0o755)
    return str(path)
