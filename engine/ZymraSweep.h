#pragma once
// Many copies of one run, each with values of its own, simulated side by side by a
// pool of plain threads and summarised without keeping the runs.
//
// Every run of a sweep is a pure function of the sweep's values, its seed and the
// run's index: the varied values are drawn from a generator seeded by (seed, index),
// and the run's batch lag from a generator of its own (TRandomScope) seeded the same
// way. So the results do not depend on the thread count or on scheduling, a slice of
// the indexes (--part) gives the very rows the whole sweep gives, and each row can be
// replayed alone by `simulate --seed` with its values.
#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "LibZymra.h"

// One varied value: a grid of N values from A to B, or a random draw per run.
struct TSweepVary {
  enum Kind { Grid, Normal, Uniform };
  std::string Name;
  Kind What = Grid;
  double A = 0, B = 0;  // Grid: first and last value; Normal: mean and SD; Uniform: low and high
  long long N = 1;      // Grid only
  std::size_t Offset = 0;
  bool InBatchRecord = false;
};
// "NAME=A:B:N", "NAME=normal:MEAN:SD" or "NAME=uniform:LOW:HIGH" for a numeric input.
bool ParseSweepVary(const std::string& text, TSweepVary& vary, std::string& error);

// A sample that fails the start page's checks is drawn again, at most this often.
constexpr long long kSweepRedrawLimit = 1000;

// Why a run of a sweep ended; the texts go into the State column.
enum class TSweepEnd { TargetReached, CriticalStop, StepLimit, Failed };
const char* SweepEndText(TSweepEnd end);  // "TargetReached", "CriticalStop", "StepLimit", "Failed"

struct TSweepSpec {
  // The common values of every run (defaults and --set).
  TRunParameters Params = DefaultRunParameters();
  TRunBatchParameters Batch = DefaultRunBatchParameters();
  std::vector<TSweepVary> Varies;
  // Runs per grid point; 0: 100 when a value is drawn at random, else 1.
  long long Samples = 0;
  std::uint64_t Seed = 0;
  long long MaxSteps = 1000000;

  long long SamplesPerPoint() const;
  // Grid points x samples; -1 when that exceeds kSweepMaxRuns.
  long long RunCount() const;
};
constexpr long long kSweepMaxRuns = 1000000000000LL;

// The values of run `index`: one per vary, in their order.
struct TSweepRunValues {
  std::vector<double> Values;
  std::uint32_t Seed = 0;  // of the run's batch-lag generator: simulate --seed
  long long Redraws = 0;
};
// False with a one-line reason when a grid point fails the checks or the samples
// keep failing them kSweepRedrawLimit times.
bool SweepRunValues(const TSweepSpec& plan, long long index, TSweepRunValues& out, std::string& error);
void ApplySweepValues(const TSweepSpec& plan, const std::vector<double>& values, TRunParameters& params,
                      TRunBatchParameters& batch);

struct TSweepOutcome {
  long long Index = 0;
  std::uint32_t Seed = 0;
  std::vector<double> Values;
  TSweepEnd End = TSweepEnd::Failed;
  double ProcessTime = 0, ODreal = 0, ODideal = 0, Volume = 0, FedTotal = 0;
  bool CriticalExceeded = false, Overflowed = false;
  long long Steps = 0;
};

// Runs `run` (reset, then given the records) to its end as a headless worker runs it
// with every pause continued: same series, same log. The batch lag draws from a
// generator seeded with `seed`; the program-wide generator is left alone.
TSweepOutcome RunSweepRun(TZymra_Run& run, const TRunParameters& params, const TRunBatchParameters& batch,
                          std::uint32_t seed, long long maxSteps);
// The same, giving up between two steps once *cancel is set (cancelled is then true and
// the run is left where it stopped).
TSweepOutcome RunSweepRun(TZymra_Run& run, const TRunParameters& params, const TRunBatchParameters& batch,
                          std::uint32_t seed, long long maxSteps, const std::atomic<bool>* cancel, bool& cancelled);

// Tab-separated output: the header and one line per run, numbers with 17 digits.
std::string SweepTsvHeader(const std::vector<std::string>& varyNames);
std::string SweepTsvRow(const TSweepOutcome& outcome);

// A sample of at most K entries that does not depend on the order they come in:
// the entries with the K smallest keys, the key a fixed scramble of the run index.
std::uint64_t SweepSampleKey(long long index);

