# zymra.fit against `zymra-cli fit`, measured data kept with a project's runs, bad
# arguments of fit, and Ctrl+C in the middle of a fit.
import math
import pathlib

import numpy as np
import pytest

import zymra
from conftest import cli, interrupt

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "resources" / "examples" / "fedbatch-measured.tsv"


def example_columns(names=("Time", "Replicate", "ODreal", "OTRVt")):
    lines = [l for l in EXAMPLE.read_text().splitlines() if not l.startswith("#")]
    header = lines[0].split("\t")
    rows = [l.split("\t") for l in lines[1:]]
    return {n: np.array([float(r[header.index(n)]) for r in rows]) for n in names}


def same(value, text):
    """A number printed with 17 significant digits reads back as exactly that double."""
    return float(value) == float(text) or (math.isnan(value) and text.lower() == "nan")


def check_against_cli(result, stdout, out_file, files):
    lines = stdout.splitlines()
    assert lines[0] == "Name\tEstimate\tStdError\tCI95Low\tCI95High"
    rows = [l.split("\t") for l in lines[1:1 + len(result.names)]]
    intervals = result.profile_ci95 if result.profile_ci95 is not None else result.ci95
    for name, (cli_name, estimate, se, low, high) in zip(result.names, rows):
        assert name == cli_name
        assert same(result.estimates[name], estimate) and same(result.std_errors[name], se), name
        assert same(intervals[name][0], low) and same(intervals[name][1], high), name
    tail = lines[1 + len(result.names):]
    assert same(result.sse, tail[0].split("\t")[1]) and tail[0].startswith("SSE\t")
    assert tail[1] == f"Points\t{result.points}" and tail[2] == f"Evaluations\t{result.evaluations}"
    assert tail[3:] == ["Warning\t" + w for w in result.warnings]

    text = out_file.read_text().splitlines()
    start = text.index("# Correlation:\t" + "\t".join(result.names))
    for a, line in enumerate(text[start + 1:start + 1 + len(result.names)]):
        cells = line.split("\t")
        assert cells[0] == "# " + result.names[a]
        assert all(same(v, c) for v, c in zip(result.correlation[a], cells[1:]))
    assert result.correlation.shape == (len(result.names),) * 2
    table = [l.split("\t") for l in text[start + 2 + len(result.names):]]
    r = result.residuals
    assert len(table) == len(r["Time"]) == result.points
    for i, (file, rep, time, column, measured, simulated, residual, weighted, beyond) in enumerate(table):
        assert file == files[r["DataSet"][i]] and int(rep) == r["Replicate"][i] and column == r["Column"][i]
        for key, cell in (("Time", time), ("Measured", measured), ("Simulated", simulated),
                          ("Residual", residual), ("Weighted", weighted)):
            assert same(r[key][i], cell), (i, key)
        assert bool(int(beyond)) == r["BeyondRun"][i]


def test_fit_of_a_file_equals_the_command_line(out_dir):
    out = out_dir / "fit.tsv"
    stdout = cli("fit", "--set", "IsBatch=0", "--data", EXAMPLE, "--estimate", "Yield_Real",
                 "--estimate", "DryMassPerOD_Real=0.4:0.7", "--estimate", "FedBatchOD", "--starts", 3,
                 "--seed", 5, "--threads", 2, "--out", out)
    result = zymra.fit(str(EXAMPLE), {"Yield_Real": None, "DryMassPerOD_Real": (0.4, 0.7), "FedBatchOD": None},
                       seed=5, threads=2, starts=3, IsBatch=False)
    check_against_cli(result, stdout, out, [str(EXAMPLE)])
    assert result.profile_ci95 is None and result.degrees_of_freedom == result.points - 3
    assert result.bounds["DryMassPerOD_Real"] == (0.4, 0.7)
    assert set(result.error_levels) == {"ODreal", "OTRVt"} and all(result.error_estimated.values())
    # The data were made with Yield_Real 0.46 and DryMassPerOD_Real 0.55.
    for name, true in (("Yield_Real", 0.46), ("DryMassPerOD_Real", 0.55)):
        assert result.ci95[name][0] < true < result.ci95[name][1]
    fitted = zymra.simulate(seed=5, **result.values)
    assert fitted.values["Yield_Real"] == result.estimates["Yield_Real"]


