// zymra.fit and zymra.FitResult: the engine's fit, with measured data from files or arrays.
#include <algorithm>
#include <climits>
#include <cmath>

#include "PyCommon.h"
#include "ZymraFit.h"
#include "ZymraNumeric.h"

namespace zympy {
namespace {
// A fit that ran but could not give estimates; raised in Python as zymra.FitError.
struct TFitError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

bool IsPath(py::handle value) {
  return PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr()) || py::hasattr(value, "__fspath__");
}

// A column of the dict as float64 values; `what` is e.g. "data['ODreal']".
std::vector<double> ColumnValues(py::handle value, const std::string& what) {
  if (PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr()) || value.is_none())
    throw py::type_error(what + " must be a sequence of numbers, not " + TypeName(value));
  py::array_t<double> a;
  try {
    a = py::module_::import("numpy").attr("asarray")(value, py::str("float64"));
  } catch (py::error_already_set&) {
    throw py::type_error(what + " must be a sequence of numbers, not " + TypeName(value));
  }
  if (a.ndim() != 1) throw py::value_error(what + " must be one-dimensional, not of " + std::to_string(a.ndim()) +
                                           " dimensions");
  std::vector<double> out(static_cast<std::size_t>(a.shape(0)));
  auto view = a.unchecked<1>();
  for (py::ssize_t i = 0; i < a.shape(0); ++i) out[static_cast<std::size_t>(i)] = view(i);
  return out;
}

TMeasuredData DataFromDict(const py::dict& dict, const std::string& what) {
  const char* expected = " (expected Time, ODreal, Volume, Substrate, OTRVt or Replicate)";
  std::vector<double> time, replicate;
  bool hasTime = false, hasReplicate = false;
  std::array<std::vector<double>, kMeasuredColumnCount> columns;
  std::array<bool, kMeasuredColumnCount> given{};
  std::size_t rows = 0;
  bool first = true;
  for (auto [key, value] : dict) {
    if (!PyUnicode_Check(key.ptr())) throw py::type_error(what + ": column names must be str, not " + TypeName(key));
    const std::string name = py::str(key);
    const std::string column = what + "['" + name + "']";
    std::vector<double>* target = nullptr;
    if (name == "Time") {
      target = &time;
      hasTime = true;
    } else if (name == "Replicate") {
      target = &replicate;
      hasReplicate = true;
    } else {
      if (const int k = MeasuredColumnOf(name); k >= 0) {
        target = &columns[static_cast<std::size_t>(k)];
        given[static_cast<std::size_t>(k)] = true;
      }
    }
    if (!target) throw py::value_error(what + ": unknown column '" + name + "'" + expected);
    *target = ColumnValues(value, column);
    if (first) rows = target->size();
    first = false;
    if (target->size() != rows)
      throw py::value_error(column + " has " + std::to_string(target->size()) + " values, the columns before it " +
                            std::to_string(rows));
  }
  if (!hasTime) throw py::value_error(what + " has no 'Time' column");

  TMeasuredData data;
  data.Source = what;
  struct TLast {
    int Replicate;
    double Time;
    std::size_t Row;
  };
  std::vector<TLast> last;
  for (std::size_t i = 0; i < rows; ++i) {
    const std::string at = "[" + std::to_string(i) + "]";
    TMeasuredPoint p;
    p.Time = time[i];
    if (std::isnan(p.Time)) throw py::value_error(what + "['Time']" + at + ": the time is missing");
    if (!std::isfinite(p.Time)) throw py::value_error(what + "['Time']" + at + " must be finite");
    if (hasReplicate) {
      const double r = replicate[i];
      if (!(r == std::floor(r) && r >= INT32_MIN && r <= INT32_MAX))
        throw py::value_error(what + "['Replicate']" + at + ": " + G17(r) + " is not a whole number");
      p.Replicate = static_cast<int>(r);
    }
    for (int k = 0; k < kMeasuredColumnCount; ++k) {
      if (!given[static_cast<std::size_t>(k)]) continue;
      const double v = columns[static_cast<std::size_t>(k)][i];
      if (std::isinf(v))
        throw py::value_error(what + "['" + MeasuredColumnName(static_cast<TMeasuredColumn>(k)) + "']" + at +
                              " must be finite or NaN (not measured)");
      p.Value[static_cast<std::size_t>(k)] = v;
    }
    auto seen = std::find_if(last.begin(), last.end(), [&](const TLast& l) { return l.Replicate == p.Replicate; });
    if (seen != last.end()) {
      if (p.Time < seen->Time)
        throw py::value_error(what + "['Time']" + at + ": time " + G17(p.Time) + " goes back from " +
                              G17(seen->Time) + " at [" + std::to_string(seen->Row) + "] (replicate " +
                              std::to_string(p.Replicate) + ")");
      seen->Time = p.Time;
      seen->Row = i;
    } else {
      last.push_back({p.Replicate, p.Time, i});
    }
    data.Points.push_back(p);
  }
  if (data.ValueCount() == 0) throw py::value_error(what + " has no measured values");
  return data;
}

