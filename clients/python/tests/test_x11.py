"""The client against braskelot_x11_input on a private Xvfb: what the server
saw, through the event observer (tokens as x11_support.token writes them).
The cases on `desktop` run on the Wayland program too (test_wayland.py has
the ones the two read differently)."""

import gc
import os
import signal
import subprocess
import sys
import time

import pytest

import braskelot
from braskelot import discovery
from test_client import CASES, CLOSE
from x11_support import click, ended, executable, last_motion, token, wheel, x11_module, x11_paths


CHORD4 = "+Control_L +Alt_L +Shift_L +Super_L +a -a -Control_L -Alt_L -Shift_L -Super_L"

# (name, action, events the server must see). No case leaves a key down.
EVENTS = [
    ("move", lambda c: c.move(100, 200), ["motion@100,200"]),
    ("move off the screen is clamped", lambda c: c.move(5000, -20), ["motion@1023,0"]),
    ("click", lambda c: c.click(10, 20), click(1, 10, 20)),
    ("right click at position", lambda c: (c.move(7, 8), c.click(button="right")), ["motion@7,8"] + click(3, 7, 8)),
    ("middle click", lambda c: c.click(30, 40, "middle"), click(2, 30, 40)),
    ("double click", lambda c: c.double_click(50, 60), click(1, 50, 60, 2)),
    ("triple click right", lambda c: c.triple_click(70, 80, "right"), click(3, 70, 80, 3)),
    ("mouse down", lambda c: c.mouse_down(110, 120), ["motion@110,120", "B1+@110,120"]),
    ("mouse down then up elsewhere", lambda c: (c.mouse_down(5, 6), c.mouse_up(8, 9)),
     ["motion@5,6", "B1+@5,6", "motion@8,9", "B1-@8,9"]),
    ("right down and up at position", lambda c: (c.move(15, 16), c.mouse_down(button="right"), c.mouse_up(button="right")),
     ["motion@15,16", "motion@15,16", "B3+@15,16", "motion@15,16", "B3-@15,16"]),
    ("scroll down at", lambda c: c.scroll(1, x=50, y=60), ["motion@50,60"] + wheel(5, 50, 60)),
    ("scroll up two notches", lambda c: c.scroll(-2, x=1, y=2), ["motion@1,2"] + wheel(4, 1, 2, 2)),
    ("scroll right", lambda c: c.scroll(dx=1, x=3, y=4), ["motion@3,4"] + wheel(7, 3, 4)),
    ("scroll left", lambda c: c.scroll(dx=-3, x=3, y=4), ["motion@3,4"] + wheel(6, 3, 4, 3)),
    ("half notches accumulate", lambda c: (c.move(9, 9), c.scroll(0.5), c.scroll(0.25), c.scroll(0.25)),
     ["motion@9,9"] + wheel(5, 9, 9)),
    ("remainders kept per axis", lambda c: (c.move(9, 9), c.scroll(1.5, -0.5), c.scroll(0.5, -0.5)),
     ["motion@9,9"] + wheel(5, 9, 9, 2) + wheel(6, 9, 9)),
    ("opposite fractions cancel", lambda c: (c.move(9, 9), c.scroll(0.5), c.scroll(-0.5), c.scroll(0.5)),
     ["motion@9,9"]),
    ("letter", lambda c: c.press("a"), "+a -a"),
    ("capital name is the same key", lambda c: c.press("A"), "+a -a"),
    ("digit", lambda c: c.press("7"), "+7 -7"),
    ("punctuation", lambda c: c.press(";"), "+semicolon -semicolon"),
    ("shifted punctuation", lambda c: c.press("!"), "+Shift_L +1 -1 -Shift_L"),
    ("chord by name", lambda c: c.press("ctrl+shift+t"), "+Control_L +Shift_L +t -t -Control_L -Shift_L"),
    ("chord as a list", lambda c: c.press(["alt", "f4"]), "+Alt_L +F4 -F4 -Alt_L"),
    ("hotkey", lambda c: c.hotkey("ctrl", "c"), "+Control_L +c -c -Control_L"),
    ("four modifiers", lambda c: c.press("ctrl+alt+shift+win+a"), CHORD4),
    ("X keysym spelling in a chord", lambda c: c.press("ctrl+Return"), "+Control_L +Return -Return -Control_L"),
    ("right variant in a chord", lambda c: c.press("ctrl_r+a"), "+Control_R +a -a -Control_R"),
    ("right shift", lambda c: c.press("shift_r"), "+Shift_R -Shift_R"),
    ("modifiers only", lambda c: c.press("ctrl+shift"), "+Control_L +Shift_L -Shift_L -Control_L"),
    ("presses", lambda c: c.press("tab", presses=2), "+Tab -Tab +Tab -Tab"),
    ("enter and return", lambda c: (c.press("enter"), c.press("Return"), c.press("KP_Enter")), "+Return -Return " * 3),
    ("escape", lambda c: (c.press("esc"), c.press("Escape")), "+Escape -Escape " * 2),
    ("page keys", lambda c: (c.press("Page_Down"), c.press("pgup"), c.press("prior")), "+Next -Next +Prior -Prior +Prior -Prior"),
    ("delete, home, end", lambda c: (c.press("del"), c.press("home"), c.press("end")), "+Delete -Delete +Home -Home +End -End"),
    ("arrows", lambda c: c.hotkey("shift", "up"), "+Shift_L +Up -Up -Shift_L"),
    ("super", lambda c: (c.press("super_l"), c.press("win"), c.press("cmd")), "+Super_L -Super_L " * 3),
    ("function keys", lambda c: (c.press("f1"), c.press("F12"), c.press("f24")), "+F1 -F1 +F12 -F12 +F24 -F24"),
    ("keypad", lambda c: (c.press("kp_1"), c.press("num_lock")), "+KP_1 -KP_1 +Num_Lock -Num_Lock"),
    ("media and browser keys", lambda c: (c.press("volume_up"), c.press("browser_back")),
     "+XF86AudioRaiseVolume -XF86AudioRaiseVolume +XF86Back -XF86Back"),
]


