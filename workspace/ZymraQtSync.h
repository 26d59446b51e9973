#pragma once
// The desktop program's synchroniser: a worker's callbacks run on the UI thread as
// ordinary queued events, between the user's own input events, so the window
// never waits inside a nested event loop and a click can never arrive in the
// middle of a callback. The worker waits for its callback; a stopped worker
// abandons it and the queued event then does nothing.
#include <QObject>

class QSocketNotifier;

#include <deque>
#include <memory>
#include <mutex>

#include "ZymraThread.h"

class TQtSynchronizer final : public QObject, public TSynchronizer {
  Q_OBJECT
 public:
  explicit TQtSynchronizer(QObject* parent = nullptr);
  // Workers must be stopped first; requests still queued are abandoned.
  ~TQtSynchronizer() override;

  // Thread-safe: called by workers.
  void Post(std::shared_ptr<TSyncRequest> request) override;
  void Beep() override;
  // Silences Beep (tests, many runs finishing at once).
  void SetBeepEnabled(bool on) { BeepEnabled_ = on; }

 private:
  void Drain();

  // The requests travel through a queue of our own rather than inside Qt's events,
  // and the UI thread is woken through an event descriptor: one wake-up serves every
  // request queued meanwhile, nothing is allocated per request on the way, and the
  // hand-over is ordered by a lock and a descriptor that thread checkers can see.
  int WakeFd_ = -1;
  QSocketNotifier* Notifier_ = nullptr;
  std::mutex M_;
  std::deque<std::shared_ptr<TSyncRequest>> Queue_;
  bool WakeQueued_ = false;
  bool BeepEnabled_ = true;
};
