"""Calls per second through braskelot_trace (trace discarded): client vs raw os.write.

Usage: /usr/bin/python3 bench/python_client.py [path/to/braskelot_trace] [calls]
"""

import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "src"))
import braskelot  # noqa: E402

root = Path(__file__).resolve().parents[3]
program = sys.argv[1] if len(sys.argv) > 1 else str(root / "build" / "linux" / "braskelot_trace")
n = int(sys.argv[2]) if len(sys.argv) > 2 else 100_000
text = "The quick brown fox jumps over the lazy dog. " * 20


def client_run(kind):
    with open(os.devnull, "wb") as null:
        c = braskelot.start(program, stderr=null)
        t = time.perf_counter()
        if kind == "move":
            for i in range(n):
                c.move(i & 1023, 5)
        elif kind == "click":
            for i in range(n):
                c.click(i & 1023, 5)
        elif kind == "press":
            for _ in range(n):
                c.press("ctrl+a")
        else:
            for _ in range(n // len(text) * 10 or 1):
                c.type(text)
        c.sync(timeout=60)
        dt = time.perf_counter() - t
        c.close()
    return dt


def raw_run(kind):
    with open(os.devnull, "wb") as null:
        p = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=null, bufsize=0)
        p.stdout.readline()
        fd = p.stdin.fileno()
        t = time.perf_counter()
        if kind == "move":
            for i in range(n):
                os.write(fd, b"MOVE %d %d\n" % (i & 1023, 5))
        elif kind == "click":
            for i in range(n):
                os.write(fd, b"CLICK %d %d 0 1\n" % (i & 1023, 5))
        elif kind == "press":
            for _ in range(n):
                os.write(fd, b"KEY_TAP 65 1\n")
        else:
            for _ in range(n // len(text) * 10 or 1):
                os.write(fd, "".join("KEY_TAP 0 0 %d\n" % ord(ch) for ch in text).encode())
        os.write(fd, b"PING\n")
        p.stdout.readline()
        dt = time.perf_counter() - t
        p.stdin.close()
        p.wait()
    return dt


print("%-6s %14s %14s %7s   (goal: ratio <= 1.5)" % ("call", "client /s", "raw write /s", "ratio"))
for kind in ("move", "click", "press", "type"):
    count = n if kind != "type" else (n // len(text) * 10 or 1) * len(text)
    unit = "chars" if kind == "type" else "calls"
    c = min(client_run(kind) for _ in range(3))
    r = min(raw_run(kind) for _ in range(3))
    print("%-6s %14.0f %14.0f %7.2f   %s" % (kind, count / c, count / r, c / r, unit))
