#include "ZymraQtSync.h"

#include <QApplication>
#include <QMetaObject>
#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

TQtSynchronizer::TQtSynchronizer(QObject* parent) : QObject(parent) {
  WakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (WakeFd_ >= 0) {
    Notifier_ = new QSocketNotifier(WakeFd_, QSocketNotifier::Read, this);
    connect(Notifier_, &QSocketNotifier::activated, this, &TQtSynchronizer::Drain);
  }
}

TQtSynchronizer::~TQtSynchronizer() {
  delete Notifier_;
  if (WakeFd_ >= 0) close(WakeFd_);
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
  if (!wake) return;
  if (WakeFd_ >= 0) {
    const std::uint64_t one = 1;
    // Cannot fail short of a counter overflow: at most one wake-up is outstanding.
    [[maybe_unused]] const ssize_t written = write(WakeFd_, &one, sizeof one);
  } else {
    QMetaObject::invokeMethod(this, &TQtSynchronizer::Drain, Qt::QueuedConnection);
  }
}

void TQtSynchronizer::Drain() {
  // Only what was queued when the event arrived: requests posted meanwhile come with
  // the next event, after the input that waits in between.
  if (WakeFd_ >= 0) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(WakeFd_, &count, sizeof count);
  }
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
