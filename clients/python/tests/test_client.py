import gc
import sys

import pytest

import braskelot

RELEASE_ALL = ["key vk=17 scan=29 flags=2", "key vk=18 scan=56 flags=2",
               "key vk=16 scan=42 flags=2", "key vk=91 scan=91 flags=3"]
CLOSE = RELEASE_ALL + ["reply RESET_OK"] + RELEASE_ALL + RELEASE_ALL


def tap(vk, scan, ext=0):
    return ["key vk=%d scan=%d flags=%d" % (vk, scan, ext), "key vk=%d scan=%d flags=%d" % (vk, scan, ext | 2)]


def uni(unit):
    return ["key vk=0 scan=%d flags=4" % unit, "key vk=0 scan=%d flags=6" % unit]


MOVED = "mouse flags=0x0001 data=0"
CTRL_D, CTRL_U = "key vk=17 scan=29 flags=0", "key vk=17 scan=29 flags=2"
SHIFT_D, SHIFT_U = "key vk=16 scan=42 flags=0", "key vk=16 scan=42 flags=2"

CASES = [
    ("move", lambda c: c.move(-5, 7), ["place -5 7", MOVED]),
    ("click at", lambda c: c.click(3, 4, "right"),
     ["place 3 4", "place 3 4", "mouse flags=0x0008 data=0", "place 3 4", "mouse flags=0x0010 data=0"]),
    ("click at position", lambda c: (c.move(1, 2), c.click(button="middle")),
     ["place 1 2", MOVED, "place 1 2", "place 1 2", "mouse flags=0x0020 data=0", "place 1 2", "mouse flags=0x0040 data=0"]),
    ("double click", lambda c: c.double_click(1, 1),
     ["place 1 1"] + ["place 1 1", "mouse flags=0x0002 data=0", "place 1 1", "mouse flags=0x0004 data=0", "pause ms=10"]
     + ["place 1 1", "mouse flags=0x0002 data=0", "place 1 1", "mouse flags=0x0004 data=0"]),
    ("down up", lambda c: (c.mouse_down(5, 6), c.mouse_up(8, 9)),
     ["place 5 6", "mouse flags=0x0002 data=0", "place 8 9", "mouse flags=0x0004 data=0"]),
    ("drag", lambda c: c.drag(0, 0, 10, 20, steps=1),
     ["place 0 0", "mouse flags=0x0002 data=0", "place 10 20", MOVED, "place 10 20", "mouse flags=0x0004 data=0"]),
    ("scroll down and right", lambda c: c.scroll(1.5, -1),
     ["mouse flags=0x0800 data=-180", "mouse flags=0x1000 data=-120"]),
    ("press letter", lambda c: c.press("A"), tap(65, 30)),
    ("press twice", lambda c: c.press("enter", presses=2), tap(13, 28) * 2),
    ("press shifted punctuation", lambda c: c.press("!"), [SHIFT_D] + tap(49, 2) + [SHIFT_U]),
    ("chord string", lambda c: c.press("ctrl+Return"), [CTRL_D] + tap(13, 28) + [CTRL_U]),
    ("hotkey", lambda c: c.hotkey("ctrl", "shift", "t"), [CTRL_D, SHIFT_D] + tap(84, 20) + [CTRL_U, SHIFT_U]),
    ("modifiers only", lambda c: c.press("ctrl+shift"), [CTRL_D] + tap(16, 42) + [CTRL_U]),
    ("shift alone", lambda c: c.press("shift"), tap(16, 42)),
    ("right variant in chord", lambda c: c.press("ctrl_r+a"),
     ["key vk=163 scan=29 flags=1"] + tap(65, 30) + ["key vk=163 scan=29 flags=3"]),
    ("key down up with mask", lambda c: (c.key_down("ctrl+a"), c.key_up("ctrl+a")),
     [CTRL_D, "key vk=65 scan=30 flags=0", "key vk=65 scan=30 flags=2", CTRL_U]),
    ("hold", lambda c: c.hold("shift", "super_l").__enter__(),
     [SHIFT_D, "key vk=91 scan=91 flags=1", "key vk=91 scan=91 flags=3", SHIFT_U]),
    ("type", lambda c: c.type("aé中😀\r\n\t"),
     uni(97) + uni(233) + uni(0x4E2D) + uni(0xD83D) + uni(0xDE00) + tap(13, 28) + tap(9, 15)),
    ("sync reset_keys", lambda c: (c.sync(), c.reset_keys()),
     ["reply PONG"] + RELEASE_ALL + ["reply RESET_KEYS_OK"]),
]


@pytest.mark.parametrize("name,act,expected", CASES, ids=[c[0] for c in CASES])
def test_trace(session, name, act, expected):
    s = session()
    act(s.client)
    s.client.close()
    assert s.trace() == expected + CLOSE


