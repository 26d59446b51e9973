#pragma once
// What the parts of the Python module share: strict conversion of Python arguments
// (every failure a TypeError or ValueError naming the argument), run values by field
// name, and copies of run data as Python objects.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "LibZymra.h"
#include "ZymraHeadless.h"

namespace zympy {
namespace py = pybind11;

// A file that cannot be read or written; raised in Python as zymra.FileError (an OSError).
struct TFileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The Python type's name of a value, for messages ("str", "NoneType").
std::string TypeName(py::handle value);

// Runs with a batch draw their lag from the program-wide generator, which a project's
// creation also reseeds; whoever seeds it or runs a worker that draws from it holds
// this. Never wait for the GIL while holding it.
std::mutex& GlobalRandomLock();

// A project with the synchroniser its headless workers hand their callbacks to.
struct TPyProject {
  TQueueSynchronizer Sync;
  TZymra Project{&Sync};
};
std::shared_ptr<TPyProject> NewProject();

// A run as Python sees it: it keeps its project alive.
struct TPyRun {
  std::shared_ptr<TPyProject> Owner;
  TZymra_Run* Run = nullptr;
  std::optional<std::uint32_t> Seed;  // of the batch lag, when simulated here
  py::object Series;                  // the dict of copies, made on first use
};

// Argument conversion; `what` names the argument in the message.
double ToNumber(py::handle value, const std::string& what);
long long ToInteger(py::handle value, const std::string& what, long long low, long long high);
bool ToFlag(py::handle value, const std::string& what);
// A str that Windows-1252 can hold, as UTF-8.
std::string ToText(py::handle value, const std::string& what);
// Text as stored (Windows-1252, CR LF) to str.
py::str FromRecordText(const std::string& cp1252);

// Sets every keyword as a run input (`function` names the caller in messages).
void SetValues(TZymra_Run& run, const py::kwargs& values, const char* function);
// Every user input and operating setting of the run, by field name.
py::dict ValuesDict(const TZymra_Run& run);
// The start page's checks: ValueError with the warning's text, one line per failed check.
void CheckValues(const TZymra_Run& run);
// `at` of simulate: (time_h, "refill", litres), (time_h, "discharge", litres), (time_h, "correct-feed").
std::vector<TRunAction> ToActions(py::handle at);

// A copy of a series: an array that owns its memory.
py::array_t<double> SeriesArray(const tDoubleMatrix& series);

// A file-system path argument (str, bytes or os.PathLike) as the bytes the OS takes.
std::string PathArgument(py::handle path, const char* what);

// Measured data given as a path (read as `zymra-cli fit --data` reads it; an unreadable
// file raises FileError with the reader's line) or as a dict of column name to array
// (Time required, any of ODreal, Volume, Substrate, OTRVt, optional Replicate; NaN is a
// value not measured), checked as the reader checks a file. `what` names the argument.
TMeasuredData ToMeasuredData(py::handle data, const std::string& what);
// Time, Replicate (int64) and each measured column as arrays (copies).
py::dict MeasuredDict(const TMeasuredData& data);

// Runs `work` on a thread of its own while this thread, without the GIL, looks for
// signals every 20 ms. When a signal's handler raises (Ctrl+C: KeyboardInterrupt) it
// sets `cancel`, waits for `work` to return and raises that exception; `work` must
// stop soon after `cancel` is set and must not touch Python. An exception thrown by
// `work` is rethrown here.
void RunCancellable(std::atomic<bool>& cancel, const std::function<void()>& work);

void BindRuns(py::module_& m);
void BindSweep(py::module_& m);
void BindFit(py::module_& m);
}  // namespace zympy
