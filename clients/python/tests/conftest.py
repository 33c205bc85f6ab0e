"""The program under test is a fixture, so other programs can be added."""

import os
import tempfile
from pathlib import Path
from typing import Callable, Iterator, List

import pytest

import braskelot


def _trace_program() -> str:
    path = os.environ.get("BRASKELOT_TRACE")
    if not path:
        path = str(Path(__file__).resolve().parents[3] / "build" / "linux" / "braskelot_trace")
    if not os.access(path, os.X_OK):
        pytest.fail("braskelot_trace not found at %s (set BRASKELOT_TRACE)" % path)
    return path


@pytest.fixture
def program() -> str:
    return _trace_program()


class Session:
    """A client on the dry-run program whose trace is read after it ends."""

    def __init__(self, program: str) -> None:
        self.trace_file = tempfile.TemporaryFile()
        self.client = braskelot.start(program, stderr=self.trace_file)

    def trace(self) -> List[str]:
        self.trace_file.seek(0)
        return self.trace_file.read().decode().splitlines()


@pytest.fixture
def session(program: str) -> Iterator[Callable[[], Session]]:
    made: List[Session] = []

    def make() -> Session:
        s = Session(program)
        made.append(s)
        return s

    yield make
    for s in made:
        s.client.close()
        s.trace_file.close()
