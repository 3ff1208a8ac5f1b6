"""Progress reports of the long calls (reading a network, scoring): the callable the compiled
module calls as progress(done, total, seconds), made from the checked ``progress`` argument."""

from __future__ import annotations

import math
import sys
from contextlib import contextmanager
from typing import Callable, Iterator, Optional

from ._checks import ProgressArg

Report = Callable[[int, int, float], None]


class ProgressPrinter:
    """progress=True: the program's report on sys.stderr, a bar redrawn in place on a terminal
    (from 2 s on, erased at the end), else a line every 5 s; nothing for shorter calls."""

    bar_after = 2.0  # seconds
    line_every = 5.0

    def __init__(self, step: str) -> None:
        self.step = step
        self.terminal = hasattr(sys.stderr, "isatty") and sys.stderr.isatty()
        self.next_line = self.line_every
        self.drawn = False

    def __call__(self, done: int, total: int, seconds: float) -> None:
        share = min(1.0, done / total) if total else 0.0
        text = f"vornel: {self.step}: "
        if self.terminal:
            if seconds < self.bar_after:
                return
            filled = int(share * 30)
            text += "[" + "#" * filled + "." * (30 - filled) + "] "
        elif seconds < self.next_line:
            return
        else:
            self.next_line += self.line_every
        text += f"{math.floor(share * 100):.0f}% after {seconds:.0f} s"
        if share > 0.01:
            text += f", about {seconds * (1 - share) / share:.0f} s left"
        sys.stderr.write("\r" + text + "\033[K" if self.terminal else text + "\n")
        sys.stderr.flush()
        self.drawn = self.drawn or self.terminal

    def close(self) -> None:
        if self.drawn:
            sys.stderr.write("\r\033[K")
            sys.stderr.flush()


@contextmanager
def progress_report(progress: ProgressArg, step: str) -> Iterator[Optional[Report]]:
    """What to hand the compiled module for ``progress`` (checked): None to stay silent, the
    caller's callable, or for True a printer of ``step``'s report, whose bar goes at the end."""
    printer = ProgressPrinter(step) if progress is True else None
    try:
        yield printer if printer is not None else (progress if callable(progress) else None)
    finally:
        if printer is not None:
            printer.close()