std::vector<TMeasuredData> ToDataSets(py::handle data) {
  const char* shapes = "data must be a path, a list of paths or a dict of column name to array, not ";
  std::vector<TMeasuredData> sets;
  if (PyDict_Check(data.ptr()) || IsPath(data)) {
    sets.push_back(ToMeasuredData(data, "data"));
  } else if (PyList_Check(data.ptr()) || PyTuple_Check(data.ptr())) {
    std::size_t i = 0;
    for (py::handle item : data) {
      const std::string what = "data[" + std::to_string(i++) + "]";
      if (!PyDict_Check(item.ptr()) && !IsPath(item))
        throw py::type_error(what + " must be a path or a dict of column name to array, not " + TypeName(item));
      sets.push_back(ToMeasuredData(item, what));
    }
    if (sets.empty()) throw py::value_error("data is an empty list");
  } else {
    throw py::type_error(shapes + TypeName(data));
  }
  return sets;
}

std::vector<TFitParameter> ToEstimate(py::handle estimate) {
  std::vector<TFitParameter> out;
  auto named = [&](py::handle key) {
    if (!PyUnicode_Check(key.ptr())) throw py::type_error("estimate: names must be str, not " + TypeName(key));
    TFitParameter p;
    p.Name = py::str(key);
    if (FitConstantIndex(p.Name) < 0) {
      std::string names;
      for (const char* n : kFitConstantNames) names += std::string(names.empty() ? "" : ", ") + n;
      throw py::value_error("estimate: '" + p.Name + "' cannot be estimated (use " + names + ")");
    }
    return p;
  };
  if (PyDict_Check(estimate.ptr())) {
    for (auto [key, bounds] : py::reinterpret_borrow<py::dict>(estimate)) {
      TFitParameter p = named(key);
      const std::string what = "estimate['" + p.Name + "']";
      if (!bounds.is_none()) {
        if (!PyTuple_Check(bounds.ptr()) && !PyList_Check(bounds.ptr()))
          throw py::type_error(what + " must be (low, high) or None, not " + TypeName(bounds));
        py::sequence s = py::reinterpret_borrow<py::sequence>(bounds);
        if (s.size() != 2) throw py::value_error(what + " must be (low, high) or None");
        p.Low = ToNumber(s[0], what + " low");
        p.High = ToNumber(s[1], what + " high");
      }
      out.push_back(p);
    }
  } else if (PyList_Check(estimate.ptr()) || PyTuple_Check(estimate.ptr())) {
    for (py::handle key : estimate) out.push_back(named(key));
  } else {
    throw py::type_error("estimate must be a dict of name to (low, high) or a list of names, not " +
                         TypeName(estimate));
  }
  if (out.empty()) throw py::value_error("estimate names no constant");
  return out;
}

// The result as Python reads it; every array is made anew on each access.
struct TPyFit {
  TFitResult R;
  bool Profile = false;
};

py::list StrList(const std::vector<std::string>& texts) {
  py::list out;
  for (const std::string& t : texts) out.append(py::str(t));
  return out;
}

template <class F>
py::dict PerName(const TPyFit& f, F value) {
  py::dict out;
  for (std::size_t j = 0; j < f.R.Names.size(); ++j) out[py::str(f.R.Names[j])] = value(j);
  return out;
}

