// Measured data files and fitting a run's constants to them.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "LibZymra.h"
#include "ZymraFit.h"
#include "ZymraMeasured.h"

namespace {
constexpr auto kOD = TMeasuredColumn::ODreal;
constexpr auto kOTR = TMeasuredColumn::OTRVt;

// A default fed batch (no batch phase) with the culture's constants set apart from the
// run's feed design, so a fit starting at the design values has something to find.
TFitProblem FedBatch() {
  TFitProblem p;
  p.Batch.IsBatch = 0;
  p.Batch.Phase = 0;
  return p;
}

TMeasuredData Made(const TFitProblem& truth, double cv, double otrSd, std::uint64_t seed, int replicates = 3,
                   double last = 15) {
  TSyntheticDesign d;
  for (int k = 0; k < 40; ++k) d.Times.push_back(0.25 + (last - 0.25) * k / 39.0);
  d.Replicates = replicates;
  d.Noise[static_cast<int>(kOD)] = cv;
  if (otrSd >= 0) d.Noise[static_cast<int>(kOTR)] = otrSd;
  d.Seed = seed;
  return SyntheticMeasuredData(truth.Params, truth.Batch, d);
}

TFitProblem ThreeConstants(const TMeasuredData& data) {
  TFitProblem p = FedBatch();
  p.Data = {data};
  p.Estimate = {{"Yield_Real"}, {"DryMassPerOD_Real"}, {"FedBatchOD"}};
  return p;
}
}  // namespace

TEST(MeasuredData, ReadsCommentsSeparatorsDecimalCommaEmptyCellsAndReplicates) {
  TMeasuredData d;
  std::string error;
  ASSERT_TRUE(ParseMeasuredData("# made by hand\r\n\nTime\tReplicate\tODreal\tVolume\r\n0\t1\t24,5\t2\r\n"
                                "1,5\t1\t\t2,1\n0\t2\t23\t\n",
                                d, error))
      << error;
  ASSERT_EQ(d.Points.size(), 3u);
  EXPECT_DOUBLE_EQ(d.Points[0].Of(kOD), 24.5);
  EXPECT_DOUBLE_EQ(d.Points[1].Time, 1.5);
  EXPECT_TRUE(std::isnan(d.Points[1].Of(kOD)));
  EXPECT_TRUE(std::isnan(d.Points[2].Of(TMeasuredColumn::Volume)));
  EXPECT_EQ(d.Replicates(), (std::vector<int>{1, 2}));
  EXPECT_EQ(d.ValueCount(), 4);
  EXPECT_TRUE(d.Has(TMeasuredColumn::Volume));
  EXPECT_FALSE(d.Has(TMeasuredColumn::Substrate));

  TMeasuredData c;
  ASSERT_TRUE(ParseMeasuredData("Time,OTRVt\n0.5,30.25\n1,31\n", c, error)) << error;
  EXPECT_DOUBLE_EQ(c.Points[0].Of(kOTR), 30.25);
  EXPECT_EQ(c.Replicates(), std::vector<int>{1});

  // Written and read back unchanged, through a file whose name becomes the source.
  const std::string path = std::string(ZYMRA_TEST_OUTPUT_DIR) + "/measured-roundtrip.tsv";
  std::ofstream(path, std::ios::binary) << MeasuredDataText(d, "two lines\nof comment");
  TMeasuredData back;
  ASSERT_TRUE(ReadMeasuredData(path, back, error)) << error;
  d.Source = path;
  EXPECT_EQ(back, d);
  // One replicate that is not the first keeps its number.
  for (TMeasuredPoint& p : c.Points) p.Replicate = 3;
  std::ofstream(path, std::ios::binary) << MeasuredDataText(c, "");
  ASSERT_TRUE(ReadMeasuredData(path, back, error)) << error;
  EXPECT_EQ(back.Replicates(), std::vector<int>{3});
  std::remove(path.c_str());
}

