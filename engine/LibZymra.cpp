#include "LibZymra.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "ZymraModel.h"

const char* const kRunSeriesNames[kRunSeriesCount] = {
    "Time",         "ODreal",        "ODideal",   "uOD",         "uCell",    "Volume",       "FeedRate",
    "OTRV0",        "OTRVt",         "ODrealTheory", "ODidealTheory", "uODTheory", "uCellTheory", "Substrate"};

TZymra_Run::TZymra_Run(TStreamNode* owner) : TStreamNode(owner, StaticClass()) {
  SetProfile(TStreamProfile::Make("1.0.2", "*.run", "Zymra\\Runs", "Zymra Simulation Run"));
  Params = DefaultRunParameters();
  BatchParams = DefaultRunBatchParameters();
  ClearRunStatus(Params, BatchParams);
}

TZymra_Run::~TZymra_Run() { Worker_.reset(); }

namespace {
#pragma pack(push, 1)
struct TMeasuredRecord {
  double Time;
  std::int32_t Replicate;
  double Value[kMeasuredColumnCount];
};
#pragma pack(pop)
static_assert(sizeof(TMeasuredRecord) == 44);
}  // namespace

TZymra_Measured::TZymra_Measured(TStreamNode* owner) : TStreamNode(owner, StaticClass()) {
  SetProfile(TStreamProfile::Make("1.0.0", "", "", ""));
}

bool TZymra_Measured::WriteData(TStreamWrapper& w) {
  std::vector<TMeasuredRecord> records(Data.Points.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    const TMeasuredPoint& p = Data.Points[i];
    records[i].Time = p.Time;
    records[i].Replicate = p.Replicate;
    for (int c = 0; c < kMeasuredColumnCount; ++c) records[i].Value[c] = p.Value[c];
  }
  const auto count = static_cast<std::int32_t>(records.size());
  return w.WriteLongString(Data.Source) && w.Write(&count, sizeof count) &&
         (count == 0 || w.Write(records.data(), static_cast<std::int32_t>(count * sizeof(TMeasuredRecord))));
}

bool TZymra_Measured::ReadData(TStreamWrapper& w) {
  TMeasuredData data;
  std::int32_t count = 0;
  if (!w.ReadLongString(data.Source) || !w.Read(&count, sizeof count)) return false;
  const std::int64_t at = w.GetPosition();
  if (count < 0 || std::int64_t{count} * std::int64_t{sizeof(TMeasuredRecord)} > w.GetRemaining()) {
    w.SetError("measured data at offset " + std::to_string(at) + " claim " + std::to_string(count) +
               " points, more than the file holds");
    return false;
  }
  std::vector<TMeasuredRecord> records(static_cast<std::size_t>(count));
  if (count > 0 && !w.Read(records.data(), static_cast<std::int32_t>(count * sizeof(TMeasuredRecord)))) return false;
  // What the importer guarantees (finite times that never go back within a replicate,
  // finite values) is checked again: a fit must not meet a damaged file's points.
  std::map<std::int32_t, double> lastTime;
  data.Points.resize(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    TMeasuredRecord r;
    std::memcpy(&r, &records[i], sizeof r);
    const double time = r.Time;
    const std::int32_t replicate = r.Replicate;
    bool good = std::isfinite(time);
    auto last = lastTime.find(replicate);
    if (good && last != lastTime.end() && time < last->second) good = false;
    for (int c = 0; c < kMeasuredColumnCount; ++c) {
      const double v = r.Value[c];  // a copy: the packed field cannot be bound
      good = good && !std::isinf(v);
    }
    if (!good) {
      w.SetError("measured point " + std::to_string(i + 1) + " at offset " +
                 std::to_string(at + static_cast<std::int64_t>(i * sizeof r)) + " is damaged");
      return false;
    }
    lastTime[replicate] = time;
    TMeasuredPoint& p = data.Points[i];
    p.Time = time;
    p.Replicate = replicate;
    for (int c = 0; c < kMeasuredColumnCount; ++c) p.Value[c] = r.Value[c];
  }
  Data = std::move(data);
  return true;
}

