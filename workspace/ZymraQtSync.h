#pragma once
// The desktop program's synchroniser: a worker's callbacks run on the UI thread as
// ordinary queued events, between the user's own input events, so the window
// never waits inside a nested event loop and a click can never arrive in the
// middle of a callback. The worker waits for its callback; a stopped worker
// abandons it and the queued event then does nothing.
#include <QObject>

#include <memory>

#include "ZymraThread.h"

class TQtSynchronizer final : public QObject, public TSynchronizer {
  Q_OBJECT
 public:
  explicit TQtSynchronizer(QObject* parent = nullptr);
  ~TQtSynchronizer() override;

  // Thread-safe: called by workers.
  void Post(std::shared_ptr<TSyncRequest> request) override;
  void Beep() override;
  // Silences Beep (tests, many runs finishing at once).
  void SetBeepEnabled(bool on) { BeepEnabled_ = on; }

 private:
  bool BeepEnabled_ = true;
};
