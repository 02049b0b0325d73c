"""The Python module against the ebsim program, and its argument checks."""
import _thread
import csv
import io
import json
import math
import os
import subprocess
import sys
import threading

import numpy as np
import pytest

import ebsim

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EBSIM = os.environ.get("EBSIM", os.path.join(ROOT, "build", "bin", "ebsim"))


def command(*args):
    done = subprocess.run([EBSIM, *args], capture_output=True, text=True)
    return done.returncode, done.stdout


def options(inputs):
    """ebsim's options for the texts that ebsim.run writes for these values."""
    return [a for name, value in inputs.items()
            for a in ("--" + name.replace("_", "-"), repr(value) if isinstance(value, float) else str(value))]


def as_table(columns):
    return {name: np.asarray(columns[name]) for name in columns}


# Values and errors of the three buttons, numbers given as floats and ints.
RUN_CASES = [
    dict(seed_ms=0),
    dict(seed_ms=1234, side=33, dilution=0.1, sd=2.5, steps=120),
    dict(seed_ms=86399999, enhancement=1e-05, h0=2.75, hmin=-1.0 / 3),
    dict(seed_ms=77, side=0),        # refused by "Run LEE Constants"
    dict(seed_ms=5, side=301, steps=20),  # beyond the window's maps
    dict(seed_ms=77, h0=-5),         # refused by "Run"
    dict(seed_ms=77, sd="2,5"),      # a text the window refuses
]


@pytest.mark.parametrize("inputs", RUN_CASES)
def test_run_equals_the_command(inputs):
    maps = inputs.get("side", 20) <= 300  # the maps are kept for the window's sides only
    code, out = command("run", "--loop", *(["--maps"] if maps else []), *options(inputs))
    expected = json.loads(out)
    if "error" in expected:
        assert code == 1
        with pytest.raises(ebsim.Error) as raised:
            ebsim.run(maps=maps, **inputs)
        assert (raised.value.message, raised.value.stage) == (expected["error"], expected["stage"])
        assert str(raised.value) == expected["error"]
        return
    result = ebsim.run(maps=maps, **inputs)
    assert (result.seed_ms, result.side) == (expected["seed_ms"], expected["side"])
    assert (result.steps_descending, result.steps_ascending) == tuple(expected["steps"].values())
    # The command writes values with 15 significant digits.
    for name, readout in zip(ebsim.READOUTS, expected["readouts"].values()):
        if readout is None:
            assert result.readouts[name] is None and result.shown[name] == "     "
        else:
            assert result.readouts[name] == pytest.approx(float(readout["value"]), rel=1e-14)
            assert getattr(result, name) == result.readouts[name]
            assert result.shown[name] == readout["shown"]
    branch, h, m = result.loop
    assert list(branch) == [p["branch"] for p in expected["loop"]]
    assert list(h) == [p["H"] for p in expected["loop"]]
    assert list(m) == [p["M"] for p in expected["loop"]]
    if "maps" not in expected:
        return
    for name, key in [("exchange", "exchange"), ("energy", "initial_energy"), ("random_field", "random_field")]:
        assert np.array_equal(result.maps[name], np.array(expected["maps"][key], dtype=float))


def run_csv(path):
    """The table's columns by name; metadata lines ("# {...}") left out."""
    with open(path, newline="") as f:
        rows = [row for row in csv.reader(f) if row and not row[0].startswith("#")]
    return {name: column for name, column in zip(rows[0], zip(*rows[1:]))}


def significant_digits(text):
    mantissa = text.lstrip("-").split("e")[0].replace(".", "")
    return mantissa.lstrip("0").rstrip("0")


GRID = {"sd": "1;2.5", "dilution": [0.02, 0.1], "steps": "40:80:40", "side": 24}


def test_sweep_rows_and_summary_equal_the_command(tmp_path):
    runs, summary = tmp_path / "runs.csv", tmp_path / "summary.csv"
    args = ["--sd", "1;2.5", "--dilution", "0.02;0.1", "--steps", "40:80:40", "--side", "24"]
    code, _ = command("sweep", *args, "--realizations", "3", "--seed-ms", "777", "--threads", "2",
                      "--out", str(runs), "--summary", str(summary))
    assert code == 0
    result = ebsim.sweep(GRID, realizations=3, seed_ms=777, threads=2)
    # Every column the module and the command both have, by name: at least
    # every read-out.
    for table, columns in [(as_table(result.rows), run_csv(runs)), (as_table(result.summary), run_csv(summary))]:
        shared = [name for name in table if name in columns]
        assert len(shared) >= len(ebsim.READOUTS)
        for name in shared:
            got, values = table[name], columns[name]
            assert len(got) == len(values)
            if got.dtype == object:
                assert list(got) == list(values)
            else:
                # The same doubles, each written in its shortest text, so
                # that any reader's float() gives them back.
                want = np.array([float(v) if v else math.nan for v in values])
                np.testing.assert_array_equal(got, want, err_msg=name)
                for text, x in zip(values, got):
                    assert not text or significant_digits(text) == significant_digits(repr(float(x))), (name, text)


def test_sweep_rows_do_not_depend_on_threads():
    one, two = (as_table(ebsim.sweep(GRID, realizations=4, seed_ms=5, threads=t).rows) for t in (1, 2))
    for name in one:
        assert np.array_equal(one[name], two[name], equal_nan=one[name].dtype != object), name