TEST(MeasuredData, EveryBadFileGivesOneLineNamingLineAndColumnAndImportsNothing) {
  const struct {
    const char* Text;
    const char* Error;
  } cases[] = {
      {"# c\nTime\tODreal\tpH\n0\t1\t7\n", "line 2, column pH: unknown column (expected Time, ODreal, Volume, "
                                           "Substrate, OTRVt or Replicate)"},
      {"Time\tODreal\n0\t1\n1\t1,2x\n", "line 3, column ODreal: \"1,2x\" is not a number"},
      {"Time,Volume\n0,1\n1,2,5\n", "line 3, column 3: 3 cells, but the header names 2 columns"},
      {"Time\tReplicate\tODreal\n0\t1\t1\n2\t1\t1\n0\t2\t1\n1\t1\t2\n",
       "line 5, column Time: time 1 goes back from 2 on line 3 (replicate 1)"},
      {"Time\tReplicate\tODreal\n0\tone\t1\n", "line 2, column Replicate: \"one\" is not a whole number"},
      {"Time\tReplicate\n0\t1\n", "line 1, column 3: no measured column (ODreal, Volume, Substrate or OTRVt) after Time"},
      {"ODreal\tVolume\n1\t2\n", "line 1, column Time: the header names no Time column"},
      {"Time\tODreal\n\t5\n", "line 2, column Time: the time is missing"},
      {"Time\tODreal\n0\tnan\n", "line 2, column ODreal: \"nan\" is not a number"},
      {"Time\tODreal\tODreal\n", "line 1, column ODreal: the column is named twice"},
      {"# nothing but\n# comments\n", "line 2, column Time: no header line (the file has only comments)"},
      {"Time\tODreal\n0\t\n", "line 1, column ODreal: the file has no measured values"},
  };
  for (const auto& c : cases) {
    TMeasuredData d;
    d.Source = "kept";
    d.Points.resize(1);
    const TMeasuredData before = d;
    std::string error;
    EXPECT_FALSE(ParseMeasuredData(c.Text, d, error)) << c.Text;
    EXPECT_EQ(error, c.Error) << c.Text;
    EXPECT_EQ(d, before) << c.Text;
  }
  TMeasuredData d;
  std::string error;
  EXPECT_FALSE(ReadMeasuredData("/nonexistent/m.tsv", d, error));
  EXPECT_EQ(error, "/nonexistent/m.tsv: cannot be opened");
}

TEST(Fit, NoiseFreeDataGiveTheConstantsBackFromAnyStart) {
  TFitProblem truth = FedBatch();
  truth.Params.Yield_Real = 0.45;
  truth.Params.DryMassPerOD_Real = 0.6;
  truth.Params.FedBatchOD = 21;
  TFitProblem p = ThreeConstants(Made(truth, 0, 0, 1, 1));
  const TRunParameters before = p.Params;
  TFitOptions o;
  o.Threads = 2;
  TFitResult r;
  std::string error;
  ASSERT_TRUE(RunFit(p, o, r, error)) << error;
  EXPECT_NEAR(r.Estimate[0], 0.45, 0.45e-6);
  EXPECT_NEAR(r.Estimate[1], 0.6, 0.6e-6);
  EXPECT_NEAR(r.Estimate[2], 21, 21e-6);
  EXPECT_EQ(r.Points, 80);
  EXPECT_GT(r.Evaluations, 0);
  // The records come back with the estimates in them; the problem's stay as they were.
  const double yield = r.Params.Yield_Real, od = r.Params.FedBatchOD;  // packed fields: copied first
  EXPECT_EQ(yield, r.Estimate[0]);
  EXPECT_EQ(od, r.Estimate[2]);
  EXPECT_EQ(std::memcmp(&p.Params, &before, sizeof before), 0);
}

