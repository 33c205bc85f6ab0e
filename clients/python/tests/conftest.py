"""The program under test is a fixture, so other programs can be added. The
X11 fixtures stand on x11_support, the Wayland ones on wayland_support;
`desktop` is either, for the cases both read alike."""

import os
import shutil
import subprocess
import tempfile
from pathlib import Path
from typing import Callable, Iterator, List

import pytest

import braskelot
from wayland_support import Wayland, wayland_paths
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


def require(tools: List[str], programs: List[str], driver: str) -> None:
    """Skips (fails under CI=true) naming whatever is missing: tools on PATH,
    the programs, a driver's helper in the checkout's tests folder."""
    missing = [t for t in tools if shutil.which(t) is None]
    missing += [p for p in programs if not os.access(p, os.X_OK)]
    if not (REPO / "tests" / driver).is_file():
        missing.append(str(REPO / "tests" / driver) + " (set BRASKELOT_REPO)")
    if missing:
        skip_or_fail(missing)


# -- X11: braskelot_x11_input on a private Xvfb, watched by the event observer --

@pytest.fixture(scope="session")
def x11_server() -> Iterator[X11]:
    program, observer = x11_paths()
    require(["Xvfb"], [program, observer], "drivers/common.py")
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


def _running(server: X11) -> Iterator[braskelot.Input]:
    client = server.start()
    try:
        yield client
    finally:
        client.close()


@pytest.fixture
def x11_client(x11: X11) -> Iterator[braskelot.Input]:
    yield from _running(x11)


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


# -- Wayland: braskelot_wayland_input on a private headless sway, watched by our observer --

@pytest.fixture(scope="session")
def wayland_server() -> Iterator[Wayland]:
    program, observer = wayland_paths()
    require(["sway"] + (["useradd"] if os.geteuid() == 0 else []), [program, observer], "wayland/wayland_input_test.py")
    driver = x11_module("wayland_input_test")
    runtime = driver.Runtime(driver.Account(), {"observer": observer}, prefix="braskelot-py-")
    sway = watcher = None
    try:
        sway = driver.Compositor(runtime)
        watcher = x11_module("common").Observer([runtime.programs["observer"]], runtime.env(sway.display),
                                                **runtime.account.popen_args())
        yield Wayland(program, runtime, sway.display, watcher)
    finally:
        if watcher is not None:
            watcher.close()
        if sway is not None:
            sway.stop()
        runtime.close()


@pytest.fixture
def wayland(wayland_server: Wayland, monkeypatch: pytest.MonkeyPatch) -> Wayland:
    """The compositor in $WAYLAND_DISPLAY (no $DISPLAY), events and text read up to now."""
    monkeypatch.setenv("XDG_RUNTIME_DIR", wayland_server.runtime.dir)
    monkeypatch.setenv("WAYLAND_DISPLAY", wayland_server.display)
    monkeypatch.delenv("DISPLAY", raising=False)
    wayland_server.events()
    wayland_server.text()
    return wayland_server


@pytest.fixture
def wayland_client(wayland: Wayland) -> Iterator[braskelot.Input]:
    yield from _running(wayland)


@pytest.fixture(params=["x11", "wayland"])
def desktop(request: pytest.FixtureRequest) -> X11:
    return request.getfixturevalue(request.param)


@pytest.fixture
def desktop_client(desktop: X11) -> Iterator[braskelot.Input]:
    yield from _running(desktop)
