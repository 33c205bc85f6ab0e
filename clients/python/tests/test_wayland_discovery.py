"""start() without a program: braskelot_wayland_input when $WAYLAND_DISPLAY
names a compositor that offers the virtual keyboard and pointer, else the X11
program when $DISPLAY is set. The compositor here is a socket that answers
the registry as a compositor does, on the wire."""

import os
import socket
import struct
import threading

import pytest

import braskelot
from braskelot import discovery

MANAGERS = ["zwp_virtual_keyboard_manager_v1", "zwlr_virtual_pointer_manager_v1"]


def wire_string(text):
    data = text.encode() + b"\0"
    return struct.pack("=I", len(data)) + data + b"\0" * (-len(data) % 4)


def message(sender, opcode, body):
    return struct.pack("=II", sender, ((8 + len(body)) << 16) | opcode) + body


class FakeCompositor:
    """Lists `interfaces` as globals, in pieces, and answers the sync."""

    def __init__(self, path, interfaces):
        self.server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.server.bind(str(path))
        self.server.listen(4)
        self.interfaces = interfaces
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                client, _ = self.server.accept()
            except OSError:
                return
            with client:
                requests = b""
                while len(requests) < 24:
                    chunk = client.recv(64)
                    if not chunk:
                        break
                    requests += chunk
                registry = struct.unpack_from("=I", requests, 8)[0]
                callback = struct.unpack_from("=I", requests, 20)[0]
                reply = b"".join(message(registry, 0, struct.pack("=I", n + 1) + wire_string(name) + struct.pack("=I", 1))
                                 for n, name in enumerate(self.interfaces))
                reply += message(callback, 0, struct.pack("=I", 1))
                for start in range(0, len(reply), 7):  # a reader must join the pieces
                    client.sendall(reply[start:start + 7])

    def close(self):
        self.server.close()


def executable(path):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text("#!/bin/sh\n")
    path.chmod(0o755)


CASES = [
    # (interfaces the compositor offers, $DISPLAY, program picked or None)
    (["wl_seat", "wl_output"] + MANAGERS, None, "braskelot_wayland_input"),
    (["wl_seat", "wl_output"] + MANAGERS, ":5", "braskelot_wayland_input"),
    (["wl_seat", MANAGERS[0]], ":5", "braskelot_x11_input"),
    (["wl_seat", MANAGERS[1]], None, None),
    (None, ":5", "braskelot_x11_input"),  # $WAYLAND_DISPLAY names no socket
]


@pytest.mark.parametrize("interfaces,display,picked", CASES)
def test_wayland_discovery(tmp_path, monkeypatch, interfaces, display, picked):
    for name in ("braskelot_wayland_input", "braskelot_x11_input"):
        executable(tmp_path / "bin" / name)
    monkeypatch.setattr(discovery, "_repo_root", lambda: None)
    monkeypatch.setenv("PATH", str(tmp_path / "bin"))
    monkeypatch.delenv("BRASKELOT_PROGRAM", raising=False)
    monkeypatch.setenv("XDG_RUNTIME_DIR", str(tmp_path))
    monkeypatch.setenv("WAYLAND_DISPLAY", "wayland-test")
    if display is None:
        monkeypatch.delenv("DISPLAY", raising=False)
    else:
        monkeypatch.setenv("DISPLAY", display)
    compositor = FakeCompositor(tmp_path / "wayland-test", interfaces) if interfaces is not None else None
    try:
        if picked:
            assert discovery.find_program()[0] == os.path.join(str(tmp_path / "bin"), picked)
        else:
            with pytest.raises(braskelot.ProgramNotFound, match=r"WAYLAND_DISPLAY"):
                discovery.find_program()
    finally:
        if compositor is not None:
            compositor.close()


def test_wayland_globals_of_a_compositor(tmp_path, monkeypatch):
    compositor = FakeCompositor(tmp_path / "wl", ["wl_seat"] + MANAGERS)
    try:
        assert discovery.wayland_globals(str(tmp_path / "wl")) == {"wl_seat", *MANAGERS}
    finally:
        compositor.close()
    assert discovery.wayland_globals(str(tmp_path / "gone")) is None
