"""The client against braskelot_wayland_input on a private headless sway: what
our observer's window got (tokens as wayland_support describes them). Typing
and key down/up run here through test_x11's `desktop` cases."""

import os

import pytest

import braskelot
from test_x11 import by_block_left_by_exception, by_close, by_deleting_the_client, hold_everything

CTRL_SHIFT_A = "+Control_L +Shift_L +A -A -Control_L -Shift_L"

# (name, action, events the window must get, modifiers active at the press of
# each non-modifier key). A placement where the pointer is moves nothing, so
# each case goes somewhere new.
EVENTS = [
    ("click", lambda c: c.click(10, 20), "motion@10,20 B1+ B1-", []),
    ("right click at position", lambda c: (c.move(7, 8), c.click(button="right")), "motion@7,8 B3+ B3-", []),
    ("middle double click", lambda c: c.double_click(30, 40, "middle"), "motion@30,40 B2+ B2- B2+ B2-", []),
    ("scroll down at", lambda c: c.scroll(1, x=50, y=60), "motion@50,60 W0+1", []),
    ("scroll up two notches", lambda c: c.scroll(-2, x=1, y=2), "motion@1,2 W0-1 W0-1", []),
    ("scroll right", lambda c: c.scroll(dx=1, x=3, y=4), "motion@3,4 W1+1", []),
    ("scroll left", lambda c: c.scroll(dx=-3, x=5, y=6), "motion@5,6" + " W1-1" * 3, []),
    ("key by name", lambda c: (c.press("enter"), c.press("f5")), "+Return -Return +F5 -F5", ["none", "none"]),
    ("chord by name", lambda c: c.press("ctrl+shift+a"), CTRL_SHIFT_A, ["Shift+Control"]),
    ("hotkey", lambda c: c.hotkey("alt", "tab"), "+Alt_L +Tab -Tab -Alt_L", ["Mod1"]),
]


@pytest.mark.parametrize("act,expected,mods", [c[1:] for c in EVENTS], ids=[c[0] for c in EVENTS])
def test_events(wayland, wayland_client, act, expected, mods):
    act(wayland_client)
    wayland_client.sync()
    assert wayland.events() == expected.split()
    assert [m for k, m in wayland.mods if not k.endswith(("_L", "_R"))] == mods
    motions = [t for t in expected.split() if t.startswith("motion@")]
    if motions:
        assert wayland.pos() == tuple(int(v) for v in motions[-1][7:].split(","))
    assert wayland.keys() == []


@pytest.mark.parametrize("end", [by_close, by_block_left_by_exception, by_deleting_the_client])
def test_release_when_the_client_ends(wayland, end):
    box = [wayland.start()]
    hold_everything(wayland, box[0])
    assert end(box).wait(timeout=10) == 0
    assert {"B3-", "-a", "-Control_L"} <= set(wayland.events())
    assert wayland.keys() == []


def test_close_inside_hold_releases(wayland):
    client = wayland.start()
    with client.hold("ctrl", "shift"):
        client.press("a")
        client.sync()
        assert wayland.events() == CTRL_SHIFT_A.split()[:4]
        assert wayland.keys() == ["Control_L", "Shift_L"]
        client.close()
    assert sorted(wayland.events()) == ["-Control_L", "-Shift_L"]
    assert wayland.keys() == []


def test_start_without_program_picks_wayland(wayland, tmp_path, monkeypatch):
    for name, target in (("braskelot_wayland_input", wayland.program), ("braskelot_x11_input", "/bin/false")):
        (tmp_path / name).symlink_to(os.path.abspath(target))
    monkeypatch.delenv("BRASKELOT_PROGRAM", raising=False)
    monkeypatch.setenv("DISPLAY", ":5")  # the compositor offers what the Wayland program needs: it wins
    monkeypatch.setenv("PATH", str(tmp_path) + os.pathsep + os.environ.get("PATH", ""))
    with braskelot.start() as client:
        assert client._proc.args == [str(tmp_path / "braskelot_wayland_input")]
        client.move(33, 44)
        client.sync()
        assert wayland.events()[-1:] == ["motion@33,44"]  # after the pointer's entry where it was
        assert wayland.pos() == (33, 44)
