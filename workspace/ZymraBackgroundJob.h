#pragma once
// A computation that a window starts on a thread of its own and polls from its event
// loop (the fit, the sweep): it can be asked to stop, says when it has ended, whether
// it succeeded and how long it took. The window owns it and stops it before it goes.

#include <atomic>
#include <chrono>
#include <exception>
#include <string>
#include <thread>
#include <utility>

struct TBackgroundJob {
  using TClock = std::chrono::steady_clock;

  std::atomic<bool> CancelFlag{false};
  std::atomic<bool> Ended{false};
  std::thread Thread;
  // Written by the thread before Ended, read by the window after it.
  bool Ok = false;
  std::string Error;
  TClock::time_point StartedAt, EndedAt, CancelAt;

  TBackgroundJob() = default;
  TBackgroundJob(const TBackgroundJob&) = delete;
  TBackgroundJob& operator=(const TBackgroundJob&) = delete;

  // Runs work() on the thread; it returns whether it succeeded and leaves its reason in
  // Error. An exception (out of memory) is a failure with its text.
  template <class TWork>
  void Launch(TWork work) {
    StartedAt = TClock::now();
    Thread = std::thread([this, work = std::move(work)]() mutable {
      try {
        Ok = work();
      } catch (const std::exception& e) {
        Ok = false;
        Error = e.what();
      }
      EndedAt = TClock::now();
      Ended.store(true, std::memory_order_release);
    });
  }

  bool Running() const { return Thread.joinable(); }
  bool HasEnded() const { return Ended.load(std::memory_order_acquire); }

  // Asks the thread to stop at its next look at the flag; false when it is not running
  // or has been asked already.
  bool Cancel() {
    if (!Running() || CancelFlag.load()) return false;
    CancelAt = TClock::now();
    CancelFlag = true;
    return true;
  }

  // Stops the thread and waits for it: the computations look at the flag between two
  // evaluations or steps, so the wait is short.
  void StopAndJoin() {
    if (!Running()) return;
    CancelFlag = true;
    Thread.join();
  }

  // For a job that has ended: joins the thread (at once) and gives the milliseconds from
  // Cancel to the end, or -1 when it was not cancelled.
  double Finish() {
    Thread.join();
    return CancelFlag.load() ? std::chrono::duration<double, std::milli>(EndedAt - CancelAt).count() : -1;
  }

  double Seconds() const { return std::chrono::duration<double>(EndedAt - StartedAt).count(); }
};
