// Sweeps: each run equals the run made alone, whatever the threads; quantiles, bands and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

#include "LibZymra.h"
#include "ZymraHeadless.h"
#include "ZymraSweep.h"

namespace {
TSweepVary Vary(const std::string& text) {
  TSweepVary v;
  std::string error;
  EXPECT_TRUE(ParseSweepVary(text, v, error)) << error;
  return v;
}

std::string G17(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

struct TWhole {
  std::string Series, Log;
};

// Runs the sweep and keeps the series and log of the chosen runs, and every row.
std::map<long long, TWhole> Sweep(const TSweepSpec& plan, int threads, const std::vector<long long>& keep,
                                  std::vector<std::string>* rows = nullptr, TSweepResult* out = nullptr) {
  std::map<long long, TWhole> kept;
  std::mutex m;
  TSweepOptions options;
  options.Threads = threads;
  options.Inspect = [&](long long index, const TZymra_Run& run) {
    for (long long k : keep)
      if (k == index) {
        std::ostringstream series;
        WriteSeriesTable(run, series);
        std::lock_guard lock(m);
        kept[index] = {series.str(), run.EventLog};
      }
  };
  if (rows) options.OnOutcome = [rows](const TSweepOutcome& o) { rows->push_back(SweepTsvRow(o)); };
  TSweepResult result;
  std::string error;
  EXPECT_TRUE(RunSweep(plan, options, result, error)) << error;
  if (out) *out = result;
  return kept;
}

// The run as `simulate` makes it: a project's run with the values set by name, the
// program-wide generator seeded, driven by its worker.
TWhole Alone(const std::vector<std::pair<std::string, std::string>>& sets, std::uint32_t seed) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* run = project.AddRun();
  RandSeed(seed);
  for (const auto& [name, value] : sets) {
    std::string error;
    EXPECT_TRUE(SetRunField(*run, name, value, error)) << error;
  }
  RunHeadless(sync, {run}, THeadlessOptions{});
  std::ostringstream series;
  WriteSeriesTable(*run, series);
  return {series.str(), run->EventLog};
}

void ExpectRunsAlone(const TSweepSpec& plan, const std::vector<std::pair<std::string, std::string>>& common,
                     const std::vector<long long>& indexes) {
  const auto one = Sweep(plan, 1, indexes);
  const auto two = Sweep(plan, 2, indexes);
  for (long long i : indexes) {
    TSweepRunValues values;
    std::string error;
    ASSERT_TRUE(SweepRunValues(plan, i, values, error)) << error;
    auto sets = common;
    for (std::size_t k = 0; k < plan.Varies.size(); ++k) sets.emplace_back(plan.Varies[k].Name, G17(values.Values[k]));
    const TWhole alone = Alone(sets, values.Seed);
    ASSERT_EQ(one.count(i), 1u);
    EXPECT_EQ(one.at(i).Series, alone.Series) << "run " << i;
    EXPECT_EQ(one.at(i).Log, alone.Log) << "run " << i;
    EXPECT_EQ(two.at(i).Series, alone.Series) << "run " << i << ", two threads";
    EXPECT_EQ(two.at(i).Log, alone.Log) << "run " << i << ", two threads";
  }
}
}  // namespace

TEST(Sweep, SampledRunsWithBatchLagEqualTheRunMadeAlone) {
  TSweepSpec plan;  // with the batch phase: its random end must come from the run's own generator
  plan.Varies = {Vary("Yield_Real=normal:0.5:0.04"), Vary("CSubstr_Real=uniform:650:850")};
  plan.Samples = 9;
  plan.Seed = 12345;
  ExpectRunsAlone(plan, {}, {0, 4, 8});
}

TEST(Sweep, GridRunsEqualTheRunMadeAlone) {
  TSweepSpec plan;
  plan.Batch.IsBatch = 0;
  plan.Params.DischargeEachh = 0;
  plan.Params.TargetOD = 60;
  plan.Varies = {Vary("Uset=0.05:0.14:4"), Vary("Maintenance_Real=0:0.05:3")};
  ExpectRunsAlone(plan, {{"IsBatch", "0"}, {"DischargeEachh", "0"}, {"TargetOD", "60"}}, {0, 5, 11});
}