py::dict Residuals(const TPyFit& f) {
  const auto& rs = f.R.Residuals;
  const auto n = static_cast<py::ssize_t>(rs.size());
  py::array_t<std::int64_t> dataSet(n), replicate(n);
  py::array_t<double> time(n), measured(n), simulated(n), residual(n), weighted(n), sigma(n);
  py::array_t<bool> beyond(n);
  py::list columns;
  for (py::ssize_t i = 0; i < n; ++i) {
    const TFitResidual& r = rs[static_cast<std::size_t>(i)];
    dataSet.mutable_at(i) = r.DataSet;
    replicate.mutable_at(i) = r.Replicate;
    time.mutable_at(i) = r.Time;
    measured.mutable_at(i) = r.Measured;
    simulated.mutable_at(i) = r.Simulated;
    residual.mutable_at(i) = r.Residual;
    weighted.mutable_at(i) = r.Weighted;
    sigma.mutable_at(i) = r.Sigma;
    beyond.mutable_at(i) = r.BeyondRun;
    columns.append(MeasuredColumnName(r.Column));
  }
  py::dict out;
  out["DataSet"] = dataSet;
  out["Replicate"] = replicate;
  out["Time"] = time;
  out["Column"] = py::module_::import("numpy").attr("array")(columns, py::str("U9"));
  out["Measured"] = measured;
  out["Simulated"] = simulated;
  out["Residual"] = residual;
  out["Weighted"] = weighted;
  out["Sigma"] = sigma;
  out["BeyondRun"] = beyond;
  return out;
}

py::array_t<double> Correlation(const TPyFit& f) {
  const auto p = static_cast<py::ssize_t>(f.R.Names.size());
  py::array_t<double> out({p, p});
  for (py::ssize_t a = 0; a < p; ++a)
    for (py::ssize_t b = 0; b < p; ++b)
      out.mutable_at(a, b) = f.R.Correlation[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)];
  return out;
}

py::dict ErrorLevels(const TPyFit& f, bool estimated) {
  py::dict out;
  for (int k = 0; k < kMeasuredColumnCount; ++k) {
    if (std::isnan(f.R.ErrorLevel[static_cast<std::size_t>(k)])) continue;
    const char* name = MeasuredColumnName(static_cast<TMeasuredColumn>(k));
    if (estimated)
      out[name] = py::bool_(f.R.ErrorEstimated[static_cast<std::size_t>(k)]);
    else
      out[name] = f.R.ErrorLevel[static_cast<std::size_t>(k)];
  }
  return out;
}

std::string FitRepr(const TPyFit& f) {
  std::string text = "<zymra.FitResult";
  char buf[80];
  for (std::size_t j = 0; j < f.R.Names.size(); ++j) {
    std::snprintf(buf, sizeof buf, "%s %s=%.6g", j ? "," : "", f.R.Names[j].c_str(), f.R.Estimate[j]);
    text += buf;
  }
  std::snprintf(buf, sizeof buf, "; SSE %.6g, %lld points>", f.R.SSE, f.R.Points);
  return text + buf;
}

TPyFit Fit(py::handle data, py::handle estimate, py::handle seed, py::handle threads, py::handle starts,
           py::handle profile, py::handle errors, const py::kwargs& values) {
  TZymra_Run base;
  SetValues(base, values, "fit");
  CheckValues(base);
  TFitProblem problem = FitProblemFromRun(base);
  problem.Estimate = ToEstimate(estimate);
  if (!errors.is_none()) {
    if (!PyDict_Check(errors.ptr()))
      throw py::type_error("errors must be a dict of column name to error level, not " + TypeName(errors));
    for (auto [key, level] : py::reinterpret_borrow<py::dict>(errors)) {
      const std::string name = PyUnicode_Check(key.ptr()) ? std::string(py::str(key)) : std::string();
      const int column = MeasuredColumnOf(name);
      if (column < 0)
        throw py::value_error("errors: unknown column " + std::string(py::repr(key)) +
                              " (use ODreal (a CV), Volume, Substrate or OTRVt)");
      const double v = ToNumber(level, "errors['" + name + "']");
      if (!(v > 0)) throw py::value_error("errors['" + name + "'] must be above 0, not " + G17(v));
      problem.ErrorLevel[static_cast<std::size_t>(column)] = v;
    }
  }
  TFitOptions options;
  options.Seed = seed.is_none() ? 0 : static_cast<std::uint64_t>(ToInteger(seed, "seed", 0, 4294967295LL));
  options.Threads = threads.is_none() ? 0 : static_cast<int>(ToInteger(threads, "threads", 1, 1024));
  options.Starts = static_cast<int>(ToInteger(starts, "starts", 1, 10000));
  options.Profile = ToFlag(profile, "profile");
  // Last of the arguments: a file is read only when everything else is in order.
  problem.Data = ToDataSets(data);
  std::string error;
  if (!CheckFitProblem(problem, error)) throw py::value_error("fit(): " + error);

  std::atomic<bool> cancel{false};
  options.Cancel = &cancel;
  TPyFit out;
  out.Profile = options.Profile;
  bool ok = false;
  RunCancellable(cancel, [&] { ok = RunFit(problem, options, out.R, error); });
  if (!ok) throw TFitError("the fit failed: " + error);
  return out;
}

