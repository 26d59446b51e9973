#include "ZymraSweep.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <ostream>
#include <random>
#include <thread>

#include "ZymraHeadless.h"
#include "ZymraModel.h"
#include "ZymraNumeric.h"

namespace {
std::uint64_t StreamSeed(std::uint64_t seed, long long index, std::uint64_t stream) {
  return Mix64(Mix64(seed + 0x9E3779B97F4A7C15ULL * stream) ^ static_cast<std::uint64_t>(index));
}

std::vector<std::string> SplitColons(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto colon = text.find(':', start);
    parts.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) return parts;
    start = colon + 1;
  }
}

// Type 7 quantile (linear between order statistics) of sorted values.
double SortedQuantile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return std::nan("");
  const double at = std::clamp(p, 0.0, 1.0) * static_cast<double>(sorted.size() - 1);
  const std::size_t lo = static_cast<std::size_t>(std::floor(at));
  const std::size_t hi = std::min(lo + 1, sorted.size() - 1);
  return sorted[lo] + (at - static_cast<double>(lo)) * (sorted[hi] - sorted[lo]);
}

template <class TEntry>
bool KeyLess(const TEntry& a, const TEntry& b) {
  return a.Key < b.Key;
}

// Keeps the `limit` entries of smallest key in a max-heap.
template <class TEntry>
void BottomInsert(std::vector<TEntry>& heap, std::size_t limit, const TEntry& e) {
  if (heap.size() < limit) {
    heap.push_back(e);
    std::push_heap(heap.begin(), heap.end(), KeyLess<TEntry>);
  } else if (e.Key < heap.front().Key) {
    std::pop_heap(heap.begin(), heap.end(), KeyLess<TEntry>);
    heap.back() = e;
    std::push_heap(heap.begin(), heap.end(), KeyLess<TEntry>);
  }
}
}  // namespace

bool ParseSweepVary(const std::string& text, TSweepVary& vary, std::string& error) {
  const auto eq = text.find('=');
  if (eq == std::string::npos || eq == 0) {
    error = "malformed --vary '" + text + "' (expected NAME=A:B:N, NAME=normal:MEAN:SD or NAME=uniform:LOW:HIGH)";
    return false;
  }
  vary = TSweepVary{};
  vary.Name = text.substr(0, eq);
  const TRunField* field = FindRunField(vary.Name.c_str());
  if (!field) {
    error = "unknown setting '" + vary.Name + "' in --vary";
    return false;
  }
  if (!field->Settable || field->Type != TRunField::Double) {
    error = "'" + vary.Name + "' cannot be varied (only numeric inputs can)";
    return false;
  }
  vary.Offset = field->Offset;
  vary.InBatchRecord = field->InBatchRecord;
  const std::vector<std::string> parts = SplitColons(text.substr(eq + 1));
  if (parts.size() != 3) {
    error = "malformed --vary '" + text + "' (expected three values after '=')";
    return false;
  }
  const bool normal = parts[0] == "normal", uniform = parts[0] == "uniform";
  vary.What = normal ? TSweepVary::Normal : uniform ? TSweepVary::Uniform : TSweepVary::Grid;
  const std::size_t first = vary.What == TSweepVary::Grid ? 0 : 1;
  if (!ParseNumber(parts[first], vary.A) || !ParseNumber(parts[first + 1], vary.B)) {
    error = "malformed number in --vary '" + text + "'";
    return false;
  }
  switch (vary.What) {
    case TSweepVary::Grid: {
      const std::string& n = parts[2];
      auto [ptr, ec] = std::from_chars(n.data(), n.data() + n.size(), vary.N);
      if (n.empty() || ec != std::errc() || ptr != n.data() + n.size()) {
        error = "malformed count '" + n + "' in --vary '" + text + "'";
        return false;
      }
      if (vary.N < 1) {
        error = "--vary " + vary.Name + ": the count N must be at least 1, not " + n;
        return false;
      }
      if (vary.B < vary.A) {
        error = "--vary " + vary.Name + ": the last value " + parts[1] + " is below the first " + parts[0];
        return false;
      }
      return true;
    }
    case TSweepVary::Normal:
      if (vary.B < 0) {
        error = "--vary " + vary.Name + ": the standard deviation " + parts[2] + " is negative";
        return false;
      }
      return true;
    case TSweepVary::Uniform:
      if (vary.B < vary.A) {
        error = "--vary " + vary.Name + ": the upper bound " + parts[2] + " is below the lower " + parts[1];
        return false;
      }
      return true;
  }
  return false;
}