def test_fit_of_arrays_with_profile_equals_the_command_line(out_dir):
    # OD alone, from a file and from arrays holding the same numbers (one cell left
    # unmeasured), its level given: yield and dry mass per OD only enter as their ratio.
    od = example_columns(("Time", "Replicate", "ODreal"))
    od["ODreal"][3] = np.nan
    copy = out_dir / "od.tsv"
    copy.write_text("Time\tReplicate\tODreal\n" + "".join(
        f"{t!r}\t{int(r)}\t{'' if np.isnan(v) else repr(v)}\n" for t, r, v in zip(*od.values())))
    out = out_dir / "fit.tsv"
    stdout = cli("fit", "--set", "IsBatch=0", "--data", copy, "--data", copy, "--estimate",
                 "Yield_Real=0.4:0.6", "--estimate", "DryMassPerOD_Real", "--error", "ODreal=0.05", "--starts", 2,
                 "--profile", "--threads", 1, "--out", out)
    result = zymra.fit([copy, od], {"Yield_Real": [0.4, 0.6], "DryMassPerOD_Real": None}, threads=1, starts=2,
                       profile=True, errors={"ODreal": 0.05}, IsBatch=False)
    check_against_cli(result, stdout, out, [str(copy), str(copy)])
    assert result.error_levels["ODreal"] == 0.05 and not result.error_estimated["ODreal"]
    assert result.degrees_of_freedom is None
    assert result.points == 2 * (120 - 1) and list(result.error_levels) == ["ODreal"]
    assert any("Yield_Real" in w and "DryMassPerOD_Real" in w for w in result.warnings)


def test_measured_data_are_kept_with_a_run(out_dir):
    project = zymra.Project()
    columns = {"Time": [0.5, 1.0, 1.0, 2.0], "Replicate": [1, 1, 2, 2], "Volume": [2.0, np.nan, 2.1, 2.2]}
    project.add_run(IsBatch=False, max_steps=50, measured=columns)
    project.add_run(IsBatch=False, max_steps=50, measured=EXAMPLE)
    project.add_run(IsBatch=False, max_steps=50)
    path = out_dir / "measured.zym"
    project.save(path)
    runs = zymra.Project.open(path).runs
    first = runs[0].measured
    assert list(first) == ["Time", "Replicate", "Volume"] and first["Replicate"].dtype == np.int64
    for name, values in columns.items():
        np.testing.assert_array_equal(first[name], values)
    second = runs[1].measured
    for name, values in example_columns().items():
        assert second[name].astype(np.float64).tobytes() == values.tobytes(), name
    assert runs[2].measured is None


