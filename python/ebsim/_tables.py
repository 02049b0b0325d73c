"""The tables ebsim writes, read back: every number the double it was
written from, the metadata lines in DataFrame.attrs."""

import csv
import json
import os

from ._ebsim import _grid_values

# Columns of whole numbers in any of the tables; the grid's integer inputs
# (side, steps) are read by the window's rules. Every other number is a
# float, also where all its values happen to be written without a point.
_WHOLE = {"point", "realization", "seed_ms", "steps_descending", "steps_ascending", "realizations", "failed",
          "step", "n"}
_TEXT = {"error", "branch"}


def _comment(line):
    """The object of a '# {...}' line, or None."""
    if not line.startswith("# {"):
        return None
    try:
        value = json.loads(line[2:])
    except ValueError:
        return None
    return value if isinstance(value, dict) else None


def _last_line(path):
    with open(path, "rb") as f:
        f.seek(0, os.SEEK_END)
        size = f.tell()
        f.seek(max(0, size - 65536))
        tail = f.read().decode("utf-8", "replace").rstrip("\r\n")
    return tail.rsplit("\n", 1)[-1]


def read_table(path):
    """Reads a table ebsim wrote (runs, summary, loops, loop means of a
    sweep, or the loop of `ebsim run --loop-csv`) into a pandas DataFrame
    with the file's columns. Every number is the double it was written
    from (pandas' round-trip parser), whole-number columns are int64, the
    grid's columns hold the numbers the window reads from their texts (as
    in ebsim.sweep's tables), `error` is '' where a row has none.
    DataFrame.attrs holds the first line's metadata with the end line's
    `end`, `rows` and `complete` (`complete` False when the file has no
    end line). Raises ValueError for a file that is not such a table."""
    import pandas

    with open(path, newline="", encoding="utf-8") as f:
        metadata = _comment(f.readline())
        header = next(csv.reader([f.readline()]), [])
    if metadata is None or not header:
        raise ValueError(f"{os.fspath(path)}: not a table ebsim wrote (no '# {{...}}' metadata line and header)")
    end = _comment(_last_line(path))
    attrs = dict(metadata)
    attrs.update(end if end and "end" in end else {"complete": False})
    sweep = metadata.get("sweep", metadata)
    grid = sweep.get("grid", {})
    dtypes = {name: "int64" if name in _WHOLE or name.endswith("_n")
              else str if name in _TEXT or name in grid else "float64" for name in header}
    frame = pandas.read_csv(path, comment="#", dtype=dtypes, float_precision="round_trip",
                            keep_default_na=False, na_values={name: [""] for name in header if name not in _TEXT})
    for name in grid:
        if name in frame:
            texts = sorted(set(frame[name]))
            numbers = dict(zip(texts, _grid_values(name, texts, sweep.get("separator", "."))))
            frame[name] = frame[name].map(numbers)
    frame.attrs = attrs
    return frame
