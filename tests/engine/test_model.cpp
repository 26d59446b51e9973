// The model against a second, plain evaluation of its formulas, and against the
// figures a process engineer expects from the default cultivation.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "LibZymra.h"
#include "ZymraHeadless.h"
#include "ZymraModel.h"

namespace {

// A deliberately plain re-evaluation: vectors, local variables, no shared helpers.
struct Reference {
  TRunParameters p;
  TRunBatchParameters b;
  std::vector<double> t, odr, odi, uod, ucell, vol, feed, otr0, otrt, odrTh, odiTh, uodTh, ucellTh, subs;
  double t0 = 0, corrTime = 0, xpr = 0, xth = 0;
  bool finished = false, overflow = false, critical = false, pause = false;
  std::uint32_t seed = 0;

  static double last(const std::vector<double>& v) { return v.empty() ? 0.0 : v.back(); }

  double feedConst(int kind) const {
    if (kind == 1)
      return (p.Uset / p.Yield_Real + p.Maintenance_Real) * p.ReactorVol * p.FedBatchOD * p.DryMassPerOD_Real;
    if (corrTime == 0) return p.DryMassPerOD * ((p.Uset / p.Yield + p.Maintenance) * p.ReactorVol * p.FedBatchOD);
    return (p.Uset / p.Yield + p.Maintenance) * b.CorrVol * b.CorrOD * p.DryMassPerOD;
  }
  double guess(int kind, double x) const {
    double bb = feedConst(kind);
    if (kind == 0) bb = bb * p.CSubstr_Real / p.CSubstr;
    const double dt = p.SimInterval;
    const double d = kind == 0 ? last(t) - t0 - corrTime : last(t) - t0;
    for (int k = 1;; ++k) {
      const double mu = k * 0.01 + 0.1;
      const double fed = (std::exp(p.Uset * d) - std::exp((d - dt) * p.Uset)) * (bb / p.Uset);
      const double cons = (std::exp(mu * dt) - 1) * ((1 / p.Yield_Real + p.Maintenance_Real / mu) * x * last(vol));
      if (fed - cons < 0) return mu;
    }
  }
  double solve(int kind, double x) const {
    double bb = 0;
    if (b.Phase != 2 && b.Phase != 3) {
      bb = feedConst(kind);
      if (kind == 0) bb = bb * p.CSubstr_Real / p.CSubstr;
    }
    const double e = last(subs) + bb;
    const double dt = p.SimInterval;
    const double d = kind == 0 ? last(t) - t0 - corrTime : last(t) - t0;
    const double Y = p.Yield_Real, m = p.Maintenance_Real, V = last(vol);
    double mu = guess(kind, x);
    for (int i = 0; i < 50; ++i) {
      const double C = std::exp(mu * dt), D = 1 / Y + m / mu;
      const double g = (std::exp(p.Uset * d) - std::exp((d - dt) * p.Uset)) * (e / p.Uset) - (C - 1) * (D * x * V);
      const double den = (C * D * dt + (C - 1) * (m / (mu * mu))) * (x * V);
      mu = g / den + mu;
    }
    return mu;
  }
  void init() {
    b.Phase = b.IsBatch ? 1 : 0;
    for (auto* v : {&t, &ucell, &uod, &ucellTh, &uodTh}) v->push_back(0);
    const double od0 = b.Phase == 0 ? p.FedBatchOD : b.BatchOD;
    for (auto* v : {&odi, &odr, &odiTh, &odrTh}) v->push_back(od0);
    vol.push_back(b.Phase == 1 ? b.BatchStartVol : p.ReactorVol);
    subs.push_back(b.Phase == 1 ? b.BatchSubConc : 0);
    for (auto* v : {&feed, &otr0, &otrt}) v->push_back(0);
    xpr = xth = last(odrTh) * p.DryMassPerOD_Real;
  }
  void step() {
    const double dt = p.SimInterval, V = last(vol);
    const double tn = last(t) + dt;
    t.push_back(tn);
    auto win = [&](double x) { return tn <= x && x < tn + dt; };
    const bool refill = p.RefillNow ? p.RefillAmount > 0 : win(p.LastRefill + p.RefillEachh) && p.RefillAmount > 0;
    const bool discharge =
        p.DischargeNow ? p.DischargeAmount > 0 : win(p.LastDischarge + p.DischargeEachh) && p.DischargeAmount > 0;
    double rA = 0, dA = 0;
    if (refill) {
      p.RefillAmount = std::max(0.0, std::min(p.ReactorSize - V, +p.RefillAmount));
      rA = p.RefillAmount;
      p.LastRefill = tn;
    }
    if (discharge) {
      p.DischargeAmount = std::min(V / 2, +p.DischargeAmount);
      dA = p.DischargeAmount;
      p.LastDischarge = tn;
    }
    if (!critical && last(ucell) > p.uCritical && last(odr) > b.ODCritical) critical = true;
    const bool fedBatch = b.Phase == 0 || b.Phase == 5;
    double mu, muTh, f;
    if (!fedBatch) {
      const double S = last(subs);
      double consumed = 0;
      muTh = 0;
      if (b.Phase == 2 || b.Phase == 3) {
        consumed = (std::exp(b.Batchumax * dt) - 1) * ((1 / p.Yield_Real + p.Maintenance_Real / b.Batchumax) * xpr);
        if (consumed > S) {
          b.Phase = 3;
          muTh = solve(1, xpr);
        } else {
          muTh = b.Batchumax;
        }
      }
      subs.push_back(std::max(S - consumed, 0.0));
      mu = muTh;
      f = 0;
    } else {
      mu = solve(0, xpr);
      muTh = solve(1, xth);
      subs.push_back(0);
      const double d = tn - t0 - corrTime;
      f = (std::exp(p.Uset * d) - std::exp((d - dt) * p.Uset)) * feedConst(0) / p.Uset / p.CSubstr / dt;
    }
    ucell.push_back(mu);
    ucellTh.push_back(muTh);
    feed.push_back(f);
    const double Vf = V + f * dt;
    const double Bth = V * xth * std::exp(muTh * dt), Bpr = V * xpr * std::exp(mu * dt);
    otr0.push_back(mu * (Bth / Vf) / p.Yxo / 0.032);
    otrt.push_back(mu * (Bpr / Vf) / p.Yxo / 0.032);
    const double uo = (std::log(Bpr / (Vf + rA)) - std::log(xpr)) / dt;
    const double uoTh = (std::log(Bth / (Vf + rA)) - std::log(xth)) / dt;
    uod.push_back(uo);
    uodTh.push_back(uoTh);
    odr.push_back(last(odr) * std::exp(uo * dt));
    odrTh.push_back(last(odrTh) * std::exp(uoTh * dt));
    if (fedBatch) {
      odi.push_back(std::exp((tn - t0) * p.Uset) * p.FedBatchOD);
      odiTh.push_back(odi.back());
    } else {
      odi.push_back(last(odr));
      odiTh.push_back(last(odrTh));
    }
    vol.push_back(Vf - dA + rA);
    const double k = (Vf - dA) / Vf;
    xpr = Bpr * k / last(vol);
    xth = Bth * k / last(vol);
    if (b.FeedCorrection) {
      b.CorrOD = last(odr);
      b.CorrVol = last(vol);
      corrTime = tn - t0;
      b.FeedCorrection = 0;
    }
    p.RefillNow = p.DischargeNow = 0;
    pause = false;
    overflow = last(vol) > p.ReactorSize;
    finished = last(odr) >= p.TargetOD || (critical && p.StopByuCrit);
    if (finished) overflow = false;
    if (b.Phase == 1) {
      const int n = static_cast<int>(std::trunc(2 / dt));
      seed = seed * 134775813u + 1u;
      if (n <= 0 || ((static_cast<std::uint64_t>(seed) * static_cast<std::uint32_t>(n)) >> 32) == 0) b.Phase = 2;
    } else if (b.Phase == 2 || b.Phase == 3) {
      if (last(subs) == 0) {
        b.Phase = 4;
        t0 = tn;
      }
    } else if (b.Phase == 4) {
      b.Phase = 5;
      p.FedBatchOD = last(odr);
      p.ReactorVol = last(vol);
      t0 = tn;
      pause = true;
    }
  }
};

void ExpectClose(const std::vector<double>& expected, const tDoubleMatrix& actual, const char* name) {
  ASSERT_EQ(static_cast<int>(expected.size()), actual.Rows()) << name;
  for (int i = 0; i < actual.Rows(); ++i) {
    const double e = expected[static_cast<std::size_t>(i)], a = actual.Value(i);
    ASSERT_TRUE(std::isfinite(a)) << name << " row " << i;
    ASSERT_LE(std::fabs(a - e), 1e-9 * std::max(1.0, std::fabs(e))) << name << " row " << i;
  }
}

// Drives the engine's model and the reference side by side; `before` may set requests.
void Compare(TZymra_Run& run, int maxSteps, std::uint32_t seed,
             const std::function<void(int step, TZymra_Run&, Reference&)>& before = nullptr) {
  Reference ref;
  ref.p = run.Params;
  ref.b = run.BatchParams;
  ref.seed = seed;
  RandSeed(seed);
  InitRun(run);
  ref.init();
  double xpr = run.ODrealTheory.Last() * run.Params.DryMassPerOD_Real, xth = xpr;
  for (int i = 0; i < maxSteps; ++i) {
    if (before) before(i, run, ref);
    Step(run, xpr, xth);
    ref.step();
    ASSERT_EQ(+run.BatchParams.Phase, +ref.b.Phase) << "step " << i;
    ASSERT_EQ(+run.Params.Finished != 0, ref.finished) << "step " << i;
    ASSERT_EQ(+run.Params.Overflowing != 0, ref.overflow) << "step " << i;
    if (run.Params.Finished) break;
  }
  const std::vector<double>* refs[] = {&ref.t,    &ref.odr,  &ref.odi,  &ref.uod,   &ref.ucell,   &ref.vol,
                                       &ref.feed, &ref.otr0, &ref.otrt, &ref.odrTh, &ref.odiTh, &ref.uodTh,
                                       &ref.ucellTh, &ref.subs};
  for (int s = 0; s < kRunSeriesCount; ++s) ExpectClose(*refs[s], run.Series(s), kRunSeriesNames[s]);
}

int CountEntries(const std::string& log, const std::string& text) {
  int n = 0;
  for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
  return n;
}
}  // namespace

