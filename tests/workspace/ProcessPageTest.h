#pragma once
// The process page on a project whose workers hand their steps to the UI thread's event
// loop, as in the desktop program. Shared by the page's tests and its print tests.
#include "QtTestApp.h"

#include <QStringList>
#include <QTest>

#include <memory>

#include <gtest/gtest.h>

#include "LibZymra.h"
#include "PaxChart.h"
#include "UntZymraPnlProcess.h"
#include "ZymraQtSync.h"
#include "ZymraUi.h"

inline QString Output(const QString& file) { return QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/") + file; }

// A project on the UI thread's event loop, as in the desktop program, with its page.
class ProcessPage : public ::testing::Test {
 protected:
  void SetUp() override {
    Sync = std::make_unique<TQtSynchronizer>();
    Sync->SetBeepEnabled(false);
    Project = std::make_unique<TZymra>(Sync.get());
    Page = std::make_unique<TFrmPnlProcess>(*Project);
    Page->resize(1000, 700);
    ResetZymraUi();
    ZymraUi().Warning = [this](QWidget*, const QString& text) { Warnings << text; };
  }
  void TearDown() override {
    Page.reset();
    Project.reset();  // stops the workers while the synchroniser still exists
    Sync.reset();
    ResetZymraUi();
  }

  // A run without batch phase (phase "Fed Batch" from the start) at the given speed.
  TZymra_Run* FedBatchRun(int speed) {
    TZymra_Run* run = Project->AddRun();
    run->BatchParams.IsBatch = 0;
    run->BatchParams.Phase = 0;
    run->Params.Speed = speed;
    return run;
  }
  // A run that goes on stepping for many seconds at speed 10 (small steps).
  TZymra_Run* LongRun() {
    TZymra_Run* run = FedBatchRun(10);
    run->Params.SimInterval = 0.001;
    return run;
  }
  std::size_t Points() const { return Page->crtu->Series(0)->Count(); }
  // Waits on the page, never on the run: the run is the worker's while it steps.
  bool WaitForPoints(std::size_t n, int ms = 20000) {
    return QTest::qWaitFor([&] { return Points() >= n; }, ms);
  }

  std::unique_ptr<TQtSynchronizer> Sync;
  std::unique_ptr<TZymra> Project;
  std::unique_ptr<TFrmPnlProcess> Page;
  QStringList Warnings;
};
