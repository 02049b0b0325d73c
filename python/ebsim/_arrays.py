"""A sweep's tables as one xarray.Dataset over the grid's axes."""

import json
import shlex

import numpy as np

from ._ebsim import _grid_values


def _columns(table):
    """A DataFrame's or a dict's columns as numpy arrays."""
    return {name: np.asarray(table[name]) for name in table}


def _per_step(table, count, length, index, names, fill):
    """The columns `names` of a loop table in an array (count, length),
    each line at (index(line), step); `fill` where no line is."""
    columns = _columns(table)
    at = (index(columns), columns["step"])
    arrays = {}
    for name in names:
        values = columns[name]
        array = np.full((count, length), fill, dtype=values.dtype if values.dtype == object else None)
        array[at] = values
        arrays[name] = array
    return arrays


def sweep_dataset(result):
    import xarray

    metadata = result.metadata
    sweep = metadata["sweep"]
    grid = sweep["grid"]
    axes = list(grid)
    shape = [len(grid[name]) for name in axes]
    points, realizations = sweep["points"], sweep["realizations"]
    coords = {name: (name, _grid_values(name, grid[name], sweep["separator"])) for name in axes}
    coords["point"] = (axes, np.arange(points).reshape(shape))
    variables = {}
    for name, values in _columns(result.summary).items():
        if name not in grid and name != "point":
            variables[name] = (axes, values.reshape(shape))
    if result.rows is not None:
        rows = _columns(result.rows)
        coords["realization"] = ("realization", np.arange(realizations))
        coords["seed_ms"] = ("realization", rows["seed_ms"][:realizations])
        for name, values in rows.items():
            if name not in grid and name not in ("point", "realization", "seed_ms"):
                variables[name] = (axes + ["realization"], values.reshape(shape + [realizations]))
    loops = [table for table in (result.loops, result.loop_mean) if table is not None]
    if loops:
        length = int(max((np.max(_columns(t)["step"]) + 1 for t in loops if len(t["step"])), default=0))
        coords["step"] = ("step", np.arange(length))
        by_point = lambda c: c["point"]  # noqa: E731
        schedule = _per_step(loops[-1], points, length, by_point, ["H"], np.nan)
        schedule.update(_per_step(loops[-1], points, length, by_point, ["branch"], ""))
        for name, values in schedule.items():
            coords[name] = (axes + ["step"], values.reshape(shape + [length]))
        if result.loops is not None:
            M = _per_step(result.loops, points * realizations, length,
                          lambda c: c["point"] * realizations + c["realization"], ["M"], np.nan)["M"]
            coords.setdefault("realization", ("realization", np.arange(realizations)))
            variables["M"] = (axes + ["realization", "step"], M.reshape(shape + [realizations, length]))
        if result.loop_mean is not None:
            means = _per_step(result.loop_mean, points, length, by_point, ["M_mean", "M_sd", "M_se"], np.nan)
            means.update(_per_step(result.loop_mean, points, length, by_point, ["n"], 0))
            for name, values in means.items():
                variables[name] = (axes + ["step"], values.reshape(shape + [length]))
    dataset = xarray.Dataset(variables, coords)
    single = [name for name, size in zip(axes, shape) if size == 1]
    if single:
        dataset = dataset.squeeze(single)
    dataset.attrs = {"version": sweep["version"], "seed_ms": sweep["seed_ms"], "realizations": realizations,
                     "separator": sweep["separator"], "command": shlex.join(metadata["command"]),
                     "start": metadata["start"], "metadata": json.dumps(metadata)}
    return dataset