TEST(Model, FirstStepsOfTheDefaultFedBatch) {
  TZymra_Run run;
  run.BatchParams.IsBatch = 0;
  run.Params.DischargeEachh = 0;
  InitRun(run);
  EXPECT_EQ(run.EventLog, "0:00:00 [h:mm:ss]\t= t0 - Feed Constant: Cf = 0.0074 l\r\n");
  double xpr = run.ODrealTheory.Last() * run.Params.DryMassPerOD_Real, xth = xpr;
  EXPECT_NEAR(GuessGrowthRate(run, 0, xpr), 0.11, 1e-12);
  Step(run, xpr, xth);
  EXPECT_DOUBLE_EQ(run.Time.Last(), 0.25);
  EXPECT_NEAR(run.uCell.Last(), 0.1, 1e-9);
  EXPECT_NEAR(run.FeedRate.Last(), 0.0075025, 5e-8);
  EXPECT_NEAR(run.Volume.Last(), 2.001876, 5e-7);
  EXPECT_NEAR(run.uOD.Last(), 0.096251, 5e-7);
  EXPECT_NEAR(run.ODreal.Last(), 24.58451, 5e-6);
  EXPECT_NEAR(run.ODideal.Last(), 24.60756, 5e-6);
  EXPECT_NEAR(run.OTRVt.Last(), 24.969, 5e-4);
  Step(run, xpr, xth);
  EXPECT_NEAR(run.FeedRate.Last(), 0.0076924, 5e-8);
  EXPECT_NEAR(run.ODreal.Last(), 25.18268, 5e-6);
}

