"""Zymra from Python: the fed-batch engine of the desktop program.

    import zymra
    run = zymra.simulate(IsBatch=False, DischargeEachh=0)
    run.series["ODreal"][-1], run.state

simulate() makes one run, sweep() many with varied values on all cores, fit() estimates
real constants from measured data, Project reads and writes project files (*.zym). Inputs go by the field names of `zymra-cli simulate
--set`; defaults() lists them.
"""
from ._zymra import FileError, FitError, FitResult, Project, Run, __version__, defaults, fit, simulate, sweep

__all__ = ["FileError", "FitError", "FitResult", "Project", "Run", "defaults", "fit", "simulate", "sweep"]

# help() and repr() name the package, not its compiled core.
for _name in __all__:
    try:
        globals()[_name].__module__ = __name__
    except (AttributeError, TypeError):
        pass
del _name