const char* SweepEndText(TSweepEnd end) {
  switch (end) {
    case TSweepEnd::TargetReached: return "TargetReached";
    case TSweepEnd::CriticalStop: return "CriticalStop";
    case TSweepEnd::StepLimit: return "StepLimit";
    case TSweepEnd::Failed: break;
  }
  return "Failed";
}

std::uint64_t RandomSweepSeed() {
  std::random_device device;
  return (static_cast<std::uint64_t>(device()) << 20 ^ device()) & 0xFFFFFFFFFFFFULL;
}

long long TSweepSpec::SamplesPerPoint() const {
  if (Samples > 0) return Samples;
  for (const TSweepVary& v : Varies)
    if (v.What != TSweepVary::Grid) return 100;
  return 1;
}

long long TSweepSpec::RunCount() const {
  long long count = SamplesPerPoint();
  for (const TSweepVary& v : Varies) {
    if (v.What != TSweepVary::Grid) continue;
    if (count > kSweepMaxRuns / v.N) return -1;
    count *= v.N;
  }
  return count;
}

void ApplySweepValues(const TSweepSpec& plan, const std::vector<double>& values, TRunParameters& params,
                      TRunBatchParameters& batch) {
  for (std::size_t i = 0; i < plan.Varies.size() && i < values.size(); ++i) {
    const TSweepVary& v = plan.Varies[i];
    auto* base = v.InBatchRecord ? reinterpret_cast<std::uint8_t*>(&batch) : reinterpret_cast<std::uint8_t*>(&params);
    std::memcpy(base + v.Offset, &values[i], 8);
  }
}

bool SweepRunValues(const TSweepSpec& plan, long long index, TSweepRunValues& out, std::string& error) {
  const std::size_t n = plan.Varies.size();
  out.Values.assign(n, 0);
  out.Redraws = 0;
  out.Seed = static_cast<std::uint32_t>(StreamSeed(plan.Seed, index, 2));
  // Grid coordinates: the first --vary changes slowest, the samples of a point fastest.
  long long rest = index / plan.SamplesPerPoint();
  bool random = false;
  for (std::size_t k = n; k-- > 0;) {
    const TSweepVary& v = plan.Varies[k];
    if (v.What != TSweepVary::Grid) {
      random = true;
      continue;
    }
    const long long j = rest % v.N;
    rest /= v.N;
    out.Values[k] = v.N == 1 ? v.A : v.A + (v.B - v.A) * static_cast<double>(j) / static_cast<double>(v.N - 1);
  }
  TSampler sampler(StreamSeed(plan.Seed, index, 1));
  for (;;) {
    for (std::size_t k = 0; k < n; ++k) {
      const TSweepVary& v = plan.Varies[k];
      if (v.What == TSweepVary::Normal) out.Values[k] = v.A + v.B * sampler.Normal();
      if (v.What == TSweepVary::Uniform) out.Values[k] = v.A + (v.B - v.A) * sampler.Uniform();
    }
    TRunParameters p = plan.Params;
    TRunBatchParameters b = plan.Batch;
    ApplySweepValues(plan, out.Values, p, b);
    const std::vector<std::string> failed = CheckRunValues(p, b);
    if (failed.empty()) return true;
    std::string values;
    for (std::size_t k = 0; k < n; ++k) values += (k ? " " : "") + plan.Varies[k].Name + "=" + G17(out.Values[k]);
    if (!random) {
      error = "run " + std::to_string(index) + " (" + values + ") fails the start page's checks: " +
              Cp1252ToUtf8(failed.front());
      return false;
    }
    if (++out.Redraws > kSweepRedrawLimit) {
      error = "run " + std::to_string(index) + ": no sample passed the start page's checks in " +
              std::to_string(kSweepRedrawLimit) + " redraws (last: " + values + ": " + Cp1252ToUtf8(failed.front()) +
              ")";
      return false;
    }
  }
}

