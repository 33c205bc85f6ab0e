#!/usr/bin/python3
"""A GTK 3 window with one focused multi-line text view, driven on standard
input: GET prints "TEXT <json string>" with what the view holds, CLEAR empties
it and prints "CLEARED", QUIT ends. Prints "READY <xid>" once the view has the
keyboard focus of an active window."""

import json
import os
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("GdkX11", "3.0")
from gi.repository import GdkX11, GLib, Gtk  # noqa: E402,F401  (GdkX11 gives get_xid)

window = Gtk.Window(title="braskelot GTK text")
window.set_default_size(700, 400)
view = Gtk.TextView()
view.set_wrap_mode(Gtk.WrapMode.CHAR)
window.add(view)
window.connect("destroy", Gtk.main_quit)
announced = False
pending = b""


def reply(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


def announce(*_):
    # Focus can arrive before or after the view is mapped: check on each change.
    global announced
    if not announced and window.is_active() and view.has_focus():
        announced = True
        # An X11 window's id; 0 on another backend (Wayland), which has none.
        reply(f"READY {getattr(window.get_window(), 'get_xid', lambda: 0)()}")
    return False


def command(fd, _condition):
    global pending
    chunk = os.read(fd, 4096)
    pending += chunk
    while b"\n" in pending:
        line, pending = pending.split(b"\n", 1)
        if not handle(line.decode().strip()):
            return False
    if not chunk:
        Gtk.main_quit()
        return False
    return True


def handle(line):
    if line == "QUIT":
        Gtk.main_quit()
        return False
    buffer = view.get_buffer()
    if line == "GET":
        reply("TEXT " + json.dumps(buffer.get_text(buffer.get_start_iter(), buffer.get_end_iter(), True)))
    elif line == "CLEAR":
        buffer.set_text("")
        reply("CLEARED")
    elif line == "FOCUS":
        window.present()
        view.grab_focus()
        reply(f"FOCUS {int(window.is_active() and view.has_focus())}")
    return True


window.connect("notify::is-active", announce)
view.connect("notify::has-focus", announce)
window.show_all()
view.grab_focus()
window.present()
GLib.unix_fd_add_full(GLib.PRIORITY_DEFAULT, sys.stdin.fileno(), GLib.IO_IN | GLib.IO_HUP, command)
GLib.timeout_add(100, lambda: announce() or not announced)
Gtk.main()
