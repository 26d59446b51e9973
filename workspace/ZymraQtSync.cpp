#include "ZymraQtSync.h"

#include <QApplication>
#include <QMetaObject>

TQtSynchronizer::TQtSynchronizer(QObject* parent) : QObject(parent) {}

// Requests still queued when the synchroniser goes are dropped with their events;
// their workers must have been stopped by then (stopping abandons the request).
TQtSynchronizer::~TQtSynchronizer() = default;

void TQtSynchronizer::Post(std::shared_ptr<TSyncRequest> request) {
  QMetaObject::invokeMethod(
      this, [request] { request->Run(); }, Qt::QueuedConnection);
}

void TQtSynchronizer::Beep() {
  if (BeepEnabled_) QApplication::beep();
}
