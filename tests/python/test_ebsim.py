"""The Python module against the ebsim program, and its argument checks."""
import _thread
import csv
import io
import json
import math
import os
import re
import subprocess
import sys
import threading
import time

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
    dict(seed_ms=1234, field_sd=2.5, steps=120),  # the files' name, an alias of --sd
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
    assert list(expected["readouts"]) == list(ebsim.READOUTS)
    for name, readout in expected["readouts"].items():
        # The standard read-outs have no text on the window.
        shown = result.shown.get(name, "     ")
        if readout is None:
            assert result.readouts[name] is None and shown == "     "
        else:
            assert result.readouts[name] == pytest.approx(float(readout["value"]), rel=1e-14)
            assert getattr(result, name) == result.readouts[name]
            assert shown == readout.get("shown", "     ")
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


# Crossings read off the loops: both below zero (where the window's
# Coercivity, 4.68, is no width), straddling zero, and none.
@pytest.mark.parametrize("inputs, down, up", [
    (dict(side=100, dilution=0.15, sd=2, seed_ms=0), -2.94, -1.74),
    (dict(seed_ms=0), -1.62, 0.74),
    (dict(side=3, seed_ms=0), None, None),
])
def test_standard_readouts_follow_the_crossings(inputs, down, up):
    r = ebsim.run(loop=False, **inputs)
    if down is None:
        assert [r.eb_shift, r.h_down, r.h_up, r.loop_centre, r.loop_half_width] == [None] * 5
        return
    assert (r.h_down, r.h_up) == (pytest.approx(down, abs=1e-12), pytest.approx(up, abs=1e-12))
    assert r.loop_centre == pytest.approx((down + up) / 2, abs=1e-12)
    assert r.loop_half_width == pytest.approx((up - down) / 2, abs=1e-12)
    # E-B Shift is the centre wherever H_down <= 0; Coercivity the width only where H_up >= 0 too.
    assert r.eb_shift == r.loop_centre
    assert (r.coercivity == 2 * r.loop_half_width) == (up >= 0)


GRID = {"sd": "1;2.5", "dilution": [0.02, 0.1], "steps": "40:80:40", "side": 24}

SWEEPS = [
    (GRID, ["--sd", "1;2.5", "--dilution", "0.02;0.1", "--steps", "40:80:40", "--side", "24"]),
    # Beyond the window's sides, as the command takes them; a field spread
    # whose Run fails after the set-up showed its surface ratio.
    ({"side": [299, 301], "field_sd": ["1", "1e308"], "steps": 20},
     ["--side", "299;301", "--field-sd", "1;1e308", "--steps", "20"]),
]


@pytest.mark.parametrize("grid, args", SWEEPS)
def test_sweep_rows_and_summary_equal_the_command(tmp_path, grid, args):
    runs, summary = tmp_path / "runs.csv", tmp_path / "summary.csv"
    command("sweep", *args, "--realizations", "3", "--seed-ms", "777", "--threads", "2",
            "--out", str(runs), "--summary", str(summary))
    result = ebsim.sweep(grid, realizations=3, seed_ms=777, threads=2)
    # The same columns, by the same names in the same order, value for value.
    for table, columns in [(as_table(result.rows), run_csv(runs)), (as_table(result.summary), run_csv(summary))]:
        assert list(table) == list(columns)
        for name in table:
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
    # Each read-out's statistics are over exactly the values the rows show.
    rows, points = as_table(result.rows), as_table(result.summary)
    for name in ebsim.READOUTS:
        shown = [np.count_nonzero(~np.isnan(rows[name][rows["point"] == p])) for p in points["point"]]
        assert list(points[name + "_n"]) == shown, name


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
    (lambda: ebsim.sweep({}, progress=3), "progress takes True \\(a bar\\), a callable, False or None"),
    (lambda: ebsim.sweep({}, loops=1), "incompatible function arguments"),
    (lambda: ebsim.sweep({}, out=3), "out takes a path"),
    (lambda: ebsim.run(sd=1, field_sd=2), "field_sd is given twice"),
    (lambda: ebsim.sweep({"sd": 1, "field_sd": 2}), "field_sd is given twice"),
])
def test_wrong_types_and_names_raise_type_error(call, message):
    with pytest.raises(TypeError, match=message):
        call()


@pytest.mark.parametrize("call, message", [
    (lambda: ebsim.sweep({}, realizations=10**30),
     "realizations takes a whole number up to 18446744073709551615: '1000000000000000000000000000000'"),
    (lambda: ebsim.sweep({}, realizations=0), "realizations takes a whole number of at least 1: '0'"),
    (lambda: ebsim.sweep({}, seed_ms=10**30), "seed_ms takes milliseconds since midnight"),
    (lambda: ebsim.sweep({"side": "1;2"}, realizations=2**63), "more rows than can be counted"),
    (lambda: ebsim.sweep({}, threads=0), "threads takes a whole number of at least 1: '0'"),
    (lambda: ebsim.run(threads=-1), "threads takes a whole number of at least 1: '-1'"),
    (lambda: ebsim.sweep({}, out=""), "out takes the path of a file"),
])
def test_counts_out_of_range_raise_value_error(call, message):
    with pytest.raises(ValueError, match=re.escape(message)):
        call()


def test_counts_beyond_the_thread_cap_run_on_the_cap():
    assert ebsim.run(threads=10**30, seed_ms=1, steps=4).side == 20
    assert len(as_table(ebsim.sweep({"steps": 4}, threads=10**30, seed_ms=1).rows)["point"]) == 1


