"""First-order reversal curves (FORC) of one lattice, and their distribution."""

import math

import numpy as np

from ._ebsim import run


class ForcResult:
    """What ebsim.forc returns.

    reversal_fields  the reversal fields Hr, ascending (numpy array)
    fields           the field grid H, ascending: h0 - n step for n from the
                     lowest reversal field's n to 0
    m                M(Hr, H): m[i, j] is M on the curve reversed at
                     reversal_fields[i], at fields[j]; NaN where fields[j] is
                     below reversal_fields[i]
    rho              the FORC distribution -1/2 d2M/(dHr dH) on the same
                     grid (see forc_distribution); NaN where it is not had
    smoothing        the smoothing factor SF of rho
    seed_ms          the seed of every curve's lattice
    metadata         the runs' arguments and the program's version
    """

    def __init__(self, reversal_fields, fields, m, rho, smoothing, seed_ms, metadata):
        self.reversal_fields, self.fields, self.m, self.rho = reversal_fields, fields, m, rho
        self.smoothing, self.seed_ms, self.metadata = smoothing, seed_ms, metadata

    def __repr__(self):
        return (f"<ebsim.ForcResult curves={len(self.reversal_fields)} fields={len(self.fields)} "
                f"seed_ms={self.seed_ms}>")


def _grid_steps(reversal_fields, h0, step):
    """Each reversal field's n in h0 - n step; a ValueError for one off the
    grid or not below h0."""
    steps = []
    for hr in reversal_fields:
        n = round((h0 - hr) / step) if math.isfinite(hr) else 0
        if n < 1 or abs((h0 - n * step) - hr) > 1e-6 * step:
            raise ValueError(f"ebsim.forc(): reversal field {hr!r} is not h0 - n step for a whole n >= 1 "
                             f"(h0 {h0!r}, step {step!r})")
        steps.append(n)
    return sorted(set(steps), reverse=True)


def _fit_window(x, y, values):
    """-1/2 the xy coefficient of the least-squares quadratic through the
    values at (x, y); NaN when the points do not fix it."""
    a = np.column_stack([np.ones_like(x), x, x * x, y, y * y, x * y])
    if len(values) < 6 or np.linalg.matrix_rank(a) < 6:
        return math.nan
    coefficients = np.linalg.lstsq(a, values, rcond=None)[0]
    return -0.5 * coefficients[5]


def forc_distribution(reversal_fields, fields, m, smoothing=2):
    """The FORC distribution rho = -1/2 d2M/(dHr dH) of M(Hr, H) on its grid.

    m[i, j] is M at reversal field reversal_fields[i] and field fields[j]
    (NaN where not measured). At each measured point, M is fitted by least
    squares with a second-order polynomial a1 + a2 Hr + a3 Hr^2 + a4 H +
    a5 H^2 + a6 Hr H over the measured points of the (2 SF + 1) x (2 SF + 1)
    neighbourhood of grid points around it (SF = smoothing, an int >= 1),
    and rho = -a6 / 2. Where fewer than six points are measured, or they do
    not fix the six coefficients (at the curves' ends, SF 1), rho is NaN.
    The fit is exact for any M quadratic in Hr and H; on whole
    neighbourhoods of an evenly spaced grid also for terms Hr^2 H and
    Hr H^2. A larger SF smooths more and blurs more."""
    if isinstance(smoothing, bool) or not isinstance(smoothing, int) or smoothing < 1:
        raise ValueError(f"ebsim.forc_distribution(): smoothing takes a whole number of at least 1, not {smoothing!r}")
    hr = np.asarray(reversal_fields, dtype=float)
    h = np.asarray(fields, dtype=float)
    m = np.asarray(m, dtype=float)
    if m.shape != (len(hr), len(h)):
        raise ValueError(f"ebsim.forc_distribution(): m has shape {m.shape}, not ({len(hr)}, {len(h)})")
    # Coordinates in units of the grid's spacing keep the fit well scaled.
    scale_r = np.ptp(hr) / max(len(hr) - 1, 1) or 1.0
    scale_h = np.ptp(h) / max(len(h) - 1, 1) or 1.0
    rho = np.full(m.shape, math.nan)
    for i, j in zip(*np.nonzero(np.isfinite(m))):
        rows = slice(max(i - smoothing, 0), i + smoothing + 1)
        columns = slice(max(j - smoothing, 0), j + smoothing + 1)
        x, y = np.meshgrid((hr[rows] - hr[i]) / scale_r, (h[columns] - h[j]) / scale_h, indexing="ij")
        window = m[rows, columns]
        measured = np.isfinite(window)
        rho[i, j] = _fit_window(x[measured], y[measured], window[measured]) / (scale_r * scale_h)
    return rho