def test_spin_files_load_in_one_line_and_match_the_plus_spins(tmp_path):
    runs, folder = tmp_path / "runs.csv", tmp_path / "spins"
    code, _ = command("sweep", "--side", "24;301", "--steps", "20", "--realizations", "2", "--seed-ms", "9",
                      "--out", str(runs), "--spins", str(folder))
    assert code == 0
    table = run_csv(runs)
    assert len(os.listdir(folder)) == 4
    for point, realization, side, plus in zip(table["point"], table["realization"], table["side"],
                                              table["plus_spins_at_hmin"]):
        spins = np.load(folder / f"point{point}_realization{realization}.npy")
        assert spins.dtype == np.int8 and spins.shape == (int(side), int(side))
        assert set(np.unique(spins)) <= {-1, 1}
        assert (spins == 1).mean() == pytest.approx(float(plus), rel=1e-15)


@pytest.mark.parametrize("call, message", [
    (lambda: ebsim.run(side=20.0), "side takes an int or a str, not float"),
    (lambda: ebsim.run(steps=True), "steps takes an int or a str, not bool"),
    (lambda: ebsim.run(dilution=[0.1]), "dilution takes an int, a float or a str, not list"),
    (lambda: ebsim.run(sidee=3), "incompatible function arguments"),
    (lambda: ebsim.run(20), "incompatible function arguments"),
    (lambda: ebsim.run(loop=1), "incompatible function arguments"),
    (lambda: ebsim.run(seed_ms="5"), "seed_ms takes an int or None, not str"),
    (lambda: ebsim.sweep([("sd", 1)]), "grid takes a dict of input name -> value, not list"),
    (lambda: ebsim.sweep({"sdd": 1}), "no input named 'sdd'; the inputs are side, dilution"),
    (lambda: ebsim.sweep({"sd": {1, 2}}), "sd takes an int, a float or a str, not set"),
    (lambda: ebsim.sweep({}, realizations=2.0), "realizations takes an int"),
    (lambda: ebsim.sweep({}, threads="2"), "threads takes an int or None"),
    (lambda: ebsim.sweep({}, progress=3), "progress takes a callable or None"),
])
def test_wrong_types_and_names_raise_type_error(call, message):
    with pytest.raises(TypeError, match=message):
        call()


@pytest.mark.parametrize("call, message, stage", [
    (lambda: ebsim.run(dilution="abc"), "'abc' is not a valid floating point value.", "lee"),
    (lambda: ebsim.run(side="$"), "'$' is not a valid integer value.", "lee"),
    (lambda: ebsim.run(sd=math.inf), "'inf' is not a valid floating point value.", "qrf"),
    (lambda: ebsim.run(steps=2**31), "'2147483648' is not a valid integer value.", "run"),
    (lambda: ebsim.sweep({"sd": ["1", "x"]}), "'x' is not a valid floating point value.", "grid"),
    (lambda: ebsim.sweep({"h0": -4}), "Init. Mag. Field must not be below Min. Mag. Field.", "grid"),
])
def test_texts_the_window_refuses_raise_its_message(call, message, stage):
    with pytest.raises(ebsim.Error) as raised:
        call()
    assert (raised.value.message, raised.value.stage) == (message, stage)


LONG = {"side": 300, "steps": 3000}


def test_the_gil_is_released_during_a_sweep():
    # With a long switch interval a thread gets the GIL only when it is free.
    counted, stop = [0], threading.Event()

    def count():
        while not stop.is_set():
            counted[0] += 1
            stop.wait(0.001)
    interval = sys.getswitchinterval()
    sys.setswitchinterval(100)
    thread = threading.Thread(target=count)
    thread.start()
    try:
        before = counted[0]
        ebsim.sweep(LONG, realizations=2, seed_ms=1, threads=1)
        during = counted[0] - before
    finally:
        stop.set()
        thread.join()
        sys.setswitchinterval(interval)
    assert during > 2


def test_ctrl_c_and_errors_in_progress_stop_the_sweep():
    seen = []

    def interrupt_once(finished, total):
        seen.append((finished, total))
        if len(seen) == 1:
            threading.Thread(target=_thread.interrupt_main).start()
    with pytest.raises(KeyboardInterrupt):
        ebsim.sweep(LONG, realizations=40, seed_ms=1, threads=2, progress=interrupt_once)
    assert seen[-1][0] < seen[-1][1] == 40

    def fail(finished, total):
        raise ValueError("from the callback")
    with pytest.raises(ValueError, match="from the callback"):
        ebsim.sweep(LONG, realizations=40, seed_ms=1, threads=2, progress=fail)


def test_progress_counts_up_to_every_row():
    seen = []
    ebsim.sweep({"sd": "1:3:1"}, realizations=2, seed_ms=3, progress=lambda f, t: seen.append((f, t)))
    assert seen[-1] == (6, 6) and [f for f, _ in seen] == sorted(f for f, _ in seen)


@pytest.mark.skipif(not hasattr(ebsim, "render"), reason="built without the window")
@pytest.mark.parametrize("inputs", [dict(seed_ms=9, sd=1.5), dict(seed_ms=4, side=320, steps=40)])
def test_render_draws_what_the_command_draws(tmp_path, inputs):
    image = pytest.importorskip("matplotlib.image")
    png = tmp_path / "window.png"
    code, _ = command("render", "--png", str(png), *options(inputs))
    assert code == 0
    picture = ebsim.render(**inputs)
    assert picture.dtype == np.uint8 and picture.shape[2] == 3
    assert np.array_equal(picture, np.round(image.imread(png)[:, :, :3] * 255).astype(np.uint8))