TEST(Fit, SeededNoiseLeavesTheTrueValuesInsideTheIntervalsWhateverTheThreadCount) {
  const TFitProblem truth = FedBatch();
  TFitProblem p = ThreeConstants(Made(truth, 0.05, 2, 11));
  p.Params.Yield_Real = 0.55;  // a start away from the truth
  const double trueValues[] = {truth.Params.Yield_Real, truth.Params.DryMassPerOD_Real, truth.Params.FedBatchOD};
  TFitResult one, two;
  std::string error;
  TFitOptions o;
  o.Seed = 5;
  o.Threads = 1;
  ASSERT_TRUE(RunFit(p, o, one, error)) << error;
  o.Threads = 2;
  ASSERT_TRUE(RunFit(p, o, two, error)) << error;
  EXPECT_EQ(one.Estimate, two.Estimate);
  EXPECT_EQ(one.CIHigh, two.CIHigh);
  EXPECT_EQ(one.Points, 240);
  EXPECT_EQ(one.Quantile, 't');
  EXPECT_EQ(one.DegreesOfFreedom, 237);
  for (int j = 0; j < 3; ++j) {
    EXPECT_LT(one.CILow[j], trueValues[j]) << one.Names[j];
    EXPECT_GT(one.CIHigh[j], trueValues[j]) << one.Names[j];
    EXPECT_GT(one.StdError[j], 0);
    EXPECT_DOUBLE_EQ(one.Correlation[j][j], 1);
  }
  // Both error levels were estimated near the noise that was added.
  EXPECT_TRUE(one.ErrorEstimated[0] && one.ErrorEstimated[3]);
  EXPECT_NEAR(one.ErrorLevel[0], 0.05, 0.01);
  EXPECT_NEAR(one.ErrorLevel[3], 2, 0.4);
  ASSERT_EQ(one.Residuals.size(), 240u);
  const TFitResidual& last = one.Residuals.back();
  EXPECT_DOUBLE_EQ(last.Residual, last.Measured - last.Simulated);
  EXPECT_DOUBLE_EQ(last.Weighted, last.Residual / last.Sigma);

  // The profile intervals hold the estimate and, here, the truth as well.
  o.Profile = true;
  TFitResult prof;
  ASSERT_TRUE(RunFit(p, o, prof, error)) << error;
  for (int j = 0; j < 3; ++j) {
    EXPECT_LT(prof.ProfileLow[j], trueValues[j]);
    EXPECT_GT(prof.ProfileHigh[j], trueValues[j]);
    EXPECT_LT(prof.ProfileLow[j], prof.Estimate[j]);
  }
}

TEST(Fit, WarnsWhenTheDataCannotTellTwoConstantsApartOrBoundOne) {
  // OD alone sees the yield and the dry mass per OD only through their ratio.
  TFitProblem p = FedBatch();
  p.Data = {Made(FedBatch(), 0.03, -1, 2, 2)};
  p.Estimate = {{"Yield_Real"}, {"DryMassPerOD_Real"}};
  TFitOptions o;
  o.Profile = true;
  TFitResult r;
  std::string error;
  ASSERT_TRUE(RunFit(p, o, r, error)) << error;
  EXPECT_GT(std::fabs(r.Correlation[0][1]), 0.95);
  bool pair = false, flat = false;
  for (const std::string& w : r.Warnings) {
    pair = pair || w.rfind("Yield_Real and DryMassPerOD_Real cannot be told apart by these data (correlation", 0) == 0;
    flat = flat || w.find("stays within the 95 % level up to its") != std::string::npos;
  }
  EXPECT_TRUE(pair);
  EXPECT_TRUE(flat);

  // A batch constant in a run without a batch does nothing at all.
  p.Estimate = {{"Yield_Real"}, {"Batchumax"}};
  o.Profile = false;
  ASSERT_TRUE(RunFit(p, o, r, error)) << error;
  EXPECT_TRUE(std::isinf(r.StdError[1]));
  ASSERT_FALSE(r.Warnings.empty());
  EXPECT_EQ(r.Warnings[0], "Batchumax has no visible effect on the simulated values at the measured times, alone or "
                           "together with the others: these data cannot determine it.");
}

