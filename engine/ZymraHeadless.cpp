#include "ZymraHeadless.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "ZymraModel.h"
#include "ZymraNumeric.h"

namespace {
bool ParseInt(const std::string& text, long long& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}
}  // namespace

const TRunField* FindSettableRunField(const std::string& name, std::string& error) {
  const TRunField* field = FindRunField(name.c_str());
  if (!field) {
    error = "unknown setting '" + name + "'";
    return nullptr;
  }
  if (!field->Settable) {
    error = "'" + name + "' is written by the simulation and cannot be set";
    return nullptr;
  }
  return field;
}

namespace {
std::uint8_t* FieldAddress(TZymra_Run& run, const TRunField& field) {
  auto* base = field.InBatchRecord ? reinterpret_cast<std::uint8_t*>(&run.BatchParams)
                                   : reinterpret_cast<std::uint8_t*>(&run.Params);
  return base + field.Offset;
}
}  // namespace

bool SetRunNumber(TZymra_Run& run, const TRunField& field, double value, std::string& error) {
  if (field.Type != TRunField::Double || !field.Settable) {
    error = std::string("'") + field.Name + "' is not a numeric input";
    return false;
  }
  if (!std::isfinite(value)) {
    error = std::string(field.Name) + " must be a finite number";
    return false;
  }
  std::memcpy(FieldAddress(run, field), &value, 8);
  return true;
}

bool SetRunFlag(TZymra_Run& run, const TRunField& field, bool value, std::string& error) {
  if (field.Type != TRunField::Flag || !field.Settable) {
    error = std::string("'") + field.Name + "' is not a flag";
    return false;
  }
  *FieldAddress(run, field) = value;
  // A prepared run's phase follows the batch flag, as a reset sets it.
  if (std::strcmp(field.Name, "IsBatch") == 0) run.BatchParams.Phase = run.BatchParams.IsBatch;
  return true;
}

bool SetRunInteger(TZymra_Run& run, const TRunField& field, long long value, std::string& error) {
  if (field.Type != TRunField::Int32 || !field.Settable) {
    error = std::string("'") + field.Name + "' is not an integer input";
    return false;
  }
  if (value < INT32_MIN || value > INT32_MAX) {
    error = std::string(field.Name) + " must be a 32-bit integer, not " + std::to_string(value);
    return false;
  }
  if (std::strcmp(field.Name, "Speed") == 0 && (value < 0 || value > 10)) {
    error = "Speed must be between 0 and 10, not " + std::to_string(value);
    return false;
  }
  const std::int32_t i = static_cast<std::int32_t>(value);
  std::memcpy(FieldAddress(run, field), &i, 4);
  return true;
}

bool SetRunText(TZymra_Run& run, const TRunField& field, const std::string& utf8, std::string& error) {
  if (field.Type != TRunField::Text || !field.Settable) {
    error = std::string("'") + field.Name + "' is not a text input";
    return false;
  }
  const std::string text = Utf8ToCp1252(utf8);
  if (text.size() > 255) {
    error = std::string(field.Name) + " is longer than 255 characters";
    return false;
  }
  run.Params.Title.Assign(text);
  return true;
}

bool SetRunField(TZymra_Run& run, const std::string& name, const std::string& value, std::string& error) {
  const TRunField* field = FindSettableRunField(name, error);
  if (!field) return false;
  switch (field->Type) {
    case TRunField::Double: {
      double v;
      if (!ParseNumber(value, v)) {
        error = "malformed number '" + value + "' for " + name;
        return false;
      }
      return SetRunNumber(run, *field, v, error);
    }
    case TRunField::Flag:
      if (value != "0" && value != "1") {
        error = "malformed flag '" + value + "' for " + name + " (use 0 or 1)";
        return false;
      }
      return SetRunFlag(run, *field, value == "1", error);
    case TRunField::Int32: {
      long long v;
      if (!ParseInt(value, v) || v < INT32_MIN || v > INT32_MAX) {
        error = "malformed integer '" + value + "' for " + name;
        return false;
      }
      if (name == "Speed" && (v < 0 || v > 10)) {
        error = "Speed must be between 0 and 10, not " + value;
        return false;
      }
      return SetRunInteger(run, *field, v, error);
    }
    case TRunField::Text:
      return SetRunText(run, *field, value, error);
    case TRunField::Byte:
      break;
  }
  error = "'" + name + "' cannot be set";
  return false;
}

bool ParseRunAction(const std::string& text, TRunAction& action, std::string& error) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) {
    error = "malformed action '" + text + "' (expected TIME:ACTION)";
    return false;
  }
  if (!ParseNumber(text.substr(0, colon), action.At) || action.At < 0) {
    error = "malformed time in action '" + text + "'";
    return false;
  }
  const std::string what = text.substr(colon + 1);
  if (what == "correct-feed") {
    action.What = TRunAction::CorrectFeed;
    return true;
  }
  const auto eq = what.find('=');
  const std::string kind = what.substr(0, eq);
  if (eq == std::string::npos || (kind != "refill" && kind != "discharge")) {
    error = "unknown action '" + what + "' (use refill=LITRES, discharge=LITRES or correct-feed)";
    return false;
  }
  action.What = kind == "refill" ? TRunAction::Refill : TRunAction::Discharge;
  if (!ParseNumber(what.substr(eq + 1), action.Litres) || action.Litres < 0) {
    error = "malformed volume in action '" + text + "'";
    return false;
  }
  return true;
}