const TMeasuredData& TZymra_Run::Measured() const {
  static const TMeasuredData kNone;
  return Measured_ ? Measured_->Data : kNone;
}

void TZymra_Run::SetMeasured(const TMeasuredData& data) {
  if (data.Points.empty()) {
    Measured_.reset();
    return;
  }
  if (!Measured_) Measured_ = std::make_unique<TZymra_Measured>(this);
  Measured_->Data = data;
}

void TZymra_Run::CopyStoredFrom(const TZymra_Run& source) {
  Params = source.Params;
  BatchParams = source.BatchParams;
  Comment = source.Comment;
  EventLog = source.EventLog;
  LoadedVersion = source.LoadedVersion;
  for (int s = 0; s < kRunSeriesCount - 1; ++s) Series(s).Assign(source.Series(s));
  SetMeasured(source.Measured());
}

TZymra* TZymra_Run::Owner() const { return dynamic_cast<TZymra*>(Parent()); }

bool TZymra_Run::WriteData(TStreamWrapper& w) {
  bool ok = w.Write(&Params, sizeof Params);
  if (ok && !LoadedVersion.empty()) ok = w.Write(&BatchParams, sizeof BatchParams);
  const bool comment = w.WriteLongString(Comment);
  const bool log = w.WriteLongString(EventLog);
  ok = ok && comment && log;
  for (int i = 0; i < kRunSeriesCount - 1 && ok; ++i) ok = Series(i).WriteNode(w);
  if (ok && HasMeasured()) ok = Measured_->WriteNode(w);
  return ok;
}

bool TZymra_Run::ReadData(TStreamWrapper& w) {
  bool ok = w.Read(&Params, sizeof Params);
  if (ok && !LoadedVersion.empty()) ok = w.Read(&BatchParams, sizeof BatchParams);
  const bool comment = w.ReadLongString(Comment);
  const bool log = w.ReadLongString(EventLog);
  ok = ok && comment && log;
  for (int i = 0; i < kRunSeriesCount - 1 && ok; ++i) {
    ok = Series(i).ReadNode(w);
    // Files without an object version kept the feed rate in ml/h.
    if (&Series(i) == &FeedRate && LoadedVersion.empty()) FeedRate.Map(MatrixDivide, 1000.0, false);
  }
  Measured_.reset();
  if (ok) ok = ReadMeasured(w);
  // A run stored while running or paused has no worker to continue it, and starting
  // it afresh would append to its results: it comes back finished (results kept,
  // can be reset). So does a state this program never writes.
  if (Params.State != rsPrepare) Params.State = rsFinished;
  PauseRequest = 0;
  FeedStart = 0;
  CorrTime = 0;
  return ok;
}

bool TZymra_Run::ReadMeasured(TStreamWrapper& w) {
  // Without block frames nothing tells where the run's payload ends; this program
  // always writes them.
  if (!w.Header.WriteBlockHeaders || !w.Header.WriteBlockFooters) return true;
  const std::int64_t end = Header.Offsetfooter;
  if (end > w.GetSize() || w.GetPosition() + BlockHeaderSize > end) return true;
  TBlockHeader header{};
  TBlockFooter footer{};
  if (!w.BeginBlock(header, footer, true)) return false;
  // A block of a kind this program does not know (a later version's) is left unread:
  // the run's own block end puts the reader behind it.
  if (header.ClassName.Str() != TZymra_Measured::StaticClass().Name) return true;
  auto node = std::make_unique<TZymra_Measured>(this);
  node->Header = header;
  node->Footer = footer;
  if (!node->ReadNodeBody(w)) return false;
  if (!node->Data.Empty()) Measured_ = std::move(node);
  return true;
}