def test_docstrings_give_each_inputs_meaning_as_the_help_does():
    # "--sd,--field-sd T    standard deviation ...; default 2" in ebsim run --help.
    code, out = command("run", "--help")
    options = {name.split(",")[-1][2:].replace("-", "_"): text for name, text in
               re.findall(r"^  (--[a-z0-9-]+(?:,--[a-z0-9-]+)*) T +(.*)$", out, re.M)}
    meanings = {name: options[name] for name in ebsim.INPUTS}
    for function in (ebsim.run, ebsim.sweep):
        doc = " ".join(function.__doc__.split())
        for name, meaning in meanings.items():
            assert f"{name} {meaning}" in doc, (function.__name__, name)


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


def test_ctrl_c_is_heard_during_a_large_lattices_set_up():
    # The set-up of side 8000 takes seconds of one thread; Ctrl-C ends it
    # long before its end.
    timer = threading.Timer(0.5, _thread.interrupt_main)
    start = time.monotonic()
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        ebsim.run(side=8000, steps=2, seed_ms=1, threads=1, loop=False)
    assert time.monotonic() - start < 4


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


def file_lines(path):
    """The lines of a table, the times and the command left out of its metadata lines."""
    lines = open(path).read().splitlines()
    for k in (0, -1):
        meta = json.loads(lines[k][2:])
        for key in ("start", "end", "command"):
            meta.pop(key, None)
        lines[k] = meta
    return lines


def test_out_writes_the_runs_file_the_command_writes(tmp_path):
    mine, theirs = tmp_path / "mine.csv", tmp_path / "theirs.csv"
    mine.write_text("kept until the sweep ends\n")
    result = ebsim.sweep({"side": [24, 301], "field_sd": "1;1e308", "steps": 20}, realizations=2, seed_ms=5,
                         threads=2, out=mine)
    command("sweep", "--side", "24;301", "--sd", "1;1e308", "--steps", "20", "--realizations", "2",
            "--seed-ms", "5", "--out", str(theirs))
    assert file_lines(mine) == file_lines(theirs)
    assert result.rows is None and list(as_table(result.summary)["point"]) == [0, 1, 2, 3]
    # The command that writes the same rows.
    assert json.loads(open(mine).readline()[2:])["command"][1:7] == ["--side", "24;301", "--sd", "1;1e308",
                                                                     "--steps", "20"]
    with pytest.raises(OSError, match="cannot write"):
        ebsim.sweep({}, out=tmp_path / "no folder" / "runs.csv")


def test_a_stopped_sweep_leaves_its_finished_rows_in_out(tmp_path):
    out = tmp_path / "runs.csv"

    def stop_after_a_row(finished, total):
        if finished:
            raise ValueError("enough")
    with pytest.raises(ValueError, match="enough"):
        ebsim.sweep(LONG, realizations=40, seed_ms=1, threads=2, progress=stop_after_a_row, out=out)
    lines = file_lines(out)
    assert lines[-1] == {"rows": len(lines) - 3, "complete": False} and 1 <= len(lines) - 3 < 40


def test_rows_memory_cannot_hold_are_refused_before_the_sweep_runs():
    def ran(finished, total):
        raise AssertionError("the sweep ran")
    with pytest.raises(MemoryError, match=r"the rows \(1000000000000\) .*\(out= writes the rows to a file"):
        ebsim.sweep({"side": 1, "steps": 2}, realizations=10**12, progress=ran)


# A sweep on a worker thread while SIGINT reaches the process or the
# interpreter exits. The worker says how its sweep ended and whether its
# `finally` ran; the main thread how long the worker took after SIGINT.
WORKER = r"""
import os, signal, sys, threading, time
import ebsim
mode = sys.argv[1]
started, done = threading.Event(), threading.Event()
def work():
    how = "ran on"
    try:
        ebsim.sweep({"side": 10, "dilution": "0:1:0.001"}, realizations=10000, seed_ms=0, threads=2,
                    progress=lambda finished, total: started.set())
        how = "returned"
    except BaseException as error:
        how = type(error).__name__
        raise
    finally:
        print("worker:", how, flush=True)
        done.set()
worker = threading.Thread(target=work, daemon="daemon" in mode)
worker.start()
started.wait()
if "exit" in mode:
    sys.exit(0)
interrupted = time.monotonic()
try:
    if "join" in mode:  # the signal comes while the main thread joins the worker
        threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT)).start()
        worker.join()
    else:
        os.kill(os.getpid(), signal.SIGINT)
        time.sleep(60)
except KeyboardInterrupt:
    print("main: KeyboardInterrupt", flush=True)
    if "raise" in mode:
        raise
print("main: worker ended", done.wait(10) and time.monotonic() - interrupted < 5, flush=True)
"""


@pytest.mark.parametrize("mode, code, lines", [
    ("thread", 0, ["main: KeyboardInterrupt", "worker: KeyboardInterrupt", "main: worker ended True"]),
    ("daemon thread", 0, ["main: KeyboardInterrupt", "worker: KeyboardInterrupt", "main: worker ended True"]),
    ("join", 0, ["main: KeyboardInterrupt", "worker: KeyboardInterrupt"]),
    ("thread raise", -2, ["main: KeyboardInterrupt", "worker: KeyboardInterrupt"]),
    ("daemon exit", 0, []),
])
def test_a_sweep_on_another_thread_ends_on_ctrl_c_and_at_exit(mode, code, lines):
    began = time.monotonic()
    done = subprocess.run([sys.executable, "-c", WORKER, mode], capture_output=True, text=True, timeout=60)
    assert done.returncode == code, done.stderr
    assert "terminate called" not in done.stderr
    for line in lines:
        assert line in done.stdout.splitlines(), done.stdout
    assert time.monotonic() - began < 20
