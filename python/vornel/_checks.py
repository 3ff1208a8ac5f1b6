"""Checks of the arguments of the public functions, made before any work starts: a bad value
raises ValueError naming the argument, as the program's errors name the option."""

from __future__ import annotations

import math
import numbers
import sys
import warnings
from typing import Callable, Optional, Union

import numpy as np

from . import _vornel

ProgressArg = Union[bool, Callable[[int, int, float], None], None]

_LONGEST = 2**63 - 1  # the compiled module takes iterations as a 64-bit integer


def _is_whole(value: object) -> bool:
    return isinstance(value, numbers.Integral) and not isinstance(value, (bool, np.bool_))


def check_threads(threads: object) -> int:
    """``threads`` checked as ``vornel --threads`` checks it (0: one per core)."""
    if not _is_whole(threads) or not 0 <= int(threads) <= _vornel.max_threads:
        raise ValueError(f"threads must be a whole number from 0 (one per core) to {_vornel.max_threads}, "
                         f"not {threads!r}")
    return int(threads)


def check_iterations(iterations: object) -> int:
    """Rounds of the iterative methods: any whole number (below 1 means 1, as for the program);
    values beyond 64 bits are taken as the largest, which the scorer clamps anyway."""
    if not _is_whole(iterations):
        raise ValueError(f"iterations must be a whole number (rounds; below 1 means 1), not {iterations!r}")
    return max(-_LONGEST, min(int(iterations), _LONGEST))


def check_top(top: object) -> Optional[int]:
    """None (every row) or how many of the best rows to keep."""
    if top is None:
        return None
    if not _is_whole(top) or int(top) < 0:
        raise ValueError(f"top must be None or a whole number of 0 or more, not {top!r}")
    return min(int(top), sys.maxsize)


def check_flag(name: str, value: object) -> bool:
    """A True/False keyword: anything else (a string such as "no" would read as True) is refused."""
    if not isinstance(value, (bool, np.bool_)):
        raise ValueError(f"{name} must be True or False, not {value!r}")
    return bool(value)


def check_option(name: str, value: object) -> Optional[str]:
    """A text option of the reader: None when not given. The empty string, which meant "not
    given" before, still does, with a DeprecationWarning (pointing at the caller of the public
    function that called this one)."""
    if value is None:
        return None
    if not isinstance(value, str):
        raise ValueError(f"{name} must be a str or None, not {value!r}")
    if value == "":
        warnings.warn(f'{name}="" for "not given" is deprecated; pass {name}=None (the default)',
                      DeprecationWarning, stacklevel=3)
        return None
    return value


def check_number(name: str, value: object, *, optional: bool = False) -> Optional[float]:
    """A real number that is not NaN (or None where ``optional``). Where ``optional`` (the reader's
    ``min_weight``), the number may also come as text, as it always could."""
    if value is None and optional:
        return None
    if optional and isinstance(value, str):
        try:
            value = float(value)
        except ValueError:
            pass
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real) or math.isnan(float(value)):
        kind = "a number or None" if optional else "a number"
        raise ValueError(f"{name} must be {kind}, not {value!r}")
    return float(value)


def check_method(method: object, name: str = "method") -> str:
    """The method's name; whether such a method exists is checked by the compiled module, whose
    error lists the known ones."""
    if not isinstance(method, str):
        raise ValueError(f"{name} must be a method name (a str, one of methods()['name']), not {method!r}")
    return method


def check_progress(progress: object) -> ProgressArg:
    if progress is None or isinstance(progress, bool) or callable(progress):
        return progress
    raise ValueError(f"progress must be True, False, None or a callable, not {progress!r}")


def check_missing(missing: object) -> str:
    if missing not in ("raise", "drop"):
        raise ValueError(f'missing must be "raise" or "drop", not {missing!r}')
    return missing
