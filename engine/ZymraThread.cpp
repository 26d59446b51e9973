#include "ZymraThread.h"

#include <cmath>
#include <cstring>
#include <exception>

#include "LibZymra.h"
#include "ZymraModel.h"

// ---------------------------------------------------------------------------
// Synchronisation

void TSyncRequest::Run() {
  {
    std::lock_guard lock(M_);
    if (State_ != EState::Pending) return;
    State_ = EState::Running;
  }
  try {
    if (Fn_) Fn_();
  } catch (...) {
    // A failing handler must not leave its worker waiting forever.
  }
  {
    std::lock_guard lock(M_);
    State_ = EState::Done;
    Fn_ = nullptr;
  }
  Cv_.notify_all();
}

bool TSyncRequest::Wait() {
  std::unique_lock lock(M_);
  Cv_.wait(lock, [this] { return State_ == EState::Done || State_ == EState::Abandoned; });
  return State_ == EState::Done;
}

void TSyncRequest::Abandon() {
  {
    std::lock_guard lock(M_);
    if (State_ != EState::Pending) return;
    State_ = EState::Abandoned;
  }
  Cv_.notify_all();
}

bool TSyncRequest::IsRunning() {
  std::lock_guard lock(M_);
  return State_ == EState::Running;
}

void TQueueSynchronizer::Post(std::shared_ptr<TSyncRequest> request) {
  // Signalled under the lock: once the owner has taken the request, the poster is
  // done with this queue, so the owner may destroy it right after.
  std::lock_guard lock(M_);
  Queue_.push_back(std::move(request));
  Cv_.notify_all();
}

std::size_t TQueueSynchronizer::ProcessPending() {
  std::size_t count = 0;
  for (;;) {
    std::shared_ptr<TSyncRequest> request;
    {
      std::lock_guard lock(M_);
      if (Queue_.empty()) break;
      request = std::move(Queue_.front());
      Queue_.pop_front();
    }
    request->Run();
    ++count;
  }
  return count;
}

std::size_t TQueueSynchronizer::WaitAndProcess(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(M_);
    Cv_.wait_for(lock, timeout, [this] { return !Queue_.empty() || Woken_; });
    Woken_ = false;
  }
  return ProcessPending();
}

void TQueueSynchronizer::Wake() {
  {
    std::lock_guard lock(M_);
    Woken_ = true;
  }
  Cv_.notify_all();
}

// ---------------------------------------------------------------------------
// Worker

TZymra_Thread::TZymra_Thread(TZymra_Run* run, TCallback onStateChange, TSynchronizer& sync)
    : S_(std::make_shared<TShared>()), Run_(run), OnStateChange_(std::move(onStateChange)) {
  Thread_ = std::thread(&TZymra_Thread::Execute, S_, run, &sync, OnStateChange_);
}

TZymra_Thread::~TZymra_Thread() {
  Stop();
  std::shared_ptr<TSyncRequest> current;
  {
    std::lock_guard lock(S_->M);
    current = S_->Current;
  }
  if (!Thread_.joinable()) return;
  if (current && current->IsRunning()) {
    // We are inside this worker's own callback: it waits for us, so we cannot wait
    // for it. It touches nothing but its shared state once the callback returns.
    Thread_.detach();
  } else {
    Thread_.join();
  }
}

void TZymra_Thread::Resume() {
  {
    std::lock_guard lock(S_->M);
    S_->Suspended = false;
  }
  S_->Cv.notify_all();
}

void TZymra_Thread::Suspend() {
  {
    std::lock_guard lock(S_->M);
    S_->Suspended = true;
  }
  S_->Cv.notify_all();
}

void TZymra_Thread::Stop() {
  std::shared_ptr<TSyncRequest> current;
  {
    std::lock_guard lock(S_->M);
    S_->Terminated = true;
    current = S_->Current;
  }
  if (current) current->Abandon();
  S_->Cv.notify_all();
}

bool TZymra_Thread::Terminated() const {
  std::lock_guard lock(S_->M);
  return S_->Terminated;
}

bool TZymra_Thread::Suspended() const {
  std::lock_guard lock(S_->M);
  return S_->Suspended;
}

bool TZymra_Thread::Ended() const {
  std::lock_guard lock(S_->M);
  return S_->Ended;
}

void TZymra_Thread::SetOnProcessUpdate(TCallback fn) {
  std::lock_guard lock(S_->M);
  S_->OnProcessUpdate = std::move(fn);
}

void TZymra_Thread::SetOnChartUpdate(TCallback fn) {
  std::lock_guard lock(S_->M);
  S_->OnChartUpdate = std::move(fn);
}

