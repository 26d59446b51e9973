// The fermentation page driving real runs: action states, the user's interventions,
// the gauge, live charts, the GLP print and many runs switched and driven at random.
#include "ProcessPageTest.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "KelCmpStandard.h"
#include "KelReactor.h"
#include "LibZymra.h"
#include "PaxChart.h"
#include "UntZymraPnlProcess.h"
#include "ZymraPrint.h"
#include "ZymraQtSync.h"
#include "ZymraProcessImages.h"
#include "ZymraUi.h"

namespace {

struct TActionRow {
  const char* After;
  QAction* TFrmPnlProcess::*Trigger;  // nullptr: the run as added
  int State;
  bool StartOn, StartChecked, PauseOn, PauseChecked, StopOn, StopChecked, ResetOn, ExportOn, InterveneOn;
};

TEST_F(ProcessPage, ActionsFollowTheRunStateTable) {
  TZymra_Run* run = FedBatchRun(0);  // a second per step: nothing happens behind the test's back
  Page->ShowRun(run);
  EXPECT_EQ(Project->CurrentRun, run);
  const TActionRow rows[] = {
      {"added", nullptr, rsPrepare, true, false, false, false, false, false, false, false, false},
      {"start", &TFrmPnlProcess::ActStart, rsRunning, false, true, true, false, true, false, false, false, false},
      {"pause", &TFrmPnlProcess::ActPause, rsPaused, true, false, false, true, true, false, true, true, true},
      {"continue", &TFrmPnlProcess::ActStart, rsRunning, false, true, true, false, true, false, false, false, false},
      {"stop", &TFrmPnlProcess::ActStop, rsFinished, false, false, false, false, false, true, true, true, false},
  };
  EXPECT_FALSE(Page->ActPrintGLP->isEnabled()) << "empty protocol";
  for (const TActionRow& r : rows) {
    if (r.Trigger) (Page.get()->*r.Trigger)->trigger();
    SCOPED_TRACE(r.After);
    EXPECT_EQ(run->State(), r.State);
    EXPECT_EQ(Page->ActStart->isEnabled(), r.StartOn);
    EXPECT_EQ(Page->ActStart->isChecked(), r.StartChecked);
    EXPECT_EQ(Page->ActPause->isEnabled(), r.PauseOn);
    EXPECT_EQ(Page->ActPause->isChecked(), r.PauseChecked);
    EXPECT_EQ(Page->ActStop->isEnabled(), r.StopOn);
    EXPECT_EQ(Page->ActStop->isChecked(), r.StopChecked);
    EXPECT_EQ(Page->ActReset->isEnabled(), r.ResetOn);
    EXPECT_FALSE(Page->ActReset->isChecked());
    EXPECT_EQ(Page->ActExport->isEnabled(), r.ExportOn);
    EXPECT_EQ(Page->BtnRefill->isEnabled(), r.InterveneOn);
    EXPECT_EQ(Page->BtnDischarge->isEnabled(), r.InterveneOn);
    EXPECT_EQ(Page->BtnAdaptFeed->isEnabled(), r.InterveneOn);
    EXPECT_TRUE(Page->LblCaption->text().endsWith(QLatin1String(kRunStateTexts[r.State]) + "]"));
  }
  // Stop wrote its entry on top of the protocol, which can now be printed.
  EXPECT_TRUE(Page->MmoEventProtocol->toPlainText().startsWith("0:00:00 [h:mm:ss]\tFinish-"));
  EXPECT_EQ(Page->MmoEventProtocol->toPlainText().count("Not Completed - Terminated By User"), 1);
  EXPECT_TRUE(Page->ActPrintGLP->isEnabled());

  Page->ActReset->trigger();
  EXPECT_EQ(run->State(), rsPrepare);
  EXPECT_EQ(run->Worker(), nullptr);
  EXPECT_TRUE(Page->MmoEventProtocol->toPlainText().isEmpty());
  EXPECT_TRUE(Page->ActStart->isEnabled());
  EXPECT_FALSE(Page->ActPrintGLP->isEnabled());
}

TEST_F(ProcessPage, AdaptFeedNeedsTheFedBatchPhase) {
  TZymra_Run* run = Project->AddRun();  // with batch phase
  run->Params.Speed = 0;
  Page->ShowRun(run);
  EXPECT_EQ(Page->lblPhase->text(), "Batch");
  Page->ActStart->trigger();
  Page->ActPause->trigger();
  ASSERT_EQ(run->State(), rsPaused);
  EXPECT_TRUE(Page->BtnRefill->isEnabled());
  EXPECT_TRUE(Page->BtnDischarge->isEnabled());
  EXPECT_FALSE(Page->BtnAdaptFeed->isEnabled());

  TZymra_Run* fed = FedBatchRun(0);
  Page->LeaveRun();
  Page->ShowRun(fed);
  EXPECT_EQ(Page->lblPhase->text(), "Fed Batch");
  Page->ActStart->trigger();
  Page->ActPause->trigger();
  ASSERT_TRUE(Page->BtnAdaptFeed->isEnabled());
  Page->BtnAdaptFeed->click();
  EXPECT_EQ(Copy(fed->BatchParams.FeedCorrection), 1);
  EXPECT_FALSE(Page->BtnAdaptFeed->isEnabled());
}

TEST_F(ProcessPage, RefillNowTakesTheTypedAmountOnce) {
  TZymra_Run* run = FedBatchRun(0);
  run->Params.RefillAmount = 0;
  Page->ShowRun(run);
  EXPECT_EQ(Page->EdtRefillAmount->text(), "0,000");
  Page->ActStart->trigger();
  Page->ActPause->trigger();
  Page->EdtRefillAmount->selectAll();
  QTest::keyClicks(Page->EdtRefillAmount, "0,500");
  ASSERT_EQ(Page->EdtRefillAmount->text(), "0,500");
  Page->BtnRefill->click();
  EXPECT_EQ(Copy(run->Params.RefillNow), 1);
  EXPECT_EQ(Copy(run->Params.RefillAmount), 0.5);
  EXPECT_EQ(Page->EdtRefillAmount->text(), "0,000");
  EXPECT_FALSE(Page->BtnRefill->isEnabled());
  Page->StoreInputs();
  EXPECT_EQ(Copy(run->Params.RefillAmount), 0.5) << "the ordered refill is kept until a step took it";

  // The step carries it out; afterwards the edit's amount is stored again.
  const std::size_t rows = static_cast<std::size_t>(run->Time.Rows());
  Page->BarSpeed->setValue(10);
  Page->ActStart->trigger();
  ASSERT_TRUE(WaitForPoints(rows + 3));
  Page->ActPause->trigger();
  EXPECT_EQ(Copy(run->Params.Speed), 10);
  EXPECT_EQ(Copy(run->Params.RefillNow), 0);
  EXPECT_EQ(Copy(run->Params.RefillAmount), 0.0);
  EXPECT_NE(run->EventLog.find("Refill 0.5\t l"), std::string::npos) << run->EventLog;
}

TEST_F(ProcessPage, GaugeAxisAndLiquidFollowTheRun) {
  struct {
    double Size;
    double Step;
    int Decimals;
    QStringList Labels;
  } cases[] = {
      {4, 1, 1, {"0,0", "1,0", "2,0", "3,0", "4,0"}},
      {150, 38, 0, {"0", "38", "76", "114"}},
      {2, 38, 1, {"0,0"}},  // round(0.5) = 0 leaves the previous step
  };
  for (const auto& c : cases) {
    TZymra_Run* run = FedBatchRun(8);
    run->Params.ReactorSize = c.Size;
    run->Params.ReactorVol = 1;
    Page->ShowRun(run);
    SCOPED_TRACE(c.Size);
    EXPECT_EQ(Page->RctZymra->AxisMax(), c.Size);
    EXPECT_EQ(Page->RctZymra->AxisStep(), c.Step);
    EXPECT_EQ(Page->RctZymra->AxisDecimals(), c.Decimals);
    EXPECT_EQ(Page->RctZymra->AxisLabels(), c.Labels);
    EXPECT_EQ(Page->RctZymra->Volume(), 1.0);
  }
  Page->SetLiquidColor(0);
  EXPECT_EQ(Page->RctZymra->Density(), QColor(255, 255, 0));
  Page->SetLiquidColor(100);
  EXPECT_EQ(Page->RctZymra->Density(), QColor(128, 128, 0));
  Page->SetLiquidColor(250);
  EXPECT_EQ(Page->RctZymra->Density(), QColor(0, 0, 0));
  // A prepared run shows its fed-batch start OD: 24 gives round(224.4).
  TZymra_Run* run = FedBatchRun(8);
  Page->ShowRun(run);
  EXPECT_EQ(Page->RctZymra->Density(), QColor(224, 224, 0));
}

// The darkest and the most frequent colour of a picture (text and what it stands on).
int DarkestGray(const QImage& image) {
  int darkest = 255;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) darkest = std::min(darkest, qGray(image.pixel(x, y)));
  return darkest;
}
QColor MostFrequent(const QImage& image) {
  std::map<QRgb, int> count;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ++count[image.pixel(x, y)];
  return QColor(std::max_element(count.begin(), count.end(), [](auto& a, auto& b) { return a.second < b.second; })->first);
}
bool HasPixelNear(const QImage& image, const QColor& colour, int tolerance) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
              std::abs(c.blue() - colour.blue()) <= tolerance)
        return true;
    }
  return false;
}

