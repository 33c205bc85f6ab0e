"""Running the release's programs: the PING probe, and a private Wine prefix
for the .exe."""

import os
import subprocess
import threading
import time

from common import READY_LINE, WAIT, Piped, SetupError, next_line


def answers_ping(argv, env, ready_timeout=WAIT, stderr=subprocess.PIPE):
    """'' when the program prints the ready line, answers PING with PONG and
    exits with 0 at the end of its input; else what went wrong."""
    try:
        program = Piped(argv, env, stderr=stderr)
    except OSError as error:
        return str(error)
    try:
        ready = next_line(program.lines, "ready line", timeout=ready_timeout)
        if ready != READY_LINE:
            return f"ready line {ready!r}"
        program.send("PING\n")
        pong = next_line(program.lines, "PONG")
        if pong != b"PONG\r\n":
            return f"answered PING with {pong!r}"
        code, rest, errors = program.finish()
        if code != 0 or rest:
            return f"exit code {code}, then {rest!r}, stderr {errors[-500:]!r}"
        return ""
    except SetupError as error:
        return str(error)
    finally:
        program.kill()


class Wine:
    """A private Wine prefix on the private Xvfb, booted in the background."""

    def __init__(self, base, display):
        self.env = dict(os.environ, WINEPREFIX=os.path.join(base, "wine"), WINEARCH="win64", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=display)
        self.error = None
        self.thread = threading.Thread(target=self.boot, daemon=True)
        self.thread.start()

    def boot(self):
        try:
            started = time.monotonic()
            subprocess.run(["wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=300, check=True)
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=300)
            # A persistent server: the program's first start then takes no seconds.
            subprocess.run(["wineserver", "-p"], env=self.env, timeout=WAIT)
            print(f"note: Wine prefix booted in {time.monotonic() - started:.1f} s")
        except (subprocess.SubprocessError, OSError) as error:
            self.error = f"wineboot: {error}"

    def ready(self):
        self.thread.join()
        if self.error:
            raise SetupError(self.error)
        return self.env

    def close(self):
        self.thread.join()
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=WAIT)