void TZymra_Thread::SetBreak(TBreakTest test, TCallback onBreak) {
  std::lock_guard lock(S_->M);
  S_->BreakTest = std::move(test);
  S_->OnBreak = std::move(onBreak);
}

void TZymra_Thread::SetRealtime(bool realtime) {
  std::lock_guard lock(S_->M);
  S_->Realtime = realtime;
}

void TZymra_Thread::CheckState() {
  if (Run_ && Run_->State() != S_->LastState.load()) {
    if (OnStateChange_) OnStateChange_();
    S_->LastState.store(Run_->State());
  }
}

void TZymra_Thread::WaitIdle() {
  std::unique_lock lock(S_->M);
  S_->Cv.wait(lock, [this] { return !S_->Busy || S_->Ended; });
}

// Every place where the worker waits marks it idle first: the owning thread may
// then look at the run, and never waits for a worker that waits for it.
bool TZymra_Thread::Synchronize(TShared& s, TSynchronizer& sync, TCallback fn) {
  auto request = std::make_shared<TSyncRequest>(std::move(fn));
  {
    std::lock_guard lock(s.M);
    if (s.Terminated) return false;
    s.Current = request;
    s.Busy = false;
  }
  s.Cv.notify_all();
  sync.Post(request);
  const bool ran = request->Wait();
  std::unique_lock lock(s.M);
  s.Current.reset();
  // The owner may have paused the run while the callback was queued or running, and
  // then takes the run for its own: the worker touches it again only once continued.
  s.Cv.wait(lock, [&s] { return !s.Suspended || s.Terminated; });
  s.Busy = !s.Terminated;
  return ran && !s.Terminated;
}

bool TZymra_Thread::Gate(TShared& s) {
  std::unique_lock lock(s.M);
  s.Busy = false;
  s.Cv.notify_all();
  s.Cv.wait(lock, [&s] { return !s.Suspended || s.Terminated; });
  s.Busy = !s.Terminated;
  return !s.Terminated;
}

bool TZymra_Thread::SleepUntilDue(TShared& s, std::chrono::steady_clock::time_point& due, long milliseconds) {
  std::unique_lock lock(s.M);
  if (!s.Realtime) return !s.Terminated;
  const auto period = std::chrono::milliseconds(milliseconds);
  const auto now = std::chrono::steady_clock::now();
  due = (due + period < now) ? now + period : due + period;
  s.Busy = false;
  s.Cv.notify_all();
  // A pause or stop cuts the sleep short; the gate then holds the worker.
  s.Cv.wait_until(lock, due, [&s] { return s.Suspended || s.Terminated; });
  s.Busy = !s.Terminated;
  return !s.Terminated;
}

// Pause or finish from the worker: the state changes, the beep, the last chart
// refresh and the state notification all happen on the owning thread in one go,
// so that thread never sees a state it did not set itself. The worker is marked
// suspended (or stopped) before the handlers run, so a handler may continue it.
void TZymra_Thread::Notify(TShared& s, TSynchronizer& sync, TZymra_Run* run, const TCallback& onStateChange,
                           std::uint8_t newState) {
  Synchronize(s, sync, [&s, &sync, run, &onStateChange, newState] {
    run->Params.State = newState;
    {
      std::lock_guard lock(s.M);
      if (newState == rsFinished)
        s.Terminated = true;
      else
        s.Suspended = true;
    }
    run->Params.PauseStart = NowDateTime();
    sync.Beep();
    TCallback chart;
    {
      std::lock_guard lock(s.M);
      chart = s.OnChartUpdate;
    }
    if (chart) chart();
    if (run->State() != s.LastState.load()) {
      if (onStateChange) onStateChange();
      s.LastState.store(run->State());
    }
  });
}

namespace {
// State belongs to the owning thread, which may change it while a step runs.
void CopyExceptState(TRunParameters& to, const TRunParameters& from) {
  constexpr std::size_t at = offsetof(TRunParameters, State);
  auto* dst = reinterpret_cast<std::uint8_t*>(&to);
  const auto* src = reinterpret_cast<const std::uint8_t*>(&from);
  std::memcpy(dst, src, at);
  std::memcpy(dst + at + 1, src + at + 1, sizeof(TRunParameters) - at - 1);
}

// What a step changes besides appending rows, to undo a step that failed.
struct TStepSnapshot {
  int Rows[kRunSeriesCount];
  TRunParameters Params;
  TRunBatchParameters Batch;
  std::size_t LogSize;
  double FeedStart, CorrTime, XPr, XTh;
  std::uint8_t PauseRequest;