namespace {
// RunSweepRun that gives up between two steps once *cancel is set (cancelled then true).
TSweepOutcome RunSweepRunUnless(TZymra_Run& run, const TRunParameters& params, const TRunBatchParameters& batch,
                                std::uint32_t seed, long long maxSteps, const std::atomic<bool>* cancel,
                                bool& cancelled) {
  cancelled = false;
  run.Reset();
  run.Params = params;
  run.BatchParams = batch;
  run.Params.State = rsRunning;
  TRandomScope random(seed);
  TSweepOutcome o;
  o.Seed = seed;
  // The worker's loop without its waits: pauses it would make are continued at once,
  // as the headless driver continues them.
  bool failed = false, overflowed = false;
  double xPr = 0, xTh = 0;
  try {
    InitRun(run);
    xPr = xTh = run.ODrealTheory.Last() * run.Params.DryMassPerOD_Real;
  } catch (const std::exception&) {
    failed = true;
  }
  int rows[kRunSeriesCount];
  while (!failed) {
    if (cancel && cancel->load(std::memory_order_relaxed)) {
      cancelled = true;
      return o;
    }
    if (StepCount(run) >= maxSteps) {
      run.LogEvent(kLogUserFinished);
      o.End = TSweepEnd::StepLimit;
      break;
    }
    for (int i = 0; i < kRunSeriesCount; ++i) rows[i] = run.Series(i).Rows();
    const TRunParameters p = run.Params;
    const TRunBatchParameters b = run.BatchParams;
    const std::size_t logSize = run.EventLog.size();
    const double feedStart = run.FeedStart, corrTime = run.CorrTime, x0 = xPr, x1 = xTh;
    const std::uint8_t pauseRequest = run.PauseRequest;
    bool ok = true;
    try {
      Step(run, xPr, xTh);
      for (int i = 0; i < kRunSeriesCount && ok; ++i)
        for (int r = rows[i]; r < run.Series(i).Rows(); ++r)
          if (!std::isfinite(run.Series(i).Value(r))) ok = false;
      ok = ok && std::isfinite(xPr) && std::isfinite(xTh);
    } catch (const std::exception&) {
      ok = false;
    }
    if (!ok) {
      // Undone as the worker undoes a failed step: the run ends on its last good row.
      for (int i = 0; i < kRunSeriesCount; ++i) run.Series(i).SetRowCount(rows[i]);
      run.Params = p;
      run.BatchParams = b;
      if (run.EventLog.size() >= logSize) run.EventLog.erase(0, run.EventLog.size() - logSize);
      run.FeedStart = feedStart;
      run.CorrTime = corrTime;
      run.PauseRequest = pauseRequest;
      xPr = x0;
      xTh = x1;
      failed = true;
      break;
    }
    if (run.Volume.Last() > run.Params.ReactorSize) overflowed = true;
    if (run.Params.Finished) {
      o.End = run.ODreal.Last() >= run.Params.TargetOD ? TSweepEnd::TargetReached : TSweepEnd::CriticalStop;
      break;
    }
    run.PauseRequest = 0;
  }
  if (failed) {
    run.LogEvent(kLogStepFailed);
    o.End = TSweepEnd::Failed;
  }
  run.Params.State = rsFinished;
  o.ProcessTime = run.CurrentTime();
  o.ODreal = run.CurrentODreal();
  o.ODideal = run.CurrentODideal();
  o.Volume = run.CurrentVolume();
  o.FedTotal = run.FedTotal();
  o.CriticalExceeded = run.Params.CriticalExceeded != 0;
  o.Overflowed = overflowed;
  o.Steps = StepCount(run);
  return o;
}
}  // namespace

TSweepOutcome RunSweepRun(TZymra_Run& run, const TRunParameters& params, const TRunBatchParameters& batch,
                          std::uint32_t seed, long long maxSteps) {
  bool cancelled = false;
  return RunSweepRunUnless(run, params, batch, seed, maxSteps, nullptr, cancelled);
}

TSweepOutcome RunSweepRun(TZymra_Run& run, const TRunParameters& params, const TRunBatchParameters& batch,
                          std::uint32_t seed, long long maxSteps, const std::atomic<bool>* cancel, bool& cancelled) {
  return RunSweepRunUnless(run, params, batch, seed, maxSteps, cancel, cancelled);
}

namespace {
const char* const kOutcomeColumns[] = {"State",  "ProcessTime",      "ODreal",     "ODideal", "Volume",
                                       "FedTotal", "CriticalExceeded", "Overflowed", "Steps"};
}

