"""Where the client looks for the input program."""

import os
import shutil
import socket
import struct
import sys
from pathlib import Path
from typing import List, Optional, Set, Tuple

from .errors import ProgramNotFound


# What braskelot_wayland_input needs of a compositor (wlroots ones offer both).
WAYLAND_MANAGERS = {"zwp_virtual_keyboard_manager_v1", "zwlr_virtual_pointer_manager_v1"}


def _wayland_socket(display: str) -> Optional[str]:
    if display.startswith("/"):
        return display
    runtime = os.environ.get("XDG_RUNTIME_DIR")
    return os.path.join(runtime, display) if runtime else None


def wayland_globals(display: str, timeout: float = 2.0) -> Optional[Set[str]]:
    """The interfaces a Wayland compositor offers, or None when it cannot be
    asked: the registry's globals up to the answer of a sync, read off the
    wire (wl_display is object 1; get_registry is its request 1, sync 0)."""
    path = _wayland_socket(display)
    if path is None:
        return None
    try:
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as connection:
            connection.settimeout(timeout)
            connection.connect(path)
            connection.sendall(struct.pack("=III", 1, (12 << 16) | 1, 2) + struct.pack("=III", 1, (12 << 16) | 0, 3))
            names: Set[str] = set()
            data = b""
            while True:
                chunk = connection.recv(65536)
                if not chunk:
                    return None
                data += chunk
                while len(data) >= 8:
                    sender, word = struct.unpack_from("=II", data)
                    size, opcode = word >> 16, word & 0xFFFF
                    if size < 8 or len(data) < size:
                        break
                    body, data = data[8:size], data[size:]
                    if sender == 2 and opcode == 0 and len(body) >= 8:  # wl_registry.global
                        length = struct.unpack_from("=I", body, 4)[0]
                        names.add(body[8:8 + length].rstrip(b"\0").decode(errors="replace"))
                    elif sender == 3:  # wl_callback.done: every global has been listed
                        return names
                    elif sender == 1 and opcode == 0:  # wl_display.error
                        return None
    except OSError:
        return None


def _platform_program() -> Optional[str]:
    if sys.platform == "win32":
        return "braskelot_win_input.exe"
    display = os.environ.get("WAYLAND_DISPLAY")
    if display and WAYLAND_MANAGERS <= (wayland_globals(display) or set()):
        return "braskelot_wayland_input"
    if os.environ.get("DISPLAY"):
        return "braskelot_x11_input"
    return None


def _repo_root() -> Optional[Path]:
    """The checkout this package runs from, if it runs from one."""
    for parent in Path(__file__).resolve().parents:
        if (parent / "CMakePresets.json").is_file() and (parent / "clients").is_dir():
            return parent
    return None


def find_program() -> Tuple[str, List[str]]:
    """The program to start and the places tried; ProgramNotFound if none.

    The dry-run program is never picked on its own: a controller that meant to
    drive a desktop must not silently drive a tracer instead.
    """
    tried: List[str] = []
    env = os.environ.get("BRASKELOT_PROGRAM")
    if env:
        found = shutil.which(env)
        if found:
            return found, tried
        tried.append("$BRASKELOT_PROGRAM=%s (not an executable)" % env)
    else:
        tried.append("$BRASKELOT_PROGRAM (unset)")
    name = _platform_program()
    if name is None:
        tried.append("PATH (no program for this platform without $DISPLAY, or $WAYLAND_DISPLAY with a compositor "
                     "that offers the virtual keyboard and pointer)")
    else:
        found = shutil.which(name)
        if found:
            return found, tried
        tried.append("%s on PATH" % name)
    root = _repo_root()
    if root is not None and name is not None:
        folder = "windows" if sys.platform == "win32" else "linux"
        candidate = root / "build" / folder / name
        if candidate.is_file() and os.access(str(candidate), os.X_OK):
            return str(candidate), tried
        tried.append(str(candidate))
    raise ProgramNotFound(tried)
