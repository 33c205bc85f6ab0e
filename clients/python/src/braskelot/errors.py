"""The client's exceptions; all derive from Error."""

from typing import Optional, Sequence


class Error(Exception):
    """Base of every braskelot error."""


class ProgramNotFound(Error):
    """No input program was found; `tried` lists where the client looked."""

    def __init__(self, tried: Sequence[str]) -> None:
        self.tried = list(tried)
        super().__init__(
            "no braskelot input program found; tried: %s. Set BRASKELOT_PROGRAM "
            "or pass program= (braskelot_trace for a dry run)" % "; ".join(self.tried))


class ReadyTimeout(Error):
    """The program did not write its ready line in time."""

    def __init__(self, timeout: float, output: str) -> None:
        self.output = output
        said = ("; it printed %r" % output) if output else "; it printed nothing"
        super().__init__("no ready line within %.3g s%s" % (timeout, said))


class ProgramExited(Error):
    """The program has ended; `returncode` is its exit code (None if unknown)."""

    def __init__(self, returncode: Optional[int], output: str = "") -> None:
        self.returncode = returncode
        self.output = output
        extra = ("; it printed %r" % output) if output else ""
        super().__init__("the input program has exited with code %s%s" % (returncode, extra))
