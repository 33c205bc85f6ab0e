#!/usr/bin/env python3
"""Types texts through braskelot_wayland_input into X applications on the
Xwayland of a private headless sway and checks, character for character, what
each holds.

The applications (xterm running cat, a GTK 3 and a Qt 5 editor on their X11
backends, Chromium as an X client) are those of tests/x11_apps, typed the same
texts the same way (a fresh program for each, the Python client's type() at
full speed, then sync(), idle and with one busy process per core). Xwayland
applies each keymap the program uploads as it arrives; an X application reads
its key events later, with the keymap it last fetched. After every text: no
key down, Xwayland still the same process, the keymap it holds compiles again
with xkbcomp, and Qt's xcb never failed to compile it.

Exit codes: 0 all exact, 1 a check failed, 77 skipped (a tool missing; with
CI=true a missing tool fails instead).
"""

import os
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
for folder in (("tests", "drivers"), ("tests", "x11_apps"), ("tests", "wayland"), ("tests", "wayland_apps"),
               ("clients", "python", "src")):
    sys.path.insert(0, os.path.join(REPO, *folder))
import braskelot  # noqa: E402
import wayland_input_test  # noqa: E402
from common import WAIT, Report, SetupError, missing_tools, skip_or_fail  # noqa: E402
from wayland_apps_test import program_argv  # noqa: E402
from wayland_input_test import Account, Compositor, Runtime  # noqa: E402
import wayland_apps  # noqa: E402
import x11_apps_test  # noqa: E402

import xwayland_apps  # noqa: E402

KEYMAP_DUMP = os.path.join(REPO, "build", "linux", "tests", "xwayland_apps", "braskelot_keymap_text_dump")
# Character keys bound to none, then to CJK, Latin-1, Cyrillic and astral characters.
BINDINGS = ([], [f"{0x4E00 + i:x}" for i in range(20)] + ["e9", "df", "416", "1f600", "1d400", "20000", "a0", "20ac"])


def check_keymap_texts(report, dump):
    """xkbcomp, X's own compiler, takes the keymap text the program uploads."""
    # xkbcomp replaces its output file (never give it /dev/null).
    with tempfile.TemporaryDirectory(prefix="braskelot-xkb-") as folder:
        for codes in BINDINGS:
            text = subprocess.run([dump, *codes], capture_output=True, check=True, timeout=WAIT).stdout
            done = subprocess.run(["xkbcomp", "-w", "0", "-", os.path.join(folder, "keymap.xkm")], input=text,
                                  capture_output=True, timeout=WAIT)
            report.check(f"xkbcomp compiles the program's keymap with {len(codes)} character keys bound",
                         done.returncode == 0, done.stderr.decode(errors="replace")[-300:])


def xwayland_display(runtime):
    """The display of sway's Xwayland (started at the first X client), as
    sway gives it to what it runs."""
    written = os.path.join(runtime.dir, "display")
    deadline = time.monotonic() + WAIT
    while time.monotonic() < deadline:
        if os.path.exists(written):
            with open(written) as f:
                display = f.read().strip()
            if display:
                return display
        time.sleep(0.05)
    raise SetupError("sway gave no Xwayland display")


def main():
    args = x11_apps_test.parse_args(__doc__, xwayland_apps.APPS,
                                    ("BRASKELOT_WAYLAND_PROGRAM", "braskelot_wayland_input"))
    kinds = [xwayland_apps.APPS[name] for name in args.apps]
    root = ["useradd", "setpriv"] if os.geteuid() == 0 else []
    dump = os.environ.get("BRASKELOT_KEYMAP_TEXT_DUMP", KEYMAP_DUMP)
    missing = missing_tools(["sway", "swaymsg", "Xwayland", "xkbcomp", "pgrep"] + root + (["xhost"] if root else []),
                            [args.program, dump]) \
        + [tool for kind in kinds for tool in kind.missing()]
    code = skip_or_fail(list(dict.fromkeys(missing)))
    if code is not None:
        return code
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    started = time.monotonic()
    report = Report()
    results = {}
    runtime = sway = seat = None
    try:
        check_keymap_texts(report, dump)
        account = Account()
        scripts = {name: os.path.join(REPO, "tests", "x11_apps", name) for name in ("gtk_text.py", "qt_text.py")}
        runtime = Runtime(account, {"program": args.program, **scripts}, prefix="xwl-apps-")
        wayland_input_test.SWAY_CONFIG = wayland_input_test.SWAY_CONFIG.replace(
            "xwayland disable", "xwayland enable") + f'exec echo "$DISPLAY" > {runtime.dir}/display.new && mv {runtime.dir}/display.new {runtime.dir}/display\n'
        sway = Compositor(runtime)
        display = xwayland_display(runtime)
        env = runtime.env(sway.display)
        env.update(DISPLAY=display, LC_ALL="C.UTF-8", NO_AT_BRIDGE="1", GDK_BACKEND="x11", QT_QPA_PLATFORM="xcb")
        os.environ.update(WAYLAND_DISPLAY=sway.display, XDG_RUNTIME_DIR=runtime.dir, DISPLAY=display)
        args.program = program_argv(account, runtime.programs["program"])
        sway_seat = wayland_apps.Seat(runtime, sway, None, env, args.program)
        # The seat's own keyboard, as a desktop has one; the first X client
        # starts Xwayland, which takes in this keyboard's keymap. The test
        # (root) reads the X server too: the compositor's user lets it.
        with braskelot.start(args.program):
            if account.user is not None:
                done = subprocess.run(["xhost", "+si:localuser:root"], env=env, capture_output=True, text=True,
                                      timeout=WAIT, **account.popen_args())
                if done.returncode != 0:
                    raise SetupError(f"xhost on {display}: {done.stderr.strip()}")
            seat = xwayland_apps.Seat(display, sway_seat, runtime)
            seat.on_lost += [sway.stop, runtime.close]
            seat.clean = clean = xwayland_apps.Clean(seat)
            for kind in kinds:
                x11_apps_test.run_app(report, kind, args, env, runtime.dir, seat, clean, results)
                report.check(f"{kind.name}: Xwayland alive after its texts", seat.xwayland_alive(), "it died")
    except (SetupError, braskelot.Error, subprocess.SubprocessError, OSError) as error:
        report.check("environment", False, str(error))
    finally:
        if seat is not None:
            seat.close()
        if sway is not None:
            sway.stop()
        if runtime is not None:
            runtime.close()
    x11_apps_test.summary(results, args)
    print(f"note: took {time.monotonic() - started:.1f} s")
    return report.close("xwayland-apps")


if __name__ == "__main__":
    sys.exit(main())
