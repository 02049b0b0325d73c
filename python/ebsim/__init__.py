"""Exchange bias in the two-dimensional random-field Ising model at zero
temperature: the window's runs (run, render) and batch studies (sweep) on
the same engine as the ebsim program, first-order reversal curves (forc),
and the tables ebsim writes read back (read_table)."""

from . import _ebsim
from ._ebsim import INPUTS, READOUTS, Error, RunResult, SweepResult, __version__, run, sweep
from ._tables import read_table
from .forc import ForcResult, forc, forc_distribution

try:
    from ._ebsim import render
except ImportError:  # built without the window
    pass

__doc__ = _ebsim.__doc__
for _type in (RunResult, SweepResult, ForcResult):
    _type.__module__ = __name__
del _type
