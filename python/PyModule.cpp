// The compiled core of the Python package `zymra`; the package's __init__.py
// re-exports what is bound here. Each part binds itself from its own file.
#include "PyCommon.h"

PYBIND11_MODULE(_zymra, m) {
  // Every docstring begins with its own signature line in Python's terms.
  pybind11::options options;
  options.disable_function_signatures();
  m.doc() = "Zymra's fed-batch engine: runs, sweeps, fits and project files, with NumPy arrays.";
  zympy::BindRuns(m);
  zympy::BindSweep(m);
  zympy::BindFit(m);
  m.attr("__version__") = ZYMRA_VERSION;
}
