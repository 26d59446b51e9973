#pragma once
// The simulated cultivation (run) and the project that holds the runs.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "KelMatrix.h"
#include "ZymraMeasured.h"
#include "ZymraRecords.h"
#include "ZymraText.h"
#include "ZymraThread.h"

class TZymra;

constexpr int kRunSeriesCount = 14;
extern const char* const kRunSeriesNames[kRunSeriesCount];

// The values measured in a real cultivation, kept with the run they belong to. Stored as
// one block nested in the run's payload after its series, and only when there are
// values, so a run without them is stored exactly as before; a reader that does not
// know the block leaves it unread, since every block's end is found through its footer.
class TZymra_Measured : public TStreamNode {
 public:
  KEL_STREAM_CLASS(TZymra_Measured)
  explicit TZymra_Measured(TStreamNode* owner = nullptr);
  // The source name, the number of points, then per point its time (double),
  // replicate (int32) and the four columns (doubles, NaN where not measured).
  bool WriteData(TStreamWrapper& wrapper) override;
  bool ReadData(TStreamWrapper& wrapper) override;

  TMeasuredData Data;
};

class TZymra_Run : public TStreamNode {
 public:
  KEL_STREAM_CLASS(TZymra_Run)
  explicit TZymra_Run(TStreamNode* owner = nullptr);
  ~TZymra_Run() override;
  TZymra_Run(const TZymra_Run&) = delete;
  TZymra_Run& operator=(const TZymra_Run&) = delete;

  TRunParameters Params;
  TRunBatchParameters BatchParams;
  std::string Comment;
  std::string EventLog;

  tDoubleMatrix Time{this}, ODreal{this}, ODideal{this}, uOD{this}, uCell{this}, Volume{this}, FeedRate{this},
      OTRV0{this}, OTRVt{this}, ODrealTheory{this}, ODidealTheory{this}, uODTheory{this}, uCellTheory{this},
      Substrate{this};
  // The fourteen series in their fixed order.
  tDoubleMatrix& Series(int index);
  const tDoubleMatrix& Series(int index) const;

  // The values measured in a real cultivation beside this run; empty when there are none.
  const TMeasuredData& Measured() const;
  bool HasMeasured() const { return Measured_ && !Measured_->Data.Empty(); }
  // Empty data removes them.
  void SetMeasured(const TMeasuredData& data);
  // Copies what a project file keeps of `source` (its values, texts, stored series and
  // measured data) into this run; its worker and the Substrate series stay as they are.
  void CopyStoredFrom(const TZymra_Run& source);

  // Not stored.
  double FeedStart = 0;
  double CorrTime = 0;
  std::uint8_t PauseRequest = 0;

  // The project whose list holds the run, if any.
  TZymra* Owner() const;

  // Stored form: both records, comment, log and thirteen series (not Substrate).
  bool WriteData(TStreamWrapper& wrapper) override;
  bool ReadData(TStreamWrapper& wrapper) override;
  std::string GetCaption() const override { return RunCaption(); }
  int GetImageIndex() const override { return 2 * Params.State; }
  int GetSelectedIndex() const override { return 2 * Params.State + 1; }

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
  // On the owning thread: runs f while the worker is certain not to be inside a step,
  // so f may read and write the run outside the worker's callbacks. A running worker
  // is held at its next wait (a step under way completes first; a step never waits
  // for the owning thread) and continued afterwards. f must not change the run's
  // state (start, pause, finish, reset). Nested calls for one run hold it once.
  void BetweenSteps(const std::function<void()>& f);

  void LogEvent(const std::string& text);

 private:
  friend class TZymra_Thread;
  void ClearSeries();
  bool ReadMeasured(TStreamWrapper& wrapper);

  std::unique_ptr<TZymra_Thread> Worker_;
  // Made only when there are values: every node takes a number from the IDs' counter.
  std::unique_ptr<TZymra_Measured> Measured_;
};

#pragma pack(push, 1)
struct TProjectTitles {
  TShortString<255> Title;
  TShortString<255> Stock;
};
#pragma pack(pop)
static_assert(sizeof(TProjectTitles) == 512);

class TZymra : public TStreamList {
 public:
  KEL_STREAM_CLASS(TZymra)
  explicit TZymra(TStreamNode* owner = nullptr);
  // sync: where workers hand their callbacks; without one they run them themselves.
  explicit TZymra(TSynchronizer* sync);
  ~TZymra() override;
  TZymra(const TZymra&) = delete;
  TZymra& operator=(const TZymra&) = delete;

  void GetClassMap(std::vector<const TStreamNodeClass*>& classes) const override;
  bool WriteData(TStreamWrapper& wrapper) override;
  bool ReadData(TStreamWrapper& wrapper) override;
  std::string GetCaption() const override { return Titles.Title.Str(); }
  int GetImageIndex() const override { return -1; }
  int GetSelectedIndex() const override { return -1; }

  // Creates a run, appends it (or inserts it after `after`) and hands it to OnRunAdded.
  TZymra_Run* AddRun(TZymra_Run* after = nullptr);
  // Removes and frees a run (its worker is stopped first).
  void RemoveRun(TZymra_Run* run);
  void ClearRuns();
  int RunCount() const { return Count; }
  TZymra_Run* Run(int index) const;
  int IndexOf(const TZymra_Run* run) const;

  void ClearFields();
  void ClearProject();
  void NotifyRuns();
  static std::string VersionText();
  void EquateSettings(const TRunParameters& source);
  void EquateCharts(const TRunParameters& source);

  void StartAll();
  void PauseAll();
  void FinishAll();
  void ResetAll();
  bool AnyActive() const;
  bool AnyInStates(std::initializer_list<int> states) const;

  TSynchronizer& Synchronizer() { return *Sync_; }
  void SetSynchronizer(TSynchronizer* sync);

  TProjectTitles Titles;
  std::string Comment;
  TZymra_Run* CurrentRun = nullptr;
  std::function<void(TZymra_Run*)> OnRunAdded;
  std::function<void()> OnStateChange;

 private:
  TDirectSynchronizer OwnSync_;
  TSynchronizer* Sync_ = &OwnSync_;
};

// The start page's checks; each failure gives one message, in table order. failedChecks,
// when given, receives the numbers (0 to 15, in the same order) of the checks that failed.
std::vector<std::string> CheckRunValues(const TRunParameters& params, const TRunBatchParameters& batch,
                                        std::vector<int>* failedChecks = nullptr);
extern const char* const kValuesNotAppliedHeader;  // "Values Couldn´t Be Applied To Run!\r\n===...\r\n"
// The warning of failed checks: the header, then "- " and each message, CR LF between them.
std::string ValuesNotAppliedText(const std::vector<std::string>& failed);
