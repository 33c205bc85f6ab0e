"""Drive the mouse and keyboard through a braskelot input program."""

from .client import BUTTONS, Input, start
from .errors import Error, ProgramExited, ProgramNotFound, ReadyTimeout
from .keys import ALIASES, CANONICAL_NAMES, KEY_NAMES, resolve

__all__ = ["start", "Input", "BUTTONS", "Error", "ProgramNotFound", "ReadyTimeout",
           "ProgramExited", "KEY_NAMES", "CANONICAL_NAMES", "ALIASES", "resolve"]
