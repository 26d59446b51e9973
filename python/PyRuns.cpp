// zymra.simulate, zymra.Run and zymra.Project.
#include <climits>

#include "PyCommon.h"

namespace zympy {
namespace {
struct TRunArgs {
  std::optional<std::uint32_t> Seed;
  THeadlessOptions Options;
};

TRunArgs ToRunArgs(py::handle seed, py::handle maxSteps, py::handle at) {
  TRunArgs args;
  if (!seed.is_none()) args.Seed = static_cast<std::uint32_t>(ToInteger(seed, "seed", 0, 4294967295LL));
  args.Options.MaxSteps = ToInteger(maxSteps, "max_steps", 0, LLONG_MAX);
  args.Options.Actions = ToActions(at);
  args.Options.Realtime = false;
  return args;
}

// Runs a prepared run of `holder` to its end as `zymra-cli simulate` does. Returns the
// seed its batch lag drew from. Without `releaseGil` the interpreter waits meanwhile:
// for runs of a project, which other Python threads may be reading.
std::uint32_t RunToEnd(TPyProject& holder, TZymra_Run& run, const TRunArgs& args, bool releaseGil) {
  auto go = [&] {
    std::lock_guard lock(GlobalRandomLock());
    const std::uint32_t seed = args.Seed ? *args.Seed : RandSeedValue();
    RandSeed(seed);
    RunHeadless(holder.Sync, {&run}, args.Options);
    return seed;
  };
  if (!releaseGil) return go();
  py::gil_scoped_release nogil;
  return go();
}

TPyRun Simulate(py::handle seed, py::handle maxSteps, py::handle at, const py::kwargs& values) {
  const TRunArgs args = ToRunArgs(seed, maxSteps, at);
  TPyRun out;
  out.Owner = NewProject();
  out.Run = out.Owner->Project.AddRun();
  SetValues(*out.Run, values, "simulate");
  CheckValues(*out.Run);
  out.Seed = RunToEnd(*out.Owner, *out.Run, args, true);
  return out;
}

py::dict SeriesDict(TPyRun& r) {
  if (!r.Series) {
    py::dict series;
    for (int i = 0; i < kRunSeriesCount; ++i) series[kRunSeriesNames[i]] = SeriesArray(r.Run->Series(i));
    r.Series = std::move(series);
  }
  return r.Series;
}

py::object ToFrame(TPyRun& r) {
  py::object pandas;
  try {
    pandas = py::module_::import("pandas");
  } catch (py::error_already_set&) {
    throw py::import_error("Run.to_frame() needs pandas (Debian: python3-pandas)");
  }
  // A loaded run has no Substrate rows (they are not stored): such columns are NaN.
  const int rows = r.Run->Time.Rows();
  py::dict columns;
  for (int i = 0; i < kRunSeriesCount; ++i) {
    const tDoubleMatrix& s = r.Run->Series(i);
    py::array_t<double> a(rows);
    double* data = a.mutable_data();
    for (int row = 0; row < rows; ++row) data[row] = row < s.Rows() ? s.Value(row) : NAN;
    columns[kRunSeriesNames[i]] = a;
  }
  return pandas.attr("DataFrame")(columns);
}

std::string RunRepr(const TPyRun& r) {
  return "<zymra.Run '" + Cp1252ToUtf8(r.Run->RunCaption()) + "' " + r.Run->StateText() + ", " +
         std::to_string(StepCount(*r.Run)) + " steps>";
}

TPyRun AddRun(const std::shared_ptr<TPyProject>& holder, py::handle seed, py::handle maxSteps, py::handle at,
              py::handle comment, py::handle measured, const py::kwargs& values) {
  const TRunArgs args = ToRunArgs(seed, maxSteps, at);
  const std::string commentText = Utf8ToCp1252(ToText(comment, "comment"));
  TMeasuredData measuredData;
  if (!measured.is_none()) measuredData = ToMeasuredData(measured, "measured");
  // Values are checked on a run of no project: a failure leaves the project as it was.
  TZymra_Run probe;
  SetValues(probe, values, "add_run");
  CheckValues(probe);
  TZymra& project = holder->Project;
  TZymra_Run* run = project.AddRun();
  SetValues(*run, values, "add_run");
  run->Comment = commentText;
  run->SetMeasured(measuredData);
  TPyRun out;
  out.Owner = holder;
  out.Run = run;
  out.Seed = RunToEnd(*holder, *run, args, false);
  return out;
}

void SetTitleText(TShortString<255>& field, py::handle value, const char* what) {
  const std::string text = Utf8ToCp1252(ToText(value, what));
  if (text.size() > 255) throw py::value_error(std::string(what) + " is longer than 255 characters");
  field.Assign(text);
}

const char* const kSimulateDoc = R"(simulate(seed=None, max_steps=1_000_000, at=(), **values) -> Run

Simulate one run of a new project at full speed, as `zymra-cli simulate` does.

values    the run's inputs by field name, as `zymra-cli simulate --set` takes them:
          numbers as float or int (ReactorSize=4.0, Uset=0.12), flags as bool
          (IsBatch=False), Speed, ChartRotation and ChartElevation as int, Title as str.
          Unset inputs keep their defaults (zymra.defaults()).
seed      seed of the random batch lag (0 .. 2**32-1); None draws one from the clock.
          The seed used is in the result's .seed.
max_steps the run is finished as the user's Stop does after this many steps.
at        interventions, each served before the first step that starts at or after
          its process time: (time_h, "refill", litres), (time_h, "discharge", litres),
          (time_h, "correct-feed").

The values are checked as the start page checks them; a failure raises ValueError
whose message is the warning's text, one line per failed check. Pauses the run makes
itself (end of the batch, overflow) are continued as a user would.

Returns a Run: .series (dict of the fourteen series names to numpy.float64 arrays,
equal bit for bit to `zymra-cli simulate --series`), .log (the event log, newest entry
first, with CR LF line ends as stored), .state, .phase, .steps, .values, .to_frame().
The interpreter's other threads go on while the run is simulated.)";

const char* const kRunDoc = R"(One simulated run: the result of zymra.simulate, or a run of a Project.

Its attributes are read-only. The arrays of .series are copies that own their memory: they
stay valid however long they are kept and may be changed freely; each Run object makes
them once, on first use.)";

const char* const kProjectDoc = R"(Project() / Project.open(path)

A project file (*.zym) as the desktop program reads and writes it: a title, a
culture/stock text, a comment and runs. Project() is a new, empty project (title
"unknown"); Project.open(path) reads a file and raises zymra.FileError with the reason
when it cannot be read. add_run() simulates a run into the project; save() writes it
(the previous file stays as it was unless the whole file was written).)";