// What the page shows can be read: live values in dark text, ODs with two significant digits,
// the overflow warning on a light ground, and Export Data looking disabled while it is.
TEST_F(ProcessPage, LiveValuesAndWarningsCanBeRead) {
  TZymra_Run* run = FedBatchRun(8);
  Page->show();
  Page->ShowRun(run);
  const struct {
    double Od;
    const char* Shown;
  } ods[] = {{0.05, "0,050"}, {0.5, "0,50"}, {5.34, "5,3"}, {9.96, "10"}, {24.4, "24"}, {0, "0"}};
  for (const auto& c : ods) {
    run->Time.Clear();
    run->ODreal.Clear();
    run->Time.Append(0);
    run->ODreal.Append(c.Od);
    run->FeedRate.Append(0.0031);
    run->OTRVt.Append(42);
    run->uCell.Append(0.1);
    Page->RefreshDisplay();
    EXPECT_EQ(Page->EdtODreal->text(), QLatin1String(c.Shown)) << c.Od;
  }
  QApplication::processEvents();
  for (QWidget* field : std::initializer_list<QWidget*>{Page->EdtFeedRate, Page->EdtFeedTotal, Page->EdtOTRVt,
                                                        Page->EdtSubstrate, Page->EdtuCell, Page->EdtODreal,
                                                        Page->EdtProcessTime}) {
    EXPECT_LT(DarkestGray(field->grab().toImage()), 90) << field->metaObject()->className();
    EXPECT_TRUE(field->isEnabled());
  }
  EXPECT_TRUE(Page->EdtFeedRate->isReadOnly());

  run->Params.Overflowing = 1;
  Page->RefreshDisplay();
  ASSERT_TRUE(Page->lblOverflowing->isVisible());
  const QRect warning(Page->lblOverflowing->mapTo(Page.get(), QPoint(0, 0)), Page->lblOverflowing->size());
  const QImage behind = Page->grab(warning).toImage();
  EXPECT_GT(qGray(MostFrequent(behind).rgb()), 180);
  EXPECT_TRUE(HasPixelNear(behind, QColor(200, 0, 0), 90));

  const QColor caption(0, 51, 153);
  ASSERT_FALSE(Page->ActExport->isEnabled());
  EXPECT_FALSE(HasPixelNear(Page->BtnExport->grab().toImage(), caption, 60));
  run->Params.Overflowing = 0;
  Page->ActStart->trigger();
  Page->ActPause->trigger();
  ASSERT_TRUE(Page->ActExport->isEnabled());
  EXPECT_TRUE(HasPixelNear(Page->BtnExport->grab().toImage(), caption, 60));
  Page->grab().save(Output("process_page_legible.png"));
}

