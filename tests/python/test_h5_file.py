"""ebsim sweep --h5: the HDF5 file read back with h5py and xarray against
the CSV files of the same sweep, a stopped sweep's file and its resumption."""
import csv
import glob
import json
import math
import os
import signal
import struct
import subprocess
import time

import h5py
import numpy as np
import pytest
import xarray as xr

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EBSIM = os.environ.get("EBSIM", os.path.join(ROOT, "build", "bin", "ebsim"))

# The CSV file of each table and the group that holds it in the HDF5 file.
TABLES = {"--out": "/", "--summary": "summary", "--loops": "loops", "--loop-mean": "loop_mean"}
STANDARD = ("h_down", "h_up", "loop_centre", "loop_half_width")


def read_csv(path):
    with open(path, newline="") as f:
        lines = [line for line in csv.reader(f) if not line[0].startswith("#")]
    return lines[0], lines[1:]


def bits(x):
    return struct.pack("<d", x)


def element(group, grid, header, row):
    """The element of a CSV line in the group's arrays."""
    point = int(row[header.index("point")])
    at, stride = [], math.prod(len(texts) for texts in grid.values())
    for texts in grid.values():
        stride //= len(texts)
        if len(texts) > 1:
            at.append(point // stride % len(texts))
    for name in ("realization", "step"):
        if name in header:
            at.append(int(row[header.index(name)]))
    return tuple(at)


def assert_table_equals(group, grid, path):
    header, rows = read_csv(path)
    for row in rows:
        at = element(group, grid, header, row)
        assert group["written"][at] == 1
        for name, text in zip(header, row):
            if name in grid:
                assert text in grid[name] and group[name].attrs["texts"].tolist() == grid[name]
            elif name in ("point", "realization", "step"):
                assert group["point"][at[:group["point"].ndim]] == int(row[header.index("point")])
            else:
                value = group[name][at]
                if group[name].dtype.kind == "f":  # every double bit for bit, a blank as NaN
                    assert (math.isnan(value) and text == "") or bits(value) == bits(float(text)), (name, text)
                elif group[name].dtype.kind in "iu":
                    assert value == int(text), name
                else:
                    assert (value.decode() if isinstance(value, bytes) else value) == text, name
    assert int(group["written"][()].sum()) == len(rows)


def sweep(tmp_path, *args, outputs=("--out", "--summary"), check=True):
    paths = {option: str(tmp_path / (option[2:] + ".csv")) for option in outputs}
    done = subprocess.run([EBSIM, "sweep", "--h5", str(tmp_path / "s.h5"), *args,
                           *[a for option, path in paths.items() for a in (option, path)]],
                          capture_output=True, text=True)
    assert not check or done.returncode == 0, done.stderr
    return paths, done


SWEEPS = [
    # Two axes, loops, loop means and spins.
    (["--seed-ms", "7", "--side", "12", "--steps", "40", "--dilution", "0;0.1", "--sd", "1.5;2",
      "--realizations", "3", "--spins", "SPINS"], ("--out", "--summary", "--loops", "--loop-mean")),
    # One shard, with the decimal comma: the other shards' elements are not written.
    (["--seed-ms", "86399999", "--sep", ",", "--side", "10", "--steps", "30", "--dilution", "0,05;0,1;0,15",
      "--realizations", "4", "--shard", "1/3"], ("--out", "--summary", "--loops")),
]


@pytest.mark.parametrize("args, outputs", SWEEPS)
def test_the_h5_file_holds_what_the_csv_files_hold(tmp_path, args, outputs):
    args = [str(tmp_path / "spins") if a == "SPINS" else a for a in args]
    paths, _ = sweep(tmp_path, *args, outputs=outputs)
    with h5py.File(tmp_path / "s.h5") as f:
        first = json.loads(open(paths["--out"]).readline()[2:])
        metadata = json.loads(f.attrs["metadata"])
        assert {**metadata, "file": "runs", "start": first["start"]} == {**first, "command": metadata["command"]}
        assert (f.attrs["complete"], f.attrs["rows_written"]) == (1, len(read_csv(paths["--out"])[1]))
        grid = metadata["sweep"]["grid"]
        for option, path in paths.items():
            assert_table_equals(f[TABLES[option]], grid, path)
        # The standard read-outs after the window's, blank where E-B Shift is.
        header = read_csv(paths["--out"])[0]
        assert header[header.index("minus_spins_at_hmax") + 1:][:4] == list(STANDARD)
        shift = f["eb_shift"][()]
        assert np.array_equal(np.isnan(f["h_down"][()]), np.isnan(shift)) and not np.isnan(shift).all()
        assert np.array_equal(f["loop_centre"][()], (f["h_down"][()] + f["h_up"][()]) / 2, equal_nan=True)
        if "spins" in f:
            for npy in glob.glob(str(tmp_path / "spins" / "*.npy")):
                point, r = map(int, os.path.basename(npy)[5:-4].split("_realization"))
                at = element(f, grid, ["point", "realization"], [point, r])
                assert np.array_equal(f["spins"][at], np.load(npy))
    # xarray gives the arrays with the grid's axes, the realisation and the step as coordinates.
    separator = metadata["sweep"]["separator"]
    for group in ("/", "summary", "loops"):
        ds = xr.open_dataset(tmp_path / "s.h5", engine="h5netcdf", group=group)
        if group != "loops":
            suffix = "" if group == "/" else "_mean"
            assert all(name + suffix in ds for name in STANDARD)
        for name, texts in grid.items():
            numbers = [float(t.replace(separator, ".")) for t in texts]
            assert ds[name].values.tolist() == (numbers if len(texts) > 1 else numbers[0])
        if "realization" in ds.dims:
            assert ds["realization"].values.tolist() == list(range(metadata["sweep"]["realizations"]))
        if "step" in ds.dims:
            assert ds["step"].values.tolist() == list(range(ds.sizes["step"]))


def datasets(path):
    found = {}
    with h5py.File(path) as f:
        f.visititems(lambda name, obj: found.update({name: obj[()]}) if isinstance(obj, h5py.Dataset) else None)
    return found


def test_a_stopped_sweep_leaves_an_incomplete_file_that_resume_completes(tmp_path):
    args = ["--seed-ms", "3", "--side", "50", "--dilution", "0;0.1", "--realizations", "60", "--threads", "1",
            "--h5-spins", "--out", str(tmp_path / "runs.csv")]
    process = subprocess.Popen([EBSIM, "sweep", "--h5", str(tmp_path / "s.h5"), *args], stderr=subprocess.PIPE)
    # Stopped once a few rows are in the runs table's temporary.
    deadline = time.time() + 60
    while time.time() < deadline:
        written = glob.glob(str(tmp_path / ".runs.csv.*"))
        if written and open(written[0]).read().count("\n") >= 6:
            break
        time.sleep(0.02)
    process.send_signal(signal.SIGINT)
    assert process.wait() == 130
    with h5py.File(tmp_path / "s.h5") as f:
        kept = len(read_csv(tmp_path / "runs.csv")[1])
        assert 0 < kept < 120
        assert (f.attrs["complete"], f.attrs["rows_written"], f["written"][()].sum()) == (0, kept, kept)
    done = subprocess.run([EBSIM, "sweep", "--h5", str(tmp_path / "s.h5"), *args, "--resume"],
                          capture_output=True, text=True)
    assert done.returncode == 0 and f"resumed after {kept} rows" in done.stderr, done.stderr
    subprocess.run([EBSIM, "sweep", "--h5", str(tmp_path / "whole.h5"), *args[:-1], str(tmp_path / "whole.csv")],
                   check=True, capture_output=True)
    resumed, whole = datasets(tmp_path / "s.h5"), datasets(tmp_path / "whole.h5")
    assert resumed.keys() == whole.keys()
    for name in whole:  # bit for bit
        a, b = resumed[name], whole[name]
        assert (a.tolist() == b.tolist()) if a.dtype.kind == "O" else a.tobytes() == b.tobytes(), name
    with h5py.File(tmp_path / "s.h5") as f:
        assert (f.attrs["complete"], f.attrs["rows_written"]) == (1, 120)


def test_a_runs_file_holds_what_its_json_says(tmp_path):
    done = subprocess.run([EBSIM, "run", "--seed-ms", "5", "--side", "30", "--sd", "2,5", "--sep", ",", "--loop",
                           "--h5", str(tmp_path / "r.h5")], capture_output=True, text=True, check=True)
    printed = json.loads(done.stdout)
    with h5py.File(tmp_path / "r.h5") as f:
        assert json.loads(f.attrs["metadata"])["inputs"] == printed["inputs"] and f.attrs["seed_ms"] == 5
        for name, readout in printed["readouts"].items():
            value = f[name][0]
            assert math.isnan(value) if readout is None else bits(value) == bits(readout["value"]), name
        loop = f["loops"]
        assert [(int(s), b.decode(), bits(h), bits(m)) for s, b, h, m in
                zip(loop["step"], loop["branch"][0], loop["H"][0], loop["M"][0])] == \
               [(p["step"], p["branch"], bits(p["H"]), bits(p["M"])) for p in printed["loop"]]


def test_rerun_of_an_h5_file_compares_every_dataset(tmp_path):
    """ebsim rerun reruns a sweep's or a run's HDF5 file from its metadata
    attribute, names a dataset that differs, and refuses a stopped one."""
    def rerun(name):
        return subprocess.run([EBSIM, "rerun", str(tmp_path / name)], capture_output=True, text=True)

    sweep(tmp_path, "--seed-ms", "11", "--side", "8", "--steps", "30", "--dilution", "0;0.1", "--realizations", "2",
          "--h5-loops", "--h5-spins", outputs=())
    subprocess.run([EBSIM, "run", "--seed-ms", "5", "--side", "9", "--h5", str(tmp_path / "r.h5")], check=True,
                   capture_output=True)
    for name in ("s.h5", "r.h5"):
        done = rerun(name)
        assert done.returncode == 0 and "identical: every dataset of" in done.stdout, done.stdout + done.stderr
    # A file of an earlier version, without the standard read-outs: its datasets are the rerun's.
    with h5py.File(tmp_path / "r.h5", "r+") as f:
        for name in STANDARD:
            del f[name], f["summary"][name + "_mean"]
    done = rerun("r.h5")
    assert done.returncode == 0 and "(the rerun adds the datasets h_down, h_up," in done.stdout, done.stdout
    with h5py.File(tmp_path / "s.h5", "r+") as f:
        f["loop_half_width"][0, 1] += 1
    done = rerun("s.h5")
    assert done.returncode == 1 and "the dataset 'loop_half_width' differs at element 1" in done.stdout, done.stdout
    with h5py.File(tmp_path / "s.h5", "r+") as f:
        f.attrs["complete"] = 0
    done = rerun("s.h5")
    assert done.returncode == 1 and "is not complete" in done.stderr, done.stderr
