# Project files from Python through zymra-cli and back; arrays that outlive their runs.
import gc

import numpy as np
import pytest

import zymra
from conftest import cli, floats, read_table


def test_a_project_saved_from_python_reads_in_the_command_line_and_back(out_dir):
    project = zymra.Project()
    assert (project.title, project.culture, project.comment, project.runs) == ("unknown", "", "", [])
    project.title, project.culture, project.comment = "Versuch µ 7", "E. coli K12", "two runs\r\nsecond line"
    fed = project.add_run(IsBatch=False, Title="fed", comment="first run")
    batch = project.add_run(seed=11, Uset=0.12, at=[(20.0, "correct-feed")])
    path = out_dir / "from python.zym"
    project.save(path)

    info = cli("info", path)
    assert "Title:         Versuch µ 7\n" in info and "Culture/Stock: E. coli K12\n" in info
    assert "Comment:       two runs\nsecond line\n" in info and "Runs:          2\n" in info
    assert f"  Run1 fed\n    state Finished, phase Fed Batch (0), {fed.steps + 1} rows," in info
    assert f"  Run2 default\n    state Finished, phase Fed Batch (5), {batch.steps + 1} rows," in info
    assert "\xb5set 0.12 1/h" in info

    # Re-saved by the command-line tool (nothing to simulate: both runs are finished).
    again = out_dir / "again.zym"
    cli("run", path, "--save", again)
    loaded = zymra.Project.open(str(again))
    assert (loaded.title, loaded.culture, loaded.comment) == (project.title, project.culture, project.comment)
    assert [r.caption for r in loaded.runs] == ["Run1 fed", "Run2 default"]
    for mine, theirs in zip([fed, batch], loaded.runs):
        assert (theirs.state, theirs.phase, theirs.steps, theirs.log) == (mine.state, mine.phase, mine.steps, mine.log)
        assert theirs.values == mine.values and theirs.seed is None
        for name in mine.series:
            expected = mine.series[name] if name != "Substrate" else np.empty(0)  # Substrate is not stored
            assert theirs.series[name].tobytes() == expected.tobytes(), name
    assert loaded.runs[0].comment == "first run"


def test_a_run_simulated_by_the_command_line_opens_in_python(out_dir):
    path, series = out_dir / "cli.zym", out_dir / "series.tsv"
    cli("simulate", "--set", "IsBatch=0", "--set", "Title=cli", "--save", path, "--series", series)
    run = zymra.Project.open(path).runs[0]
    assert run.caption == "Run1 cli" and run.state == "Finished"
    assert run.series["ODreal"].tobytes() == floats(read_table(series)["ODreal"]).tobytes()


def test_files_that_cannot_be_read_or_written_raise_file_error(out_dir):
    garbage = out_dir / "garbage.zym"
    garbage.write_bytes(b"not a project" * 50)
    for path in [out_dir / "missing.zym", garbage, out_dir]:
        with pytest.raises(zymra.FileError, match="cannot read") as failed:
            zymra.Project.open(path)
        assert isinstance(failed.value, OSError) and str(path) in str(failed.value)
    with pytest.raises(zymra.FileError, match="cannot save"):
        zymra.Project().save(out_dir / "no such folder" / "x.zym")
    target = out_dir / "kept.zym"
    target.write_bytes(b"old")
    with pytest.raises(zymra.FileError):
        zymra.Project().save(out_dir / "kept.zym" / "inside")
    assert target.read_bytes() == b"old"


def test_arrays_stay_valid_after_their_run_and_project_are_gone():
    project = zymra.Project()
    project.add_run(IsBatch=False)
    series = project.runs[0].series
    od = series["ODreal"].copy()
    del project, series["Time"]
    gc.collect()
    for _ in range(3):
        zymra.simulate(IsBatch=False, Uset=0.05)
    assert np.array_equal(series["ODreal"], od)
    series["ODreal"][:] = 0  # copies: changing them touches no run