TEST(Sweep, RowsDoNotDependOnThreadsOrSlices) {
  TSweepSpec plan;
  plan.Varies = {Vary("Yield=0.45:0.55:3"), Vary("Yield_Real=normal:0.5:0.05")};
  plan.Samples = 5;
  plan.Seed = 7;
  plan.MaxSteps = 150;
  ASSERT_EQ(plan.RunCount(), 15);
  std::vector<std::string> one, two, parts;
  Sweep(plan, 1, {}, &one);
  Sweep(plan, 2, {}, &two);
  ASSERT_EQ(one.size(), 15u);
  EXPECT_EQ(one, two);
  for (long long k = 1; k <= 4; ++k) {
    TSweepOptions options;
    SweepPart(plan.RunCount(), k, 4, options.First, options.Last);
    options.OnOutcome = [&parts](const TSweepOutcome& o) { parts.push_back(SweepTsvRow(o)); };
    TSweepResult result;
    std::string error;
    ASSERT_TRUE(RunSweep(plan, options, result, error)) << error;
  }
  EXPECT_EQ(parts, one);
  // Rows read back give the outcomes they were written from.
  std::string header = SweepTsvHeader({"Yield", "Yield_Real"});
  header.pop_back();  // the line end
  const std::vector<std::string> columns = SplitTabs(header);
  TSweepOutcome o;
  std::string line = one[3];
  line.pop_back();
  ASSERT_TRUE(ParseSweepTsvRow(columns, line, o));
  EXPECT_EQ(SweepTsvRow(o), one[3]);
  EXPECT_FALSE(ParseSweepTsvRow(columns, "3\t1\t0.5", o));
}

TEST(Sweep, QuantilesOfAMonotoneOutcomeFallOnTheRightRuns) {
  // A faster set rate reaches the target sooner: the process time falls with Uset, so
  // its quantiles are the times of the runs at the mirrored Uset quantiles.
  TSweepSpec plan;
  plan.Batch.IsBatch = 0;
  plan.Params.DischargeEachh = 0;
  plan.Params.uCritical = 0.5;
  plan.Varies = {Vary("Uset=0.05:0.25:21")};
  std::map<long long, double> times;
  TSweepOptions options;
  options.OnOutcome = [&times](const TSweepOutcome& o) { times[o.Index] = o.ProcessTime; };
  TSweepResult result;
  std::string error;
  ASSERT_TRUE(RunSweep(plan, options, result, error)) << error;
  for (long long i = 1; i < 21; ++i) ASSERT_LE(times[i], times[i - 1]);
  // 21 runs: the 5 % quantile lies on the second smallest (rank 0.05 x 20 = 1).
  EXPECT_EQ(result.Summary.Quantile(0, 0.05), times[19]);
  EXPECT_EQ(result.Summary.Quantile(0, 0.5), times[10]);
  EXPECT_EQ(result.Summary.Quantile(0, 0.95), times[1]);
  EXPECT_EQ(result.Summary.ReachedTarget(), 21);

  // Drawn uniformly: the time quantiles are the times at the mirrored quantiles of the
  // drawn rates, within the one step by which neighbouring runs may differ.
  TSweepSpec drawn = plan;
  drawn.Varies = {Vary("Uset=uniform:0.05:0.25")};
  drawn.Samples = 400;
  drawn.Seed = 99;
  std::vector<double> usets;
  options.OnOutcome = [&usets](const TSweepOutcome& o) { usets.push_back(o.Values[0]); };
  ASSERT_TRUE(RunSweep(drawn, options, result, error)) << error;
  std::sort(usets.begin(), usets.end());
  TZymra_Run run;
  auto timeAtQuantile = [&](double p) {
    const double at = p * static_cast<double>(usets.size() - 1);
    const std::size_t lo = static_cast<std::size_t>(at);
    TRunParameters params = plan.Params;
    params.Uset = usets[lo] + (at - static_cast<double>(lo)) * (usets[lo + 1] - usets[lo]);
    return RunSweepRun(run, params, plan.Batch, 1, 100000).ProcessTime;
  };
  EXPECT_GT(usets.front(), 0.05);
  EXPECT_LT(usets.back(), 0.25);
  EXPECT_NEAR(result.Summary.Quantile(0, 0.5), timeAtQuantile(0.5), 0.26);
  EXPECT_NEAR(result.Summary.Quantile(0, 0.05), timeAtQuantile(0.95), 0.26);
  EXPECT_NEAR(result.Summary.Quantile(0, 0.95), timeAtQuantile(0.05), 0.26);
}

