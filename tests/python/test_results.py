"""What ebsim's Python results carry beside their numbers: provenance,
labelled arrays, a progress bar, and the files read back exactly."""
import json
import os
import subprocess

import numpy as np
import pandas
import pytest

import ebsim

EBSIM = os.environ.get("EBSIM", os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin", "ebsim"))

# A grid with read-outs of 16 and 17 digits, a failed realisation (its Run
# refuses the spread) and loops of two lengths.
GRID = {"dilution": [0.02, 0.1], "field_sd": "1;2.5;1e308", "steps": "40;60", "side": 24}
ARGS = ["--dilution", "0.02;0.1", "--sd", "1;2.5;1e308", "--steps", "40;60", "--side", "24"]
KINDS = [("runs", "--out", "rows"), ("summary", "--summary", "summary"), ("loops", "--loops", "loops"),
         ("loop_mean", "--loop-mean", "loop_mean")]


@pytest.fixture(scope="module")
def both(tmp_path_factory):
    """The same sweep from ebsim sweep (its four files) and from ebsim.sweep."""
    folder = tmp_path_factory.mktemp("sweep")
    files = {kind: folder / f"{kind}.csv" for kind, _, _ in KINDS}
    options = [a for kind, option, _ in KINDS for a in (option, str(files[kind]))]
    subprocess.run([EBSIM, "sweep", *ARGS, "--realizations", "3", "--seed-ms", "41", *options], check=True)
    result = ebsim.sweep(GRID, realizations=3, seed_ms=41, threads=2, loops=True, loop_mean=True)
    return files, result


def first_line(path):
    return json.loads(open(path).readline()[2:])


@pytest.mark.parametrize("kind, option, table", KINDS)
def test_read_table_gives_back_each_table_of_the_sweep_exactly(both, kind, option, table):
    files, result = both
    mine, theirs = getattr(result, table), ebsim.read_table(files[kind])
    pandas.testing.assert_frame_equal(theirs, mine, check_exact=True)
    assert theirs.attrs["file"] == mine.attrs["file"] == kind
    assert theirs.attrs["sweep"] == mine.attrs["sweep"] == result.metadata["sweep"]
    assert (theirs.attrs["rows"], theirs.attrs["complete"]) == (mine.attrs["rows"], True) == (len(mine), True)


def test_metadata_is_the_runs_files_provenance_line(tmp_path):
    out = tmp_path / "runs.csv"
    written = ebsim.sweep(GRID, realizations=2, seed_ms=41, out=out)
    assert written.metadata == first_line(out)
    kept = ebsim.sweep(GRID, realizations=2, seed_ms=41)
    assert {k: v for k, v in kept.rows.attrs.items() if k not in ("end", "rows", "complete")} == kept.metadata
    assert kept.metadata["sweep"] == written.metadata["sweep"]
    # The command given is an ebsim sweep that writes the same rows.
    assert kept.metadata["command"][0] == "ebsim.sweep" and "--out" not in kept.metadata["command"]
    run = ebsim.run(seed_ms=7, side=12, field_sd=1.5)
    printed = json.loads(subprocess.run([EBSIM, "run", *run.metadata["command"][1:]], capture_output=True,
                                        text=True).stdout)
    for key in ("version", "seed_ms", "separator", "inputs"):
        assert run.metadata[key] == printed[key], key
    assert run.metadata["version"] == ebsim.__version__ == subprocess.run(
        [EBSIM, "--version"], capture_output=True, text=True).stdout.split()[1]


def test_to_xarray_lays_the_tables_over_the_grid(both):
    _, result = both
    data = result.to_xarray()
    assert dict(data.sizes) == {"dilution": 2, "field_sd": 3, "steps": 2, "realization": 3, "step": 62}
    assert list(data.dilution) == [0.02, 0.1] and list(data.field_sd) == [1, 2.5, 1e308]
    assert list(data.steps) == [40, 60] and int(data.side) == 24  # one value: a scalar coordinate
    assert json.loads(data.attrs["metadata"]) == result.metadata
    rows, loops, means = result.rows, result.loops, result.loop_mean
    for point in range(12):
        cell = data.isel(dict(zip(data.point.dims, np.argwhere(data.point.values == point)[0])))
        summary = result.summary[result.summary.point == point].iloc[0]
        assert cell.eb_shift_mean.item() == summary.eb_shift_mean or np.isnan(summary.eb_shift_mean)
        assert list(cell.error.values) == list(rows[rows.point == point].error)
        steps = means[means.point == point]
        np.testing.assert_array_equal(cell.M_mean.values[:len(steps)], steps.M_mean)
        assert np.isnan(cell.M_mean.values[len(steps):]).all()
        for r in range(3):
            loop = loops[(loops.point == point) & (loops.realization == r)]
            np.testing.assert_array_equal(cell.M.isel(realization=r).values[:len(loop)], loop.M)


def test_progress_true_draws_a_bar_and_a_callable_is_called(capsys):
    seen = []
    ebsim.sweep({"sd": "1:3:1"}, realizations=2, seed_ms=3, progress=True)
    ebsim.sweep({"sd": "1:3:1"}, realizations=2, seed_ms=3, progress=lambda f, t: seen.append((f, t)))
    bar = capsys.readouterr().err
    assert "ebsim.sweep: 100%" in bar and "6/6" in bar
    assert seen[-1] == (6, 6)


@pytest.mark.parametrize("text", ["", "side,point\n1,0\n", "# {\"program\": \"ebsim\"}\n"])
def test_read_table_refuses_what_ebsim_did_not_write(tmp_path, text):
    path = tmp_path / "other.csv"
    path.write_text(text)
    with pytest.raises(ValueError, match="not a table ebsim wrote"):
        ebsim.read_table(path)