// Shares and quantiles of the outcomes. Exact up to kSweepSummarySample runs; beyond
// that the quantiles come from a uniform sample of that many runs (the same sample
// whichever way the runs were split).
constexpr std::size_t kSweepSummarySample = 100000;
class TSweepSummary {
 public:
  void Add(const TSweepOutcome& outcome);
  void Merge(const TSweepSummary& other);
  long long Runs() const { return Runs_; }
  long long ReachedTarget() const { return Target_; }
  long long Overflowed() const { return Overflowed_; }
  long long CriticalExceeded() const { return Critical_; }
  // p in [0, 1] of outcome column c (0 ProcessTime, 1 ODreal, 2 ODideal, 3 Volume, 4
  // FedTotal, 5 Steps), interpolated between order statistics; NaN without runs.
  double Quantile(int column, double p) const;
  void Write(std::ostream& out) const;

 private:
  struct TEntry {
    std::uint64_t Key;
    double V[6];
  };
  void Insert(const TEntry& e);
  long long Runs_ = 0, Target_ = 0, Overflowed_ = 0, Critical_ = 0;
  std::vector<TEntry> Heap_;  // max-heap by key
};

// Reads a data line under the given header back into an outcome; false for a line
// that does not fit the header.
bool ParseSweepTsvRow(const std::vector<std::string>& header, const std::string& line, TSweepOutcome& out);
std::vector<std::string> SplitTabs(const std::string& line);

// One quantity's course over all runs: per time, a fixed-size sample of the runs
// still going (kSweepBandSample values per time, chosen as in TSweepSummary).
constexpr std::size_t kSweepBandSample = 2048;
constexpr std::size_t kSweepBandMaxTimes = 500;

struct TSweepBandCurve {
  int Kind = 0;
  std::vector<double> Time, Median, Low, High;  // Low 5 %, High 95 %
  std::vector<double> ReferenceMedian;          // the twin culture; empty for kinds 3 and 4
};

class TSweepBand {
 public:
  // kind: as the run chart groups (0 OD real, 1 growth rate, 2 OTR, 3 volume, 4 substrate).
  // step: the time step to start with, doubled whenever more than kSweepBandMaxTimes
  // times would be needed.
  TSweepBand(int kind, double step);
  int Kind() const { return Kind_; }
  bool HasReference() const { return Kind_ <= 2; }
  void Add(long long index, const TZymra_Run& run);
  void Merge(const TSweepBand& other);
  // Times that fewer than minShare of `runs` reached are left out: a band of a handful
  // of late runs says nothing about the spread.
  TSweepBandCurve Curve(long long runs, double minShare = 0.05) const;
  double Step() const { return Step_; }

 private:
  struct TEntry {
    std::uint64_t Key;
    float V[2];
  };
  struct TBin {
    long long Count = 0;
    std::vector<TEntry> Heap;
  };
  void Insert(TBin& bin, const TEntry& e);
  void Coarsen();
  int Kind_;
  double Step_;
  std::vector<TBin> Bins_;
};

struct TSweepOptions {
  int Threads = 0;                    // 0: one per core
  long long First = 0, Last = -1;     // the indexes to run, [First, Last); Last -1: all
  std::vector<int> BandKinds;         // band curves to collect
  // On the calling thread, in index order, while the workers go on.
  std::function<void(const TSweepOutcome&)> OnOutcome;
  // On a worker thread right after run `index` ended (tests look at whole runs).
  std::function<void(long long index, const TZymra_Run& run)> Inspect;
  // Set from any thread to stop the sweep: every worker looks at it between two runs
  // and between two steps of a run, so it stops within a step. A run cut short is
  // dropped; the runs that ended are kept in the summary, the bands and OnOutcome.
  const std::atomic<bool>* Cancel = nullptr;
  // Counts the runs that ended, for a progress display on another thread.
  std::atomic<long long>* Done = nullptr;
};

struct TSweepResult {
  TSweepSummary Summary;
  std::vector<TSweepBandCurve> Curves;
  long long Redraws = 0;
  int Threads = 0;
  // Stopped through TSweepOptions::Cancel: only the runs that ended are in the result.
  bool Cancelled = false;
};

// Slice k (1-based) of n of the indexes 0 .. count-1, as [first, last).
void SweepPart(long long count, long long k, long long n, long long& first, long long& last);

// Checks every run's values first (so bad input fails before any run), then runs the
// sweep. False with a one-line reason when values fail. A cancelled sweep returns true
// with result.Cancelled set; its outcomes are handed out in index order, with gaps
// where runs were cut short or never started.
bool RunSweep(const TSweepSpec& plan, const TSweepOptions& options, TSweepResult& result, std::string& error);
