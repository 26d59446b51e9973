// zymra.sweep: the engine's sweep with its rows collected as columns.
#include <atomic>
#include <climits>

#include "PyCommon.h"
#include "ZymraSweep.h"

namespace zympy {
namespace {
constexpr long long kMaxSeed = 9007199254740991LL;  // 2**53 - 1: every seed a float can hold too

TSweepVary ToVary(py::handle key, py::handle how) {
  if (!PyUnicode_Check(key.ptr())) throw py::type_error("vary: names must be str");
  TSweepVary v;
  v.Name = py::str(key);
  const std::string what = "vary['" + v.Name + "']";
  const TRunField* field = FindRunField(v.Name.c_str());
  if (!field) throw py::value_error("vary: unknown setting '" + v.Name + "'");
  if (!field->Settable || field->Type != TRunField::Double)
    throw py::value_error(what + ": '" + v.Name + "' cannot be varied (only numeric inputs can)");
  v.Offset = field->Offset;
  v.InBatchRecord = field->InBatchRecord;
  const char* shapes = " must be (first, last, count), (\"normal\", mean, sd) or (\"uniform\", low, high)";
  if (!PyTuple_Check(how.ptr()) && !PyList_Check(how.ptr()))
    throw py::type_error(what + shapes + ", not " + Py_TYPE(how.ptr())->tp_name);
  py::sequence s = py::reinterpret_borrow<py::sequence>(how);
  if (s.size() != 3) throw py::value_error(what + shapes);
  if (PyUnicode_Check(py::object(s[0]).ptr())) {
    const std::string kind = py::str(s[0]);
    if (kind == "normal") {
      v.What = TSweepVary::Normal;
      v.A = ToNumber(s[1], what + " mean");
      v.B = ToNumber(s[2], what + " sd");
      if (v.B < 0) throw py::value_error(what + ": the standard deviation must not be negative");
    } else if (kind == "uniform") {
      v.What = TSweepVary::Uniform;
      v.A = ToNumber(s[1], what + " low");
      v.B = ToNumber(s[2], what + " high");
      if (v.B < v.A) throw py::value_error(what + ": the upper bound is below the lower");
    } else {
      throw py::value_error(what + ": unknown distribution '" + kind + "' (use \"normal\" or \"uniform\")");
    }
    return v;
  }
  v.What = TSweepVary::Grid;
  v.A = ToNumber(s[0], what + " first");
  v.B = ToNumber(s[1], what + " last");
  v.N = ToInteger(s[2], what + " count", 1, kSweepMaxRuns);
  if (v.B < v.A) throw py::value_error(what + ": the last value is below the first");
  return v;
}

// The rows of a sweep, column by column, in index order.
struct TColumns {
  std::vector<long long> Index, Seed, Steps;
  std::vector<std::vector<double>> Values;
  std::vector<std::uint8_t> End, Critical, Overflowed;
  std::vector<double> Numbers[5];