@pytest.mark.parametrize("act,expected", [c[1:] for c in EVENTS], ids=[c[0] for c in EVENTS])
def test_events(x11, x11_client, act, expected):
    expected = expected.split() if isinstance(expected, str) else expected
    act(x11_client)
    x11_client.sync()
    assert x11.events() == expected
    if any(t.startswith("motion@") for t in expected):
        assert x11.pos() == last_motion(expected)
    assert x11.keys() == []


@pytest.mark.parametrize("duration", [0.0, 0.1])
def test_drag(x11, x11_client, duration):
    steps = 10
    x11_client.drag(100, 100, 300, 200, steps=steps, duration=duration)
    x11_client.sync()
    seen = x11.events()
    assert seen[:2] == ["motion@100,100", "B1+@100,100"]
    assert seen[-2:] == ["motion@300,200", "B1-@300,200"]
    # Moves written together are coalesced, so the steps seen are any
    # subsequence of the steps written that ends at the last one.
    middle = seen[2:-2]
    assert all(t.startswith("motion@") for t in middle)
    written = ["motion@%d,%d" % (100 + round(200 * i / steps), 100 + round(100 * i / steps)) for i in range(1, steps + 1)]
    assert middle and middle[-1] == written[-1]
    it = iter(written)
    assert all(t in it for t in middle), middle
    assert x11.pos() == (300, 200)


def test_key_down_and_up(desktop, desktop_client):
    desktop_client.key_down("ctrl+a")
    desktop_client.key_down("b")
    desktop_client.sync()
    assert desktop.events() == ["+Control_L", "+a", "+b"]
    assert desktop.keys() == ["Control_L", "a", "b"]
    desktop_client.key_up("ctrl+a")
    desktop_client.sync()
    assert desktop.events() == ["-a", "-Control_L"]
    assert desktop.keys() == ["b"]
    desktop_client.key_up("b")
    desktop_client.sync()
    assert desktop.events() == ["-b"]
    assert desktop.keys() == []


