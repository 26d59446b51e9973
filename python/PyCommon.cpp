#include "PyCommon.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <thread>

namespace zympy {
std::string TypeName(py::handle value) { return Py_TYPE(value.ptr())->tp_name; }

namespace {
std::string Repr(py::handle value) {
  std::string text = py::repr(value);
  return text.size() > 60 ? text.substr(0, 57) + "..." : text;
}

bool IsNumpyBool(py::handle value) {
  // Only asked about objects that are neither bool nor int, so numpy is loaded by then
  // whenever such an object can exist.
  PyObject* numpy = PyImport_GetModule(py::str("numpy").ptr());
  if (!numpy) {
    PyErr_Clear();
    return false;
  }
  py::object module = py::reinterpret_steal<py::object>(numpy);
  return py::isinstance(value, module.attr("bool_"));
}
}  // namespace

std::mutex& GlobalRandomLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<TPyProject> NewProject() {
  // A project reseeds the program-wide generator from the clock when it is made.
  std::lock_guard lock(GlobalRandomLock());
  return std::make_shared<TPyProject>();
}

double ToNumber(py::handle value, const std::string& what) {
  if (PyBool_Check(value.ptr()) || PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr()) || value.is_none())
    throw py::type_error(what + " must be a number, not " + TypeName(value));
  double v;
  if (PyIndex_Check(value.ptr())) {
    py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) throw py::error_already_set();
    v = PyLong_AsDouble(index.ptr());
    if (v == -1.0 && PyErr_Occurred()) {
      PyErr_Clear();
      throw py::value_error(what + " is too large: " + Repr(value));
    }
  } else {
    v = PyFloat_AsDouble(value.ptr());
    if (v == -1.0 && PyErr_Occurred()) {
      PyErr_Clear();
      throw py::type_error(what + " must be a number, not " + TypeName(value));
    }
  }
  if (!std::isfinite(v)) throw py::value_error(what + " must be a finite number, not " + Repr(value));
  return v;
}

long long ToInteger(py::handle value, const std::string& what, long long low, long long high) {
  if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr()))
    throw py::type_error(what + " must be an integer, not " + TypeName(value));
  py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
  if (!index) throw py::error_already_set();
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
  if (PyErr_Occurred()) throw py::error_already_set();
  if (overflow || v < low || v > high)
    throw py::value_error(what + " must be between " + std::to_string(low) + " and " + std::to_string(high) +
                          ", not " + Repr(value));
  return v;
}

bool ToFlag(py::handle value, const std::string& what) {
  if (PyBool_Check(value.ptr())) return value.ptr() == Py_True;
  if (PyIndex_Check(value.ptr())) {
    const long long v = ToInteger(value, what, 0, 1);
    return v == 1;
  }
  if (IsNumpyBool(value)) return PyObject_IsTrue(value.ptr()) == 1;
  throw py::type_error(what + " must be a bool, not " + TypeName(value));
}

std::string ToText(py::handle value, const std::string& what) {
  if (!PyUnicode_Check(value.ptr())) throw py::type_error(what + " must be a str, not " + TypeName(value));
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
  if (!utf8) {
    PyErr_Clear();
    throw py::value_error(what + " is not valid text (it holds lone surrogates)");
  }
  std::string text(utf8, static_cast<std::size_t>(size));
  if (Cp1252ToUtf8(Utf8ToCp1252(text)) != text)
    throw py::value_error(what + " holds characters that project files (Windows-1252) cannot store: " +
                          Repr(value));
  return text;
}

py::str FromRecordText(const std::string& cp1252) {
  const std::string utf8 = Cp1252ToUtf8(cp1252);
  return py::str(utf8.data(), utf8.size());
}

void SetValues(TZymra_Run& run, const py::kwargs& values, const char* function) {
  for (auto [key, value] : values) {
    const std::string name = py::str(key);
    std::string error;
    const TRunField* field = FindSettableRunField(name, error);
    if (!field) throw py::type_error(std::string(function) + "(): " + error);
    bool ok = false;
    switch (field->Type) {
      case TRunField::Double: ok = SetRunNumber(run, *field, ToNumber(value, name), error); break;
      case TRunField::Flag: ok = SetRunFlag(run, *field, ToFlag(value, name), error); break;
      case TRunField::Int32:
        ok = SetRunInteger(run, *field, ToInteger(value, name, INT32_MIN, INT32_MAX), error);
        break;
      case TRunField::Text: ok = SetRunText(run, *field, ToText(value, name), error); break;
      case TRunField::Byte: error = "'" + name + "' cannot be set"; break;
    }
    if (!ok) throw py::value_error(std::string(function) + "(): " + error);
  }
}

