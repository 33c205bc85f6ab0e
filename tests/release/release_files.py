"""What the sources say a release must carry, the files one build made, and
the .deb's parts as dpkg-deb unpacks them."""

import io
import os
import re
import subprocess
import tarfile

from common import WAIT, SetupError

SYSTEM_PYTHON = "/usr/bin/python3"
PACKAGE = "braskelot"
EXE = "braskelot_win_input.exe"
PROGRAMS = ["braskelot_trace", "braskelot_x11_input", "braskelot_wayland_input"]
# Needs a compositor: installed, it is checked to refuse without one.
WAYLAND_PROGRAM = "braskelot_wayland_input"


class Release:
    """What the sources say the release must carry, and the files one build made."""

    def __init__(self, checkout):
        self.checkout = checkout
        self.dist = os.path.join(checkout, "dist")
        with open(os.path.join(checkout, "CMakeLists.txt")) as f:
            found = re.search(r"^project\(braskelot_win_input VERSION ([0-9.]+)", f.read(), re.M)
        if not found:
            raise SetupError("no project(... VERSION ...) in CMakeLists.txt")
        self.version = found.group(1)
        with open(os.path.join(checkout, "cmake", "release.cmake")) as f:
            found = re.search(r'^set\(BRASKELOT_SUMMARY "([^"]*)"\)', f.read(), re.M)
        if not found:
            raise SetupError("no BRASKELOT_SUMMARY in cmake/release.cmake")
        self.summary = found.group(1)
        with open(os.path.join(checkout, "README.md"), "rb") as f:
            self.readme = f.read()
        self.epoch = int(subprocess.run(["git", "-C", checkout, "log", "-1", "--format=%ct"], check=True,
                                        capture_output=True, timeout=WAIT).stdout)
        self.has_client = os.path.exists(os.path.join(checkout, "clients", "python", "pyproject.toml"))
        v = self.version
        self.zip = f"braskelot_win_input-{v}-windows-x86_64.zip"
        self.deb = f"{PACKAGE}_{v}_amd64.deb"
        self.tar_top = f"braskelot-{v}-linux-x86_64"
        self.tar = self.tar_top + ".tar.gz"
        self.wheel = f"braskelot-{v}-py3-none-any.whl"

    def artifacts(self):
        return [self.zip, self.deb, self.tar] + ([self.wheel] if self.has_client else [])

    def path(self, name):
        return os.path.join(self.dist, name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()


def run(argv, timeout=WAIT * 6, **kwargs):
    return subprocess.run(argv, capture_output=True, timeout=timeout, **kwargs)


def deb_part(path, part):
    """The .deb's control or data tar, uncompressed (what dpkg-deb unpacks)."""
    return run(["dpkg-deb", f"--{part}-tarfile", path], check=True).stdout


def deb_listing(path):
    """{path without the leading '.': is a folder} of the data part."""
    with tarfile.open(fileobj=io.BytesIO(deb_part(path, "fsys"))) as t:
        return {m.name.lstrip(".").rstrip("/") or "/": m.isdir() for m in t.getmembers()}