TEST(Model, DefaultFedBatchReachesTheTargetAt1575Hours) {
  TZymra_Run run;
  run.BatchParams.IsBatch = 0;
  run.Params.DischargeEachh = 0;
  Compare(run, 1000, 1);
  EXPECT_EQ(StepCount(run), 63);
  EXPECT_DOUBLE_EQ(run.Time.Last(), 15.75);
  EXPECT_GE(run.ODreal.Last(), 100);
  EXPECT_NEAR(run.Volume.Last(), 2.28, 0.01);
  for (int i = 1; i < run.uCell.Rows(); ++i) EXPECT_NEAR(run.uCell.Value(i), 0.1, 1e-9);
  EXPECT_EQ(run.EventLog.rfind("15:45:00 [h:mm:ss]\t" + std::string(kLogTargetReached), 0), 0u);
}

TEST(Model, MatchesTheReferenceWithTheDefaultBatch) {
  for (std::uint32_t seed : {1u, 42u, 2024u}) {
    TZymra_Run run;
    Compare(run, 5000, seed);
    ASSERT_EQ(+run.Params.Finished, 1);
    EXPECT_EQ(CountEntries(run.EventLog, kLogBatchFinished), 1);
  }
}

TEST(Model, BatchGrowsAtMaxRateThenLimitsAndHandsOver) {
  TZymra_Run run;
  run.Params.DischargeEachh = 0;  // samples would take volume away
  RandSeed(7);
  InitRun(run);
  double xpr = run.ODrealTheory.Last() * run.Params.DryMassPerOD_Real, xth = xpr;
  int unlimited = 0, limited = 0;
  double lastLimitedRate = 0;
  while (run.BatchParams.Phase != 5) {
    const std::uint8_t phase = run.BatchParams.Phase;
    Step(run, xpr, xth);
    if (phase == 2 && run.BatchParams.Phase == 2) ++unlimited;
    if (run.BatchParams.Phase == 3 || (phase == 2 && run.BatchParams.Phase == 4)) {
      if (run.uCell.Last() != 0.45) {
        ++limited;
        lastLimitedRate = run.uCell.Last();
      }
    }
    ASSERT_LT(run.Time.Rows(), 2000);
  }
  EXPECT_NEAR(unlimited * 0.25, 13.5, 0.5);
  EXPECT_EQ(limited, 1);
  EXPECT_NEAR(lastLimitedRate, 0.2, 0.05);
  EXPECT_NEAR(+run.Params.FedBatchOD, 22.9, 0.25);
  EXPECT_NEAR(+run.Params.ReactorVol, 2.0, 1e-9);
  EXPECT_EQ(run.PauseRequest, 1);
  EXPECT_EQ(run.EventLog.rfind(run.ProcessTimeText() + " [h:mm:ss]\t" + kLogBatchFinished, 0), 0u);
}

