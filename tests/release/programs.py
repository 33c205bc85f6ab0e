"""Running the release's programs: the PING probe."""

import subprocess

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
