"""The Input client: one child program, commands written as they are called."""

import os
import queue
import subprocess
import time
from contextlib import contextmanager
from typing import Any, Iterator, List, Optional, Sequence, Tuple, Union

from . import keys as _keys
from . import child as _child
from .discovery import find_program
from .errors import ProgramExited, ReadyTimeout
from .text import text_lines

READY = "BRASKELOT_WIN_INPUT_READY"
BUTTONS = {"left": 0, "middle": 1, "right": 2}
_I32 = (-(2 ** 31), 2 ** 31 - 1)

Program = Union[str, "os.PathLike[str]", Sequence[str], None]


def _int32(name: str, value: Any) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise ValueError("%s must be an integer, not %r" % (name, value))
    if not _I32[0] <= value <= _I32[1]:
        raise ValueError("%s=%d is outside signed 32 bits" % (name, value))
    return value


def _button(button: str) -> int:
    code = BUTTONS.get(button) if isinstance(button, str) else None
    if code is None:
        raise ValueError("unknown button %r; one of left, middle, right" % (button,))
    return code


class Input:
    """A running input program. Use start() to make one.

    Commands are written as they are called and the program works through
    them in order, at the pace of the desktop (a slow application can pace it
    to about 60 characters a second). The calls that wait for a reply (sync,
    reset, reset_keys, close) therefore wait, by default, as long as the
    program is still working on what it was sent: 5 s plus 50 ms for every
    command written since its last reply, counted again from whenever it is
    seen to take in more of its input (on Linux the client sees how much of
    the pipe is unread). A number given as `timeout` is a plain bound instead.
    """

    def __init__(self, args: List[str], ready_timeout: float, stderr: Any) -> None:
        self._child = _child.Child(args, stderr)
        self._proc = self._child.proc
        self._lines = self._child.lines
        self._ended = False
        self._closed = False
        self.position: Optional[Tuple[int, int]] = None
        self._wait_ready(ready_timeout)

    # -- plumbing ------------------------------------------------------
    def _wait_ready(self, timeout: float) -> None:
        deadline = time.monotonic() + timeout
        seen: List[str] = []
        while True:
            left = deadline - time.monotonic()
            try:
                line = self._lines.get(timeout=max(left, 0.0)) if left > 0 else self._lines.get_nowait()
            except queue.Empty:
                self._closed = self._ended = True
                self._child.end(_child.HURRY_WAIT)
                raise ReadyTimeout(timeout, "\n".join(seen)) from None
            if line is None:
                self._ended = True
                raise ProgramExited(self._proc.wait(), "\n".join(seen))
            if line == READY:
                return
            seen.append(line)

    def _exited(self) -> ProgramExited:
        self._ended = True
        try:
            code: Optional[int] = self._proc.wait(timeout=5.0)
        except subprocess.TimeoutExpired:
            code = None
        return ProgramExited(code)

    def _write(self, data: str) -> None:
        if self._ended or self._closed:
            raise self._exited()
        try:
            self._child.write(data.encode("ascii"), data.count("\n"))
        except TimeoutError:
            raise
        except OSError:
            raise self._exited() from None

    def _ask(self, command: str, reply: str, timeout: Optional[float]) -> None:
        self._write(command + "\n")
        self._child.owed += 1
        if not self._child.reply(reply, timeout):
            raise self._exited()

    def _at(self, x: Optional[int], y: Optional[int]) -> Tuple[int, int]:
        if x is None and y is None:
            if self.position is None:
                raise ValueError("no position yet: give x and y, or move() first")
            return self.position
        return _int32("x", x), _int32("y", y)

    # -- pointer ---------------------------------------------------------
    def move(self, x: int, y: int) -> None:
        x, y = _int32("x", x), _int32("y", y)
        self._write("MOVE %d %d\n" % (x, y))
        self.position = (x, y)

    def click(self, x: Optional[int] = None, y: Optional[int] = None,
              button: str = "left", count: int = 1) -> None:
        px, py = self._at(x, y)
        b = _button(button)
        if isinstance(count, bool) or not isinstance(count, int) or not 1 <= count <= 3:
            raise ValueError("count must be 1, 2 or 3, not %r" % (count,))
        self._write("CLICK %d %d %d %d\n" % (px, py, b, count))
        self.position = (px, py)

    def double_click(self, x: Optional[int] = None, y: Optional[int] = None, button: str = "left") -> None:
        self.click(x, y, button, 2)

    def triple_click(self, x: Optional[int] = None, y: Optional[int] = None, button: str = "left") -> None:
        self.click(x, y, button, 3)

    def mouse_down(self, x: Optional[int] = None, y: Optional[int] = None, button: str = "left") -> None:
        px, py = self._at(x, y)
        self._write("DOWN %d %d %d\n" % (px, py, _button(button)))
        self.position = (px, py)

    def mouse_up(self, x: Optional[int] = None, y: Optional[int] = None, button: str = "left") -> None:
        px, py = self._at(x, y)
        self._write("UP %d %d %d\n" % (px, py, _button(button)))
        self.position = (px, py)

    def drag(self, x1: int, y1: int, x2: int, y2: int, button: str = "left",
             steps: int = 20, duration: float = 0.0) -> None:
        x1, y1, x2, y2 = (_int32(n, v) for n, v in (("x1", x1), ("y1", y1), ("x2", x2), ("y2", y2)))
        b = _button(button)
        if isinstance(steps, bool) or not isinstance(steps, int) or steps < 1:
            raise ValueError("steps must be a positive integer, not %r" % (steps,))
        if duration < 0:
            raise ValueError("duration must not be negative")
        self._write("DOWN %d %d %d\n" % (x1, y1, b))
        self.position = (x1, y1)
        for i in range(1, steps + 1):
            if duration:
                time.sleep(duration / steps)
            self.move(x1 + round((x2 - x1) * i / steps), y1 + round((y2 - y1) * i / steps))
        self._write("UP %d %d %d\n" % (x2, y2, b))

    def scroll(self, dy: float = 0, dx: float = 0, x: Optional[int] = None, y: Optional[int] = None) -> None:
        v = _int32("dy*120", round(dy * 120))
        h = _int32("dx*120", round(dx * 120))
        if x is not None or y is not None:
            self.move(*self._at(x, y))
        self._write("SCROLL %d %d\n" % (h, v))

    # -- keys --------------------------------------------------------------
    @staticmethod
    def _chord(keys: _keys.KeysArg) -> List[str]:
        """Lines that tap a chord. Generic modifiers go in the mask; a chord
        with a left/right variant is held key by key and released in reverse."""
        names = _keys.split_chord(keys)
        resolved = [_keys.resolve(n) for n in names]
        *mods, (vk, implied) = resolved
        if all(m[0] in _keys.GENERIC_MODIFIERS and m[1] == 0 for m in mods):
            mask = implied
            for m in mods:
                mask |= _keys.MODIFIER_BIT[m[0]]
            return ["KEY_TAP %d %d\n" % (vk, mask)]
        downs = ["KEY_DOWN %d %d\n" % k for k in mods]
        ups = ["KEY_UP %d %d\n" % k for k in reversed(mods)]
        return downs + ["KEY_TAP %d %d\n" % (vk, implied)] + ups

    @staticmethod
    def _single(keys: _keys.KeysArg) -> Tuple[int, int]:
        names = _keys.split_chord(keys)
        resolved = [_keys.resolve(n) for n in names]
        *mods, (vk, mask) = resolved
        for m in mods:
            if m[0] not in _keys.GENERIC_MODIFIERS or m[1]:
                raise ValueError("only ctrl, alt, shift and win can prefix a held key, not %r" % (keys,))
            mask |= _keys.MODIFIER_BIT[m[0]]
        return vk, mask

    def press(self, keys: _keys.KeysArg, presses: int = 1, interval: float = 0.0) -> None:
        lines = "".join(self._chord(keys))
        if isinstance(presses, bool) or not isinstance(presses, int) or presses < 0:
            raise ValueError("presses must be a non-negative integer, not %r" % (presses,))
        for i in range(presses):
            if i and interval:
                time.sleep(interval)
            self._write(lines)

    def hotkey(self, *keys: str) -> None:
        self.press(list(keys))

    def key_down(self, key: _keys.KeysArg) -> None:
        self._write("KEY_DOWN %d %d\n" % self._single(key))

    def key_up(self, key: _keys.KeysArg) -> None:
        self._write("KEY_UP %d %d\n" % self._single(key))

    @contextmanager
    def hold(self, *keys: str) -> Iterator[None]:
        singles = [self._single(k) for k in keys]
        done: List[Tuple[int, int]] = []
        try:
            for k in singles:
                self._write("KEY_DOWN %d %d\n" % k)
                done.append(k)
            yield
        finally:
            if not self._ended and not self._closed:
                for k in reversed(done):
                    self._write("KEY_UP %d %d\n" % k)

    def type(self, text: str, interval: float = 0.0) -> None:
        lines = text_lines(text)
        if not interval:
            if lines:
                self._write("".join(lines))
            return
        for i, line in enumerate(lines):
            if i:
                time.sleep(interval)
            self._write(line)

    # -- barriers and ends ---------------------------------------------------
    def sync(self, timeout: Optional[float] = None) -> None:
        """Returns once the program has handled everything sent before it.
        timeout None: as long as the program is still working (see Input)."""
        self._ask("PING", "PONG", timeout)

    def reset(self, timeout: Optional[float] = None) -> None:
        """Releases every button and key the program holds, after everything
        sent before; waits as sync() does."""
        self._ask("RESET", "RESET_OK", timeout)

    def reset_keys(self, timeout: Optional[float] = None) -> None:
        """reset() for the keyboard only."""
        self._ask("RESET_KEYS", "RESET_KEYS_OK", timeout)

    def wait(self, seconds: float) -> None:
        time.sleep(seconds)

    @property
    def returncode(self) -> Optional[int]:
        return self._proc.poll()

    def close(self, timeout: Optional[float] = None) -> None:
        """Waits for everything sent (RESET, as reset(timeout)), QUIT, and
        the exit; safe to call twice. When the program does not answer in
        time, or the wait is interrupted (Ctrl+C), it is ended: end of input,
        SIGTERM, then SIGKILL, each after a bounded wait (at most 7 s in
        all); the TimeoutError or KeyboardInterrupt is raised afterwards."""
        if self._closed:
            return
        if self._ended:
            self._closed = True
            self._child.end(_child.HURRY_WAIT)
            return
        try:
            self.reset(timeout)
            self._write("QUIT\n")
        except BaseException:
            self._end(_child.HURRY_WAIT)
            raise
        self._end(_child.QUIT_WAIT)

    def _end(self, grace: float) -> None:
        self._closed = True
        self._child.end(grace)

    def __enter__(self) -> "Input":
        return self

    def __exit__(self, exc_type: Any, exc: Any, tb: Any) -> None:
        if exc_type is None:
            self.close()
        elif not self._closed:
            # Leaving on an exception (Ctrl+C too): no wait for the work in
            # flight. End of input releases everything; a program still busy
            # with what it was sent gets SIGTERM after HURRY_WAIT.
            self._end(_child.HURRY_WAIT)

    def __del__(self) -> None:
        # End of input: the program releases everything and exits.
        proc = getattr(self, "_proc", None)
        if proc is not None and proc.stdin is not None and not proc.stdin.closed:
            try:
                proc.stdin.close()
            except OSError:
                pass


def start(program: Program = None, *, ready_timeout: float = 10.0, stderr: Any = None) -> Input:
    """Start the input program and wait for its ready line."""
    if program is None:
        args = [find_program()[0]]
    elif isinstance(program, (str, os.PathLike)):
        args = [os.fspath(program)]
    else:
        args = [os.fspath(a) for a in program]
    try:
        return Input(args, ready_timeout, stderr)
    except (FileNotFoundError, PermissionError) as e:
        from .errors import ProgramNotFound
        raise ProgramNotFound(["%s (%s)" % (args[0], e.strerror)]) from None
