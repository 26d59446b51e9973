#pragma once
// The two parameter records of a run, stored byte for byte in project files.
#include <cstddef>
#include <cstdint>

#include "KelStrings.h"

#pragma pack(push, 1)
struct TRunParameters {
  TShortString<255> Title;
  double ReactorSize;
  double SimInterval;
  double ReactorVol;
  double FedBatchOD;
  double DryMassPerOD;
  double Yield;
  double Maintenance;
  double CSubstr;
  double DryMassPerOD_Real;
  double Yield_Real;
  double Maintenance_Real;
  double CSubstr_Real;
  double Uset;
  double TargetOD;
  double uCritical;
  std::uint8_t StopByuCrit;
  double Yxo;
  std::int32_t Speed;
  std::uint8_t State;
  double ProcessDate;
  double PauseStart;
  double PauseTime;
  double RefillAmount;
  double RefillEachh;
  std::uint8_t RefillNow;
  double DischargeAmount;
  double DischargeEachh;
  std::uint8_t DischargeNow;
  double LastRefill;
  double LastDischarge;
  std::uint8_t CriticalExceeded;
  std::uint8_t Overflowing;
  std::uint8_t Finished;
  std::uint8_t ShowEqualCf;
  std::uint8_t View3D;
  std::int32_t ChartRotation;
  std::int32_t ChartElevation;
};

struct TRunBatchParameters {
  std::uint8_t FeedCorrection;
  double CorrVol;
  double CorrOD;
  std::uint8_t IsBatch;
  std::uint8_t Phase;
  double BatchStartVol;
  double BatchSubConc;
  double BatchOD;
  double Batchumax;
  std::uint8_t Reserved1[8];
  double ODCritical;
  std::uint8_t Reserved2;
  std::uint8_t Reserved3[50];
};

// Both records as they lie in memory and on file: the batch record follows directly.
struct TRunRecords {
  TRunParameters Params;
  TRunBatchParameters Batch;
};
#pragma pack(pop)

static_assert(sizeof(TRunParameters) == 477);
static_assert(offsetof(TRunParameters, ReactorSize) == 256);
static_assert(offsetof(TRunParameters, SimInterval) == 264);
static_assert(offsetof(TRunParameters, ReactorVol) == 272);
static_assert(offsetof(TRunParameters, FedBatchOD) == 280);
static_assert(offsetof(TRunParameters, DryMassPerOD) == 288);
static_assert(offsetof(TRunParameters, Yield) == 296);
static_assert(offsetof(TRunParameters, Maintenance) == 304);
static_assert(offsetof(TRunParameters, CSubstr) == 312);
static_assert(offsetof(TRunParameters, DryMassPerOD_Real) == 320);
static_assert(offsetof(TRunParameters, Yield_Real) == 328);
static_assert(offsetof(TRunParameters, Maintenance_Real) == 336);
static_assert(offsetof(TRunParameters, CSubstr_Real) == 344);
static_assert(offsetof(TRunParameters, Uset) == 352);
static_assert(offsetof(TRunParameters, TargetOD) == 360);
static_assert(offsetof(TRunParameters, uCritical) == 368);
static_assert(offsetof(TRunParameters, StopByuCrit) == 376);
static_assert(offsetof(TRunParameters, Yxo) == 377);
static_assert(offsetof(TRunParameters, Speed) == 385);
static_assert(offsetof(TRunParameters, State) == 389);
static_assert(offsetof(TRunParameters, ProcessDate) == 390);
static_assert(offsetof(TRunParameters, PauseStart) == 398);
static_assert(offsetof(TRunParameters, PauseTime) == 406);
static_assert(offsetof(TRunParameters, RefillAmount) == 414);
static_assert(offsetof(TRunParameters, RefillEachh) == 422);
static_assert(offsetof(TRunParameters, RefillNow) == 430);
static_assert(offsetof(TRunParameters, DischargeAmount) == 431);
static_assert(offsetof(TRunParameters, DischargeEachh) == 439);
static_assert(offsetof(TRunParameters, DischargeNow) == 447);
static_assert(offsetof(TRunParameters, LastRefill) == 448);
static_assert(offsetof(TRunParameters, LastDischarge) == 456);
static_assert(offsetof(TRunParameters, CriticalExceeded) == 464);
static_assert(offsetof(TRunParameters, Overflowing) == 465);
static_assert(offsetof(TRunParameters, Finished) == 466);
static_assert(offsetof(TRunParameters, ShowEqualCf) == 467);
static_assert(offsetof(TRunParameters, View3D) == 468);
static_assert(offsetof(TRunParameters, ChartRotation) == 469);
static_assert(offsetof(TRunParameters, ChartElevation) == 473);

static_assert(sizeof(TRunBatchParameters) == 118);
static_assert(offsetof(TRunBatchParameters, CorrVol) == 1);
static_assert(offsetof(TRunBatchParameters, CorrOD) == 9);
static_assert(offsetof(TRunBatchParameters, IsBatch) == 17);
static_assert(offsetof(TRunBatchParameters, Phase) == 18);
static_assert(offsetof(TRunBatchParameters, BatchStartVol) == 19);
static_assert(offsetof(TRunBatchParameters, BatchSubConc) == 27);
static_assert(offsetof(TRunBatchParameters, BatchOD) == 35);
static_assert(offsetof(TRunBatchParameters, Batchumax) == 43);
static_assert(offsetof(TRunBatchParameters, Reserved1) == 51);
static_assert(offsetof(TRunBatchParameters, ODCritical) == 59);
static_assert(offsetof(TRunBatchParameters, Reserved2) == 67);
static_assert(offsetof(TRunBatchParameters, Reserved3) == 68);

static_assert(sizeof(TRunRecords) == 477 + 118);
static_assert(offsetof(TRunRecords, Batch) == 477);

TRunParameters DefaultRunParameters();
TRunBatchParameters DefaultRunBatchParameters();
// Zeroes the status part of both records (what a reset clears) and sets Phase from IsBatch.
void ClearRunStatus(TRunParameters& params, TRunBatchParameters& batch);

// Run states and their texts.
enum : std::uint8_t { rsPrepare = 0, rsRunning = 1, rsPaused = 2, rsFinished = 3 };
extern const char* const kRunStateTexts[4];
// "Fed Batch" for phases 0 and 5, "Batch" for 1 to 4.
const char* PhaseText(std::uint8_t phase);
inline bool IsBatchPhase(std::uint8_t phase) { return phase >= 1 && phase <= 4; }

// Field descriptors, for setting inputs by name (command line) and for inspection.
struct TRunField {
  enum Kind { Double, Flag, Int32, Byte, Text };
  const char* Name;
  Kind Type;
  bool InBatchRecord;
  std::size_t Offset;
  bool Settable;  // a user input or an operating setting, not engine status
};
const TRunField* FindRunField(const char* name);
const TRunField* RunFieldsBegin();
const TRunField* RunFieldsEnd();
