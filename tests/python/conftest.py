# Shared by the Python tests: zymra-cli as a user runs it, and its tables read back.
import os
import signal
import subprocess
import sys
import time

import numpy as np
import pytest

CLI = os.environ.get("ZYMRA_CLI", "zymra-cli")


def cli(*args, check=True):
    """Runs zymra-cli; returns its standard output as text."""
    done = subprocess.run([CLI, *map(str, args)], capture_output=True, timeout=300)
    if check and done.returncode != 0:
        raise AssertionError(f"zymra-cli {' '.join(map(str, args))}: {done.stderr.decode()}")
    return done.stdout.decode("utf-8")


def read_table(path):
    """A tab-separated table with a header line: column name -> list of cell texts,
    cells left empty at the end of shorter columns dropped."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    header = lines[0].split("\t")
    columns = {name: [] for name in header}
    for line in lines[1:]:
        for name, cell in zip(header, line.split("\t")):
            if cell != "":
                columns[name].append(cell)
    return columns


def floats(cells):
    return np.array([float(c) for c in cells], dtype=np.float64)


@pytest.fixture
def out_dir(tmp_path):
    return tmp_path


def interrupt(script, after=1.0):
    """Runs `script` in a fresh interpreter, sends it SIGINT `after` seconds after it
    printed "started"; returns (stdout, stderr, seconds from the signal to its end)."""
    proc = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            env=os.environ.copy())
    assert proc.stdout.readline() == b"started\n"
    time.sleep(after)
    assert proc.poll() is None, "the call ended before the interrupt"
    sent = time.monotonic()
    proc.send_signal(signal.SIGINT)
    try:
        out, err = proc.communicate(timeout=5)
    except subprocess.TimeoutExpired:
        proc.kill()
        raise
    return out, err, time.monotonic() - sent