TEST_F(ProcessPage, ARunStartedFromThePageGrowsItsChartsAndValues) {
  TZymra_Run* run = LongRun();
  Page->show();
  Page->ShowRun(run);
  EXPECT_EQ(Page->crtu->Series(0)->Title(), QString::fromUtf8("\xC2\xB5 Cell"));
  EXPECT_EQ(Page->crtu->Series(1)->Title(), QString::fromUtf8("\xC2\xB5 OD"));
  EXPECT_EQ(Page->CrtOD->Series(0)->Title(), "OD_real");
  EXPECT_EQ(Page->CrtOD->Series(1)->Title(), "OD_ideal");
  EXPECT_EQ(Page->CrtOD->Plot().BottomAxis.Title, "Fed Batch Time /h");
  EXPECT_EQ(Page->crtu->Plot().LeftAxis.ValueFormat, "#,###0.000");
  EXPECT_EQ(Page->crtu->width(), static_cast<int>(std::nearbyint(Page->PnlCharts->width() / 2.0)));

  Page->ActStart->trigger();
  ASSERT_TRUE(WaitForPoints(40));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Page->EdtProcessTime->text() != "0:00:00"; }, 5000));
  QTest::qWait(50);  // a few more frames painted for the picture
  ASSERT_TRUE(Page->grab().save(Output("process_page_running.png")));
  Page->ActPause->trigger();

  // Everything shown is the run's last row.
  const int rows = run->Time.Rows();
  for (TPaxChart* chart : {Page->crtu, Page->CrtOD})
    for (int s = 0; s < 2; ++s) EXPECT_EQ(chart->Series(s)->Count(), static_cast<std::size_t>(rows));
  EXPECT_EQ(Page->CrtOD->Series(0)->Y(rows - 1), run->ODreal.Last());
  EXPECT_EQ(Page->EdtODreal->AsFloat(), std::nearbyint(run->ODreal.Last()));
  EXPECT_NEAR(Page->EdtuCell->AsFloat(), run->uCell.Last(), 0.0005);
  EXPECT_NEAR(Page->EdtFeedRate->AsFloat(), run->FeedRate.Last() * 1000, 0.5);
  EXPECT_EQ(Page->EdtProcessTime->text().toStdString(), run->ProcessTimeText());
  EXPECT_EQ(Page->RctZymra->Volume(), std::min(run->Volume.Last(), Copy(run->Params.ReactorSize)));
  EXPECT_FALSE(Page->MmoEventProtocol->toPlainText().isEmpty());

  // Shown again, the charts are rebuilt from the run's rows.
  Page->LeaveRun();
  Page->ShowRun(run);
  EXPECT_EQ(Page->CrtOD->Series(1)->Count(), static_cast<std::size_t>(rows));
}