TEST(Model, PracticeFeedAboveTheoryWhenTheFeedIsRicher) {
  TZymra_Run run;
  run.BatchParams.IsBatch = 0;
  run.Params.CSubstr = 500;
  run.Params.StopByuCrit = 0;
  run.Params.TargetOD = 1e9;
  Compare(run, 40, 3);
  EXPECT_GT(run.uCell.Value(5), +run.Params.Uset);
  EXPECT_GT(run.ODreal.Last(), run.ODrealTheory.Last());
}

TEST(Model, DischargesRefillsAndCorrectionsMatchTheReference) {
  TZymra_Run run;
  run.BatchParams.IsBatch = 0;
  run.Params.RefillEachh = 2;
  run.Params.RefillAmount = 0.3;
  run.Params.TargetOD = 1e9;
  run.Params.StopByuCrit = 0;
  Compare(run, 120, 5, [](int step, TZymra_Run& r, Reference& ref) {
    if (step == 30) r.BatchParams.FeedCorrection = ref.b.FeedCorrection = 1;
    if (step == 50) {
      r.Params.DischargeNow = ref.p.DischargeNow = 1;
      r.Params.DischargeAmount = ref.p.DischargeAmount = 10;  // more than half: clipped
    }
  });
  EXPECT_GT(CountEntries(run.EventLog, "Refill "), 0);
  EXPECT_EQ(CountEntries(run.EventLog, "= t0 - Feed Correction: New Cf = "), 1);
  EXPECT_NE(run.CorrTime, 0);
}

