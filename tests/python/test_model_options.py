"""The model's keyword arguments of ebsim.run and ebsim.sweep, and the
first-order reversal curves."""
import math
import os
import re
import subprocess
import tempfile

import numpy as np
import pytest

import ebsim

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EBSIM = os.environ.get("EBSIM", os.path.join(ROOT, "build", "bin", "ebsim"))

# A small loop whose fields are exact binary fractions: 2, 1.75, ..., -2.25, -2, ..., 2.25.
SMALL = dict(side=16, dilution=0.1, h0=2, hmin=-2, steps=32, seed_ms=4321)


def loop_fields(result):
    return [float(h) for h in result.loop[1]]


def test_cycles_give_each_cycles_readouts_and_a_cycle_per_step():
    default = ebsim.run(**SMALL)
    three = ebsim.run(cycles=3, **SMALL)
    assert len(three.cycles) == 3 and three.readouts == default.readouts
    assert three.cycles[0] == {name: default.readouts[name] for name in three.cycles[0]}
    length = len(default.loop[1])
    assert list(three.cycle) == [k for k in (1, 2, 3) for _ in range(length)]
    # Cycle 1 is the default loop exactly; the later ones start from its spins.
    for mine, theirs in zip(three.loop, default.loop):
        assert list(mine[:length]) == list(theirs)
    assert list(three.loop[1][length:2 * length]) == list(default.loop[1])
    assert np.all(three.flips >= 0) and three.flips.sum() > 0


def test_a_field_history_of_the_loops_values_gives_the_loops_readouts():
    default = ebsim.run(**SMALL)
    given = ebsim.run(fields=loop_fields(default), **SMALL)
    texts = ebsim.run(fields=[repr(h) for h in loop_fields(default)], **SMALL)
    for result in (given, texts):
        assert result.readouts == default.readouts
        assert list(result.loop[2]) == list(default.loop[2])
        assert list(result.loop[0]) == list(default.loop[0])
        assert set(result.cycle) == {1}
    assert [float(t) for t in given.metadata["model"]["fields"]] == loop_fields(default)
    # Without any option of the model, nothing beyond the window's.
    assert default.cycles is None and default.flips is None and default.cycle is None
    assert "model" not in default.metadata


def test_spins_at_chosen_steps_are_the_loops_magnetisation_there():
    steps = [0, 17, 20, 35]
    result = ebsim.run(spins_at=steps, **SMALL)
    assert sorted(result.spins) == steps
    for k in steps:
        spins = result.spins[k]
        assert spins.shape == (16, 16) and set(np.unique(spins)) <= {-1, 1}
        assert spins.mean() == pytest.approx(result.loop[2][k], abs=1e-15)


@pytest.mark.parametrize("model", [
    dict(dynamics="stable"),
    dict(boundary="periodic"),
    # One row per realisation and cycle, and a summary line per point and cycle.
    dict(dynamics="stable", boundary="open", cycles=2),
    dict(fields=[2, -2, 1, -2, 1.5]),
])
def test_sweep_rows_are_the_runs_of_the_same_options(model):
    sweep = ebsim.sweep({"side": 16, "dilution": 0.1, "h0": 2, "hmin": -2, "steps": 32}, realizations=2,
                        seed_ms=4321, loops=True, **model)
    rows = {name: np.asarray(sweep.rows[name]) for name in sweep.rows}
    loops = {name: np.asarray(sweep.loops[name]) for name in sweep.loops}
    assert sweep.metadata["sweep"]["model"]["dynamics"] == model.get("dynamics", "pass")
    assert sweep.metadata["sweep"]["model"]["boundary"] == model.get("boundary", "edge-copy")
    for realization, seed in enumerate(sorted(set(rows["seed_ms"]), key=list(rows["seed_ms"]).index)):
        run = ebsim.run(**dict(SMALL, seed_ms=int(seed)), **model)
        mine = rows["realization"] == realization
        cycled = "cycles" in model or "fields" in model
        cycles = run.cycles if cycled else [run.readouts]
        if cycled:
            assert list(rows["cycle"][mine]) == list(range(1, len(cycles) + 1))
        for c, readouts in enumerate(cycles):
            for name, value in readouts.items():
                got = rows[name][mine][c]
                assert (math.isnan(got) if value is None else got == value), (realization, c, name)
        on = loops["realization"] == realization
        assert list(loops["M"][on]) == list(run.loop[2])
        assert list(loops["flips"][on]) == list(run.flips)
    summary = {name: np.asarray(sweep.summary[name]) for name in sweep.summary}
    if "cycle" in rows:
        assert list(summary["cycle"]) == sorted(set(rows["cycle"]))
        for c in summary["cycle"]:
            values = rows["vertical_shift"][rows["cycle"] == c]
            assert summary["vertical_shift_mean"][summary["cycle"] == c][0] == pytest.approx(values.mean(), rel=1e-12, nan_ok=True)
    else:
        assert "cycle" not in summary


