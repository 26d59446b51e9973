#!/usr/bin/python3
"""Times the Python module against its C++ peers: zymra.simulate of the default fed
batch against bench_simulate (the same run in-process in C++), and zymra.sweep of
10,000 runs on 2 threads against `zymra-cli sweep` of the same sweep.

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_python.py build

Figures are the best of several repetitions (wall time): the machine may be shared.
"""
import json
import os
import resource
import subprocess
import sys
import tempfile
import time

import zymra

build = sys.argv[1] if len(sys.argv) > 1 else "build"
REPEATS = 7


def best(fn, repeats=REPEATS):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return min(times)


def cpu(who):
    u = resource.getrusage(who)
    return u.ru_utime + u.ru_stime


def per_call(fn, calls):
    return best(lambda: [fn() for _ in range(calls)]) / calls


# simulate: the run and the copies of its fourteen series.
python_us = per_call(lambda: zymra.simulate(IsBatch=False, DischargeEachh=0).series, 200) * 1e6
report = subprocess.run([os.path.join(build, "bench", "bench_simulate"), "--benchmark_format=json",
                         f"--benchmark_repetitions={REPEATS}"], capture_output=True, check=True, text=True)
runs = [b for b in json.loads(report.stdout)["benchmarks"] if b.get("run_type") == "iteration"]
cpp_us = min(b["real_time"] for b in runs)
print(f"simulate, default fed batch: zymra.simulate {python_us:8.1f} us, C++ {cpp_us:8.1f} us, "
      f"ratio {python_us / cpp_us:.2f}")

# sweep: the Monte-Carlo sweep of bench_sweep, rows collected (Python) or written (zymra-cli).
vary = {"Yield_Real": ("normal", 0.506, 0.02), "DryMassPerOD_Real": ("normal", 0.52, 0.02),
        "CSubstr_Real": ("uniform", 700, 800)}
cpu_start = cpu(resource.RUSAGE_SELF)
python_s = best(lambda: zymra.sweep(vary, samples=10000, seed=2024, threads=2, IsBatch=False), 5)
python_cpu = (cpu(resource.RUSAGE_SELF) - cpu_start) / 5
with tempfile.TemporaryDirectory() as folder:
    out = os.path.join(folder, "sweep.tsv")
    command = [os.path.join(build, "app", "zymra-cli"), "sweep", "--set", "IsBatch=0", "--samples", "10000",
               "--seed", "2024", "--threads", "2", "--out", out,
               *[f"--vary={name}={':'.join(map(str, how))}" for name, how in vary.items()]]
    cpu_start = cpu(resource.RUSAGE_CHILDREN)
    cli_s = best(lambda: subprocess.run(command, check=True, capture_output=True), 5)
    cli_cpu = (cpu(resource.RUSAGE_CHILDREN) - cpu_start) / 5
print(f"sweep, 10,000 runs on 2 threads: zymra.sweep {python_s:6.3f} s, zymra-cli sweep {cli_s:6.3f} s, "
      f"ratio {python_s / cli_s:.2f} (CPU time {python_cpu:6.3f} s against {cli_cpu:6.3f} s, "
      f"ratio {python_cpu / cli_cpu:.2f})")