TEST(Model, AutomaticDischargesHappenOnTheHour) {
  TZymra_Run run;
  run.BatchParams.IsBatch = 0;
  InitRun(run);
  double xpr = run.ODrealTheory.Last() * run.Params.DryMassPerOD_Real, xth = xpr;
  std::vector<double> times;
  for (int i = 0; i < 9; ++i) {
    const double vBefore = run.Volume.Last();
    Step(run, xpr, xth);
    if (run.Volume.Last() < vBefore + run.FeedRate.Last() * 0.25 - 1e-12) times.push_back(run.Time.Last());
  }
  EXPECT_EQ(times, (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(CountEntries(run.EventLog, "Discharge 0.015\t l"), 2);
}

TEST(Model, RefillRequestsAreClippedAndNeverNegative) {
  TZymra_Run run;
  run.BatchParams.IsBatch = 0;
  run.Params.DischargeEachh = 0;
  InitRun(run);
  double xpr = run.ODrealTheory.Last() * run.Params.DryMassPerOD_Real, xth = xpr;
  run.Params.RefillNow = 1;  // amount 0: nothing happens and the request is cleared
  Step(run, xpr, xth);
  EXPECT_EQ(+run.Params.RefillNow, 0);
  EXPECT_EQ(CountEntries(run.EventLog, "Refill"), 0);
  run.Params.RefillNow = 1;
  run.Params.RefillAmount = 5;  // more than fits
  const double v = run.Volume.Last();
  Step(run, xpr, xth);
  EXPECT_DOUBLE_EQ(+run.Params.RefillAmount, 4.0 - v);
  EXPECT_EQ(+run.Params.Overflowing, 1) << "the feed of the interval comes on top of a full reactor";
  const double full = run.Volume.Last();
  run.Params.RefillNow = 1;
  run.Params.RefillAmount = 1;
  Step(run, xpr, xth);
  EXPECT_EQ(+run.Params.RefillAmount, 0) << "an overflowing reactor takes nothing";
  EXPECT_GE(run.Volume.Last(), full);
}

TEST(Model, TargetAndCriticalInTheSameStepFinishWithTargetOnTop) {
  TZymra_Run run;
  run.BatchParams.IsBatch = 0;
  run.Params.DischargeEachh = 0;
  run.Params.uCritical = 0.05;  // exceeded as soon as there is a previous rate
  run.BatchParams.ODCritical = 0;
  InitRun(run);
  double xpr = run.ODrealTheory.Last() * run.Params.DryMassPerOD_Real, xth = xpr;
  Step(run, xpr, xth);
  run.Params.TargetOD = run.ODreal.Last() * 1.001;
  Step(run, xpr, xth);
  EXPECT_EQ(+run.Params.Finished, 1);
  const auto target = run.EventLog.find(kLogTargetReached);
  const auto critical = run.EventLog.find(kLogCriticalExceeded);
  ASSERT_NE(target, std::string::npos);
  ASSERT_NE(critical, std::string::npos);
  EXPECT_LT(target, critical);
  EXPECT_EQ(run.EventLog.find(kLogCriticalStop), std::string::npos);
}

TEST(Model, LongIntervalEndsTheLagAtOnce) {
  TZymra_Run run;
  run.Params.SimInterval = 2.5;
  RandSeed(99);
  InitRun(run);
  double xpr = run.ODrealTheory.Last() * run.Params.DryMassPerOD_Real, xth = xpr;
  Step(run, xpr, xth);
  EXPECT_EQ(+run.BatchParams.Phase, 2);
}

TEST(Model, NoBiomassDoesNotHangTheSearch) {
  TZymra_Run run;
  run.BatchParams.IsBatch = 0;
  run.Params.FedBatchOD = 0;
  InitRun(run);
  EXPECT_NEAR(GuessGrowthRate(run, 0, 0), kGrowthSearchLimit * 0.01 + 0.1, 1e-9);
  const double mu = SolveGrowthRate(run, 0, 0);
  EXPECT_TRUE(std::isfinite(mu));
}

namespace {
void StepTimes(TZymra_Run& run, double& xpr, double& xth, int steps) {
  for (int i = 0; i < steps && !run.Params.Finished; ++i) Step(run, xpr, xth);
}
}  // namespace

// Every event entry as the log must show it: time, " [h:mm:ss]", a tab, the
// text, CR LF; texts that end in CR LF themselves leave an empty line.
TEST(ModelLog, EventTextsLetterForLetter) {
  {  // refill, critical rate, critical stop and the feed constant, the whole log
    TZymra_Run run;
    run.BatchParams.IsBatch = 0;
    run.Params.DischargeEachh = 0;
    run.Params.RefillEachh = 0.5;
    run.Params.RefillAmount = 0.3;
    run.Params.uCritical = 0.05;
    run.BatchParams.ODCritical = 0;
    InitRun(run);
    double xpr = run.ODrealTheory.Last() * run.Params.DryMassPerOD_Real, xth = xpr;
    StepTimes(run, xpr, xth, 10);
    EXPECT_EQ(run.EventLog,
              "0:30:00 [h:mm:ss]\tFinish-\tProcess Error - terminated cause of exceeding critical growth rate\r\n\r\n"
              "0:30:00 [h:mm:ss]\tProcess Error:\tCurrent Cell Growth Rate Has Exceeded Irreversibly The Critical "
              "Rate !\r\n\r\n"
              "0:30:00 [h:mm:ss]\tRefill 0.3\t l\r\n"
              "0:00:00 [h:mm:ss]\t= t0 - Feed Constant: Cf = 0.0074 l\r\n");
  }
  {  // feed correction, overflow, discharge, target OD
    TZymra_Run run;
    run.BatchParams.IsBatch = 0;
    run.Params.DischargeEachh = 0.75;
    run.Params.ReactorSize = 2.003;
    run.BatchParams.FeedCorrection = 1;
    InitRun(run);
    double xpr = run.ODrealTheory.Last() * run.Params.DryMassPerOD_Real, xth = xpr;
    StepTimes(run, xpr, xth, 2);
    run.Params.TargetOD = run.ODreal.Last() * 1.02;
    StepTimes(run, xpr, xth, 5);
    EXPECT_EQ(run.EventLog,
              "0:45:00 [h:mm:ss]\tFinish-\tWell Done - terminated cause target OD has been reached\r\n\r\n"
              "0:45:00 [h:mm:ss]\tDischarge 0.015\t l\r\n"
              "0:30:00 [h:mm:ss]\tProcess Error-\treactor overfloating !\r\n\r\n"
              "0:15:00 [h:mm:ss]\t= t0 - Feed Correction: New Cf = 0.0076 g\r\n"
              "0:00:00 [h:mm:ss]\t= t0 - Feed Constant: Cf = 0.0074 l\r\n");
  }
  {  // end of the batch
    TZymra_Run run;
    run.Params.DischargeEachh = 0;
    RandSeed(7);
    InitRun(run);
    double xpr = run.ODrealTheory.Last() * run.Params.DryMassPerOD_Real, xth = xpr;
    while (run.BatchParams.Phase != 5 && run.Time.Rows() < 2000) Step(run, xpr, xth);
    EXPECT_EQ(run.EventLog.rfind(run.ProcessTimeText() + " [h:mm:ss]\tFinish Batch-\tWell Done - Fed Batch will "
                                                         "follow\r\n\r\n",
                                 0),
              0u)
        << run.EventLog.substr(0, 200);
  }
  {  // the user's Stop
    TZymra_Run run;
    run.Params.State = rsPaused;
    run.FinishByUser();
    EXPECT_EQ(run.EventLog, "0:00:00 [h:mm:ss]\tFinish-\tNot Completed - Terminated By User\r\n\r\n");
  }
}

// The independent evaluation with cultures whose real constants differ from the
// feed design, one constant at a time: a model that mixes up a real constant and
// its design twin leaves the reference.
TEST(Model, RealConstantsDifferingFromTheDesignMatchTheReference) {
  struct TCase {
    const char* Name;
    void (*Apply)(TRunParameters&);
  };
  const TCase cases[] = {
      {"DryMassPerOD_Real", [](TRunParameters& p) { p.DryMassPerOD_Real = 0.6; }},
      {"Yield_Real", [](TRunParameters& p) { p.Yield_Real = 0.45; }},
      {"Maintenance_Real", [](TRunParameters& p) { p.Maintenance_Real = 0.04; }},
      {"CSubstr_Real", [](TRunParameters& p) { p.CSubstr_Real = 600; }},
  };
  for (const TCase& c : cases) {
    for (bool batch : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (batch ? " in batch" : " in fed batch"));
      TZymra_Run run;
      run.BatchParams.IsBatch = batch;
      run.Params.DischargeEachh = 0.5;
      run.Params.StopByuCrit = 0;
      c.Apply(run.Params);
      EXPECT_FALSE(run.FeedEqualsConsumption());
      EXPECT_TRUE(run.ShowsEqualCf(0));
      Compare(run, batch ? 160 : 60, 11);
      ASSERT_GT(run.Time.Rows(), 20);
      if (batch) {
        EXPECT_EQ(+run.BatchParams.Phase, 5) << "the batch handed over to the fed batch";
      }
      // Practice and theory really differ: the test would not notice a swap otherwise.
      EXPECT_NE(run.ODreal.Last(), run.ODrealTheory.Last());
    }
  }
  TZymra_Run same;
  EXPECT_TRUE(same.FeedEqualsConsumption());
  EXPECT_FALSE(same.ShowsEqualCf(0));
}
