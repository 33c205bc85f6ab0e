"""The programs the X11 benchmarks compare, each able to send protocol lines
(translated for xdotool) and to type a text."""

import subprocess

from common import Piped, SetupError, next_line
from x11_bench_inputs import key_taps, xdotool_args


class LineProgram:
    """braskelot_x11_input or the reference reader: protocol lines on a pipe."""

    def __init__(self, name, exe, env):
        self.name = name
        self.child = Piped([exe], env)
        if next_line(self.child.lines, f"{name} ready line") != b"BRASKELOT_WIN_INPUT_READY\r\n":
            raise SetupError(f"{name}: no ready line")

    def send(self, lines):
        self.child.send("".join(line + "\n" for line in lines))

    def type(self, text):
        self.send(key_taps(text))

    def close(self):
        code, _, errors = self.child.finish()
        if code != 0 or errors:
            print(f"  note: {self.name} ended with {code}, stderr {errors[:200]!r}")


class XdotoolScript:
    """`xdotool -`: the same commands as lines on its standard input, run as read."""

    def __init__(self, env):
        self.name = "xdotool -"
        self.process = subprocess.Popen(["xdotool", "-"], stdin=subprocess.PIPE, env=env)

    def send(self, lines):
        self.process.stdin.write("".join(" ".join(xdotool_args(line)) + "\n" for line in lines).encode())
        self.process.stdin.flush()

    def type(self, text):
        # One line a character. The script reader splits words at blanks and
        # takes quotes as quoting, so those go by key name.
        names = {" ": "space", "'": "apostrophe", '"': "quotedbl"}
        lines = [f"key --delay 0 {names[c]}" if c in names else f"type --delay 0 {c}" for c in text]
        self.process.stdin.write("".join(line + "\n" for line in lines).encode())
        self.process.stdin.flush()

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=30)


class XdotoolPerAction:
    """One xdotool process per action, as agent harnesses run it."""

    def __init__(self, env):
        self.name = "xdotool per action"
        self.env = env

    def run(self, args):
        subprocess.run(["xdotool"] + args, env=self.env, check=True)

    def send(self, lines):
        for line in lines:
            self.run(xdotool_args(line))

    def type(self, text):
        # One action types the whole text: the best case for this way.
        self.run(["type", "--delay", "0", "--", text])

    def close(self):
        pass
