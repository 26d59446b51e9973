#include "LibZymra.h"

#include <algorithm>
#include <cmath>

#include "ZymraModel.h"

const char* const kRunSeriesNames[kRunSeriesCount] = {
    "Time",         "ODreal",        "ODideal",   "uOD",         "uCell",    "Volume",       "FeedRate",
    "OTRV0",        "OTRVt",         "ODrealTheory", "ODidealTheory", "uODTheory", "uCellTheory", "Substrate"};

TZymra_Run::TZymra_Run(TZymra* owner) : Owner_(owner) {
  Params = DefaultRunParameters();
  BatchParams = DefaultRunBatchParameters();
  ClearRunStatus(Params, BatchParams);
}

TZymra_Run::~TZymra_Run() { Worker_.reset(); }

tDoubleMatrix& TZymra_Run::Series(int index) {
  tDoubleMatrix* all[kRunSeriesCount] = {&Time,   &ODreal,       &ODideal,       &uOD,       &uCell,
                                         &Volume, &FeedRate,     &OTRV0,         &OTRVt,     &ODrealTheory,
                                         &ODidealTheory, &uODTheory, &uCellTheory, &Substrate};
  return *all[index];
}

const tDoubleMatrix& TZymra_Run::Series(int index) const { return const_cast<TZymra_Run*>(this)->Series(index); }

void TZymra_Run::ClearSeries() {
  for (int i = 0; i < kRunSeriesCount; ++i) Series(i).Clear();
}

double TZymra_Run::FedTotal() const {
  if (FeedRate.Rows() == 0) return 0;
  // On a copy, so that the shown series keeps its values and range.
  auto copy = FeedRate.Clone(true, true);
  copy->Map(MatrixMultiply, Params.SimInterval, false);
  return copy->Sum();
}

bool TZymra_Run::CriticalReached() const {
  return uCell.LastOr0() > Params.uCritical && ODreal.LastOr0() > BatchParams.ODCritical;
}

bool TZymra_Run::FeedEqualsConsumption() const {
  return Params.DryMassPerOD == Params.DryMassPerOD_Real && Params.Yield == Params.Yield_Real &&
         Params.Maintenance == Params.Maintenance_Real && Params.CSubstr == Params.CSubstr_Real;
}

bool TZymra_Run::ShowsEqualCf(int chartIndex) const {
  return (chartIndex == 0 || chartIndex == 1) && !FeedEqualsConsumption();
}

bool TZymra_Run::IsInStates(std::uint8_t stateSet) const {
  return Params.State <= 7 && (stateSet >> Params.State) & 1u;
}

bool TZymra_Run::IsInStates(std::initializer_list<int> states) const {
  return std::find(states.begin(), states.end(), static_cast<int>(Params.State)) != states.end();
}

long TZymra_Run::SleepTime() const {
  const double dt = Params.SimInterval;
  // Rounds half to even in the default rounding mode.
  const double ms = std::nearbyint(4000 * dt - 400 * dt * Params.Speed);
  if (!(ms > 0)) return 0;
  return ms > 60000 ? 60000 : static_cast<long>(ms);
}

std::string TZymra_Run::RunCaption() const {
  if (!Owner_) return "";
  const int index = Owner_->IndexOf(this);
  if (index < 0) return "";
  return "Run" + std::to_string(index + 1) + " " + Params.Title.Str();
}

const char* TZymra_Run::StateText() const { return Params.State < 4 ? kRunStateTexts[Params.State] : ""; }

std::string TZymra_Run::DisplayName() const { return RunCaption() + " [" + StateText() + "]"; }

void TZymra_Run::LogEvent(const std::string& text) {
  std::string entry = ProcessTimeText() + " [h:mm:ss]" + "\t" + text + "\r\n";
  EventLog.insert(0, entry);
}

void TZymra_Run::StartThread() {
  if (Worker_) return;
  std::function<void()> onStateChange;
  TSynchronizer* sync = nullptr;
  if (Owner_) {
    sync = &Owner_->Synchronizer();
    TZymra* owner = Owner_;
    // Looked up when called, so a handler installed after the start is used too.
    onStateChange = [owner] {
      if (owner->OnStateChange) owner->OnStateChange();
    };
  }
  static TDirectSynchronizer direct;
  Worker_ = std::make_unique<TZymra_Thread>(this, std::move(onStateChange), sync ? *sync : direct);
  Params.ProcessDate = NowDateTime();
}

bool TZymra_Run::Resume() {
  // A finished or stopped worker can never step again: showing "Running" then would be a lie.
  if (!Worker_ || Worker_->Terminated() || Params.State == rsFinished) return false;
  if (Params.State == rsPaused) Params.PauseTime = Params.PauseTime + NowDateTime() - Params.PauseStart;
  Params.State = rsRunning;
  Worker_->Resume();
  return true;
}

void TZymra_Run::Pause() {
  if (Params.State != rsRunning) return;
  Params.State = rsPaused;
  if (Worker_) {
    Worker_->Suspend();
    // A step under way completes before the run is the caller's again.
    Worker_->WaitIdle();
  }
  Params.PauseStart = NowDateTime();
}

void TZymra_Run::Finish() {
  if (Params.State != rsRunning && Params.State != rsPaused) return;
  Params.State = rsFinished;
  if (Worker_) {
    Worker_->Stop();
    Worker_->WaitIdle();
  }
  Params.PauseStart = NowDateTime();
}