def test_hold_releases_in_reverse_on_exception(session):
    s = session()
    with pytest.raises(KeyError):
        with s.client.hold("ctrl", "x"):
            raise KeyError
    s.client.close()
    assert s.trace() == [CTRL_D, "key vk=88 scan=45 flags=0", "key vk=88 scan=45 flags=2", CTRL_U] + CLOSE


def test_block_left_by_exception_releases(program, tmp_path):
    with open(tmp_path / "t", "wb") as err:
        with pytest.raises(RuntimeError):
            with braskelot.start(program, stderr=err) as c:
                c.key_down("shift")
                raise RuntimeError
        assert c.returncode == 0
    # No RESET on the way out of an exception: the end of input releases.
    lines = (tmp_path / "t").read_text().splitlines()
    assert lines == [SHIFT_D, SHIFT_U] + RELEASE_ALL


def test_deleted_client_releases(program, tmp_path):
    with open(tmp_path / "t", "wb") as err:
        c = braskelot.start(program, stderr=err)
        c.key_down("a")
        proc = c._proc
        del c
        gc.collect()
        assert proc.wait(timeout=5) == 0
    lines = (tmp_path / "t").read_text().splitlines()
    assert lines == ["key vk=65 scan=30 flags=0", "key vk=65 scan=30 flags=2"] + RELEASE_ALL


BAD = [
    lambda c: c.move(2 ** 31, 0),
    lambda c: c.move(1.5, 0),
    lambda c: c.click(0, 0, "back"),
    lambda c: c.click(0, 0, count=4),
    lambda c: c.click(0, 0, count=True),
    lambda c: c.click(),  # no position yet
    lambda c: c.scroll(2 ** 31 / 120),
    lambda c: c.press("ctrl+nosuchkey"),
    lambda c: c.press("a", presses=1.0),
    lambda c: c.type("ok\x07"),
    lambda c: c.key_down("a+b"),
]


@pytest.mark.parametrize("act", BAD)
def test_bad_arguments_write_nothing(session, act):
    s = session()
    with pytest.raises(ValueError):
        act(s.client)
    s.client.close()
    assert s.trace() == CLOSE


def test_unknown_key_names_nearest():
    with pytest.raises(ValueError, match="page_down"):
        braskelot.resolve("pagedwn")


def test_every_name_resolves_and_aliases_agree():
    for name in braskelot.KEY_NAMES:
        vk, mods = braskelot.resolve(name)
        assert 0 < vk < 256 and mods in (0, 4)
        assert braskelot.resolve(name.upper()) == (vk, mods)
    for alias, canonical in braskelot.ALIASES.items():
        assert braskelot.resolve(alias) == braskelot.resolve(canonical), alias


def test_every_canonical_name_reaches_the_program(session):
    s = session()
    plain = [n for n in braskelot.CANONICAL_NAMES if braskelot.resolve(n)[1] == 0]
    for name in plain:
        s.client.key_down(name)
        s.client.key_up(name)
    s.client.close()
    downs = [l for l in s.trace() if "flags=0" in l or "flags=1" in l]
    seen = [int(l.split()[1][3:]) for l in downs if l.startswith("key")][: len(plain)]
    assert seen == [braskelot.resolve(n)[0] for n in plain]


def test_program_not_found(tmp_path, monkeypatch):
    monkeypatch.setenv("BRASKELOT_PROGRAM", str(tmp_path / "missing"))
    monkeypatch.setenv("PATH", str(tmp_path))
    monkeypatch.delenv("DISPLAY", raising=False)  # else a checkout's build/linux program is found
    monkeypatch.delenv("WAYLAND_DISPLAY", raising=False)
    with pytest.raises(braskelot.ProgramNotFound, match="missing"):
        braskelot.start()
    with pytest.raises(braskelot.ProgramNotFound):
        braskelot.start(str(tmp_path / "nope"))


def test_no_ready_line():
    with pytest.raises(braskelot.ReadyTimeout, match="hello"):
        braskelot.start([sys.executable, "-c", "import time; print('hello', flush=True); time.sleep(30)"],
                        ready_timeout=0.5)


def test_program_dies_mid_session():
    script = "import sys; print('BRASKELOT_WIN_INPUT_READY', flush=True); sys.stdin.readline(); sys.exit(3)"
    c = braskelot.start([sys.executable, "-c", script])
    c.move(1, 1)
    with pytest.raises(braskelot.ProgramExited) as info:
        c.sync(timeout=5)
    assert info.value.returncode == 3
    with pytest.raises(braskelot.ProgramExited):
        c.move(2, 2)
    c.close()
    c.close()