TEST(Sweep, BandOfIdenticalRunsIsTheRunItself) {
  TSweepSpec plan;
  plan.Batch.IsBatch = 0;
  plan.Params.DischargeEachh = 0;
  plan.Samples = 6;
  TSweepOptions options;
  options.BandKinds = {0, 3};
  options.Threads = 2;
  TSweepResult result;
  std::string error;
  ASSERT_TRUE(RunSweep(plan, options, result, error)) << error;
  TZymra_Run run;
  RunSweepRun(run, plan.Params, plan.Batch, 1, 100000);
  ASSERT_EQ(result.Curves.size(), 2u);
  const TSweepBandCurve& od = result.Curves[0];
  ASSERT_EQ(static_cast<int>(od.Time.size()), run.Time.Rows());
  for (int row = 0; row < run.Time.Rows(); row += 7) {
    EXPECT_DOUBLE_EQ(od.Time[row], row * 0.25);
    EXPECT_FLOAT_EQ(od.Median[row], run.ODreal.Value(row));
    EXPECT_FLOAT_EQ(od.Low[row], run.ODreal.Value(row));
    EXPECT_FLOAT_EQ(od.High[row], run.ODreal.Value(row));
    EXPECT_FLOAT_EQ(od.ReferenceMedian[row], run.ODrealTheory.Value(row));
  }
  EXPECT_TRUE(result.Curves[1].ReferenceMedian.empty());
  EXPECT_FLOAT_EQ(result.Curves[1].Median.back(), run.Volume.Last());
}

TEST(Sweep, BandsSplitAndMergedAgreeAndLongRunsCoarsenTheTimes) {
  TSweepSpec plan;
  plan.Batch.IsBatch = 0;
  plan.Params.DischargeEachh = 0;
  TZymra_Run run;
  TSweepBand whole(0, 0.25), a(0, 0.25), b(0, 0.25);
  for (long long i = 0; i < 30; ++i) {
    TRunParameters p = plan.Params;
    p.Yield_Real = 0.4 + 0.01 * static_cast<double>(i);
    p.TargetOD = i == 29 ? 1e9 : 100;  // one run goes on for the full step limit
    RunSweepRun(run, p, plan.Batch, 1, i == 29 ? 2000 : 100000);
    whole.Add(i, run);
    (i % 3 ? a : b).Add(i, run);
  }
  EXPECT_GT(whole.Step(), 0.25);
  a.Merge(b);
  const TSweepBandCurve x = whole.Curve(30, 0), y = a.Curve(30, 0);
  EXPECT_EQ(x.Time, y.Time);
  EXPECT_EQ(x.Median, y.Median);
  EXPECT_EQ(x.High, y.High);
  EXPECT_LE(x.Time.size(), kSweepBandMaxTimes);
  // Left out where fewer than 5 % of the runs are still going.
  EXPECT_LT(whole.Curve(30).Time.size(), x.Time.size());
}

TEST(Sweep, RedrawsKeepEverySampleWithinTheChecks) {
  TSweepSpec plan;
  plan.Batch.IsBatch = 0;
  plan.Varies = {Vary("Uset=normal:0.13:0.03")};  // a fifth lies at or above uCritical 0.15
  plan.Samples = 200;
  plan.Seed = 4;
  plan.MaxSteps = 5;
  std::vector<double> usets;
  TSweepOptions options;
  options.OnOutcome = [&usets](const TSweepOutcome& o) { usets.push_back(o.Values[0]); };
  TSweepResult result;
  std::string error;
  ASSERT_TRUE(RunSweep(plan, options, result, error)) << error;
  EXPECT_GT(result.Redraws, 20);
  EXPECT_LT(result.Redraws, 120);
  ASSERT_EQ(usets.size(), 200u);
  for (double u : usets) EXPECT_LT(u, 0.15);
}

TEST(Sweep, BadInputIsRefusedWithOneLine) {
  TSweepVary v;
  std::string error;
  for (const char* bad : {"Nope=1:2:3", "Uset=0.2:0.1:3", "Uset=0.1:0.2:0", "Uset=normal:0.1:-0.01",
                          "Uset=uniform:0.2:0.1", "IsBatch=0:1:2", "Title=1:2:3", "Uset=0.1:0.2", "Uset",
                          "Uset=a:0.2:3", "Uset=0.1:0.2:2.5"}) {
    error.clear();
    EXPECT_FALSE(ParseSweepVary(bad, v, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
  // A distribution that never passes the checks, and a grid point that fails them.
  TSweepSpec plan;
  plan.Varies = {Vary("Uset=uniform:2:3")};
  TSweepResult result;
  EXPECT_FALSE(RunSweep(plan, TSweepOptions{}, result, error));
  EXPECT_NE(error.find("1000 redraws"), std::string::npos) << error;
  plan.Varies = {Vary("Uset=0.1:0.2:3")};
  EXPECT_FALSE(RunSweep(plan, TSweepOptions{}, result, error));
  EXPECT_NE(error.find("run 1 (Uset=0.15000000000000002)"), std::string::npos) << error;
  EXPECT_NE(error.find("critical is too high"), std::string::npos) << error;
}