const char* const kFitDoc = R"(fit(data, estimate, seed=None, threads=None, starts=8, profile=False, errors=None, **values) -> FitResult

Estimate real constants of a run from measured data, as `zymra-cli fit` does.

data      measured data: a path to a tab- or comma-separated file (as `--data` reads
          it), a dict of column name to array, or a list of these (each one's
          replicates kept apart). A dict holds Time (h, required) and any of ODreal,
          Volume, Substrate, OTRVt, optionally Replicate (whole numbers); NaN is a value
          not measured; within a replicate the times must not go back.
estimate  the constants to estimate (Yield_Real, Maintenance_Real, DryMassPerOD_Real,
          CSubstr_Real, Batchumax, BatchOD, FedBatchOD): a dict of name to (low, high)
          (None: the default bounds, half and twice the run's value) or a list of names.
seed      seed of the starts and of a batch's lag (0 .. 2**32-1); None is 0, the
          command line's default, so equal arguments give equal results.
threads   worker threads; None: one per core. The result does not depend on it.
starts    local searches from different starts (`--starts`).
profile   also compute the 95 % profile-likelihood intervals (`--profile`).
errors    dict of column to error level (`--error`): ODreal a coefficient of
          variation, the others absolute; a column not given is estimated.
values    the run's inputs, as zymra.simulate takes them.

Returns a FitResult: names, estimates, std_errors, ci95 (and profile_ci95), the
correlation matrix, warnings, residuals per measured value, sse, points, evaluations.
Bad arguments raise TypeError/ValueError naming the argument; a data file that cannot
be read raises zymra.FileError with its line and column; a fit that fails raises
zymra.FitError (a RuntimeError) with the reason. The GIL is released while it runs;
Ctrl+C (KeyboardInterrupt) cancels it.)";

const char* const kFitResultDoc = R"(The outcome of zymra.fit; read-only. Dicts are keyed by the constants' names in
the order they were asked for; arrays are copies made on each access.)";
}  // namespace

TMeasuredData ToMeasuredData(py::handle data, const std::string& what) {
  if (PyDict_Check(data.ptr())) return DataFromDict(py::reinterpret_borrow<py::dict>(data), what);
  if (!IsPath(data))
    throw py::type_error(what + " must be a path or a dict of column name to array, not " + TypeName(data));
  const std::string path = PathArgument(data, what.c_str());
  TMeasuredData out;
  std::string error;
  bool ok = false;
  {
    py::gil_scoped_release nogil;
    ok = ReadMeasuredData(path, out, error);
  }
  if (!ok) throw TFileError(error);
  return out;
}

py::dict MeasuredDict(const TMeasuredData& data) {
  const auto n = static_cast<py::ssize_t>(data.Points.size());
  py::array_t<double> time(n);
  py::array_t<std::int64_t> replicate(n);
  for (py::ssize_t i = 0; i < n; ++i) {
    time.mutable_at(i) = data.Points[static_cast<std::size_t>(i)].Time;
    replicate.mutable_at(i) = data.Points[static_cast<std::size_t>(i)].Replicate;
  }
  py::dict out;
  out["Time"] = time;
  out["Replicate"] = replicate;
  for (int k = 0; k < kMeasuredColumnCount; ++k) {
    const auto column = static_cast<TMeasuredColumn>(k);
    if (!data.Has(column)) continue;
    py::array_t<double> values(n);
    for (py::ssize_t i = 0; i < n; ++i) values.mutable_at(i) = data.Points[static_cast<std::size_t>(i)].Of(column);
    out[MeasuredColumnName(column)] = values;
  }
  return out;
}