TEST(Fit, PointsAfterTheRunEndedAreComparedWithItsLastRow) {
  // The run reaches the target OD at 15.25 h; values measured until 20 h.
  TFitProblem p = FedBatch();
  p.Data = {Made(FedBatch(), 0, -1, 3, 1, 20)};
  p.Params.Yield_Real = 0.55;
  p.Estimate = {{"Yield_Real"}};
  TFitResult r;
  std::string error;
  ASSERT_TRUE(RunFit(p, TFitOptions{}, r, error)) << error;
  EXPECT_NEAR(r.Estimate[0], 0.506, 0.506e-6);
  int beyond = 0;
  for (const TFitResidual& res : r.Residuals) {
    beyond += res.BeyondRun;
    EXPECT_EQ(res.BeyondRun, res.Time > 15.25);
    if (res.BeyondRun) {
      EXPECT_EQ(res.Simulated, r.Residuals.back().Simulated);
    }
  }
  EXPECT_EQ(beyond, 10);
  bool warned = false;
  for (const std::string& w : r.Warnings)
    warned = warned || w == "10 measured value(s) lie after the simulated run ended at 15.25 h; each is compared "
                            "with the run's last row.";
  EXPECT_TRUE(warned);
}

TEST(Fit, RefusesWhatTheStartPageRefusesAndStopsWhenCancelled) {
  TFitProblem p = FedBatch();
  p.Data = {Made(FedBatch(), 0.05, -1, 4, 1)};
  const struct {
    TFitParameter Estimate;
    const char* Error;
  } refused[] = {
      {{"Yield_Real", 0.2, 1.2}, "Yield_Real=1.2: Real Substrate Yield is out of bounds"},
      {{"Maintenance_Real", -0.01, 0.05}, "Maintenance_Real=-0.01: Real Maintenance Yield is out of bounds"},
      {{"Batchumax", 0, 1}, "Batchumax: the lower bound must be above 0, not 0"},
      {{"CSubstr_Real", 800, 700}, "CSubstr_Real: the lower bound 800 is not below the upper bound 700"},
      {{"Uset"}, "'Uset' cannot be estimated"},
  };
  for (const auto& c : refused) {
    p.Estimate = {c.Estimate};
    std::string error;
    TFitResult r;
    EXPECT_FALSE(RunFit(p, TFitOptions{}, r, error));
    EXPECT_EQ(error, c.Error);
  }
  p.Estimate = {{"Yield_Real"}, {"Yield_Real"}};
  std::string error;
  EXPECT_FALSE(CheckFitProblem(p, error));
  EXPECT_EQ(error, "Yield_Real is to be estimated twice");

  // Cancelled from another thread while it runs: it stops within a few evaluations.
  p.Estimate = {{"Yield_Real"}, {"FedBatchOD"}};
  TFitResult full;
  ASSERT_TRUE(RunFit(p, TFitOptions{}, full, error)) << error;
  std::atomic<bool> cancel{false};
  std::atomic<long long> done{0};
  TFitOptions o;
  o.Threads = 2;
  o.Cancel = &cancel;
  o.Evaluations = &done;
  std::thread watcher([&] {
    while (done.load() < 20) std::this_thread::yield();
    cancel = true;
  });
  TFitResult r;
  EXPECT_FALSE(RunFit(p, o, r, error));
  watcher.join();
  EXPECT_TRUE(r.Cancelled);
  EXPECT_EQ(error, "the fit was cancelled");
  EXPECT_GE(r.Evaluations, 20);
  EXPECT_LT(r.Evaluations, full.Evaluations / 4);
  EXPECT_LT(full.Evaluations, FitEvaluationBudget(p, o));
}
