#include "ZymraQtSync.h"

#include <QApplication>
#include <QMetaObject>

TQtSynchronizer::TQtSynchronizer(QObject* parent) : QObject(parent) {}

TQtSynchronizer::~TQtSynchronizer() {
  std::deque<std::shared_ptr<TSyncRequest>> left;
  {
    std::lock_guard lock(M_);
    left.swap(Queue_);
  }
  // A worker still waiting for one of these wakes up and ends instead of hanging.
  for (auto& request : left) request->Abandon();
}

void TQtSynchronizer::Post(std::shared_ptr<TSyncRequest> request) {
  bool wake = false;
  {
    std::lock_guard lock(M_);
    Queue_.push_back(std::move(request));
    wake = !WakeQueued_;
    WakeQueued_ = true;
  }
  if (wake) QMetaObject::invokeMethod(this, &TQtSynchronizer::Drain, Qt::QueuedConnection);
}

void TQtSynchronizer::Drain() {
  // Only what was queued when the event arrived: requests posted meanwhile come with
  // the next event, after the input that waits in between.
  std::deque<std::shared_ptr<TSyncRequest>> batch;
  {
    std::lock_guard lock(M_);
    batch.swap(Queue_);
    WakeQueued_ = false;
  }
  for (auto& request : batch) request->Run();
}

void TQtSynchronizer::Beep() {
  if (BeepEnabled_) QApplication::beep();
}