def test_hold_releases_in_reverse_on_exception(x11, x11_client):
    with pytest.raises(RuntimeError):
        with x11_client.hold("ctrl", "shift", "x"):
            x11_client.sync()
            assert x11.events() == ["+Control_L", "+Shift_L", "+x"]
            assert x11.keys() == ["Control_L", "Shift_L", "x"]
            raise RuntimeError
    x11_client.sync()
    assert x11.events() == ["-x", "-Shift_L", "-Control_L"]
    assert x11.keys() == []


MODIFIER_KEYSYMS = {"Shift_L", "Shift_R", "ISO_Level3_Shift", "Mode_switch"}

TEXTS = [
    ("ascii", "Hello, World! 0123456789 ~`{}|\"'<>?"),
    ("e acute", "\u00e9"),
    ("sharp s", "\u00df"),
    ("CJK", "\u4e2d\u6587\u5b57"),
    ("emoji", "\U0001F600\U0001F44D"),
    ("newline and tab", "a\nb\tc\n"),
    ("carriage return and line feed are one Return", "x\r\ny\rz"),
    ("mixed", "a\u00e9\u00df\u4e2d\U0001F600 \u0416\u03a9"),
]


@pytest.mark.parametrize("text", [t[1] for t in TEXTS], ids=[t[0] for t in TEXTS])
def test_type(desktop, desktop_client, text):
    desktop_client.type(text)
    desktop_client.sync()
    seen = desktop.events()
    typed = text.replace("\r\n", "\n").replace("\r", "\n")
    assert desktop.text() == typed.replace("\n", "").replace("\t", "")
    # One press per character, Return and Tab where the text has them.
    presses = [t[1:] for t in seen if t[0] == "+" and t[1:] not in MODIFIER_KEYSYMS]
    kinds = ["Return" if p == "Return" else "Tab" if p == "Tab" else "char" for p in presses]
    assert kinds == ["Return" if ch == "\n" else "Tab" if ch == "\t" else "char" for ch in typed]
    assert sorted(t[1:] for t in seen if t[0] == "+") == sorted(t[1:] for t in seen if t[0] == "-")
    assert desktop.keys() == []


def test_sync_returns_after_the_server_has_everything(x11, x11_client):
    text = "".join(chr(c) for c in list(range(0x100, 0x164)) + list(range(0x410, 0x474))) + "plain ascii"
    for i in range(20):
        x11_client.click(10 + i, 10)
    x11_client.type(text)
    x11_client.press("ctrl+shift+t")
    x11_client.sync()
    seen = x11.events()  # the marker goes right after the sync
    assert sum(t.startswith("B1+") for t in seen) == 20
    assert x11.text() == text + "T"  # the chord's t, with Shift down
    assert seen[-6:] == "+Control_L +Shift_L +t -t -Control_L -Shift_L".split()


def hold_everything(x11, client):
    client.type("\u4e2d\u00e9")
    client.key_down("ctrl")  # not Shift: Wayland names keys down with the modifiers applied
    client.key_down("a")
    client.mouse_down(20, 30, "right")
    client.sync()
    x11.events()
    assert x11.keys() == ["Control_L", "a"]


# Each ending gets the only reference to the client, in a list it may empty.
def by_close(box):
    box[0].close()
    return box.pop()._proc


def by_block_left_by_exception(box):
    with pytest.raises(RuntimeError):
        with box[0]:
            raise RuntimeError
    return box.pop()._proc


def by_deleting_the_client(box):
    proc = box.pop()._proc
    gc.collect()
    return proc


