#pragma once
// What the tests that drive the whole main window share: opening it as the program does
// and turning the event loop until something has happened.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>

#include <memory>

#include <gtest/gtest.h>

#include "LibNavigation.h"
#include "LibZymra.h"
#include "UntZymraMain.h"
#include "ZymraQtSync.h"

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

// A project on the UI thread's event loop with its main window, and a folder for files.
// The fixtures built on it answer the window's message boxes with Answer.
class MainWindowFixture : public ::testing::Test {
 public:
  int Answer = QMessageBox::Yes;
  TQtSynchronizer Sync;
  std::unique_ptr<TZymra> Project;
  std::unique_ptr<TFrmZymraMain> Window;
  QTemporaryDir Dir;

  void OpenProjectWindow() {
    Project = std::make_unique<TZymra>(&Sync);
    Window = OpenMainWindow(*Project);
  }
  void CloseProjectWindow() {
    Project->ClearRuns();  // workers stop while the synchroniser exists
    Window.reset();
    Project.reset();
  }
  TNavigations& Nav() { return *Window->Navigations(); }
  QTreeWidget& Tree() { return *Window->TvwNavigation; }
};