tDoubleMatrix& TZymra_Run::Series(int index) {
  // Read on every step (snapshot and checks): a fixed table, not one built per call.
  static constexpr tDoubleMatrix TZymra_Run::*kSeries[kRunSeriesCount] = {
      &TZymra_Run::Time,         &TZymra_Run::ODreal,        &TZymra_Run::ODideal,   &TZymra_Run::uOD,
      &TZymra_Run::uCell,        &TZymra_Run::Volume,        &TZymra_Run::FeedRate,  &TZymra_Run::OTRV0,
      &TZymra_Run::OTRVt,        &TZymra_Run::ODrealTheory,  &TZymra_Run::ODidealTheory, &TZymra_Run::uODTheory,
      &TZymra_Run::uCellTheory,  &TZymra_Run::Substrate};
  return this->*kSeries[index];
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
  const TZymra* owner = Owner();
  if (!owner) return "";
  const int index = owner->IndexOf(this);
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
  if (TZymra* owner = Owner()) {
    sync = &owner->Synchronizer();
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

void TZymra_Run::BetweenSteps(const std::function<void()>& f) {
  static std::vector<const TZymra_Thread*> held;  // owning thread only
  TZymra_Thread* worker = Worker_.get();
  if (!worker || Params.State != rsRunning || worker->Terminated() ||
      std::find(held.begin(), held.end(), worker) != held.end()) {
    f();
    return;
  }
  struct TContinue {
    TZymra_Thread* Worker;
    ~TContinue() {
      held.erase(std::find(held.begin(), held.end(), Worker));
      Worker->Resume();
    }
  };
  worker->Suspend();
  held.push_back(worker);
  TContinue resume{worker};
  worker->WaitIdle();
  f();
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

TZymra::TZymra(TStreamNode* owner) : TStreamList(owner, StaticClass()) {
  SetProfile(TStreamProfile::Make("2.0.3", "*.zym", "Zymra", "Zymra Simulation Files"));
  Randomize();
  ClearFields();
}

TZymra::TZymra(TSynchronizer* sync) : TZymra(static_cast<TStreamNode*>(nullptr)) { SetSynchronizer(sync); }

TZymra::~TZymra() {
  // Runs go first, while the synchroniser their workers use still exists.
  ClearRuns();
}

void TZymra::SetSynchronizer(TSynchronizer* sync) { Sync_ = sync ? sync : &OwnSync_; }

void TZymra::GetClassMap(std::vector<const TStreamNodeClass*>& classes) const {
  AddClassToMap(classes, TZymra_Run::StaticClass());
}

bool TZymra::WriteData(TStreamWrapper& w) {
  const bool ok = w.Write(&Titles, sizeof Titles);
  w.WriteLongString(Comment);
  return ok;
}

bool TZymra::ReadData(TStreamWrapper& w) {
  const bool ok = w.Read(&Titles, sizeof Titles);
  if (!w.ReadLongString(Comment)) Comment.clear();
  return ok;
}

TZymra_Run* TZymra::AddRun(TZymra_Run* after) {
  auto* run = new TZymra_Run(this);
  if (after && IndexOf(after) >= 0)
    Insert(after, run);
  else
    Add(run);
  if (OnRunAdded) OnRunAdded(run);
  return run;
}

TZymra_Run* TZymra::Run(int index) const { return static_cast<TZymra_Run*>(GetItem(index)); }

void TZymra::RemoveRun(TZymra_Run* run) {
  if (IndexOf(run) < 0) return;
  if (CurrentRun == run) CurrentRun = nullptr;
  Delete(run);
}

void TZymra::ClearRuns() {
  CurrentRun = nullptr;
  Clear();
}

int TZymra::IndexOf(const TZymra_Run* run) const { return TLinkList::IndexOf(run); }

void TZymra::ClearFields() {
  Titles.Title.Assign("unknown");
  Titles.Stock.Assign("");
  Comment.clear();
}

void TZymra::ClearProject() {
  ClearRuns();
  ClearFields();
}

void TZymra::NotifyRuns() {
  CurrentRun = nullptr;
  for (int i = 0; i < RunCount(); ++i)
    if (OnRunAdded) OnRunAdded(Run(i));
}

std::string TZymra::VersionText() { return "2.0.3- free edition for teaching and research"; }

// Prepared runs only: none of them has a worker to hold, so no running run waits for it.
void TZymra::EquateSettings(const TRunParameters& src) {
  for (int i = 0; i < RunCount(); ++i) {
    TRunParameters& p = Run(i)->Params;
    if (p.State != rsPrepare) continue;
    p.ReactorSize = src.ReactorSize;
    p.SimInterval = src.SimInterval;
    p.ReactorVol = src.ReactorVol;
    p.FedBatchOD = src.FedBatchOD;
    p.DryMassPerOD_Real = src.DryMassPerOD_Real;
    p.Yield_Real = src.Yield_Real;
    p.Maintenance_Real = src.Maintenance_Real;
    p.CSubstr_Real = src.CSubstr_Real;
    p.Uset = src.Uset;
    p.TargetOD = src.TargetOD;
    p.uCritical = src.uCritical;
    p.StopByuCrit = src.StopByuCrit;
    p.Yxo = src.Yxo;
  }
}

// Running runs too: their workers read the speed before every sleep.
void TZymra::EquateCharts(const TRunParameters& src) {
  for (int i = 0; i < RunCount(); ++i) Run(i)->BetweenSteps([&, run = Run(i)] {
    TRunParameters& p = run->Params;
    p.Speed = src.Speed;
    p.ShowEqualCf = src.ShowEqualCf;
    p.View3D = src.View3D;
    p.ChartRotation = src.ChartRotation;
    p.ChartElevation = src.ChartElevation;
    p.LastRefill = src.LastRefill;
    p.LastDischarge = src.LastDischarge;
  });
}

void TZymra::StartAll() {
  for (int i = 0; i < RunCount(); ++i) {
    TZymra_Run* run = Run(i);
    if (run->IsInStates({rsPrepare, rsPaused})) {
      run->StartThread();
      run->Resume();
    }
  }
}

void TZymra::PauseAll() {
  for (int i = 0; i < RunCount(); ++i)
    if (Run(i)->IsInStates({rsRunning})) Run(i)->Pause();
}

void TZymra::FinishAll() {
  for (int i = 0; i < RunCount(); ++i)
    if (Run(i)->IsInStates({rsRunning, rsPaused})) Run(i)->Finish();
}

void TZymra::ResetAll() {
  for (int i = 0; i < RunCount(); ++i)
    if (Run(i)->IsInStates({rsPaused, rsFinished})) Run(i)->Reset();
}

bool TZymra::AnyActive() const { return AnyInStates({rsRunning, rsPaused}); }

bool TZymra::AnyInStates(std::initializer_list<int> states) const {
  for (int i = 0; i < RunCount(); ++i)
    if (Run(i)->IsInStates(states)) return true;
  return false;
}

// ---------------------------------------------------------------------------

const char* const kValuesNotAppliedHeader =
    "Values Couldn\xB4t Be Applied To Run!\r\n==================================\r\n";

std::string ValuesNotAppliedText(const std::vector<std::string>& failed) {
  std::string text = kValuesNotAppliedHeader;
  for (std::size_t i = 0; i < failed.size(); ++i) text += (i ? "\r\n- " : "- ") + failed[i];
  return text;
}

std::vector<std::string> CheckRunValues(const TRunParameters& p, const TRunBatchParameters& b,
                                        std::vector<int>* failedChecks) {
  std::vector<std::string> failed;
  int number = 0;
  auto check = [&](bool passes, const char* message) {
    if (!passes) {
      failed.push_back(message);
      if (failedChecks) failedChecks->push_back(number);
    }
    ++number;
  };
  const bool batch = b.IsBatch != 0;
  check(0.001 <= p.SimInterval && p.SimInterval <= 1, "SimInterval is out of bounds");
  check(p.ReactorSize > 0, "Reactor Size is too low");
  check(p.ReactorVol < 0.9 * p.ReactorSize || batch, "Reactor Volume is too high");
  check(b.BatchStartVol < 0.9 * p.ReactorSize || !batch, "Batch Volume is too high");
  // With a batch phase the feed-start OD is the batch's result, not an input: a rich
  // batch ends above the limit, and a Reset must not leave that value to block the page.
  check((0 <= p.FedBatchOD && p.FedBatchOD <= 80) || batch, "OD Is Too High");
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
