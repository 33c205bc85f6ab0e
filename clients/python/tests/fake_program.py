"""A stand-in for the input program with the failings of a real one on
demand: slow (a pause per command, as an X11 program pacing for an
application that cannot answer pings), stuck (never reads), deaf (never
answers), late (answers after a delay), and SIGTERM or SIGINT ignored or
handled by "releasing" first. It writes what happened to LOG, one line each:
`pong N`, `taps N` and `end quit|eof|SIGTERM|SIGINT` at its end (nothing when
it is killed).

Usage: fake_program.py LOG [--pace S] [--chunk BYTES] [--stuck] [--deaf]
       [--late S] [--term ignore|release] [--int ignore|release]
"""

import argparse
import os
import signal
import time

parser = argparse.ArgumentParser()
parser.add_argument("log")
parser.add_argument("--pace", type=float, default=0.0, help="seconds per command")
parser.add_argument("--chunk", type=int, default=4096, help="bytes per read, as the program reads")
parser.add_argument("--stuck", action="store_true")
parser.add_argument("--deaf", action="store_true")
parser.add_argument("--late", type=float, default=0.0)
parser.add_argument("--term", choices=("ignore", "release"))
parser.add_argument("--int", dest="sigint", choices=("ignore", "release"), default="release")
args = parser.parse_args()
log = open(args.log, "a", buffering=1)
taps = 0


def end(how, code=0, sig=None):
    log.write("taps %d\nend %s\n" % (taps, how))
    log.close()
    if sig is not None:  # exit by the signal, as the program does
        signal.signal(sig, signal.SIG_DFL)
        os.kill(os.getpid(), sig)
    os._exit(code)


def on_signal(sig, _frame):
    time.sleep(0.5)  # releasing takes a moment; a kill now would cut it short
    end(signal.Signals(sig).name, sig=sig)


if args.term == "ignore":
    signal.signal(signal.SIGTERM, signal.SIG_IGN)
elif args.term == "release":
    signal.signal(signal.SIGTERM, on_signal)
signal.signal(signal.SIGINT, signal.SIG_IGN if args.sigint == "ignore" else on_signal)

os.write(1, b"BRASKELOT_WIN_INPUT_READY\r\n")
if args.stuck:
    while True:
        time.sleep(60)
pongs = 0
pending = b""
while True:
    data = os.read(0, args.chunk)
    if not data:
        end("eof")
    pending += data
    *lines, pending = pending.split(b"\n")
    for line in lines:
        words = line.split()
        if not words:
            continue
        time.sleep(args.pace)
        if words[0] == b"KEY_TAP":
            taps += 1
        elif words[0] == b"QUIT":
            end("quit")
        elif words[0] in (b"PING", b"RESET", b"RESET_KEYS") and not args.deaf:
            time.sleep(args.late)
            if words[0] == b"PING":
                pongs += 1
                log.write("pong %d\n" % pongs)
            reply = {b"PING": b"PONG", b"RESET": b"RESET_OK", b"RESET_KEYS": b"RESET_KEYS_OK"}[words[0]]
            os.write(1, reply + b"\r\n")