std::string SweepTsvHeader(const std::vector<std::string>& varyNames) {
  std::string line = "Index\tSeed";
  for (const std::string& name : varyNames) line += "\t" + name;
  for (const char* c : kOutcomeColumns) line += std::string("\t") + c;
  return line + "\n";
}

std::string SweepTsvRow(const TSweepOutcome& o) {
  std::string line = std::to_string(o.Index) + "\t" + std::to_string(o.Seed);
  for (double v : o.Values) line += "\t" + G17(v);
  line += std::string("\t") + SweepEndText(o.End);
  for (double v : {o.ProcessTime, o.ODreal, o.ODideal, o.Volume, o.FedTotal}) line += "\t" + G17(v);
  line += std::string("\t") + (o.CriticalExceeded ? "1" : "0") + "\t" + (o.Overflowed ? "1" : "0") + "\t" +
          std::to_string(o.Steps) + "\n";
  return line;
}

namespace {
// The shortest text that reads back as the same double.
std::string Shortest(double v) {
  char buf[40];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, end) : G17(v);
}

// A settable field's value as --set takes it, or "" when it is the default's.
std::string FieldIfSet(const TRunField& field, const TSweepSpec& plan, const TRunParameters& params,
                       const TRunBatchParameters& batch) {
  const auto* base = field.InBatchRecord ? reinterpret_cast<const std::uint8_t*>(&plan.Batch)
                                         : reinterpret_cast<const std::uint8_t*>(&plan.Params);
  const auto* def = field.InBatchRecord ? reinterpret_cast<const std::uint8_t*>(&batch)
                                        : reinterpret_cast<const std::uint8_t*>(&params);
  switch (field.Type) {
    case TRunField::Double: {
      double v, d;
      std::memcpy(&v, base + field.Offset, 8);
      std::memcpy(&d, def + field.Offset, 8);
      return std::memcmp(&v, &d, 8) == 0 ? "" : Shortest(v);
    }
    case TRunField::Flag:
    case TRunField::Byte:
      return base[field.Offset] == def[field.Offset] ? "" : std::to_string(base[field.Offset]);
    case TRunField::Int32: {
      std::int32_t v, d;
      std::memcpy(&v, base + field.Offset, 4);
      std::memcpy(&d, def + field.Offset, 4);
      return v == d ? "" : std::to_string(v);
    }
    case TRunField::Text:  // the title changes no result
      break;
  }
  return "";
}
}  // namespace

std::string SweepPartHeader(const TSweepSpec& plan, long long k, long long n) {
  const long long count = plan.RunCount();
  long long first = 0, last = 0;
  SweepPart(count, k, n, first, last);
  std::string text = kSweepPartPrefix + std::to_string(k) + "/" + std::to_string(n) + ": runs " +
                     std::to_string(first) + " to " + std::to_string(last - 1) + " (" +
                     std::to_string(last - first) + " of " + std::to_string(count) + ")\n";
  text += "# program " + TZymra::VersionText() + "\n";
  text += "# runs " + std::to_string(count) + ", seed " + std::to_string(plan.Seed) + ", samples " +
          std::to_string(plan.SamplesPerPoint()) + ", max-steps " + std::to_string(plan.MaxSteps) + "\n";
  const TRunParameters params = DefaultRunParameters();
  const TRunBatchParameters batch = DefaultRunBatchParameters();
  for (const TRunField* f = RunFieldsBegin(); f != RunFieldsEnd(); ++f) {
    if (!f->Settable) continue;
    const std::string value = FieldIfSet(*f, plan, params, batch);
    if (!value.empty()) text += std::string("# set ") + f->Name + "=" + value + "\n";
  }
  for (const TSweepVary& v : plan.Varies) {
    text += "# vary " + v.Name + "=";
    switch (v.What) {
      case TSweepVary::Grid:
        text += Shortest(v.A) + ":" + Shortest(v.B) + ":" + std::to_string(v.N);
        break;
      case TSweepVary::Normal:
        text += "normal:" + Shortest(v.A) + ":" + Shortest(v.B);
        break;
      case TSweepVary::Uniform:
        text += "uniform:" + Shortest(v.A) + ":" + Shortest(v.B);
        break;
    }
    text += "\n";
  }
  return text;
}