void TZymra_Run::FinishByUser() {
  if (Params.State != rsRunning && Params.State != rsPaused) return;
  // The entry goes in only once no step can write beside it.
  if (Worker_) {
    Worker_->Suspend();
    Worker_->WaitIdle();
  }
  LogEvent(kLogUserFinished);
  Finish();
}

void TZymra_Run::Reset() {
  // The worker goes first: its step must not run into the cleared series.
  Worker_.reset();
  ClearSeries();
  ClearRunStatus(Params, BatchParams);
  FeedStart = 0;
  CorrTime = 0;
  PauseRequest = 0;
  EventLog.clear();
}

// ---------------------------------------------------------------------------

TZymra::TZymra(TSynchronizer* sync) {
  if (!sync) {
    OwnSync_ = std::make_unique<TDirectSynchronizer>();
    sync = OwnSync_.get();
  }
  Sync_ = sync;
  Randomize();
}

TZymra::~TZymra() {
  // Workers first, while every run and the synchroniser still exist.
  for (auto& run : Runs_) run->Reset();
  Runs_.clear();
}

TZymra_Run* TZymra::AddRun() {
  Runs_.push_back(std::make_unique<TZymra_Run>(this));
  TZymra_Run* run = Runs_.back().get();
  if (OnRunAdded) OnRunAdded(run);
  return run;
}

void TZymra::RemoveRun(TZymra_Run* run) {
  auto it = std::find_if(Runs_.begin(), Runs_.end(), [run](const auto& r) { return r.get() == run; });
  if (it == Runs_.end()) return;
  if (CurrentRun == run) CurrentRun = nullptr;
  std::unique_ptr<TZymra_Run> doomed = std::move(*it);
  Runs_.erase(it);
}

void TZymra::ClearRuns() {
  CurrentRun = nullptr;
  while (!Runs_.empty()) {
    std::unique_ptr<TZymra_Run> doomed = std::move(Runs_.back());
    Runs_.pop_back();
  }
}

int TZymra::IndexOf(const TZymra_Run* run) const {
  for (std::size_t i = 0; i < Runs_.size(); ++i)
    if (Runs_[i].get() == run) return static_cast<int>(i);
  return -1;
}

void TZymra::StartAll() {
  for (auto& run : Runs_) {
    if (run->IsInStates({rsPrepare, rsPaused})) {
      run->StartThread();
      run->Resume();
    }
  }
}

void TZymra::PauseAll() {
  for (auto& run : Runs_)
    if (run->IsInStates({rsRunning})) run->Pause();
}

void TZymra::FinishAll() {
  for (auto& run : Runs_)
    if (run->IsInStates({rsRunning, rsPaused})) run->Finish();
}

void TZymra::ResetAll() {
  for (auto& run : Runs_)
    if (run->IsInStates({rsPaused, rsFinished})) run->Reset();
}

bool TZymra::AnyActive() const { return AnyInStates({rsRunning, rsPaused}); }

bool TZymra::AnyInStates(std::initializer_list<int> states) const {
  return std::any_of(Runs_.begin(), Runs_.end(), [&](const auto& run) { return run->IsInStates(states); });
}

// ---------------------------------------------------------------------------

const char* const kValuesNotAppliedHeader =
    "Values Couldn\xB4t Be Applied To Run!\r\n==================================\r\n";

std::vector<std::string> CheckRunValues(const TRunParameters& p, const TRunBatchParameters& b) {
  std::vector<std::string> failed;
  auto check = [&failed](bool passes, const char* message) {
    if (!passes) failed.push_back(message);
  };
  const bool batch = b.IsBatch != 0;
  check(0.001 <= p.SimInterval && p.SimInterval <= 1, "SimInterval is out of bounds");
  check(p.ReactorSize > 0, "Reactor Size is too low");
  check(p.ReactorVol < 0.9 * p.ReactorSize || batch, "Reactor Volume is too high");
  check(b.BatchStartVol < 0.9 * p.ReactorSize || !batch, "Batch Volume is too high");
  check(0 <= p.FedBatchOD && p.FedBatchOD <= 80, "OD Is Too High");
  check(0.1 <= p.DryMassPerOD && p.DryMassPerOD <= 2, "Calculated Dry mass is out of bounds");
  check(0.1 <= p.Yield && p.Yield <= 0.9, "Calculated Substrate Yield is out of bounds");
  check(0 <= p.Maintenance && p.Maintenance <= 0.1, "Calculated Maintenance Yield is out of bounds");
  check(10 <= p.CSubstr && p.CSubstr <= 1000, "Calculated Substrate Feed Conc. is out of bounds");
  check(0.1 <= p.DryMassPerOD_Real && p.DryMassPerOD_Real <= 2, "Real Dry mass Is out of bounds");
  check(0.1 <= p.Yield_Real && p.Yield_Real <= 0.9, "Real Substrate Yield is out of bounds");
  check(0 <= p.Maintenance_Real && p.Maintenance_Real <= 0.1, "Real Maintenance Yield is out of bounds");
  check(10 <= p.CSubstr_Real && p.CSubstr_Real <= 1000, "Real Substrate Feed Conc. is out of bounds");
  check(0.01 <= p.Uset && p.Uset <= 1, "\xB5set is out of bounds");
  check(p.Uset < p.uCritical, "\xB5" "critical is too high");
  check(p.Yxo < 5, "Oxygen Yield is too high");
  return failed;
}