void BindFit(py::module_& m) {
  // The message of the C++ exception becomes the Python one.
  auto& fitError = py::register_exception<TFitError>(m, "FitError", PyExc_RuntimeError);
  fitError.doc() = "A fit that ran but could not give estimates; the message gives the reason.";

  py::class_<TPyFit>(m, "FitResult", kFitResultDoc)
      .def_property_readonly(
          "names", [](const TPyFit& f) { return StrList(f.R.Names); }, "The estimated constants, in the order asked for.")
      .def_property_readonly(
          "estimates", [](const TPyFit& f) { return PerName(f, [&](std::size_t j) { return f.R.Estimate[j]; }); },
          "Dict of name to estimate.")
      .def_property_readonly(
          "std_errors", [](const TPyFit& f) { return PerName(f, [&](std::size_t j) { return f.R.StdError[j]; }); },
          "Dict of name to standard error (from the Jacobian at the optimum).")
      .def_property_readonly(
          "ci95",
          [](const TPyFit& f) {
            return PerName(f, [&](std::size_t j) { return py::make_tuple(f.R.CILow[j], f.R.CIHigh[j]); });
          },
          "Dict of name to the 95 % interval (low, high) from the standard error.")
      .def_property_readonly(
          "profile_ci95",
          [](const TPyFit& f) -> py::object {
            if (!f.Profile) return py::none();
            return PerName(f, [&](std::size_t j) { return py::make_tuple(f.R.ProfileLow[j], f.R.ProfileHigh[j]); });
          },
          "Dict of name to the 95 % profile-likelihood interval (a side flat up to its bound is the bound); None "
          "unless fit(profile=True).")
      .def_property_readonly(
          "bounds",
          [](const TPyFit& f) {
            return PerName(f, [&](std::size_t j) { return py::make_tuple(f.R.Low[j], f.R.High[j]); });
          },
          "Dict of name to the bounds (low, high) searched.")
      .def_property_readonly("correlation", &Correlation,
                             "Correlation matrix of the estimates (numpy 2-D array, rows and columns in the order "
                             "of names).")
      .def_property_readonly(
          "warnings", [](const TPyFit& f) { return StrList(f.R.Warnings); },
          "Plain sentences: pairs that the data cannot tell apart, constants without effect, profiles flat to a "
          "bound, estimates at a bound, values after the run's end.")
      .def_property_readonly("residuals", &Residuals,
                             "Dict of arrays, one entry per measured value: DataSet (index into data), Replicate, "
                             "Time, Column (str), Measured, Simulated, Residual (measured - simulated), Weighted "
                             "(residual / sigma), Sigma, BeyondRun (after the run's end: compared with its last "
                             "row).")
      .def_property_readonly(
          "error_levels", [](const TPyFit& f) { return ErrorLevels(f, false); },
          "Dict of each measured column to its error level as used (ODreal a CV, the others absolute).")
      .def_property_readonly(
          "error_estimated", [](const TPyFit& f) { return ErrorLevels(f, true); },
          "Dict of each measured column to True when its error level was estimated from the residuals.")
      .def_property_readonly(
          "quantile", [](const TPyFit& f) { return f.R.QuantileValue; },
          "The quantile the intervals use: t with degrees_of_freedom when a level was estimated, else normal.")
      .def_property_readonly(
          "degrees_of_freedom",
          [](const TPyFit& f) -> py::object {
            return f.R.Quantile == 't' ? py::object(py::int_(f.R.DegreesOfFreedom)) : py::object(py::none());
          },
          "n - p when the intervals use the t quantile, None for the normal one.")
      .def_property_readonly(
          "sse", [](const TPyFit& f) { return f.R.SSE; }, "Sum of the squared weighted residuals at the optimum.")
      .def_property_readonly(
          "points", [](const TPyFit& f) { return f.R.Points; }, "Number of measured values.")
      .def_property_readonly(
          "evaluations", [](const TPyFit& f) { return f.R.Evaluations; }, "Number of simulations made.")
      .def_property_readonly(
          "values",
          [](const TPyFit& f) {
            TZymra_Run run;
            run.Params = f.R.Params;
            run.BatchParams = f.R.Batch;
            return ValuesDict(run);
          },
          "The run's inputs with the estimates written in: zymra.simulate(seed=..., **values) makes the fitted "
          "run.")
      .def("__repr__", &FitRepr);

  m.def("fit", &Fit, py::arg("data"), py::arg("estimate"), py::arg("seed") = py::none(),
        py::arg("threads") = py::none(), py::arg("starts") = 8, py::arg("profile") = false,
        py::arg("errors") = py::none(), kFitDoc);
}
}  // namespace zympy