def test_docstrings_give_the_model_options_meaning_as_the_help_does():
    help_text = subprocess.run([EBSIM, "run", "--help"], capture_output=True, text=True).stdout
    for name in ("dynamics", "boundary", "cycles"):
        meaning = re.search(rf"^  --{name} [A-Z]+ +(.*)$", help_text, re.M).group(1)
        for function in (ebsim.run, ebsim.sweep):
            assert f"{name} {meaning}" in " ".join(function.__doc__.split()), (function.__name__, name)


def cli_message(*args):
    """ebsim run's message for these options, without "ebsim run: --"."""
    with tempfile.TemporaryDirectory() as folder:
        done = subprocess.run([EBSIM, "run", "--seed-ms", "1", "--spins", folder, *args],
                              capture_output=True, text=True)
    assert done.returncode == 2, done.stderr
    return re.sub(r"^ebsim run: --", "", done.stderr.strip().splitlines()[0])


@pytest.mark.parametrize("keyword, value, option", [
    ("dynamics", "passs", ["--dynamics", "passs"]),
    ("dynamics", "", ["--dynamics", ""]),
    ("boundary", "wrap", ["--boundary", "wrap"]),
    ("cycles", 0, ["--cycles", "0"]),
    ("cycles", 2**31, ["--cycles", str(2**31)]),
    ("spins_at", [3, -1], ["--spins-at", "3;-1"]),
    ("spins_at", [2, 602], ["--spins-at", "2;602"]),
])
def test_values_refused_raise_value_error_with_the_commands_message(keyword, value, option):
    expected = cli_message(*option)
    calls = [(lambda: ebsim.run(seed_ms=1, **{keyword: value}), "ebsim.run()")]
    if keyword != "spins_at":  # a sweep keeps no spins
        calls.append((lambda: ebsim.sweep({}, seed_ms=1, **{keyword: value}), "ebsim.sweep()"))
    for call, caller in calls:
        with pytest.raises(ValueError) as raised:
            call()
        assert str(raised.value) == f"{caller}: {expected}".replace("spins-at", "spins_at")


@pytest.mark.parametrize("kwargs, error, message", [
    (dict(fields=[]), ValueError, "fields holds no field value"),
    (dict(fields="3"), TypeError, "fields takes a sequence of field values, not str"),
    (dict(fields=[1.0, None]), TypeError, "fields takes field values (floats, ints or str), not NoneType"),
    (dict(cycles=2.0), TypeError, "cycles takes an int, not float"),
    (dict(dynamics=1), TypeError, "dynamics takes a str, not int"),
    (dict(spins_at=5), TypeError, "spins_at takes a sequence of steps (ints), not int"),
    (dict(spins_at=[True]), TypeError, "spins_at takes steps (ints), not bool"),
    (dict(cycles=2, fields=[1, 0]), ValueError, "cycles and fields cannot be given together"),
    (dict(fields=[3, "2,5"]), ValueError,
     "fields value 2: '2,5' is not a field value ('2,5' is not a valid floating point value)"),
    (dict(maps=True, boundary="open"), ValueError, "maps shows the window's runs only"),
])
def test_wrong_values_and_types_of_the_model(kwargs, error, message):
    with pytest.raises(error, match=re.escape(message)):
        ebsim.run(seed_ms=1, **kwargs)


# M(Hr, H) and its -1/2 d2M/(dHr dH); "all": the fit is exact wherever it
# is had, "whole": on whole neighbourhoods, "approx": close there.
SYNTHETIC = [
    (lambda r, h: 0.3 * r * h + 0.2 * h * h - r + 4, lambda r, h: -0.15 + 0 * r, "all"),
    (lambda r, h: 0.3 * r * h + 0.1 * r * r * h, lambda r, h: -(0.3 + 0.2 * r) / 2, "whole"),
    (lambda r, h: np.tanh(h - 0.5 * r), lambda r, h: -0.5 * 0.5 * 2 * np.tanh(h - 0.5 * r) / np.cosh(h - 0.5 * r) ** 2,
     "approx"),
]