bool ParseSweepPartLine(const std::string& line, TSweepPartLine& part) {
  const std::string prefix = kSweepPartPrefix;
  if (line.compare(0, prefix.size(), prefix) != 0) return false;
  long long size = 0;
  char rest = 0;
  if (std::sscanf(line.c_str() + prefix.size(), "%lld/%lld: runs %lld to %lld (%lld of %lld)%c", &part.K, &part.N,
                  &part.First, &part.Last, &size, &part.Count, &rest) != 6 ||
      line.back() != ')')
    return false;
  ++part.Last;  // the line names the last run; the slice is half-open
  if (part.N < 1 || part.K < 1 || part.K > part.N || part.Count < 0 || part.Count > kSweepMaxRuns) return false;
  long long first = 0, last = 0;
  SweepPart(part.Count, part.K, part.N, first, last);
  return first == part.First && last == part.Last && size == last - first;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> cells;
  std::size_t start = 0;
  for (;;) {
    const auto tab = line.find('\t', start);
    cells.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) return cells;
    start = tab + 1;
  }
}

bool ParseSweepTsvRow(const std::vector<std::string>& header, const std::string& line, TSweepOutcome& o) {
  const std::vector<std::string> cells = SplitTabs(line);
  const std::size_t outcomeAt = header.size() - std::size(kOutcomeColumns);
  if (cells.size() != header.size() || header.size() < 2 + std::size(kOutcomeColumns) || header[0] != "Index" ||
      header[1] != "Seed")
    return false;
  for (std::size_t i = 0; i < std::size(kOutcomeColumns); ++i)
    if (header[outcomeAt + i] != kOutcomeColumns[i]) return false;
  auto integer = [](const std::string& s, long long& v) {
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return !s.empty() && ec == std::errc() && ptr == s.data() + s.size();
  };
  auto number = [](const std::string& s, double& v) {
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return !s.empty() && ec == std::errc() && ptr == s.data() + s.size();
  };
  long long seed = 0, critical = 0, overflowed = 0;
  if (!integer(cells[0], o.Index) || o.Index < 0 || !integer(cells[1], seed) || seed < 0 || seed > 0xFFFFFFFFLL)
    return false;
  o.Seed = static_cast<std::uint32_t>(seed);
  o.Values.assign(outcomeAt - 2, 0);
  for (std::size_t i = 2; i < outcomeAt; ++i)
    if (!number(cells[i], o.Values[i - 2])) return false;
  const std::string& state = cells[outcomeAt];
  bool known = false;
  for (TSweepEnd e : {TSweepEnd::TargetReached, TSweepEnd::CriticalStop, TSweepEnd::StepLimit, TSweepEnd::Failed})
    if (state == SweepEndText(e)) {
      o.End = e;
      known = true;
    }
  double* numbers[] = {&o.ProcessTime, &o.ODreal, &o.ODideal, &o.Volume, &o.FedTotal};
  for (std::size_t i = 0; i < 5; ++i)
    if (!number(cells[outcomeAt + 1 + i], *numbers[i])) return false;
  if (!known || !integer(cells[outcomeAt + 6], critical) || !integer(cells[outcomeAt + 7], overflowed) ||
      !integer(cells[outcomeAt + 8], o.Steps) || critical < 0 || critical > 1 || overflowed < 0 || overflowed > 1)
    return false;
  o.CriticalExceeded = critical == 1;
  o.Overflowed = overflowed == 1;
  return true;
}

std::uint64_t SweepSampleKey(long long index) { return Mix64(static_cast<std::uint64_t>(index) ^ 0x5851F42D4C957F2DULL); }

// ---------------------------------------------------------------------------

void TSweepSummary::Insert(const TEntry& e) { BottomInsert(Heap_, kSweepSummarySample, e); }

void TSweepSummary::Add(const TSweepOutcome& o) {
  ++Runs_;
  Target_ += o.End == TSweepEnd::TargetReached;
  Overflowed_ += o.Overflowed;
  Critical_ += o.CriticalExceeded;
  Insert({SweepSampleKey(o.Index), {o.ProcessTime, o.ODreal, o.ODideal, o.Volume, o.FedTotal,
                                    static_cast<double>(o.Steps)}});
}

void TSweepSummary::Merge(const TSweepSummary& other) {
  Runs_ += other.Runs_;
  Target_ += other.Target_;
  Overflowed_ += other.Overflowed_;
  Critical_ += other.Critical_;
  for (const TEntry& e : other.Heap_) Insert(e);
}