def forc(reversal_fields, *, h0=3.0, step=0.04, smoothing=2, seed_ms=None, dynamics="pass",
         boundary="edge-copy", threads=None, **inputs):
    """First-order reversal curves of one lattice.

    For each reversal field Hr, a run of ebsim.run on the same lattice (the
    same inputs and seed): from saturation at h0 down to Hr and back up to
    h0, one field value every `step` (the fields h0 - n step, given to the
    run as its field history), with the given dynamics and boundary.
    Each Hr is to be one of those fields, below h0. The inputs side,
    dilution, enhancement and field_sd (or sd) are ebsim.run's; seed_ms None
    draws one seed, the time of day now, for every curve. `threads` as in
    ebsim.run. smoothing is the SF of forc_distribution.

    Returns a ForcResult: the reversal fields ascending, the field grid,
    M(Hr, H) as a 2-D numpy array (NaN outside each curve) and the FORC
    distribution rho on the same grid. Raises ValueError for a reversal
    field off the grid, and what ebsim.run raises."""
    for name in ("hmin", "steps", "fields", "cycles", "loop", "maps", "spins_at"):
        if name in inputs:
            raise TypeError(f"ebsim.forc(): {name} is set by the reversal curves")
    h0, step = float(h0), float(step)
    if not (math.isfinite(step) and step > 0 and math.isfinite(h0)):
        raise ValueError(f"ebsim.forc(): h0 and step take finite numbers, step above 0 (h0 {h0!r}, step {step!r})")
    forc_distribution([0.0], [0.0], [[0.0]], smoothing)  # refuses a smoothing factor before anything runs
    steps = _grid_steps(list(np.atleast_1d(np.asarray(reversal_fields, dtype=float))), h0, step)
    if not steps:
        raise ValueError("ebsim.forc(): reversal_fields holds no field")
    most = steps[0]
    grid = [h0 - n * step for n in range(most + 1)]  # grid[n] = h0 - n step
    m = np.full((len(steps), most + 1), math.nan)
    first = None
    for i, n in enumerate(steps):
        history = grid[:n + 1] + grid[n - 1::-1]
        result = run(h0=h0, hmin=grid[n], seed_ms=seed_ms if first is None else first.seed_ms, dynamics=dynamics,
                     boundary=boundary, threads=threads, fields=history, **inputs)
        first = first or result
        _, h, curve = result.loop
        if len(h) != len(history) or list(h) != history:
            raise RuntimeError("ebsim.forc(): the run did not go through the field history it was given")
        # The ascending curve from Hr (the descending leg's last value) on, at grid[n], ..., grid[0].
        m[i, most - n:] = curve[n:]
    reversal = np.array([grid[n] for n in steps])
    fields = np.array(grid[::-1])
    given = {name: text for name, text in first.metadata["inputs"].items() if name not in ("hmin", "steps")}
    metadata = {"version": first.metadata["version"], "inputs": given, "h0": h0, "step": step,
                "dynamics": dynamics, "boundary": boundary, "smoothing": smoothing}
    rho = forc_distribution(reversal, fields, m, smoothing)
    return ForcResult(reversal, fields, m, rho, smoothing, first.seed_ms, metadata)
