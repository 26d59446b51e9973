#include "ZymraRecords.h"

#include <cstring>
#include <iterator>

TRunParameters DefaultRunParameters() {
  TRunParameters p;
  std::memset(&p, 0, sizeof p);
  p.Title.Assign("default");
  p.ReactorSize = 4.0;
  p.SimInterval = 0.25;
  p.ReactorVol = 2.0;
  p.FedBatchOD = 24.0;
  p.DryMassPerOD = 0.52;
  p.Yield = 0.506;
  p.Maintenance = 0.025;
  p.CSubstr = 750.0;
  p.DryMassPerOD_Real = 0.52;
  p.Yield_Real = 0.506;
  p.Maintenance_Real = 0.025;
  p.CSubstr_Real = 750.0;
  p.Uset = 0.1;
  p.TargetOD = 100.0;
  p.uCritical = 0.15;
  p.StopByuCrit = 1;
  p.Yxo = 1.6;
  p.Speed = 8;
  p.RefillAmount = 0.0;
  p.RefillEachh = 0.0;
  p.DischargeAmount = 0.015;
  p.DischargeEachh = 1.0;
  p.View3D = 1;
  p.ChartRotation = 355;
  p.ChartElevation = 340;
  return p;
}

TRunBatchParameters DefaultRunBatchParameters() {
  TRunBatchParameters b;
  std::memset(&b, 0, sizeof b);
  b.IsBatch = 1;
  b.Phase = 1;
  b.BatchStartVol = 2.0;
  b.BatchSubConc = 25.0;
  b.BatchOD = 0.05;
  b.Batchumax = 0.45;
  b.ODCritical = 28.0;
  return b;
}

void ClearRunStatus(TRunParameters& p, TRunBatchParameters& b) {
  auto* raw = reinterpret_cast<std::uint8_t*>(&p);
  std::memset(raw + offsetof(TRunParameters, State), 0,
              offsetof(TRunParameters, RefillAmount) - offsetof(TRunParameters, State));
  p.RefillNow = 0;
  std::memset(raw + offsetof(TRunParameters, DischargeNow), 0,
              offsetof(TRunParameters, CriticalExceeded) - offsetof(TRunParameters, DischargeNow));
  p.CriticalExceeded = 0;
  p.Overflowing = 0;
  p.Finished = 0;
  b.FeedCorrection = 0;
  b.CorrVol = 0;
  b.CorrOD = 0;
  b.Reserved2 = 0;
  b.Phase = b.IsBatch ? 1 : 0;
}

const char* const kRunStateTexts[4] = {"Prepare Fermentation", "Running", "Paused", "Finished"};

const char* PhaseText(std::uint8_t phase) { return IsBatchPhase(phase) ? "Batch" : "Fed Batch"; }

namespace {
#define P_FIELD(name, kind, settable) \
  TRunField { #name, TRunField::kind, false, offsetof(TRunParameters, name), settable }
#define B_FIELD(name, kind, settable) \
  TRunField { #name, TRunField::kind, true, offsetof(TRunBatchParameters, name), settable }
const TRunField kFields[] = {
    P_FIELD(Title, Text, true),
    P_FIELD(ReactorSize, Double, true),
    P_FIELD(SimInterval, Double, true),
    P_FIELD(ReactorVol, Double, true),
    P_FIELD(FedBatchOD, Double, true),
    P_FIELD(DryMassPerOD, Double, true),
    P_FIELD(Yield, Double, true),
    P_FIELD(Maintenance, Double, true),
    P_FIELD(CSubstr, Double, true),
    P_FIELD(DryMassPerOD_Real, Double, true),
    P_FIELD(Yield_Real, Double, true),
    P_FIELD(Maintenance_Real, Double, true),
    P_FIELD(CSubstr_Real, Double, true),
    P_FIELD(Uset, Double, true),
    P_FIELD(TargetOD, Double, true),
    P_FIELD(uCritical, Double, true),
    P_FIELD(StopByuCrit, Flag, true),
    P_FIELD(Yxo, Double, true),
    P_FIELD(Speed, Int32, true),
    P_FIELD(State, Byte, false),
    P_FIELD(ProcessDate, Double, false),
    P_FIELD(PauseStart, Double, false),
    P_FIELD(PauseTime, Double, false),
    P_FIELD(RefillAmount, Double, true),
    P_FIELD(RefillEachh, Double, true),
    P_FIELD(RefillNow, Flag, false),
    P_FIELD(DischargeAmount, Double, true),
    P_FIELD(DischargeEachh, Double, true),
    P_FIELD(DischargeNow, Flag, false),
    P_FIELD(LastRefill, Double, false),
    P_FIELD(LastDischarge, Double, false),
    P_FIELD(CriticalExceeded, Flag, false),
    P_FIELD(Overflowing, Flag, false),
    P_FIELD(Finished, Flag, false),
    P_FIELD(ShowEqualCf, Flag, true),
    P_FIELD(View3D, Flag, true),
    P_FIELD(ChartRotation, Int32, true),
    P_FIELD(ChartElevation, Int32, true),
    B_FIELD(FeedCorrection, Flag, false),
    B_FIELD(CorrVol, Double, false),
    B_FIELD(CorrOD, Double, false),
    B_FIELD(IsBatch, Flag, true),
    B_FIELD(Phase, Byte, false),
    B_FIELD(BatchStartVol, Double, true),
    B_FIELD(BatchSubConc, Double, true),
    B_FIELD(BatchOD, Double, true),
    B_FIELD(Batchumax, Double, true),
    B_FIELD(ODCritical, Double, true),
};
#undef P_FIELD
#undef B_FIELD
}  // namespace

const TRunField* RunFieldsBegin() { return std::begin(kFields); }
const TRunField* RunFieldsEnd() { return std::end(kFields); }

const TRunField* FindRunField(const char* name) {
  for (const auto& f : kFields)
    if (std::strcmp(f.Name, name) == 0) return &f;
  return nullptr;
}