F = zymra.fit
GOOD = {"Time": [1.0, 2.0], "ODreal": [30.0, 31.0]}
CASES = [
    # (call given a function that writes a data file, exception, text the message holds)
    (lambda f: F(5, ["Yield_Real"]), TypeError, "data must be a path, a list of paths or a dict"),
    (lambda f: F([], ["Yield_Real"]), ValueError, "data is an empty list"),
    (lambda f: F([GOOD, 3], ["Yield_Real"]), TypeError, "data[1] must be a path or a dict"),
    (lambda f: F({"Time": [1.0], "OD": [2.0]}, ["Yield_Real"]), ValueError, "data: unknown column 'OD'"),
    (lambda f: F({"ODreal": [2.0]}, ["Yield_Real"]), ValueError, "data has no 'Time' column"),
    (lambda f: F({"Time": [1.0, 2.0], "ODreal": [2.0]}, ["Yield_Real"]), ValueError, "data['ODreal'] has 1 values"),
    (lambda f: F({"Time": "12", "ODreal": [2.0]}, ["Yield_Real"]), TypeError, "data['Time'] must be a sequence"),
    (lambda f: F({"Time": [[1.0]], "ODreal": [[2.0]]}, ["Yield_Real"]), ValueError, "must be one-dimensional"),
    (lambda f: F({"Time": [1, "x"], "ODreal": [1, 2]}, ["Yield_Real"]), TypeError, "data['Time'] must be"),
    (lambda f: F({"Time": [1.0, np.nan], "ODreal": [1, 2]}, ["Yield_Real"]), ValueError,
     "data['Time'][1]: the time is missing"),
    (lambda f: F({"Time": [2.0, 1.0], "ODreal": [1, 2]}, ["Yield_Real"]), ValueError,
     "data['Time'][1]: time 1 goes back from 2 at [0] (replicate 1)"),
    (lambda f: F({"Time": [1.0], "Replicate": [1.5], "ODreal": [1]}, ["Yield_Real"]), ValueError,
     "data['Replicate'][0]: 1.5 is not a whole number"),
    (lambda f: F({"Time": [1.0], "ODreal": [np.inf]}, ["Yield_Real"]), ValueError, "data['ODreal'][0] must be"),
    (lambda f: F({"Time": [1.0], "ODreal": [np.nan]}, ["Yield_Real"]), ValueError, "data has no measured values"),
    (lambda f: F(f("Time\tVolume\n1\t1,2x\n"), ["Yield_Real"]), zymra.FileError,
     "bad.tsv: line 2, column Volume: \"1,2x\" is not a number"),
    (lambda f: F(f("# only\nTime\tpH\n"), ["Yield_Real"]), zymra.FileError, "bad.tsv: line 2, column pH: unknown"),
    (lambda f: F(f"{f('')}.missing", ["Yield_Real"]), zymra.FileError, "bad.tsv.missing: cannot be opened"),
    (lambda f: F(GOOD, "Yield_Real"), TypeError, "estimate must be a dict of name to (low, high) or a list"),
    (lambda f: F(GOOD, []), ValueError, "estimate names no constant"),
    (lambda f: F(GOOD, ["Uset"]), ValueError, "estimate: 'Uset' cannot be estimated (use Yield_Real, "),
    (lambda f: F(GOOD, [1]), TypeError, "estimate: names must be str"),
    (lambda f: F(GOOD, {"Yield_Real": 0.5}), TypeError, "estimate['Yield_Real'] must be (low, high) or None"),
    (lambda f: F(GOOD, {"Yield_Real": (0.4,)}), ValueError, "estimate['Yield_Real'] must be (low, high)"),
    (lambda f: F(GOOD, {"Yield_Real": (0.4, "x")}), TypeError, "estimate['Yield_Real'] high must be a number"),
    (lambda f: F(GOOD, {"Yield_Real": (0.6, 0.4)}), ValueError, "Yield_Real: the lower bound 0.6 is not below"),
    (lambda f: F(GOOD, {"Yield_Real": (0.4, 1.2)}), ValueError, "Yield_Real=1.2: Real Substrate Yield is out of"),
    (lambda f: F(GOOD, ["Yield_Real", "Yield_Real"]), ValueError, "Yield_Real is to be estimated twice"),
    (lambda f: F(GOOD, ["Yield_Real"], errors=[("ODreal", 1)]), TypeError, "errors must be a dict"),
    (lambda f: F(GOOD, ["Yield_Real"], errors={"pH": 1}), ValueError, "errors: unknown column 'pH'"),
    (lambda f: F(GOOD, ["Yield_Real"], errors={"ODreal": 0}), ValueError, "errors['ODreal'] must be above 0"),
    (lambda f: F(GOOD, ["Yield_Real"], errors={"ODreal": None}), TypeError, "errors['ODreal'] must be a number"),
    (lambda f: F(GOOD, ["Yield_Real"], seed=2**32), ValueError, "seed must be between 0 and 4294967295"),
    (lambda f: F(GOOD, ["Yield_Real"], threads=0), ValueError, "threads must be between 1 and 1024"),
    (lambda f: F(GOOD, ["Yield_Real"], starts=0), ValueError, "starts must be between 1 and 10000"),
    (lambda f: F(GOOD, ["Yield_Real"], profile="yes"), TypeError, "profile must be a bool"),
    (lambda f: F(GOOD, ["Yield_Real"], Uset=5), ValueError, "Values Couldn´t Be Applied To Run!"),
    (lambda f: F(GOOD, ["Yield_Real"], Foo=1), TypeError, "fit(): unknown setting 'Foo'"),
    (lambda f: zymra.Project().add_run(measured=7), TypeError, "measured must be a path or a dict"),
    (lambda f: zymra.Project().add_run(measured={"Time": [1]}), ValueError, "measured has no measured values"),
]


@pytest.mark.parametrize("call, error, text", CASES, ids=[c[2][:40] for c in CASES])
def test_bad_fit_argument_raises_an_error_naming_it(call, error, text, tmp_path):
    def write(content):
        path = tmp_path / "bad.tsv"
        path.write_text(content)
        return path
    with pytest.raises(error) as raised:
        call(write)
    assert text in str(raised.value)


def test_a_fit_that_fails_raises_fit_error():
    # Three values, three constants: no degree of freedom is left.
    with pytest.raises(zymra.FitError) as raised:
        zymra.fit({"Time": [1.0, 2.0, 3.0], "ODreal": [30, 31, 32]}, ["Yield_Real", "BatchOD", "FedBatchOD"],
                  starts=1, IsBatch=False)
    assert isinstance(raised.value, RuntimeError) and str(raised.value).startswith("the fit failed: ")


def test_ctrl_c_stops_a_long_fit_at_once():
    script = (
        f"import zymra\n"
        f"print('started', flush=True)\n"
        f"zymra.fit({str(EXAMPLE)!r}, ['Yield_Real', 'DryMassPerOD_Real', 'FedBatchOD'], starts=10000,\n"
        f"          threads=2, profile=True, IsBatch=False)\n"
        f"print('finished', flush=True)\n"
    )
    out, err, ended = interrupt(script)
    assert b"KeyboardInterrupt" in err and b"finished" not in out
    assert ended < 1.0, f"the fit went on for {ended:.2f} s after Ctrl+C"
