# zymra.simulate against `zymra-cli simulate` of the same call: series, log and state.
import numpy as np
import pytest

import zymra
from conftest import cli, floats, read_table

# (Python keywords, the same as zymra-cli arguments, how the run ends)
CASES = {
    "batch": (dict(seed=7), ["--seed", 7], "Finish-\tWell Done - terminated cause target OD has been reached"),
    "fed batch with actions": (
        dict(IsBatch=False, at=[(2.0, "refill", 0.1), (4, "discharge", 0.05), (6.0, "correct-feed")]),
        ["--set", "IsBatch=0", "--at", "2:refill=0.1", "--at", "4:discharge=0.05", "--at", "6:correct-feed"],
        "Refill 0.1\t l",
    ),
    "critical stop": (
        dict(IsBatch=False, CSubstr=500, uCritical=0.12),
        ["--set", "IsBatch=0", "--set", "CSubstr=500", "--set", "uCritical=0.12"],
        "Finish-\tProcess Error - terminated cause of exceeding critical growth rate",
    ),
}


@pytest.mark.parametrize("case", CASES)
def test_simulate_equals_the_command_line_bit_for_bit(case, out_dir):
    keywords, arguments, entry = CASES[case]
    series_file, log_file = out_dir / "series.tsv", out_dir / "log.txt"
    summary = cli("simulate", *arguments, "--series", series_file, "--log", log_file)
    run = zymra.simulate(**keywords)

    table = read_table(series_file)
    assert list(run.series) == list(table)
    for name, values in run.series.items():
        assert values.dtype == np.float64
        assert values.tobytes() == floats(table[name]).tobytes(), name
    with open(log_file, encoding="cp1252", newline="") as f:
        assert run.log == f.read()
    assert entry in run.log
    assert f"Steps:        {run.steps}\n" in summary
    assert run.state == "Finished" and f"State:        {run.state}\n" in summary
    assert f"({run.phase})\n" in summary
    assert run.values["IsBatch"] == keywords.get("IsBatch", True)


def test_a_run_replays_from_its_seed_and_reports_its_values():
    first = zymra.simulate(Uset=0.12, Title="µ-Lauf")
    again = zymra.simulate(seed=first.seed, Uset=0.12, Title="µ-Lauf")
    assert first.seed == again.seed and 0 <= first.seed < 2**32
    assert all(np.array_equal(first.series[n], again.series[n]) for n in first.series)
    assert first.values["Uset"] == 0.12 and first.values["Title"] == "µ-Lauf"
    assert first.caption == "Run1 µ-Lauf"
    assert set(first.values) == set(zymra.defaults())
    assert zymra.defaults()["Speed"] == 8 and zymra.defaults()["IsBatch"] is True


def test_failed_checks_raise_the_start_pages_warning():
    with pytest.raises(ValueError) as failed:
        zymra.simulate(SimInterval=5, Uset=2)
    assert str(failed.value) == (
        "Values Couldn´t Be Applied To Run!\n==================================\n"
        "- SimInterval is out of bounds\n- µset is out of bounds\n- µcritical is too high"
    )


def test_max_steps_finishes_the_run_as_the_users_stop():
    run = zymra.simulate(IsBatch=False, max_steps=5)
    assert run.steps == 5 and run.state == "Finished"
    assert run.log.startswith("1:15:00 [h:mm:ss]\tFinish-\tNot Completed - Terminated By User\r\n")


def test_to_frame_has_one_column_per_series():
    pandas = pytest.importorskip("pandas")
    run = zymra.simulate(IsBatch=False)
    frame = run.to_frame()
    assert isinstance(frame, pandas.DataFrame)
    assert list(frame.columns) == list(run.series) and len(frame) == run.steps + 1
    assert np.array_equal(frame["ODreal"].to_numpy(), run.series["ODreal"])