TEST_F(ProcessPage, AWorkerOnlyEverReceivesItsOwnRunsInputs) {
  TZymra_Run* a = LongRun();
  TZymra_Run* b = FedBatchRun(10);
  Page->ShowRun(a);
  Page->ActStart->trigger();
  // Another page made b current without this page being left: a's worker still
  // writes the page's inputs into a, never into b.
  Project->CurrentRun = b;
  Page->EdtDischargeEachh->selectAll();
  QTest::keyClicks(Page->EdtDischargeEachh, "7,00");
  // A worker may already have passed its input hand-over for the step under way and
  // refreshes may show steps in bunches: the third new point shows a step that began
  // after the typing.
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(WaitForPoints(Points() + 1));
  Page->ActPause->trigger();
  EXPECT_EQ(Copy(a->Params.DischargeEachh), 7.0);
  EXPECT_EQ(Copy(b->Params.DischargeEachh), 1.0);

  // Left, the page no longer feeds a at all, although it now shows b's inputs.
  Page->LeaveRun();
  Page->ShowRun(b);
  EXPECT_EQ(Page->EdtDischargeEachh->text(), "1,00");
  const int rows = a->Time.Rows();
  ASSERT_TRUE(a->Resume());
  bool stepped = QTest::qWaitFor(
      [&] {
        a->Pause();
        if (a->Time.Rows() > rows + 3) return true;
        a->Resume();
        return false;
      },
      20000);
  ASSERT_TRUE(stepped);
  EXPECT_EQ(Copy(a->Params.DischargeEachh), 7.0);
  EXPECT_EQ(Points(), 0u) << "b's charts got a's rows";
}