double TSweepSummary::Quantile(int column, double p) const {
  std::vector<double> values;
  values.reserve(Heap_.size());
  for (const TEntry& e : Heap_) values.push_back(e.V[column]);
  std::sort(values.begin(), values.end());
  return SortedQuantile(values, p);
}

void TSweepSummary::Write(std::ostream& out) const {
  char buf[256];
  auto share = [this](long long n) { return Runs_ ? 100.0 * static_cast<double>(n) / static_cast<double>(Runs_) : 0.0; };
  std::snprintf(buf, sizeof buf,
                "Runs:                        %lld\n"
                "Reached the target OD:       %lld (%.2f %%)\n"
                "Overflowed:                  %lld (%.2f %%)\n"
                "Exceeded the critical rate:  %lld (%.2f %%)\n",
                Runs_, Target_, share(Target_), Overflowed_, share(Overflowed_), Critical_, share(Critical_));
  out << buf;
  if (Heap_.size() < static_cast<std::size_t>(Runs_)) {
    std::snprintf(buf, sizeof buf, "Quantiles from a sample of %zu runs\n", Heap_.size());
    out << buf;
  }
  std::snprintf(buf, sizeof buf, "%-14s%16s%16s%16s\n", "Outcome", "median", "5 %", "95 %");
  out << buf;
  const char* names[] = {"ProcessTime", "ODreal", "ODideal", "Volume", "FedTotal", "Steps"};
  for (int c = 0; c < 6; ++c) {
    std::snprintf(buf, sizeof buf, "%-14s%16.8g%16.8g%16.8g\n", names[c], Quantile(c, 0.5), Quantile(c, 0.05),
                  Quantile(c, 0.95));
    out << buf;
  }
}

// ---------------------------------------------------------------------------

TSweepBand::TSweepBand(int kind, double step) : Kind_(kind), Step_(step > 0 ? step : 1) {}

void TSweepBand::Insert(TBin& bin, const TEntry& e) { BottomInsert(bin.Heap, kSweepBandSample, e); }

void TSweepBand::Coarsen() {
  // Time k of step 2h is time 2k of step h: keep the even times.
  for (std::size_t k = 0; 2 * k < Bins_.size(); ++k) Bins_[k] = std::move(Bins_[2 * k]);
  Bins_.resize((Bins_.size() + 1) / 2);
  Step_ *= 2;
}

void TSweepBand::Add(long long index, const TZymra_Run& run) {
  const tDoubleMatrix* first = nullptr;
  const tDoubleMatrix* reference = nullptr;
  switch (Kind_) {
    case 0: first = &run.ODreal, reference = &run.ODrealTheory; break;
    case 1: first = &run.uCell, reference = &run.uCellTheory; break;
    case 2: first = &run.OTRVt, reference = &run.OTRV0; break;
    case 3: first = &run.Volume; break;
    default: first = &run.Substrate; break;
  }
  int rows = std::min(run.Time.Rows(), first->Rows());
  if (reference) rows = std::min(rows, reference->Rows());
  if (rows == 0) return;
  const double end = run.Time.Value(rows - 1);
  while (end / Step_ + 1e-6 >= static_cast<double>(kSweepBandMaxTimes)) Coarsen();
  const std::size_t times = static_cast<std::size_t>(std::floor(end / Step_ + 1e-6)) + 1;
  if (Bins_.size() < times) Bins_.resize(times);
  const std::uint64_t key = SweepSampleKey(index);
  int row = 0;
  for (std::size_t k = 0; k < times; ++k) {
    // The value at time k*step: that of the last row at or before it.
    const double t = (static_cast<double>(k) + 1e-6) * Step_;
    while (row + 1 < rows && run.Time.Value(row + 1) <= t) ++row;
    TEntry e{key, {static_cast<float>(first->Value(row)), reference ? static_cast<float>(reference->Value(row)) : 0.f}};
    ++Bins_[k].Count;
    Insert(Bins_[k], e);
  }
}

