# zymra.sweep against `zymra-cli sweep --out`, and Ctrl+C in the middle of a sweep.
import numpy as np

import zymra
from conftest import cli, interrupt, read_table


def test_sweep_equals_the_command_lines_rows(out_dir):
    out = out_dir / "sweep.tsv"
    summary = cli("sweep", "--set", "IsBatch=0", "--set", "uCritical=0.122", "--vary", "Uset=0.08:0.12:3",
                  "--vary", "CSubstr_Real=normal:750:60", "--samples", 7, "--seed", 99, "--threads", 2,
                  "--out", out)
    columns, info = zymra.sweep({"Uset": (0.08, 0.12, 3), "CSubstr_Real": ("normal", 750, 60)}, samples=7,
                                seed=99, threads=2, IsBatch=False, uCritical=0.122)
    table = read_table(out)
    assert list(columns) == list(table)
    assert len(columns["Index"]) == 21
    for name, cells in table.items():
        values = columns[name]
        if name == "State":
            assert values.tolist() == cells
        elif values.dtype == np.bool_:
            assert values.tolist() == [c == "1" for c in cells], name
        elif values.dtype == np.int64:
            assert values.tolist() == [int(c) for c in cells], name
        else:
            assert values.tobytes() == np.array([float(c) for c in cells]).tobytes(), name
    assert {"TargetReached", "CriticalStop"} <= set(columns["State"])
    assert f"Runs:                        {info['runs']}\n" in summary
    assert f"Reached the target OD:       {info['reached_target']} " in summary
    assert f"Exceeded the critical rate:  {info['critical_exceeded']} " in summary
    assert info["seed"] == 99 and info["threads"] == 2
    median = info["quantiles"]["ODreal"]["median"]
    assert f"ODreal        {median:16.8g}" in summary


def test_bands_span_the_runs():
    columns, info = zymra.sweep({"Yield_Real": ("uniform", 0.45, 0.55)}, samples=50, seed=1, IsBatch=False,
                                bands=(0, 3))
    od, volume = info["bands"][0], info["bands"][3]
    assert len(od["Time"]) == len(od["Median"]) == len(od["Low"]) == len(od["High"]) > 10
    assert np.all(od["Low"] <= od["Median"]) and np.all(od["Median"] <= od["High"])
    assert od["Median"][0] == 24 and len(volume["ReferenceMedian"]) == 0
    assert columns["Yield_Real"].min() >= 0.45 and columns["Yield_Real"].max() <= 0.55


def test_ctrl_c_stops_a_long_sweep_at_once():
    # Runs of 200,000 steps each: the interrupt lands while runs are going on.
    script = (
        "import zymra, sys\n"
        "print('started', flush=True)\n"
        "zymra.sweep({'Uset': ('uniform', 0.01, 0.011)}, samples=1000, threads=2, IsBatch=False,\n"
        "            SimInterval=0.001, TargetOD=1e9, uCritical=0.5, DischargeEachh=0, max_steps=200000)\n"
        "print('finished', flush=True)\n"
    )
    out, err, ended = interrupt(script)
    assert b"KeyboardInterrupt" in err and b"finished" not in out
    assert ended < 1.0, f"the sweep went on for {ended:.2f} s after Ctrl+C"