TEST_F(ProcessPage, APageDestroyedUnderARunningWorkerIsNotCalledAgain) {
  TZymra_Run* run = LongRun();
  Page->ShowRun(run);
  Page->ActStart->trigger();
  ASSERT_TRUE(WaitForPoints(5));
  Page.reset();  // a callback may well be queued right now
  QTest::qWait(100);
  run->Pause();
  const int rows = run->Time.Rows();
  run->Resume();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        run->Pause();
        const bool more = run->Time.Rows() > rows;
        if (!more) run->Resume();
        return more;
      },
      20000));
}

TEST_F(ProcessPage, ClicksArrivingWhileACallbackIsQueuedAreSafe) {
  TZymra_Run* run = LongRun();
  TZymra_Run* other = LongRun();
  Page->ShowRun(run);
  // Events are not processed meanwhile: the worker soon waits for a queued callback.
  auto letItQueue = [] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); };

  Page->ActStart->trigger();
  letItQueue();
  Page->ActPause->trigger();
  const int paused = run->Time.Rows();
  EXPECT_EQ(Points(), static_cast<std::size_t>(paused));
  QTest::qWait(30);  // the queued callback runs; no step follows
  EXPECT_EQ(run->Time.Rows(), paused);

  Page->ActStart->trigger();
  letItQueue();
  Page->ActStop->trigger();
  const int stopped = run->Time.Rows();
  QTest::qWait(30);
  EXPECT_EQ(run->Time.Rows(), stopped);
  EXPECT_EQ(QString::fromStdString(run->EventLog).count("Terminated By User"), 1);
  EXPECT_EQ(Points(), static_cast<std::size_t>(stopped));

  Page->ActReset->trigger();
  Page->ActStart->trigger();
  letItQueue();
  Page->ActPause->trigger();
  Page->ActReset->trigger();  // the worker goes while its callback is still queued
  QTest::qWait(30);
  EXPECT_EQ(run->State(), rsPrepare);
  EXPECT_EQ(run->Time.Rows(), 0);
  EXPECT_EQ(Points(), 0u);

  Page->ActStart->trigger();
  letItQueue();
  Page->LeaveRun();
  Page->ShowRun(other);
  QTest::qWait(30);  // the refresh queued for run finds another run shown
  EXPECT_EQ(Points(), 0u);
  EXPECT_EQ(Project->CurrentRun, other);
  run->Pause();
  EXPECT_GT(run->Time.Rows(), 0);
}