void TSweepBand::Merge(const TSweepBand& other) {
  TSweepBand copy(other.Kind_, other.Step_);
  const TSweepBand* source = &other;
  if (other.Step_ < Step_ * (1 - 1e-9)) {
    copy.Bins_ = other.Bins_;
    while (copy.Step_ < Step_ * (1 - 1e-9)) copy.Coarsen();
    source = &copy;
  }
  while (Step_ < source->Step_ * (1 - 1e-9)) Coarsen();
  if (Bins_.size() < source->Bins_.size()) Bins_.resize(source->Bins_.size());
  for (std::size_t k = 0; k < source->Bins_.size(); ++k) {
    Bins_[k].Count += source->Bins_[k].Count;
    for (const TEntry& e : source->Bins_[k].Heap) Insert(Bins_[k], e);
  }
}

TSweepBandCurve TSweepBand::Curve(long long runs, double minShare) const {
  TSweepBandCurve c;
  c.Kind = Kind_;
  const double least = std::max(1.0, std::ceil(minShare * static_cast<double>(runs)));
  std::vector<double> values, reference;
  for (std::size_t k = 0; k < Bins_.size(); ++k) {
    const TBin& bin = Bins_[k];
    if (static_cast<double>(bin.Count) < least || bin.Heap.empty()) continue;
    values.clear();
    reference.clear();
    for (const TEntry& e : bin.Heap) {
      values.push_back(e.V[0]);
      reference.push_back(e.V[1]);
    }
    std::sort(values.begin(), values.end());
    c.Time.push_back(static_cast<double>(k) * Step_);
    c.Median.push_back(SortedQuantile(values, 0.5));
    c.Low.push_back(SortedQuantile(values, 0.05));
    c.High.push_back(SortedQuantile(values, 0.95));
    if (HasReference()) {
      std::sort(reference.begin(), reference.end());
      c.ReferenceMedian.push_back(SortedQuantile(reference, 0.5));
    }
  }
  return c;
}

// ---------------------------------------------------------------------------

void SweepPart(long long count, long long k, long long n, long long& first, long long& last) {
  // 128-bit products: count * k may not fit in 64 bits for the largest sweeps.
  first = static_cast<long long>(static_cast<__int128>(count) * (k - 1) / n);
  last = static_cast<long long>(static_cast<__int128>(count) * k / n);
}