@pytest.mark.parametrize("smoothing", [1, 2, 3])
@pytest.mark.parametrize("m_of, rho_of, exact", SYNTHETIC)
def test_the_forc_distribution_of_a_known_m(m_of, rho_of, exact, smoothing):
    hr = np.arange(-3, 0.01, 0.1)
    h = np.arange(-3, 2.01, 0.1)
    r, hh = np.meshgrid(hr, h, indexing="ij")
    m = m_of(r, hh)
    m[hh < r - 1e-9] = np.nan
    rho = ebsim.forc_distribution(hr, h, m, smoothing)
    assert np.all(np.isnan(rho[np.isnan(m)]))
    had = np.isfinite(rho)
    # Only the curves' ends and the grid's edges lack the points of a fit.
    assert had.sum() > 0.9 * np.isfinite(m).sum()
    whole = np.zeros_like(had)
    s = smoothing
    for i in range(s, len(hr) - s):
        for j in range(s, len(h) - s):
            whole[i, j] = np.all(np.isfinite(m[i - s:i + s + 1, j - s:j + s + 1]))
    where = {"all": had, "whole": whole, "approx": whole}[exact]
    # The fit's bias grows as the square of the neighbourhood's width.
    tolerance = 0.003 * smoothing ** 2 if exact == "approx" else 1e-9
    assert np.abs(rho - rho_of(r, hh))[where].max() < tolerance


FORC = dict(side=16, dilution=0.1, seed_ms=4321, h0=2, step=0.25)


def test_the_smoothing_factor_is_a_whole_number_of_at_least_1():
    for smoothing in (0, 1.5, True):
        with pytest.raises(ValueError, match="smoothing takes a whole number of at least 1"):
            ebsim.forc([-1], smoothing=smoothing, **FORC)


@pytest.mark.parametrize("dynamics", ["pass", "stable"])
def test_forc_curves_are_runs_from_saturation_to_each_reversal_field_and_back(dynamics):
    reversal = [-0.5, -2.25, -1.0, 0.75]
    result = ebsim.forc(reversal, dynamics=dynamics, **FORC)
    assert list(result.reversal_fields) == sorted(reversal)
    assert list(result.fields) == [2 - 0.25 * n for n in range(17, -1, -1)]
    assert result.m.shape == result.rho.shape == (4, 18)
    for i, hr in enumerate(result.reversal_fields):
        n = round((2 - hr) / 0.25)
        down = [2 - 0.25 * k for k in range(n + 1)]
        run = ebsim.run(side=16, dilution=0.1, seed_ms=4321, dynamics=dynamics, fields=down + down[-2::-1])
        row = result.m[i]
        assert np.all(np.isnan(row[result.fields < hr]))
        assert list(row[result.fields >= hr]) == list(run.loop[2][n:])


def test_the_lowest_reversal_curve_is_the_windows_ascending_branch():
    # The window's loop of SMALL turns at -2.25 and climbs back to 2.25.
    default = ebsim.run(**SMALL)
    result = ebsim.forc([-2.25], **FORC)
    assert list(result.m[0]) == list(default.loop[2][17:35])


@pytest.mark.parametrize("reversal, message", [
    ([-0.3], "reversal field -0.3 is not h0 - n step"),
    ([math.nan], "reversal field nan is not h0 - n step"),
    ([2.0], "reversal field 2.0 is not h0 - n step"),
    ([], "reversal_fields holds no field"),
])
def test_reversal_fields_off_the_grid_are_refused(reversal, message):
    with pytest.raises(ValueError, match=re.escape(message)):
        ebsim.forc(reversal, **FORC)