@pytest.mark.parametrize("end", [by_close, by_block_left_by_exception, by_deleting_the_client])
def test_release_when_the_client_ends(x11, end):
    box = [x11.start()]
    hold_everything(x11, box[0])
    proc = end(box)
    assert proc.wait(timeout=10) == 0
    seen = x11.events()
    assert "B3-@20,30" in seen and "-a" in seen and "-Control_L" in seen
    assert x11.keys() == []
    assert x11.bound() == []


HOLDER = """
import sys, braskelot
c = braskelot.start(sys.argv[1])
c.type("\\u4e2d")
c.key_down("ctrl+a")
c.mouse_down(40, 50)
c.sync()
print(c._proc.pid, flush=True)
sys.stdin.read()
"""


def test_release_when_python_is_killed(x11):
    holder = subprocess.Popen([sys.executable, "-c", HOLDER, x11.program], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE)
    try:
        pid = int(holder.stdout.readline())
        assert x11.events()[-3:] == ["+a", "motion@40,50", "B1+@40,50"]
        assert x11.keys() == ["Control_L", "a"]
    finally:
        holder.send_signal(signal.SIGKILL)
        holder.wait()
        holder.stdin.close()
        holder.stdout.close()
    # The killed process's pipe closes, so the program reads the end of its
    # input, releases and exits; it is not our child, so poll for that.
    deadline = time.monotonic() + 10
    while not ended(pid) and time.monotonic() < deadline:
        time.sleep(0.02)
    if not ended(pid):
        os.kill(pid, signal.SIGKILL)
        pytest.fail("the program was still running 10 s after its controller was killed")
    seen = x11.events()
    assert "B1-@40,50" in seen and "-a" in seen and "-Control_L" in seen
    assert x11.keys() == []
    assert x11.bound() == []


def test_start_without_program_finds_x11_input_on_path(x11, tmp_path, monkeypatch):
    link = tmp_path / "braskelot_x11_input"
    link.symlink_to(os.path.abspath(x11.program))
    monkeypatch.delenv("BRASKELOT_PROGRAM", raising=False)
    monkeypatch.setenv("PATH", str(tmp_path) + os.pathsep + os.environ.get("PATH", ""))
    with braskelot.start() as client:
        assert client._proc.args == [str(link)]
        client.move(33, 44)
        client.sync()
        assert x11.events() == ["motion@33,44"]
        assert x11.pos() == (33, 44)


# (display, where copies of braskelot_x11_input are, $BRASKELOT_PROGRAM, the pick or None)
DISCOVERY = [
    (":5", ["path"], None, "path"),
    (":5", ["build"], None, "build"),
    (":5", ["path", "build"], None, "path"),
    ("", ["path", "build"], None, None),
    (None, ["path", "build"], None, None),
    (":5", ["path", "build"], "env", "env"),
    (None, [], "env", "env"),
]


@pytest.mark.parametrize("display,copies,env,picked", DISCOVERY)
def test_discovery(tmp_path, monkeypatch, display, copies, env, picked):
    places = {"path": tmp_path / "bin" / "braskelot_x11_input",
              "build": tmp_path / "checkout" / "build" / "linux" / "braskelot_x11_input",
              "env": tmp_path / "elsewhere" / "my_input"}
    for where in copies + ([env] if env else []):
        executable(places[where])
    monkeypatch.setattr(discovery, "_repo_root", lambda: tmp_path / "checkout")
    monkeypatch.setenv("PATH", str(tmp_path / "bin"))
    monkeypatch.delenv("WAYLAND_DISPLAY", raising=False)
    if env:
        monkeypatch.setenv("BRASKELOT_PROGRAM", str(places[env]))
    else:
        monkeypatch.delenv("BRASKELOT_PROGRAM", raising=False)
    if display is None:
        monkeypatch.delenv("DISPLAY", raising=False)
    else:
        monkeypatch.setenv("DISPLAY", display)
    if picked:
        assert discovery.find_program()[0] == str(places[picked])
    else:
        with pytest.raises(braskelot.ProgramNotFound, match=r"without \$DISPLAY"):
            discovery.find_program()


