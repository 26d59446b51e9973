#pragma once
// What the tests that drive the whole main window share: opening it as the program does
// and turning the event loop until something has happened.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <memory>

#include "LibZymra.h"
#include "UntZymraMain.h"

// The project's main window without a command line, shown (offscreen), its posted
// command-line step done.
inline std::unique_ptr<TFrmZymraMain> OpenMainWindow(TZymra& project) {
  auto window = std::make_unique<TFrmZymraMain>(project);
  window->CommandLine.clear();
  window->CreatePages();
  window->show();
  QCoreApplication::processEvents();
  return window;
}

// Turns the event loop until cond holds or ms have passed.
template <typename F>
bool WaitFor(F cond, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!cond()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}