bool RunSweep(const TSweepSpec& plan, const TSweepOptions& options, TSweepResult& result, std::string& error) {
  const long long count = plan.RunCount();
  if (count < 0) {
    error = "the sweep has more than " + std::to_string(kSweepMaxRuns) + " runs";
    return false;
  }
  const long long first = std::clamp(options.First, 0LL, count);
  const long long last = options.Last < 0 ? count : std::clamp(options.Last, first, count);
  result = TSweepResult{};

  auto cancelRequested = [&options] { return options.Cancel && options.Cancel->load(std::memory_order_relaxed); };

  // Every run's values first: bad input ends the sweep before any output.
  TSweepRunValues values;
  for (long long i = first; i < last; ++i) {
    if ((i & 255) == 0 && cancelRequested()) {
      result.Cancelled = true;
      return true;
    }
    if (!SweepRunValues(plan, i, values, error)) return false;
    result.Redraws += values.Redraws;
  }

  int threads = options.Threads > 0 ? options.Threads : static_cast<int>(std::thread::hardware_concurrency());
  threads = static_cast<int>(std::clamp<long long>(threads, 1, std::max(1LL, last - first)));
  result.Threads = threads;

  // Finished outcomes wait in a ring until every lower index is handed out; a worker
  // that runs too far ahead of a slow run waits, so the ring stays bounded. The
  // calling thread is one of the workers and hands the outcomes out between its runs.
  const long long window = 256LL * threads;
  struct TSlot {
    bool Ready = false;
    TSweepOutcome Outcome;
  };
  std::vector<TSlot> ring(static_cast<std::size_t>(window));
  std::mutex m;
  std::condition_variable ready, room;
  long long handed = first;  // under m
  std::atomic<long long> next{first};
  std::atomic<bool> stop{false};
  // Set by the first thread that saw the cancel request; everyone waiting wakes up.
  std::atomic<bool> halt{false};
  auto haltAll = [&] {
    std::lock_guard lock(m);
    halt = true;
    ready.notify_all();
    room.notify_all();
  };
  std::string workerError;

  std::vector<std::vector<TSweepBand>> bands(static_cast<std::size_t>(threads));
  for (auto& b : bands)
    for (int kind : options.BandKinds) b.emplace_back(kind, plan.Params.SimInterval);

  // Runs index i; false when the sweep is to stop.
  auto runOne = [&](std::size_t self, long long i, TZymra_Run& run, TSweepRunValues& v) {
    std::string err;
    if (!SweepRunValues(plan, i, v, err)) {
      std::lock_guard lock(m);
      workerError = err;
      stop = true;
      ready.notify_all();
      room.notify_all();
      return false;
    }
    TRunParameters p = plan.Params;
    TRunBatchParameters b = plan.Batch;
    ApplySweepValues(plan, v.Values, p, b);
    bool cancelled = false;
    TSweepOutcome o = RunSweepRunUnless(run, p, b, v.Seed, plan.MaxSteps, options.Cancel, cancelled);
    if (cancelled) {
      haltAll();
      return false;
    }
    o.Index = i;
    o.Values = v.Values;
    for (TSweepBand& band : bands[self]) band.Add(i, run);
    if (options.Inspect) options.Inspect(i, run);
    if (options.Done) options.Done->fetch_add(1, std::memory_order_relaxed);
    std::lock_guard lock(m);
    TSlot& slot = ring[static_cast<std::size_t>(i % window)];
    slot.Outcome = std::move(o);
    slot.Ready = true;
    if (i == handed) ready.notify_one();
    return true;
  };
  auto work = [&](std::size_t self) {
    TZymra_Run run;
    TSweepRunValues v;
    for (;;) {
      const long long i = next.fetch_add(1);
      if (i >= last || stop.load() || halt.load()) return;
      if (cancelRequested()) {
        haltAll();
        return;
      }
      {
        std::unique_lock lock(m);
        room.wait(lock, [&] { return i < handed + window || stop.load() || halt.load(); });
        if (stop.load() || halt.load()) return;
      }
      if (!runOne(self, i, run, v)) return;
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(work, static_cast<std::size_t>(t));

  // Hands out the outcomes that are next in order; with `wait`, at least one.
  std::vector<TSweepOutcome> batch;
  auto handOut = [&](bool wait) {
    {
      std::unique_lock lock(m);
      if (wait)
        ready.wait(lock, [&] {
          return ring[static_cast<std::size_t>(handed % window)].Ready || stop.load() || halt.load();
        });
      while (handed < last) {
        TSlot& slot = ring[static_cast<std::size_t>(handed % window)];
        if (!slot.Ready) break;
        batch.push_back(std::move(slot.Outcome));
        slot.Ready = false;
        ++handed;
      }
    }
    room.notify_all();
    for (const TSweepOutcome& o : batch) {
      result.Summary.Add(o);
      if (options.OnOutcome) options.OnOutcome(o);
    }
    batch.clear();
  };
  {
    TZymra_Run run;
    TSweepRunValues v;
    for (;;) {
      const long long i = next.fetch_add(1);
      if (i >= last || stop.load() || halt.load()) break;
      if (cancelRequested()) {
        haltAll();
        break;
      }
      for (;;) {
        std::unique_lock lock(m);
        if (i < handed + window || stop.load() || halt.load()) break;
        lock.unlock();
        handOut(true);
      }
      if (stop.load() || halt.load() || !runOne(0, i, run, v)) break;
      handOut(false);
    }
    for (;;) {
      {
        std::lock_guard lock(m);
        if (handed >= last || stop.load() || halt.load()) break;
      }
      handOut(true);
    }
  }
  for (std::thread& t : pool) t.join();
  if (stop.load()) {
    error = workerError;
    return false;
  }
  if (halt.load()) {
    // The runs that ended after the cancel wait beyond a gap: hand them out in order.
    result.Cancelled = true;
    for (long long i = handed; i < last && i < handed + window; ++i) {
      TSlot& slot = ring[static_cast<std::size_t>(i % window)];
      if (!slot.Ready) continue;
      slot.Ready = false;
      result.Summary.Add(slot.Outcome);
      if (options.OnOutcome) options.OnOutcome(slot.Outcome);
    }
  }
  for (std::size_t k = 0; k < options.BandKinds.size(); ++k) {
    for (int t = 1; t < threads; ++t) bands[0][k].Merge(bands[static_cast<std::size_t>(t)][k]);
    result.Curves.push_back(bands[0][k].Curve(result.Summary.Runs()));
  }
  return true;
}
