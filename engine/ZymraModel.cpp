#include "ZymraModel.h"

#include <cmath>

// Every formula is evaluated in the order it is written (left to right, no
// re-association): results are compared with independent evaluations to 1e-9,
// and stored projects replay the same numbers.

const char* const kLogTargetReached = "Finish-\tWell Done - terminated cause target OD has been reached\r\n";
const char* const kLogCriticalExceeded =
    "Process Error:\tCurrent Cell Growth Rate Has Exceeded Irreversibly The Critical Rate !\r\n";
const char* const kLogCriticalStop = "Finish-\tProcess Error - terminated cause of exceeding critical growth rate\r\n";
const char* const kLogOverflow = "Process Error-\treactor overfloating !\r\n";
const char* const kLogBatchFinished = "Finish Batch-\tWell Done - Fed Batch will follow\r\n";
const char* const kLogUserFinished = "Finish-\tNot Completed - Terminated By User\r\n";
const char* const kLogStepFailed =
    "Finish-\tProcess Error - terminated cause the model gave no finite values (check the parameters)\r\n";

namespace {
inline bool FedBatch(const TZymra_Run& run) { return !IsBatchPhase(run.BatchParams.Phase); }

// Time since the feed's reference point: kind 0 restarts at a feed correction.
inline double FeedTime(const TZymra_Run& run, int kind) {
  const double t = run.Time.LastOr0();
  return kind == 0 ? t - run.FeedStart - run.CorrTime : t - run.FeedStart;
}

// The designed feed constant as real substrate: the designed volume carries CSubstr_Real.
inline double RealFeedConstant(const TZymra_Run& run, int kind) {
  double b = FeedConstant(run, kind);
  if (kind == 0) b = b * run.Params.CSubstr_Real / run.Params.CSubstr;
  return b;
}
}  // namespace

double FeedConstant(const TZymra_Run& run, int kind) {
  const TRunParameters& p = run.Params;
  switch (kind) {
    case 0:
      if (run.CorrTime == 0) return p.DryMassPerOD * ((p.Uset / p.Yield + p.Maintenance) * p.ReactorVol * p.FedBatchOD);
      return (p.Uset / p.Yield + p.Maintenance) * run.BatchParams.CorrVol * run.BatchParams.CorrOD * p.DryMassPerOD;
    case 1:
      return (p.Uset / p.Yield_Real + p.Maintenance_Real) * p.ReactorVol * p.FedBatchOD * p.DryMassPerOD_Real;
    default:
      return 0;
  }
}

double GuessGrowthRate(const TZymra_Run& run, int kind, double x) {
  const TRunParameters& p = run.Params;
  const double dt = p.SimInterval;
  const double b = RealFeedConstant(run, kind);
  const double d = FeedTime(run, kind);
  const double v = run.Volume.LastOr0();
  const double fed = (std::exp(p.Uset * d) - std::exp((d - dt) * p.Uset)) * (b / p.Uset);
  double mu = 0.11;
  for (int k = 1; k <= kGrowthSearchLimit; ++k) {
    mu = k * 0.01 + 0.1;
    const double cons = (std::exp(mu * dt) - 1) * ((1 / p.Yield_Real + p.Maintenance_Real / mu) * x * v);
    const double diff = fed - cons;
    if (diff < 0) break;
  }
  return mu;
}

double SolveGrowthRate(const TZymra_Run& run, int kind, double x) {
  const TRunParameters& p = run.Params;
  const std::uint8_t phase = run.BatchParams.Phase;
  const double b = (phase == 2 || phase == 3) ? 0.0 : RealFeedConstant(run, kind);
  const double e = run.Substrate.LastOr0() + b;
  const double d = FeedTime(run, kind);
  const double dt = p.SimInterval;
  const double y = p.Yield_Real;
  const double m = p.Maintenance_Real;
  const double v = run.Volume.LastOr0();
  double mu = GuessGrowthRate(run, kind, x);
  // Loop invariants, each the very expression the iteration writes.
  const double fed = (std::exp(p.Uset * d) - std::exp((d - dt) * p.Uset)) * (e / p.Uset);
  const double xv = x * v;
  for (int i = 0; i < 50; ++i) {
    const double c = std::exp(mu * dt);
    const double dd = 1 / y + m / mu;
    const double g = fed - (c - 1) * (dd * x * v);
    const double den = (c * dd * dt + (c - 1) * (m / (mu * mu))) * xv;
    // A vanishing or broken derivative cannot improve the root: keep the last estimate.
    if (den == 0 || !std::isfinite(den)) break;
    const double next = g / den + mu;
    if (!std::isfinite(next)) break;
    mu = next;
  }
  return mu;
}