const char* const kAddRunDoc = R"(add_run(seed=None, max_steps=1_000_000, at=(), comment="", measured=None, **values) -> Run

Append a run to the project and simulate it, with the arguments of zymra.simulate;
comment is the run's comment; measured, the values measured in the real cultivation
kept with the run, a path or a dict of column name to array as zymra.fit takes them
(the source of a dict is stored as "measured"). Values that fail the start page's checks raise ValueError
and leave the project unchanged. Unlike zymra.simulate, the interpreter waits while
the run is simulated (other threads may be reading the project).)";
}  // namespace

void BindRuns(py::module_& m) {
  // The message of the C++ exception becomes the Python one.
  auto& fileError = py::register_exception<TFileError>(m, "FileError", PyExc_OSError);
  fileError.doc() = "A project file that cannot be read or written; the message gives the reason.";

  py::class_<TPyRun>(m, "Run", kRunDoc)
      .def_property_readonly(
          "caption", [](const TPyRun& r) { return FromRecordText(r.Run->RunCaption()); },
          "\"Run\" + its number in the project + \" \" + its title, e.g. \"Run1 default\".")
      .def_property_readonly(
          "title", [](const TPyRun& r) { return FromRecordText(r.Run->Params.Title.Str()); }, "The run's title.")
      .def_property_readonly(
          "comment", [](const TPyRun& r) { return FromRecordText(r.Run->Comment); }, "The run's comment.")
      .def_property_readonly(
          "state", [](const TPyRun& r) { return std::string(r.Run->StateText()); },
          "\"Prepare Fermentation\", \"Running\", \"Paused\" or \"Finished\" (runs read from a file that were "
          "running or paused come back finished).")
      .def_property_readonly(
          "phase", [](const TPyRun& r) { return static_cast<int>(r.Run->BatchParams.Phase); },
          "Process phase: 0 fed batch without a batch, 1 to 4 batch (lag, growth, substrate-limited, "
          "exhausted), 5 fed batch after a batch.")
      .def_property_readonly(
          "steps", [](const TPyRun& r) { return StepCount(*r.Run); }, "Number of model steps made.")
      .def_property_readonly(
          "seed", [](const TPyRun& r) -> py::object { return r.Seed ? py::object(py::int_(*r.Seed)) : py::object(py::none()); },
          "Seed of the batch lag when the run was simulated here (simulate(seed=...) replays it); None for runs "
          "read from a file.")
      .def_property_readonly(
          "values", [](const TPyRun& r) { return ValuesDict(*r.Run); },
          "Every input and operating setting by field name, as the run holds them now (the end of a batch "
          "sets ReactorVol and FedBatchOD; refills and discharges may reduce their amounts).")
      .def_property_readonly("series", &SeriesDict,
                             "Dict of the fourteen series names (Time, ODreal, ..., Substrate) to numpy.float64 "
                             "arrays, copies. Runs read from a file have no Substrate rows.")
      .def_property_readonly(
          "log", [](const TPyRun& r) { return FromRecordText(r.Run->EventLog); },
          "The event log as stored: newest entry first, CR LF line ends.")
      .def_property_readonly(
          "measured",
          [](const TPyRun& r) -> py::object {
            if (!r.Run->HasMeasured()) return py::none();
            return MeasuredDict(r.Run->Measured());
          },
          "The values measured in the real cultivation kept with the run: a dict of Time, Replicate (int64) and "
          "each measured column (NaN where not measured) to arrays, copies; None when the run has none.")
      .def("to_frame", &ToFrame,
           "to_frame() -> pandas.DataFrame\n\nThe fourteen series as columns, one row per step (needs pandas; "
           "missing rows are NaN).")
      .def("__repr__", &RunRepr);

  py::class_<TPyProject, std::shared_ptr<TPyProject>>(m, "Project", kProjectDoc)
      .def(py::init(&NewProject))
      .def_static(
          "open",
          [](py::handle path) {
            const std::string name = PathArgument(path, "path");
            std::shared_ptr<TPyProject> holder = NewProject();
            if (!holder->Project.LoadFromFile(name))
              throw TFileError("cannot read '" + name + "': " + Cp1252ToUtf8(holder->Project.LastError));
            return holder;
          },
          py::arg("path"), "open(path) -> Project\n\nRead a project file; zymra.FileError with the reason if it cannot.")
      .def(
          "save",
          [](TPyProject& p, py::handle path) {
            const std::string name = PathArgument(path, "path");
            if (!p.Project.SaveToFile(name))
              throw TFileError("cannot save '" + name + "': " + Cp1252ToUtf8(p.Project.LastError));
          },
          py::arg("path"),
          "save(path) -> None\n\nWrite the project file; zymra.FileError with the reason if it cannot. The file "
          "is written beside the target and renamed over it only when complete.")
      .def_property(
          "title", [](const TPyProject& p) { return FromRecordText(p.Project.Titles.Title.Str()); },
          [](TPyProject& p, py::handle v) { SetTitleText(p.Project.Titles.Title, v, "title"); },
          "Project title (at most 255 characters).")
      .def_property(
          "culture", [](const TPyProject& p) { return FromRecordText(p.Project.Titles.Stock.Str()); },
          [](TPyProject& p, py::handle v) { SetTitleText(p.Project.Titles.Stock, v, "culture"); },
          "Culture/stock text (at most 255 characters).")
      .def_property(
          "comment", [](const TPyProject& p) { return FromRecordText(p.Project.Comment); },
          [](TPyProject& p, py::handle v) { p.Project.Comment = Utf8ToCp1252(ToText(v, "comment")); },
          "Project comment.")
      .def_property_readonly(
          "runs",
          [](const std::shared_ptr<TPyProject>& p) {
            py::list runs;
            for (int i = 0; i < p->Project.RunCount(); ++i) {
              TPyRun r;
              r.Owner = p;
              r.Run = p->Project.Run(i);
              runs.append(py::cast(std::move(r)));
            }
            return runs;
          },
          "The runs in project order (a new list of Run objects each time).")
      .def("add_run", &AddRun, py::arg("seed") = py::none(), py::arg("max_steps") = 1000000,
           py::arg("at") = py::tuple(), py::arg("comment") = "", py::arg("measured") = py::none(), kAddRunDoc)
      .def("__repr__", [](const TPyProject& p) {
        return "<zymra.Project '" + Cp1252ToUtf8(p.Project.Titles.Title.Str()) + "', " +
               std::to_string(p.Project.RunCount()) + " run(s)>";
      });

  m.def("simulate", &Simulate, py::arg("seed") = py::none(), py::arg("max_steps") = 1000000,
        py::arg("at") = py::tuple(), kSimulateDoc);
  m.def(
      "defaults",
      [] {
        TZymra_Run run;
        return ValuesDict(run);
      },
      "defaults() -> dict\n\nThe default value of every input and operating setting, by field name (the names "
      "simulate, sweep and add_run take).");
}
}  // namespace zympy