  void Take(const TZymra_Run& run, double xPr, double xTh) {
    for (int i = 0; i < kRunSeriesCount; ++i) Rows[i] = run.Series(i).Rows();
    CopyExceptState(Params, run.Params);
    Batch = run.BatchParams;
    LogSize = run.EventLog.size();
    FeedStart = run.FeedStart;
    CorrTime = run.CorrTime;
    PauseRequest = run.PauseRequest;
    XPr = xPr;
    XTh = xTh;
  }
  void Restore(TZymra_Run& run, double& xPr, double& xTh) const {
    for (int i = 0; i < kRunSeriesCount; ++i) run.Series(i).SetRowCount(Rows[i]);
    CopyExceptState(run.Params, Params);
    run.BatchParams = Batch;
    // Entries are put in front: keep the old tail.
    if (run.EventLog.size() >= LogSize) run.EventLog.erase(0, run.EventLog.size() - LogSize);
    run.FeedStart = FeedStart;
    run.CorrTime = CorrTime;
    run.PauseRequest = PauseRequest;
    xPr = XPr;
    xTh = XTh;
  }
};

bool NewRowsFinite(const TZymra_Run& run, const TStepSnapshot& before, double xPr, double xTh) {
  for (int i = 0; i < kRunSeriesCount; ++i) {
    const tDoubleMatrix& s = run.Series(i);
    for (int row = before.Rows[i]; row < s.Rows(); ++row)
      if (!std::isfinite(s.Value(row))) return false;
  }
  return std::isfinite(xPr) && std::isfinite(xTh);
}
}  // namespace

void TZymra_Thread::Execute(std::shared_ptr<TShared> sp, TZymra_Run* run, TSynchronizer* sync,
                            TCallback onStateChange) {
  TShared& s = *sp;
  auto finishOnError = [&](double& xPr, double& xTh, const TStepSnapshot* undo) {
    if (undo) undo->Restore(*run, xPr, xTh);
    run->LogEvent(kLogStepFailed);
    Notify(s, *sync, run, onStateChange, rsFinished);
  };
  auto loop = [&] {
    if (!Gate(s)) return;
    double xPr = 0, xTh = 0;
    TStepSnapshot snap{};
    std::chrono::steady_clock::time_point due{};
    try {
      InitRun(*run);
      xPr = xTh = run->ODrealTheory.Last() * run->Params.DryMassPerOD_Real;
    } catch (const std::exception&) {
      finishOnError(xPr, xTh, nullptr);
      return;
    }
    for (;;) {
      if (!Gate(s)) return;
      s.LastState.store(rsRunning);
      TCallback process, onBreak;
      TBreakTest breakTest;
      {
        std::lock_guard lock(s.M);
        process = s.OnProcessUpdate;
        breakTest = s.BreakTest;
        onBreak = s.OnBreak;
      }
      if (breakTest && breakTest(*run)) {
        if (!Synchronize(s, *sync, onBreak)) return;
        if (!Gate(s)) return;
        std::lock_guard lock(s.M);
        process = s.OnProcessUpdate;
      }
      if (process && !Synchronize(s, *sync, process)) return;
      if (!SleepUntilDue(s, due, run->SleepTime() + 1)) return;
      if (!Gate(s)) return;

      snap.Take(*run, xPr, xTh);
      bool ok = true;
      try {
        Step(*run, xPr, xTh);
        ok = NewRowsFinite(*run, snap, xPr, xTh);
      } catch (const std::exception&) {
        ok = false;
      }
      if (!ok) {
        finishOnError(xPr, xTh, &snap);
        return;
      }

      TCallback chart;
      {
        std::lock_guard lock(s.M);
        chart = s.OnChartUpdate;
      }
      if (chart && !Synchronize(s, *sync, chart)) return;

      if (run->Params.Finished) {
        Notify(s, *sync, run, onStateChange, rsFinished);
        return;
      } else if (run->PauseRequest) {
        Notify(s, *sync, run, onStateChange, rsPaused);
        if (!Gate(s)) return;
        run->PauseRequest = 0;
      } else if (run->Params.Overflowing) {
        Notify(s, *sync, run, onStateChange, rsPaused);
      }
    }
  };
  {
    std::lock_guard lock(s.M);
    s.Busy = true;
  }
  loop();
  std::lock_guard lock(s.M);
  s.Busy = false;
  s.Ended = true;
  s.OnProcessUpdate = nullptr;
  s.OnChartUpdate = nullptr;
  s.OnBreak = nullptr;
  s.BreakTest = nullptr;
  s.Cv.notify_all();
}