TEST(ToolImages, PicturesAreDistinctAndFillTheirBox) {
  for (int size : {16, 24}) {
    std::vector<QImage> images;
    for (int i = 0; i < kZymraProcessImageCount; ++i) {
      const QImage image = ZymraProcessImage(i, size);
      ASSERT_EQ(image.size(), QSize(size, size));
      int opaque = 0;
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) opaque += qAlpha(image.pixel(x, y)) > 128;
      EXPECT_GT(opaque, size * size / 8) << i;  // a real picture, not a speck
      EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << i;
      for (const QImage& other : images) EXPECT_NE(image, other) << i;
      images.push_back(image);
    }
    QImage sheet(size * kZymraProcessImageCount, size, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(226, 230, 240));
    QPainter p(&sheet);
    for (int i = 0; i < kZymraProcessImageCount; ++i) p.drawImage(i * size, 0, images[i]);
    p.end();
    ASSERT_TRUE(sheet.scaled(sheet.size() * 4).save(Output(QStringLiteral("tool_images_%1.png").arg(size))));
  }
  EXPECT_TRUE(ZymraProcessImage(kZymraProcessImageCount, 16).isNull());
}

// ---- many runs ----------------------------------------------------------------------------

TEST_F(ProcessPage, ManyRunsSwitchedAndDrivenAtRandomStayConsistent) {
  constexpr int kRuns = 20;
  for (int i = 0; i < kRuns; ++i) {
    TZymra_Run* run = Project->AddRun();
    run->Params.Speed = 10;
    if (i % 2) {
      run->BatchParams.IsBatch = 0;
      run->BatchParams.Phase = 0;
    }
  }
  int stateChanges = 0;
  Project->OnStateChange = [&] { ++stateChanges; };
  Page->show();
  std::mt19937 random(20261208);
  QAction* actions[] = {Page->ActStart, Page->ActPause, Page->ActStop, Page->ActReset};
  int presses = 0;
  // A fixed count of operations (a couple of seconds), so a slow machine does less per second, not less in all.
  for (int op = 0; op < 500; ++op) {
    switch (random() % 3) {
      case 0: {
        TZymra_Run* next = Project->Run(static_cast<int>(random() % kRuns));
        Page->LeaveRun();
        Page->ShowRun(next);
        break;
      }
      default: {
        QAction* a = actions[random() % 4];
        presses += a->isEnabled();
        a->trigger();
      }
    }
    QTest::qWait(static_cast<int>(random() % 6));
  }
  EXPECT_GT(presses, 40);
  EXPECT_GT(stateChanges, 0);

  for (int i = 0; i < kRuns; ++i) {
    Page->LeaveRun();
    Page->ShowRun(Project->Run(i));
    if (Page->ActStop->isEnabled()) Page->ActStop->trigger();
  }
  QTest::qWait(50);  // callbacks still queued find their workers stopped
  for (int i = 0; i < kRuns; ++i) {
    TZymra_Run* run = Project->Run(i);
    SCOPED_TRACE(i);
    ASSERT_TRUE(run->State() == rsPrepare || run->State() == rsFinished) << int(run->State());
    const int rows = run->Time.Rows();
    for (int s = 0; s < kRunSeriesCount; ++s) EXPECT_EQ(run->Series(s).Rows(), rows) << kRunSeriesNames[s];
    // One step at a time: the time advances by dt from row to row.
    for (int r = 1; r < rows; ++r) ASSERT_NEAR(run->Time.Value(r) - run->Time.Value(r - 1), 0.25, 1e-9) << r;
    if (run->State() == rsPrepare) {
      EXPECT_EQ(rows, 0);
      EXPECT_TRUE(run->EventLog.empty());
    } else {
      ASSERT_NE(run->Worker(), nullptr);
      EXPECT_TRUE(run->Worker()->Terminated());
      // Finished by the user once, or by the run itself.
      const QString log = QString::fromStdString(run->EventLog);
      EXPECT_LE(log.count("Terminated By User"), 1) << run->EventLog;
    }
  }
  Page->RefreshDisplay();
  EXPECT_EQ(Points(), static_cast<std::size_t>(Page->Run()->Time.Rows()));
}

}  // namespace