@pytest.mark.parametrize("line,expected", [
    ("key press keycode=38 keysym=a", "+a"),
    ("key release keycode=38 keysym=a time=123456", "-a"),
    ("button press button=3 x=10 y=20 time=5 extra=1", "B3+@10,20"),
    ("button release button=4 x=0 y=767", "B4-@0,767"),
    ("motion x=5 y=6 time=7", "motion@5,6"),
    ("MARK 3", None),
    ("WTEXT 61", None),
    ("key press", None),
])
def test_observer_lines_read_tolerantly(line, expected):
    assert token(line) == expected


def has_unicode_keystrokes(trace):
    return any(line.startswith("key vk=0 ") for line in trace)


# The dry-run cases again, on the server: what it sees must be what their
# trace stands for (Unicode keystrokes are the keymap's business: test_type).
SHARED = [c for c in CASES if not has_unicode_keystrokes(c[2])]


@pytest.mark.parametrize("act,trace", [c[1:] for c in SHARED], ids=[c[0] for c in SHARED])
def test_dry_run_cases_agree(x11, act, trace):
    driver = x11_module("x11_input_test")
    client = x11.start()
    act(client)
    client.close()
    expected, _ = driver.TraceReader().read(trace + CLOSE)
    x11.events()
    seen = driver.unnamed(driver.observed(x11.lines, {}))
    assert seen == expected
    assert x11.keys() == []


@pytest.mark.parametrize("act,expected,text", [
    (lambda c: c.press("y"), "+y -y", "y"),
    (lambda c: c.press("ctrl+z"), "+Control_L +z -z -Control_L", "z"),
    (lambda c: c.type("yz"), "+y -y +z -z", "yz"),
    (lambda c: c.type("@\u20ac\u00e4\u00df{"), None, "@\u20ac\u00e4\u00df{"),
], ids=["letter key", "chord", "letters typed", "characters of other levels"])
def test_german_keymap(german, act, expected, text):
    client = german.start()
    try:
        act(client)
        client.sync()
        seen = german.events()
        if expected is not None:
            assert seen == expected.split()
        assert german.text() == text
        assert german.keys() == []
    finally:
        client.close()


# Readers that cannot say what they have read: the program paces for them
# (about 60 characters a second), or waits 5 s once for the hung one. 400
# distinct characters take longer than any fixed 5 s wait; the client's
# defaults must wait for them all, so the text arrives whole and the program
# ends by QUIT, undoing its bindings.
SLOW_READERS = [("a reader without the ping", "none"), ("a hung reader", "ignore")]


@pytest.mark.parametrize("pings", [r[1] for r in SLOW_READERS], ids=[r[0] for r in SLOW_READERS])
def test_default_waits_outlast_a_reader_the_program_paces_for(x11_server, monkeypatch, pings):
    common = x11_module("common")
    text = "".join(chr(c) for c in list(range(0x4E00, 0x4E64)) + list(range(0x100, 0x164)) + list(range(0x410, 0x474)))
    text = (text * 2)[:400]
    xvfb, display = common.start_xvfb("640x480x24")
    try:
        monkeypatch.setenv("DISPLAY", display)
        env = dict(os.environ, BRASKELOT_OBSERVER_PINGS=pings)
        _, observer = x11_paths()
        watcher = common.Observer([observer], env)
        try:
            watcher.ask("WTEXT", "WTEXT")
            with braskelot.start(x11_server.program) as ui:
                ui.type(text)
            assert ui.returncode == 0
            watcher.mark()
            assert "".join(chr(int(u, 16)) for u in watcher.ask("WTEXT", "WTEXT")) == text
            assert watcher.ask("BOUND", "BOUND") == []
        finally:
            watcher.close()
    finally:
        common.stop(xvfb)
