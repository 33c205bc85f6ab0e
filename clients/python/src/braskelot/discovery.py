"""Where the client looks for the input program."""

import os
import shutil
import sys
from pathlib import Path
from typing import List, Optional, Tuple

from .errors import ProgramNotFound


def _platform_program() -> Optional[str]:
    if sys.platform == "win32":
        return "braskelot_win_input.exe"
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
        tried.append("PATH (no program for this platform without $DISPLAY)")
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