namespace {
// Per run: the actions still to come, read by the worker's break test and advanced
// on the owning thread in the break handler.
struct TRunDriver {
  TZymra_Run* Run = nullptr;
  std::vector<TRunAction> Actions;
  std::atomic<std::size_t> Next{0};
  long long MaxSteps = 0;
};
}  // namespace

void RunHeadless(TQueueSynchronizer& sync, const std::vector<TZymra_Run*>& runs,
                 const THeadlessOptions& options) {
  std::vector<std::unique_ptr<TRunDriver>> drivers;
  for (TZymra_Run* run : runs) {
    if (!run->IsInStates({rsPrepare, rsPaused})) continue;
    auto d = std::make_unique<TRunDriver>();
    d->Run = run;
    d->Actions = options.Actions;
    std::stable_sort(d->Actions.begin(), d->Actions.end(),
                     [](const TRunAction& a, const TRunAction& b) { return a.At < b.At; });
    d->MaxSteps = options.MaxSteps;
    run->StartThread();
    TZymra_Thread* worker = run->Worker();
    if (!worker) continue;
    worker->SetRealtime(options.Realtime);
    TRunDriver* raw = d.get();
    worker->SetBreak(
        [raw](const TZymra_Run& r) {
          const std::size_t next = raw->Next.load();
          return StepCount(r) >= raw->MaxSteps ||
                 (next < raw->Actions.size() && r.Time.LastOr0() >= raw->Actions[next].At);
        },
        [raw] {
          TZymra_Run& r = *raw->Run;
          if (StepCount(r) >= raw->MaxSteps) {
            r.FinishByUser();
            return;
          }
          // Paused as a user pauses, the requests set as the process page sets them.
          r.Pause();
          std::size_t next = raw->Next.load();
          while (next < raw->Actions.size() && r.Time.LastOr0() >= raw->Actions[next].At) {
            const TRunAction& a = raw->Actions[next++];
            switch (a.What) {
              case TRunAction::Refill:
                r.Params.RefillAmount = a.Litres;
                r.Params.RefillNow = 1;
                break;
              case TRunAction::Discharge:
                r.Params.DischargeAmount = a.Litres;
                r.Params.DischargeNow = 1;
                break;
              case TRunAction::CorrectFeed:
                r.BatchParams.FeedCorrection = 1;
                break;
            }
          }
          raw->Next.store(next);
          r.Resume();
        });
    drivers.push_back(std::move(d));
  }
  for (auto& d : drivers) d->Run->Resume();

  // Checked before the first wait: with nothing to run (a project whose runs are
  // all finished) there is nothing to wait for.
  for (;;) {
    bool allDone = true;
    for (auto& d : drivers) {
      TZymra_Run& r = *d->Run;
      // The worker paused itself (end of batch, overflow): continue as a user would.
      if (r.State() == rsPaused) r.Resume();
      if (r.State() != rsFinished) allDone = false;
    }
    if (allDone) break;
    sync.WaitAndProcess(std::chrono::milliseconds(50));
  }
  // Let the finished workers end before their handlers go out of scope.
  for (auto& d : drivers) {
    TZymra_Thread* worker = d->Run->Worker();
    while (worker && !worker->Ended()) sync.WaitAndProcess(std::chrono::milliseconds(1));
    if (worker) worker->SetBreak(nullptr, nullptr);
  }
}

void WriteSeriesTable(const TZymra_Run& run, std::ostream& out) {
  int rows = 0;
  for (int i = 0; i < kRunSeriesCount; ++i) {
    out << (i ? "\t" : "") << kRunSeriesNames[i];
    rows = std::max(rows, run.Series(i).Rows());
  }
  out << '\n';
  char buf[64];
  for (int row = 0; row < rows; ++row) {
    for (int i = 0; i < kRunSeriesCount; ++i) {
      if (i) out << '\t';
      const tDoubleMatrix& s = run.Series(i);
      if (row < s.Rows()) {
        std::snprintf(buf, sizeof buf, "%.17g", s.Value(row));
        out << buf;
      }
    }
    out << '\n';
  }
}

void WriteRunSummary(const TZymra_Run& run, std::ostream& out) {
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "Process time: %s (%.6g h)\nOD real:      %.6f\nOD ideal:     %.6f\nVolume:       %.6f l\n"
                "Feed total:   %.6f l\nPhase:        %s (%d)\nState:        %s\nSteps:        %lld\n",
                run.ProcessTimeText().c_str(), run.CurrentTime(), run.CurrentODreal(), run.CurrentODideal(),
                run.CurrentVolume(), run.FedTotal(), PhaseText(run.BatchParams.Phase), run.BatchParams.Phase,
                run.StateText(), StepCount(run));
  out << buf;
}
