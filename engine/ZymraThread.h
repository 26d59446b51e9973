#pragma once
// Worker threads of running runs, and the hand-over of their callbacks to the
// thread that owns the runs' data (the UI thread in the desktop program).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TZymra_Run;

// One callback handed from a worker to the owning thread. The worker waits for it;
// a stopped worker abandons it, and an abandoned request never runs.
class TSyncRequest {
 public:
  explicit TSyncRequest(std::function<void()> fn) : Fn_(std::move(fn)) {}
  // On the owning thread: runs the callback unless it was abandoned.
  void Run();
  // On the worker: waits until the callback has run (true) or was abandoned (false).
  bool Wait();
  // Abandons a request that has not started; one that is running completes.
  void Abandon();
  bool IsRunning();

 private:
  enum class EState { Pending, Running, Done, Abandoned };
  std::mutex M_;
  std::condition_variable Cv_;
  EState State_ = EState::Pending;
  std::function<void()> Fn_;
};

class TSynchronizer {
 public:
  virtual ~TSynchronizer() = default;
  // Arranges for request->Run() on the owning thread.
  virtual void Post(std::shared_ptr<TSyncRequest> request) = 0;
  // A short signal to the user; headless owners stay silent.
  virtual void Beep() {}
};

// Runs callbacks on the calling worker itself: for headless code in which no other
// thread looks at the runs while they go.
class TDirectSynchronizer final : public TSynchronizer {
 public:
  void Post(std::shared_ptr<TSyncRequest> request) override { request->Run(); }
};

// A queue that the owning thread drains: the headless counterpart of a UI event loop.
class TQueueSynchronizer final : public TSynchronizer {
 public:
  void Post(std::shared_ptr<TSyncRequest> request) override;
  // Runs every queued callback; returns how many ran or were skipped.
  std::size_t ProcessPending();
  // Waits up to timeout for work (or Wake), then processes what is queued.
  std::size_t WaitAndProcess(std::chrono::milliseconds timeout);
  void Wake();

 private:
  std::mutex M_;
  std::condition_variable Cv_;
  std::deque<std::shared_ptr<TSyncRequest>> Queue_;
  bool Woken_ = false;
};

class TZymra_Thread {
 public:
  using TCallback = std::function<void()>;
  using TBreakTest = std::function<bool(const TZymra_Run&)>;

  // Created suspended; the first Resume starts the loop.
  TZymra_Thread(TZymra_Run* run, TCallback onStateChange, TSynchronizer& sync);
  // Stops the worker and waits for it; from inside one of its own callbacks it
  // cannot wait, so the worker is left to end by itself right after the callback.
  ~TZymra_Thread();
  TZymra_Thread(const TZymra_Thread&) = delete;
  TZymra_Thread& operator=(const TZymra_Thread&) = delete;

  void Resume();
  void Suspend();
  // The worker performs no further step; returns at once.
  void Stop();
  bool Terminated() const;
  bool Suspended() const;
  // The loop has ended (finished, failed or stopped).
  bool Ended() const;
  // On the owning thread: returns once the worker is not touching its run (it waits
  // at a pause, a sleep or a callback, or has ended). After Suspend or Stop the run
  // is then the owner's until the worker is continued.
  void WaitIdle();

  void SetOnProcessUpdate(TCallback fn);
  void SetOnChartUpdate(TCallback fn);
  // A test the worker evaluates on its own run before each step; when it holds,
  // onBreak runs on the owning thread before the step (headless drivers use it
  // to act at chosen process times without a round trip every step).
  void SetBreak(TBreakTest test, TCallback onBreak);
  // Whether the worker sleeps the run's SleepTime before each step (on by default).
  void SetRealtime(bool realtime);

  std::uint8_t LastState() const { return S_->LastState.load(); }
  // On the owning thread: tells the state-change handler when the run's state moved.
  void CheckState();

 private:
  struct TShared {
    std::mutex M;
    std::condition_variable Cv;
    bool Suspended = true;
    bool Terminated = false;
    bool Ended = false;
    bool Busy = false;  // inside a step or between two waits: the run is the worker's
    bool Realtime = true;
    std::shared_ptr<TSyncRequest> Current;
    TCallback OnProcessUpdate, OnChartUpdate, OnBreak;
    TBreakTest BreakTest;
    std::atomic<std::uint8_t> LastState{0};
  };

  static void Execute(std::shared_ptr<TShared> s, TZymra_Run* run, TSynchronizer* sync, TCallback onStateChange);
  static bool Synchronize(TShared& s, TSynchronizer& sync, TCallback fn);
  static bool Gate(TShared& s);
  // Sleeps until `due`, which moves on by one period per step: the time the step and its
  // callbacks took comes off the sleep, so a run keeps the rate its speed allows. A worker
  // more than a period late (a pause, a slow callback) starts a fresh period instead of
  // catching up in a burst.
  static bool SleepUntilDue(TShared& s, std::chrono::steady_clock::time_point& due, long milliseconds);
  static void Notify(TShared& s, TSynchronizer& sync, TZymra_Run* run, const TCallback& onStateChange,
                     std::uint8_t newState);

  std::shared_ptr<TShared> S_;
  TZymra_Run* Run_;
  TCallback OnStateChange_;
  std::thread Thread_;
};