double BatchGrowthRate(TZymra_Run& run, double x) {
  const TRunParameters& p = run.Params;
  TRunBatchParameters& bp = run.BatchParams;
  const double s = run.Substrate.LastOr0();
  double consumed = 0;
  double mu = 0;
  if (bp.Phase == 2 || bp.Phase == 3) {
    consumed = (std::exp(bp.Batchumax * p.SimInterval) - 1) *
               ((1 / p.Yield_Real + p.Maintenance_Real / bp.Batchumax) * x);
    if (consumed > s) {
      bp.Phase = 3;
      mu = SolveGrowthRate(run, 1, x);
    } else {
      mu = bp.Batchumax;
    }
  }
  const double rest = s - consumed;
  run.Substrate.Append(rest > 0 ? rest : 0);
  return mu;
}

double CurrentFeedRate(const TZymra_Run& run) {
  const TRunParameters& p = run.Params;
  const double d = FeedTime(run, 0);
  const double dt = p.SimInterval;
  return (std::exp(p.Uset * d) - std::exp((d - dt) * p.Uset)) * FeedConstant(run, 0) / p.Uset / p.CSubstr / dt;
}

double OxygenDemand(const TZymra_Run& run, double x) { return run.uCell.LastOr0() * x / run.Params.Yxo; }

double DilutionGrowthRate(const TZymra_Run& run, double biomass, double volume, double xOld) {
  return (std::log(biomass / volume) - std::log(xOld)) / run.Params.SimInterval;
}

void ApplyFeedCorrection(TZymra_Run& run) {
  run.BatchParams.CorrOD = run.ODreal.LastOr0();
  run.BatchParams.CorrVol = run.Volume.LastOr0();
  run.CorrTime = run.Time.LastOr0() - run.FeedStart;
  run.BatchParams.FeedCorrection = 0;
}

void InitRun(TZymra_Run& run) {
  TRunParameters& p = run.Params;
  TRunBatchParameters& bp = run.BatchParams;
  bp.Phase = bp.IsBatch ? 1 : 0;
  run.Time.Append(0);
  run.uCell.Append(0);
  run.uOD.Append(0);
  run.uCellTheory.Append(0);
  run.uODTheory.Append(0);
  const double od0 = bp.Phase == 0 ? p.FedBatchOD : bp.BatchOD;
  run.ODideal.Append(od0);
  run.ODreal.Append(od0);
  run.ODidealTheory.Append(od0);
  run.ODrealTheory.Append(od0);
  run.Volume.Append(bp.Phase == 1 ? bp.BatchStartVol : p.ReactorVol);
  run.Substrate.Append(bp.Phase == 1 ? bp.BatchSubConc : 0);
  run.FeedRate.Append(0);
  run.OTRV0.Append(0);
  run.OTRVt.Append(0);
  run.FeedStart = 0;
  run.CorrTime = 0;
  run.LogEvent("= t0 - Feed Constant: Cf = " + FixedText(FeedConstant(run, 0) / p.CSubstr, 4) + " l");
}

