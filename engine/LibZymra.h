#pragma once
// The simulated cultivation (run) and the project that holds the runs.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "KelMatrix.h"
#include "ZymraRecords.h"
#include "ZymraText.h"
#include "ZymraThread.h"

class TZymra;

constexpr int kRunSeriesCount = 14;
extern const char* const kRunSeriesNames[kRunSeriesCount];

class TZymra_Run {
 public:
  explicit TZymra_Run(TZymra* owner = nullptr);
  ~TZymra_Run();
  TZymra_Run(const TZymra_Run&) = delete;
  TZymra_Run& operator=(const TZymra_Run&) = delete;

  TRunParameters Params;
  TRunBatchParameters BatchParams;
  std::string Comment;
  std::string EventLog;

  tDoubleMatrix Time, ODreal, ODideal, uOD, uCell, Volume, FeedRate, OTRV0, OTRVt, ODrealTheory, ODidealTheory,
      uODTheory, uCellTheory, Substrate;
  // The fourteen series in their fixed order.
  tDoubleMatrix& Series(int index);
  const tDoubleMatrix& Series(int index) const;

  // Not stored.
  double FeedStart = 0;
  double CorrTime = 0;
  std::uint8_t PauseRequest = 0;

  TZymra* Owner() const { return Owner_; }
  void SetOwner(TZymra* owner) { Owner_ = owner; }

  // Queries: the last row of a series, 0 when it is empty.
  double CurrentTime() const { return Time.LastOr0(); }
  double CurrentODreal() const { return ODreal.LastOr0(); }
  double CurrentODideal() const { return ODideal.LastOr0(); }
  double CurrentVolume() const { return Volume.LastOr0(); }
  double CurrentFeedRateValue() const { return FeedRate.LastOr0(); }
  double FedTotal() const;
  bool CriticalReached() const;
  bool FeedEqualsConsumption() const;
  bool ShowsEqualCf(int chartIndex) const;
  bool IsInStates(std::initializer_list<int> states) const;
  bool IsInStates(std::uint8_t stateSet) const;  // bit i for state i
  long SleepTime() const;
  std::string RunCaption() const;
  std::string DisplayName() const;
  std::string ProcessTimeText() const { return ::ProcessTimeText(CurrentTime()); }
  std::uint8_t State() const { return Params.State; }
  const char* StateText() const;

  // Run control, called on the thread that owns the run.
  void StartThread();
  bool Resume();
  void Pause();
  void Finish();
  // The process page's Stop: the not-completed entry, then Finish.
  void FinishByUser();
  void Reset();
  TZymra_Thread* Worker() const { return Worker_.get(); }

  void LogEvent(const std::string& text);

 private:
  friend class TZymra_Thread;
  void ClearSeries();

  TZymra* Owner_ = nullptr;
  std::unique_ptr<TZymra_Thread> Worker_;
};

class TZymra {
 public:
  // sync: where workers hand their callbacks; nullptr runs them on the workers themselves.
  explicit TZymra(TSynchronizer* sync = nullptr);
  ~TZymra();
  TZymra(const TZymra&) = delete;
  TZymra& operator=(const TZymra&) = delete;

  TZymra_Run* AddRun();
  // Removes and frees a run (its worker is stopped first).
  void RemoveRun(TZymra_Run* run);
  void ClearRuns();
  int RunCount() const { return static_cast<int>(Runs_.size()); }
  TZymra_Run* Run(int index) const { return Runs_.at(static_cast<std::size_t>(index)).get(); }
  int IndexOf(const TZymra_Run* run) const;

  void StartAll();
  void PauseAll();
  void FinishAll();
  void ResetAll();
  bool AnyActive() const;
  bool AnyInStates(std::initializer_list<int> states) const;

  TSynchronizer& Synchronizer() { return *Sync_; }

  TZymra_Run* CurrentRun = nullptr;
  std::function<void(TZymra_Run*)> OnRunAdded;
  std::function<void()> OnStateChange;

 private:
  std::unique_ptr<TDirectSynchronizer> OwnSync_;
  TSynchronizer* Sync_;
  std::vector<std::unique_ptr<TZymra_Run>> Runs_;
};

// The start page's checks; each failure gives one message, in table order.
std::vector<std::string> CheckRunValues(const TRunParameters& params, const TRunBatchParameters& batch);
extern const char* const kValuesNotAppliedHeader;  // "Values Couldn´t Be Applied To Run!\r\n===...\r\n"
