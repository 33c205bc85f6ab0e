"""The program under test is a fixture, so other programs can be added. The
X11 fixtures stand on x11_support."""

import os
import shutil
import subprocess
import tempfile
from pathlib import Path
from typing import Callable, Iterator, List

import pytest

import braskelot
from x11_support import REPO, X11, skip_or_fail, x11_module, x11_paths


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


@pytest.fixture
def german(x11: X11) -> Iterator[X11]:
    """The server's keymap German for one test, US again afterwards."""
    if shutil.which("setxkbmap") is None:
        skip_or_fail(["setxkbmap"])
    subprocess.run(["setxkbmap", "-display", x11.display, "de"], check=True, timeout=20)
    x11.events()
    try:
        yield x11
    finally:
        subprocess.run(["setxkbmap", "-display", x11.display, "us"], check=True, timeout=20)
        x11.events()