  void Add(const TSweepOutcome& o) {
    Index.push_back(o.Index);
    Seed.push_back(o.Seed);
    for (std::size_t k = 0; k < Values.size(); ++k) Values[k].push_back(o.Values[k]);
    End.push_back(static_cast<std::uint8_t>(o.End));
    const double numbers[] = {o.ProcessTime, o.ODreal, o.ODideal, o.Volume, o.FedTotal};
    for (int c = 0; c < 5; ++c) Numbers[c].push_back(numbers[c]);
    Critical.push_back(o.CriticalExceeded);
    Overflowed.push_back(o.Overflowed);
    Steps.push_back(o.Steps);
  }
};

template <class T, class V>
py::array_t<T> ToArray(const std::vector<V>& values) {
  py::array_t<T> out(static_cast<py::ssize_t>(values.size()));
  T* data = out.mutable_data();
  for (std::size_t i = 0; i < values.size(); ++i) data[i] = static_cast<T>(values[i]);
  return out;
}

py::array_t<bool> ToBoolArray(const std::vector<std::uint8_t>& values) {
  py::array_t<bool> out(static_cast<py::ssize_t>(values.size()));
  bool* data = out.mutable_data();
  for (std::size_t i = 0; i < values.size(); ++i) data[i] = values[i] != 0;
  return out;
}

py::dict Quantiles(const TSweepSummary& s) {
  const char* names[] = {"ProcessTime", "ODreal", "ODideal", "Volume", "FedTotal", "Steps"};
  py::dict out;
  for (int c = 0; c < 6; ++c) {
    py::dict q;
    q["median"] = s.Quantile(c, 0.5);
    q["p05"] = s.Quantile(c, 0.05);
    q["p95"] = s.Quantile(c, 0.95);
    out[names[c]] = q;
  }
  return out;
}

py::dict Bands(const std::vector<TSweepBandCurve>& curves) {
  py::dict out;
  for (const TSweepBandCurve& c : curves) {
    py::dict band;
    band["Time"] = ToArray<double>(c.Time);
    band["Median"] = ToArray<double>(c.Median);
    band["Low"] = ToArray<double>(c.Low);
    band["High"] = ToArray<double>(c.High);
    band["ReferenceMedian"] = ToArray<double>(c.ReferenceMedian);
    out[py::int_(c.Kind)] = band;
  }
  return out;
}

py::tuple Sweep(py::handle vary, py::handle samples, py::handle seed, py::handle threads, py::handle maxSteps,
                py::handle bands, const py::kwargs& values) {
  TSweepSpec plan;
  {
    TZymra_Run base;
    SetValues(base, values, "sweep");
    plan.Params = base.Params;
    plan.Batch = base.BatchParams;
  }
  if (!PyDict_Check(vary.ptr()))
    throw py::type_error(std::string("vary must be a dict of name to (first, last, count), (\"normal\", mean, sd) "
                                     "or (\"uniform\", low, high), not ") +
                         Py_TYPE(vary.ptr())->tp_name);
  std::vector<std::string> names;
  for (auto [key, how] : py::reinterpret_borrow<py::dict>(vary)) {
    plan.Varies.push_back(ToVary(key, how));
    names.push_back(plan.Varies.back().Name);
  }
  plan.Samples = samples.is_none() ? 0 : ToInteger(samples, "samples", 1, kSweepMaxRuns);
  plan.Seed = seed.is_none() ? RandomSweepSeed() : static_cast<std::uint64_t>(ToInteger(seed, "seed", 0, kMaxSeed));
  plan.MaxSteps = ToInteger(maxSteps, "max_steps", 0, LLONG_MAX);
  TSweepOptions options;
  options.Threads = threads.is_none() ? 0 : static_cast<int>(ToInteger(threads, "threads", 1, 1024));
  if (!PyUnicode_Check(bands.ptr()) && py::isinstance<py::iterable>(bands)) {
    for (py::handle kind : bands) options.BandKinds.push_back(static_cast<int>(ToInteger(kind, "bands", 0, 4)));
  } else {
    throw py::type_error("bands must be a sequence of chart kinds 0 to 4");
  }
  const long long count = plan.RunCount();
  if (count < 0) throw py::value_error("the sweep has more than " + std::to_string(kSweepMaxRuns) + " runs");

  TColumns columns;
  columns.Values.resize(plan.Varies.size());
  std::atomic<bool> cancel{false};
  bool outOfMemory = false;
  options.Cancel = &cancel;
  options.OnOutcome = [&](const TSweepOutcome& o) {
    if (outOfMemory) return;
    try {
      columns.Add(o);
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
      cancel = true;
    }
  };

  // Ctrl+C cancels the sweep, which stops within a step of each worker.
  TSweepResult result;
  std::string error;
  bool ok = false;
  RunCancellable(cancel, [&] { ok = RunSweep(plan, options, result, error); });
  if (outOfMemory) throw std::bad_alloc();
  if (!ok) throw py::value_error("sweep(): " + error);

  py::dict out;
  out["Index"] = ToArray<std::int64_t>(columns.Index);
  out["Seed"] = ToArray<std::int64_t>(columns.Seed);
  for (std::size_t k = 0; k < names.size(); ++k) out[py::str(names[k])] = ToArray<double>(columns.Values[k]);
  py::list states;
  for (std::uint8_t e : columns.End) states.append(SweepEndText(static_cast<TSweepEnd>(e)));
  out["State"] = py::module_::import("numpy").attr("array")(states, py::str("U13"));
  const char* numbers[] = {"ProcessTime", "ODreal", "ODideal", "Volume", "FedTotal"};
  for (int c = 0; c < 5; ++c) out[numbers[c]] = ToArray<double>(columns.Numbers[c]);
  out["CriticalExceeded"] = ToBoolArray(columns.Critical);
  out["Overflowed"] = ToBoolArray(columns.Overflowed);
  out["Steps"] = ToArray<std::int64_t>(columns.Steps);

  const TSweepSummary& s = result.Summary;
  py::dict summary;
  summary["runs"] = s.Runs();
  summary["seed"] = plan.Seed;
  summary["threads"] = result.Threads;
  summary["redraws"] = result.Redraws;
  summary["reached_target"] = s.ReachedTarget();
  summary["overflowed"] = s.Overflowed();
  summary["critical_exceeded"] = s.CriticalExceeded();
  summary["quantiles"] = Quantiles(s);
  summary["bands"] = Bands(result.Curves);
  return py::make_tuple(out, summary);
}

const char* const kSweepDoc = R"(sweep(vary, samples=None, seed=None, threads=None, max_steps=1_000_000, bands=(), **values) -> (dict, dict)

Simulate many copies of one run with varied values on all cores, as `zymra-cli sweep`.

vary      dict of input name to a grid (first, last, count) or a distribution drawn
          per run, ("normal", mean, sd) or ("uniform", low, high); grids multiply, the
          first name changing slowest.
samples   runs per grid point; None: 100 when a value is drawn, else 1.
seed      seed of the sweep (0 .. 2**53-1); None draws one (summary["seed"] says which).
          Each run depends only on the seed and its index, not on the threads.
threads   worker threads; None: one per core.
max_steps each run is finished after this many steps.
bands     chart kinds (0 OD real, 1 growth rate, 2 OTR, 3 volume, 4 substrate) whose
          band over time (median, 5 % and 95 % of the runs) goes into summary["bands"].
values    the inputs common to every run, as zymra.simulate takes them.

Returns (columns, summary). columns is a dict of the columns of `zymra-cli sweep --out`
(Index, Seed, the varied names, State, ProcessTime, ODreal, ODideal, Volume, FedTotal,
CriticalExceeded, Overflowed, Steps) to numpy arrays (int64, float64, str, bool), one
row per run in index order, equal to the command line's rows. summary holds the run
counts, the seed, the quantiles of the outcomes and the bands.

The GIL is released while the runs go on; Ctrl+C (KeyboardInterrupt) stops the sweep
within a step of each worker.)";
}  // namespace

void BindSweep(py::module_& m) {
  m.def("sweep", &Sweep, py::arg("vary"), py::arg("samples") = py::none(), py::arg("seed") = py::none(),
        py::arg("threads") = py::none(), py::arg("max_steps") = 1000000, py::arg("bands") = py::tuple(), kSweepDoc);
}
}  // namespace zympy