void Step(TZymra_Run& run, double& xPr, double& xTh) {
  TRunParameters& p = run.Params;
  TRunBatchParameters& bp = run.BatchParams;
  const double dt = p.SimInterval;
  double rA = 0;
  double dA = 0;
  const double v = run.Volume.LastOr0();

  const double tnew = run.Time.LastOr0() + dt;
  run.Time.Append(tnew);

  auto inWindow = [tnew, dt](double x) { return tnew <= x && x < tnew + dt; };
  if (p.RefillNow)
    p.RefillNow = p.RefillAmount > 0;
  else
    p.RefillNow = inWindow(p.LastRefill + p.RefillEachh) && p.RefillAmount > 0;
  if (p.DischargeNow)
    p.DischargeNow = p.DischargeAmount > 0;
  else
    p.DischargeNow = inWindow(p.LastDischarge + p.DischargeEachh) && p.DischargeAmount > 0;

  if (p.RefillNow) {
    // A full or overflowing reactor takes nothing: a refill never removes liquid.
    // Plain copies: the record is packed, and references to its fields are misaligned.
    const double room = p.ReactorSize - v, wanted = p.RefillAmount;
    p.RefillAmount = room < wanted ? room : wanted;
    if (!(p.RefillAmount > 0)) p.RefillAmount = 0;
    rA = p.RefillAmount;
    p.LastRefill = tnew;
    run.LogEvent("Refill " + FloatText(p.RefillAmount) + "\t l");
  }
  if (p.DischargeNow) {
    const double half = v / 2, wanted = p.DischargeAmount;
    p.DischargeAmount = half < wanted ? half : wanted;
    dA = p.DischargeAmount;
    p.LastDischarge = tnew;
    run.LogEvent("Discharge " + FloatText(p.DischargeAmount) + "\t l");
  }

  if (!p.CriticalExceeded && run.CriticalReached()) {
    p.CriticalExceeded = 1;
    run.LogEvent(kLogCriticalExceeded);
  }

  const bool fedBatch = FedBatch(run);
  if (!fedBatch) {
    run.uCellTheory.Append(BatchGrowthRate(run, xPr));
    run.uCell.Append(run.uCellTheory.Last());
    run.FeedRate.Append(0);
  } else {
    run.uCell.Append(SolveGrowthRate(run, 0, xPr));
    run.uCellTheory.Append(SolveGrowthRate(run, 1, xTh));
    run.Substrate.Append(0);
    run.FeedRate.Append(CurrentFeedRate(run));
  }

  const double vf = v + run.FeedRate.Last() * dt;
  const double bth = v * xTh * std::exp(run.uCellTheory.Last() * dt);
  const double bpr = v * xPr * std::exp(run.uCell.Last() * dt);

  run.OTRV0.Append(OxygenDemand(run, bth / vf) / 0.032);
  run.OTRVt.Append(OxygenDemand(run, bpr / vf) / 0.032);

  run.uOD.Append(DilutionGrowthRate(run, bpr, vf + rA, xPr));
  run.uODTheory.Append(DilutionGrowthRate(run, bth, vf + rA, xTh));

  const double odReal = run.ODreal.Last();
  run.ODreal.Append(odReal * std::exp(run.uOD.Last() * dt));
  const double odTheory = run.ODrealTheory.Last();
  run.ODrealTheory.Append(odTheory * std::exp(run.uODTheory.Last() * dt));

  if (fedBatch) {
    const double ideal = std::exp((tnew - run.FeedStart) * p.Uset) * p.FedBatchOD;
    run.ODideal.Append(ideal);
    run.ODidealTheory.Append(ideal);
  } else {
    run.ODideal.Append(run.ODreal.Last());
    run.ODidealTheory.Append(run.ODrealTheory.Last());
  }

  run.Volume.Append(vf - dA + rA);

  const double k = (vf - dA) / vf;
  xPr = bpr * k / run.Volume.Last();
  xTh = bth * k / run.Volume.Last();

  if (bp.FeedCorrection) {
    ApplyFeedCorrection(run);
    run.LogEvent("= t0 - Feed Correction: New Cf = " + FixedText(FeedConstant(run, 0) / p.CSubstr, 4) + " g");
  }

  p.RefillNow = 0;
  p.DischargeNow = 0;
  run.PauseRequest = 0;

  p.Overflowing = run.Volume.Last() > p.ReactorSize;
  if (p.Overflowing) run.LogEvent(kLogOverflow);

  if (run.ODreal.Last() >= p.TargetOD) {
    p.Finished = 1;
    p.Overflowing = 0;
    run.LogEvent(kLogTargetReached);
  } else if (!p.CriticalExceeded) {
    p.Finished = 0;
  } else if (p.StopByuCrit) {
    p.Finished = 1;
    p.Overflowing = 0;
    run.LogEvent(kLogCriticalStop);
  } else {
    p.Finished = 0;
  }

  switch (bp.Phase) {
    case 1: {
      const double n = std::trunc(2 / dt);
      const std::int32_t draws = n >= 2147483647.0 ? 2147483647 : n <= 0 ? 0 : static_cast<std::int32_t>(n);
      if (Random(draws) == 0) bp.Phase = 2;
      break;
    }
    case 2:
    case 3:
      if (run.Substrate.Last() == 0) {
        bp.Phase = 4;
        run.FeedStart = tnew;
      }
      break;
    case 4:
      bp.Phase = 5;
      p.FedBatchOD = run.ODreal.Last();
      p.ReactorVol = run.Volume.Last();
      run.FeedStart = tnew;
      run.PauseRequest = 1;
      run.LogEvent(kLogBatchFinished);
      break;
    default:
      break;
  }
}
