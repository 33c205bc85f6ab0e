#!/usr/bin/python3
"""A Qt 5 window with one focused QPlainTextEdit, driven on standard input:
GET prints "TEXT <json string>" with what the editor holds, CLEAR empties it
and prints "CLEARED", FOCUS activates it again, QUIT ends. Prints
"READY <xid>" once the editor has the keyboard focus of an active window."""

import json
import os
import sys

from PyQt5.QtCore import QSocketNotifier, QTimer
from PyQt5.QtWidgets import QApplication, QPlainTextEdit

app = QApplication(sys.argv[:1])
editor = QPlainTextEdit()
editor.setWindowTitle("braskelot Qt text")
editor.resize(700, 400)
pending = b""
announced = False


def reply(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


def focused():
    return editor.isActiveWindow() and editor.hasFocus()


def announce():
    global announced
    if not announced and focused():
        announced = True
        reply(f"READY {int(editor.winId())}")
        timer.stop()


def command(fd):
    global pending
    chunk = os.read(fd, 4096)
    pending += chunk
    while b"\n" in pending:
        line, pending = pending.split(b"\n", 1)
        line = line.decode().strip()
        if line == "QUIT":
            app.quit()
        elif line == "GET":
            reply("TEXT " + json.dumps(editor.toPlainText()))
        elif line == "CLEAR":
            editor.clear()
            reply("CLEARED")
        elif line == "FOCUS":
            editor.activateWindow()
            editor.setFocus()
            reply(f"FOCUS {int(focused())}")
    if not chunk:
        notifier.setEnabled(False)
        app.quit()


notifier = QSocketNotifier(sys.stdin.fileno(), QSocketNotifier.Read)
notifier.activated.connect(command)
timer = QTimer()
timer.timeout.connect(announce)
timer.start(100)
editor.show()
editor.activateWindow()
editor.setFocus()
app.focusChanged.connect(lambda *_: announce())
sys.exit(app.exec_())
