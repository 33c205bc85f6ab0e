"""The Wayland side of the client's tests: braskelot_wayland_input on a
private headless sway (run by tests/wayland's driver as an unprivileged user
when we are root), read through our Wayland observer's window, which covers
the output and has the keyboard focus. Tokens as tests/wayland writes them:
+keysym / -keysym (the keysym at the press, modifiers applied), B1+ / B1-,
W0+1 (a wheel click: axis 0 vertical, 1 horizontal), motion@x,y."""

import os
from typing import Any, List, Tuple

from x11_support import REPO, X11, x11_module


def wayland_paths() -> Tuple[str, str]:
    build = REPO / "build" / "linux"
    return (os.environ.get("BRASKELOT_WAYLAND_PROGRAM") or str(build / "braskelot_wayland_input"),
            os.environ.get("BRASKELOT_WAYLAND_OBSERVER")
            or str(build / "tests" / "wayland" / "braskelot_wayland_observer"))


class Wayland(X11):
    """The compositor, its observer, and the program under test (run as we
    are: root may reach the user's socket)."""

    def __init__(self, program: str, runtime: Any, display: str, observer: Any) -> None:
        super().__init__(program, display, observer)
        self.runtime = runtime
        self.mods: List[Tuple[str, str]] = []  # (keysym, modifiers active) at each key press of the last events()

    def events(self) -> List[str]:
        self.lines = self.observer.mark()
        tokens, mods = x11_module("wayland_input_test").observed(self.lines, self.names)
        self.mods = [(m[0], m[1]) for m in mods]
        return tokens

    def keys(self) -> List[str]:
        return sorted(self.observer.ask("KEYS", "KEYS"))

    def bound(self) -> List[str]:
        raise NotImplementedError("the Wayland observer has no BOUND question")

    def start(self) -> Any:
        """The program, once the window has heard of its keyboard and pointer
        (each program brings the seat its devices: the pointer enters where it is)."""
        client = super().start()
        client.sync()
        self.events()
        return client
