"""How long the client waits for the program, and how it ends one that will
not end by itself: against fake_program.py (slow, stuck, deaf, late, SIGTERM
ignored) as a real child. The cases marked so run with the real defaults;
the others with short waits, so they end in seconds."""

import os
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

import pytest

import braskelot
from braskelot import child

FAKE = str(Path(__file__).with_name("fake_program.py"))
# Distinct characters of one UTF-16 unit each: one KEY_TAP per character.
DISTINCT = "".join(chr(c) for c in list(range(0x4E00, 0x4E64)) + list(range(0x100, 0x164)) + list(range(0x410, 0x474)))
LONG = (DISTINCT * 4)[:1000]


class Fake:
    def __init__(self, folder: Path, options):
        self.log_path = folder / "fake.log"
        self.argv = [sys.executable, FAKE, str(self.log_path), *options]
        self.client = None

    def start(self) -> braskelot.Input:
        self.client = braskelot.start(self.argv)
        return self.client

    def log(self):
        return self.log_path.read_text().splitlines() if self.log_path.exists() else []

    def taps(self):
        return next((int(line.split()[1]) for line in self.log() if line.startswith("taps ")), None)


@pytest.fixture
def fake(tmp_path):
    made = []

    def make(*options):
        folder = tmp_path / str(len(made))
        folder.mkdir()
        made.append(Fake(folder, options))
        return made[-1]

    yield make
    for f in made:  # whatever a failed case left running
        if f.client is not None and f.client.returncode is None:
            f.client._proc.kill()
            f.client._proc.wait()


@pytest.fixture
def short_waits(monkeypatch):
    for name, value in (("WAIT_BASE", 1.5), ("WAIT_PER_COMMAND", 0.0), ("HURRY_WAIT", 1.0),
                        ("TERM_WAIT", 1.0), ("QUIT_WAIT", 1.0)):
        monkeypatch.setattr(child, name, value)


def leave_after_sync(ui):
    ui.sync()


def leave_at_once(_ui):
    pass


@pytest.mark.parametrize("then", [leave_after_sync, leave_at_once])
def test_default_waits_outlast_a_reader_at_60_characters_a_second(fake, then):
    # 400 characters at 16 ms each, the pace the X11 program keeps for an
    # application that cannot answer pings: longer than any fixed 5 s.
    f = fake("--pace", "0.016")
    with f.start() as ui:
        ui.type((DISTINCT * 2)[:400])
        then(ui)
    assert ui.returncode == 0
    assert [line for line in f.log() if not line.startswith("pong")] == ["taps 400", "end quit"]


@pytest.mark.parametrize("sees_reads", [True, False], ids=["reads seen", "reads unseen"])
def test_the_wait_lasts_while_the_program_takes_in_input(fake, short_waits, monkeypatch, sees_reads):
    # 150 commands of 18 bytes, read 256 bytes at a time at 20 ms a command:
    # a read every 0.3 s for 3 s, twice the 1.5 s allowed without one.
    if not sees_reads:
        monkeypatch.setattr(child, "_FIONREAD", None)
    f = fake("--pace", "0.02", "--chunk", "256")
    ui = f.start()
    ui.type(DISTINCT[:150])
    started = time.monotonic()
    if sees_reads:
        ui.sync()
        assert time.monotonic() - started > child.WAIT_BASE
        ui.close()
        assert f.log()[-2:] == ["taps 150", "end quit"]
    else:
        with pytest.raises(TimeoutError):
            ui.sync()
        ui.close(timeout=10)


FAKES = {
    "answers": [],
    "deaf": ["--deaf"],
    "stuck": ["--stuck", "--term", "release"],
    "stuck, SIGTERM ignored": ["--stuck", "--term", "ignore"],
    "slow": ["--pace", "0.02", "--term", "release"],
}

# (fake, what close() raises, the exit code, the fake's last log line: how it
# ended; None when it was killed and could not say)
CLOSED = [
    ("answers", None, 0, "end quit"),
    ("deaf", TimeoutError, 0, "end eof"),
    ("stuck", TimeoutError, -signal.SIGTERM, "end SIGTERM"),
    ("stuck, SIGTERM ignored", TimeoutError, -signal.SIGKILL, None),
]