def test_an_adiabatic_run_gives_every_avalanche_as_the_loop_and_the_command_line_give_it():
    kwargs = dict(side=24, field_sd=3, seed_ms=77, dynamics="stable", cycles=2)
    run = ebsim.run(adiabatic=True, **kwargs)
    a = run.avalanches
    assert a.dtype.names == ("cycle", "branch", "H", "size")
    assert list(a["size"]) == list(run.flips) and list(a["H"]) == loop_fields(run)
    assert list(a["branch"]) == [int(b == "up") for b in run.loop[0]] and set(a["cycle"]) == {1, 2}
    # every spin that reversed on a leg, counted once: the leg's change of M
    m = np.concatenate([[1.0], run.loop[2]])
    ups = (np.diff(m) * 24 * 24 / 2).round().astype(int)
    assert list(np.abs(ups)) == list(a["size"])
    with tempfile.TemporaryDirectory() as folder:
        csv = os.path.join(folder, "loop.csv")
        subprocess.run([EBSIM, "run", "--side", "24", "--field-sd", "3", "--seed-ms", "77", "--dynamics", "stable",
                        "--cycles", "2", "--adiabatic", "--loop-csv", csv], check=True, capture_output=True)
        rows = [line.strip().split(",") for line in open(csv) if not line.startswith("#")]
    assert rows[0] == ["step", "branch", "H", "M", "flips", "cycle", "size"]
    assert [float(r[2]) for r in rows[1:]] == list(a["H"]) and [int(r[6]) for r in rows[1:]] == list(a["size"])
    assert ebsim.run(**kwargs).avalanches is None


@pytest.mark.parametrize("kwargs, option", [
    (dict(), []),
    (dict(dynamics="stable", enhancement=-1), ["--dynamics", "stable", "--enhancement", "-1"]),
    (dict(dynamics="stable", engine="pass"), ["--dynamics", "stable", "--engine", "pass"]),
])
def test_adiabatic_runs_refused_with_the_commands_message(kwargs, option):
    expected = cli_message("--adiabatic", *option)
    with pytest.raises(ValueError) as raised:
        ebsim.run(seed_ms=1, adiabatic=True, **kwargs)
    python = expected.replace("--dynamics stable", "dynamics='stable'").replace("--engine pass", "engine='pass'")
    assert str(raised.value) == "ebsim.run(): " + python


def test_an_adiabatic_sweep_counts_its_realisations_avalanches_as_the_command_line_does():
    grid = dict(side=20, field_sd=[2, 3.5])
    sweep = ebsim.sweep(grid, realizations=3, seed_ms=5, dynamics="stable", adiabatic=True)
    rows, table = sweep.rows, sweep.avalanches
    expected = {}
    for k in range(len(rows["point"])):
        run = ebsim.run(side=20, field_sd=[2, 3.5][int(rows["point"][k])], seed_ms=int(rows["seed_ms"][k]),
                        dynamics="stable", adiabatic=True)
        a = run.avalanches
        assert [int(rows["steps_descending"][k]), int(rows["steps_ascending"][k])] == \
            [int((a["branch"] == b).sum()) for b in (0, 1)]
        for branch, size in zip(a["branch"], a["size"]):
            key = (int(rows["point"][k]), ["down", "up"][branch], int(size).bit_length() - 1)
            expected[key] = expected.get(key, 0) + 1
    got = {(int(p), b, int(lo).bit_length() - 1): int(c)
           for p, b, lo, c in zip(table["point"], table["branch"], table["size_min"], table["count"]) if c}
    assert got == expected
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "sizes.csv")
        subprocess.run([EBSIM, "sweep", "--side", "20", "--field-sd", "2;3.5", "--realizations", "3", "--seed-ms", "5",
                        "--dynamics", "stable", "--adiabatic", "--out", os.devnull, "--avalanches", path],
                       check=True, capture_output=True)
        lines = [line.strip().split(",") for line in open(path) if not line.startswith("#")]
    assert lines[0][-5:] == ["point", "branch", "size_min", "size_max", "count"] and len(lines) > 10
    for k, name in enumerate(lines[0]):
        mine = [str(v) if name == "branch" else float(v) for v in table[name]]
        assert mine == [r[k] if name == "branch" else float(r[k]) for r in lines[1:]], name
    assert "--adiabatic" in sweep.metadata["command"]
    with pytest.raises(ValueError, match=r"^ebsim\.sweep\(\): adiabatic=True keeps no loops"):
        ebsim.sweep(grid, seed_ms=5, dynamics="stable", adiabatic=True, loops=True)
    with pytest.raises(ValueError, match=r"^ebsim\.sweep\(\): .*enhancement"):
        ebsim.sweep(dict(side=20, enhancement=[1, -1]), seed_ms=5, dynamics="stable", adiabatic=True)