py::dict ValuesDict(const TZymra_Run& run) {
  py::dict out;
  for (const TRunField* f = RunFieldsBegin(); f != RunFieldsEnd(); ++f) {
    if (!f->Settable) continue;
    const auto* base = f->InBatchRecord ? reinterpret_cast<const std::uint8_t*>(&run.BatchParams)
                                        : reinterpret_cast<const std::uint8_t*>(&run.Params);
    const std::uint8_t* at = base + f->Offset;
    switch (f->Type) {
      case TRunField::Double: {
        double v;
        std::memcpy(&v, at, 8);
        out[f->Name] = v;
        break;
      }
      case TRunField::Flag: out[f->Name] = py::bool_(*at != 0); break;
      case TRunField::Int32: {
        std::int32_t v;
        std::memcpy(&v, at, 4);
        out[f->Name] = v;
        break;
      }
      case TRunField::Text: out[f->Name] = FromRecordText(run.Params.Title.Str()); break;
      case TRunField::Byte: out[f->Name] = static_cast<int>(*at); break;
    }
  }
  return out;
}

void CheckValues(const TZymra_Run& run) {
  const std::vector<std::string> failed = CheckRunValues(run.Params, run.BatchParams);
  if (failed.empty()) return;
  std::string text;
  for (char c : Cp1252ToUtf8(ValuesNotAppliedText(failed)))
    if (c != '\r') text += c;
  throw py::value_error(text);
}

std::vector<TRunAction> ToActions(py::handle at) {
  if (PyUnicode_Check(at.ptr()) || PyBytes_Check(at.ptr()) || !py::isinstance<py::iterable>(at))
    throw py::type_error("at must be a sequence of (time_h, action, ...) tuples, not " + TypeName(at));
  std::vector<TRunAction> actions;
  std::size_t i = 0;
  for (py::handle item : at) {
    const std::string what = "at[" + std::to_string(i++) + "]";
    if (!PyTuple_Check(item.ptr()) && !PyList_Check(item.ptr()))
      throw py::type_error(what + " must be a tuple (time_h, action, ...), not " + TypeName(item));
    py::sequence entry = py::reinterpret_borrow<py::sequence>(item);
    if (entry.size() < 2)
      throw py::value_error(what + " must be (time_h, \"refill\", litres), (time_h, \"discharge\", litres) or "
                                   "(time_h, \"correct-feed\")");
    TRunAction action;
    action.At = ToNumber(entry[0], what + " time");
    if (action.At < 0) throw py::value_error(what + ": the time must not be negative");
    const std::string kind = ToText(entry[1], what + " action");
    if (kind == "correct-feed") {
      if (entry.size() != 2) throw py::value_error(what + ": (time_h, \"correct-feed\") takes no volume");
      action.What = TRunAction::CorrectFeed;
    } else if (kind == "refill" || kind == "discharge") {
      if (entry.size() != 3) throw py::value_error(what + ": (time_h, \"" + kind + "\", litres) needs the volume");
      action.What = kind == "refill" ? TRunAction::Refill : TRunAction::Discharge;
      action.Litres = ToNumber(entry[2], what + " litres");
      if (action.Litres < 0) throw py::value_error(what + ": the volume must not be negative");
    } else {
      throw py::value_error(what + ": unknown action '" + kind + "' (use \"refill\", \"discharge\" or \"correct-feed\")");
    }
    actions.push_back(action);
  }
  return actions;
}

py::array_t<double> SeriesArray(const tDoubleMatrix& series) {
  py::array_t<double> out(static_cast<py::ssize_t>(series.Rows()));
  if (series.Rows() > 0) std::memcpy(out.mutable_data(), series.Data(), static_cast<std::size_t>(series.Rows()) * 8);
  return out;
}

std::string PathArgument(py::handle path, const char* what) {
  py::object fspath = py::module_::import("os").attr("fspath");
  py::object p;
  try {
    p = fspath(path);
  } catch (py::error_already_set&) {
    throw py::type_error(std::string(what) + " must be a str or path, not " + Py_TYPE(path.ptr())->tp_name);
  }
  py::bytes encoded = py::module_::import("os").attr("fsencode")(p);
  std::string name = encoded;
  if (name.empty()) throw py::value_error(std::string(what) + " is empty");
  if (name.find('\0') != std::string::npos) throw py::value_error(std::string(what) + " holds a NUL character");
  return name;
}

void RunCancellable(std::atomic<bool>& cancel, const std::function<void()>& work) {
  std::exception_ptr failure;
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  std::thread driver([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard lock(m);
    done = true;
    cv.notify_all();
  });
  for (;;) {
    {
      py::gil_scoped_release nogil;
      std::unique_lock lock(m);
      if (cv.wait_for(lock, std::chrono::milliseconds(20), [&] { return done; })) break;
    }
    if (PyErr_CheckSignals() != 0) {
      cancel = true;
      {
        py::gil_scoped_release nogil;
        driver.join();
      }
      throw py::error_already_set();
    }
  }
  driver.join();
  if (failure) std::rethrow_exception(failure);
}
}  // namespace zympy