@pytest.mark.parametrize("name,raised,code,last", CLOSED, ids=[c[0] for c in CLOSED])
def test_close_ends_the_program_gentlest_first(fake, short_waits, name, raised, code, last):
    f = fake(*FAKES[name])
    ui = f.start()
    ui.type("ab")
    started = time.monotonic()
    if raised is None:
        ui.close()
    else:
        with pytest.raises(raised):
            ui.close()
        assert time.monotonic() - started >= child.WAIT_BASE  # it had its allowance
    took = time.monotonic() - started
    assert ui.returncode == code
    assert (f.log()[-1:] or [None])[-1] == last
    # allowance, end of input, SIGTERM, the fake's own 0.5 s release; slack for a loaded machine
    assert took < child.WAIT_BASE + child.HURRY_WAIT + child.TERM_WAIT + 0.5 + 5
    ui.close()  # a second time does nothing


# (fake, the exit code, its last log line) when the block is left by an
# exception: no wait for the work in flight, end of input and on.
LEFT = [
    ("answers", 0, "end eof"),
    ("deaf", 0, "end eof"),
    ("stuck", -signal.SIGTERM, "end SIGTERM"),
    ("stuck, SIGTERM ignored", -signal.SIGKILL, None),
    ("slow", -signal.SIGTERM, "end SIGTERM"),
]


@pytest.mark.parametrize("name,code,last", LEFT, ids=[c[0] for c in LEFT])
def test_block_left_by_an_exception_ends_the_program_at_once(fake, short_waits, name, code, last):
    f = fake(*FAKES[name])
    with pytest.raises(RuntimeError):
        with f.start() as ui:
            ui.type(LONG)  # 20 s of work for the slow one
            started = time.monotonic()
            raise RuntimeError
    took = time.monotonic() - started
    assert ui.returncode == code
    assert (f.log()[-1:] or [None])[-1] == last
    assert took < child.HURRY_WAIT + child.TERM_WAIT + 0.5 + 5
    if name == "slow":
        assert f.taps() < len(LONG)


def test_a_reply_left_over_from_a_wait_that_gave_up_is_not_the_next_ones(fake):
    f = fake("--late", "0.5")
    ui = f.start()
    with pytest.raises(TimeoutError):
        ui.sync(timeout=0.1)
    ui.sync()  # the first PONG comes now; only the second is this one's
    assert "pong 2" in f.log()
    ui.close()


def test_a_program_that_stops_reading_cannot_hold_a_write_up(fake, short_waits):
    f = fake(*FAKES["stuck"])
    ui = f.start()
    outcome = []

    def write():
        try:
            ui.type("a" * 100000)  # 1.5 MB, far more than a pipe holds
            outcome.append(None)
        except TimeoutError as error:
            outcome.append(error)

    writer = threading.Thread(target=write, daemon=True)
    writer.start()
    writer.join(timeout=child.WAIT_BASE + 10)
    assert outcome and isinstance(outcome[0], TimeoutError)
    with pytest.raises(TimeoutError):
        ui.close()
    assert ui.returncode == -signal.SIGTERM


CONTROLLER = """
import sys, time, braskelot
ui = braskelot.start(sys.argv[2:])
try:
    with ui:
        ui.type(%r)
        print("typing", flush=True)
        if sys.argv[1] == "block":
            time.sleep(60)
finally:
    print("program", ui.returncode, flush=True)
""" % LONG

# (where the Ctrl+C finds the controller, how the program takes SIGINT, its
# exit code, how it ended)
CTRL_C = [
    ("in the block", "release", -signal.SIGINT, "end SIGINT"),
    ("while leaving the block", "release", -signal.SIGINT, "end SIGINT"),
    ("in the block, program ignores it", "ignore", -signal.SIGTERM, "end SIGTERM"),
]


@pytest.mark.parametrize("where,sigint,code,last", CTRL_C, ids=[c[0] for c in CTRL_C])
def test_ctrl_c_releases_and_ends_in_seconds(fake, where, sigint, code, last):
    # The real defaults. Ctrl+C in a terminal reaches the whole process
    # group: the controller and its program.
    f = fake("--pace", "0.02", "--int", sigint, "--term", "release")
    controller = subprocess.Popen([sys.executable, "-c", CONTROLLER, "block" if "in the block" in where else "close",
                                   *f.argv], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                  start_new_session=True)
    try:
        assert controller.stdout.readline() == "typing\n"
        time.sleep(0.5)  # into the sleep, or into close()'s wait
        os.killpg(controller.pid, signal.SIGINT)
        started = time.monotonic()
        out, err = controller.communicate(timeout=child.HURRY_WAIT + child.TERM_WAIT + 10)
        took = time.monotonic() - started
    finally:
        if controller.poll() is None:
            os.killpg(controller.pid, signal.SIGKILL)
            controller.wait()
    assert "KeyboardInterrupt" in err
    assert out == "program %d\n" % code
    assert f.log()[-1] == last  # its release was not cut short
    assert f.taps() < len(LONG)
    assert took < child.HURRY_WAIT + child.TERM_WAIT + 5
