"""The program under test is a fixture, so other programs can be added."""

import importlib
import os
import re
import shutil
import sys
import tempfile
from pathlib import Path
from typing import Any, Callable, Dict, Iterator, List, Optional, Tuple

import pytest

import braskelot


def _trace_program() -> str:
    path = os.environ.get("BRASKELOT_TRACE")
    if not path:
        path = str(Path(__file__).resolve().parents[3] / "build" / "linux" / "braskelot_trace")
    if not os.access(path, os.X_OK):
        pytest.fail("braskelot_trace not found at %s (set BRASKELOT_TRACE)" % path)
    return path


@pytest.fixture
def program() -> str:
    return _trace_program()


class Session:
    """A client on the dry-run program whose trace is read after it ends."""

    def __init__(self, program: str) -> None:
        self.trace_file = tempfile.TemporaryFile()
        self.client = braskelot.start(program, stderr=self.trace_file)

    def trace(self) -> List[str]:
        self.trace_file.seek(0)
        return self.trace_file.read().decode().splitlines()


@pytest.fixture
def session(program: str) -> Iterator[Callable[[], Session]]:
    made: List[Session] = []

    def make() -> Session:
        s = Session(program)
        made.append(s)
        return s

    yield make
    for s in made:
        s.client.close()
        s.trace_file.close()


# -- X11: braskelot_x11_input on a private Xvfb, watched by the event observer --

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
    """A module of the X11 test drivers (tests/x11, tests/drivers)."""
    for folder in (REPO / "tests" / "drivers", REPO / "tests" / "x11"):
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


@pytest.fixture(scope="session")
def x11_server() -> Iterator[X11]:
    program, observer = x11_paths()
    missing = [] if shutil.which("Xvfb") else ["Xvfb"]
    missing += [p for p in (program, observer) if not os.access(p, os.X_OK)]
    if not (REPO / "tests" / "drivers" / "common.py").is_file():
        missing.append(str(REPO / "tests" / "drivers" / "common.py") + " (set BRASKELOT_REPO)")
    if missing:
        skip_or_fail(missing)
    common = x11_module("common")
    xvfb, display = common.start_xvfb("1024x768x24")
    try:
        watcher = common.Observer([observer], dict(os.environ, DISPLAY=display))
    except BaseException:
        common.stop(xvfb)
        raise
    try:
        yield X11(program, display, watcher)
    finally:
        watcher.close()
        common.stop(xvfb)


@pytest.fixture
def x11(x11_server: X11, monkeypatch: pytest.MonkeyPatch) -> X11:
    """The server with $DISPLAY pointing at it, events and text read up to now."""
    monkeypatch.setenv("DISPLAY", x11_server.display)
    x11_server.events()
    x11_server.text()
    return x11_server


@pytest.fixture
def x11_client(x11: X11) -> Iterator[braskelot.Input]:
    client = x11.start()
    try:
        yield client
    finally:
        client.close()
