// The sweep page: a sweep on its own thread gives the summary and band RunSweep gives,
// Cancel stops it quickly and keeps the runs that ended, bad input is refused with its
// reason, the export writes the lines and the summary, and how the page looks.
#include "QtTestApp.h"
#include "LibZymra.h"
#include "UntZymraSweep.h"
#include "ZymraSweep.h"
#include "ZymraUi.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "KelCmpStandard.h"

#include <gtest/gtest.h>

#include "LongPageTest.h"

namespace {

QString ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class SweepPage : public ::testing::Test {
 protected:
  void SetUp() override {
    run = project.AddRun();
    page = new TFrmSweep(project);
    page->resize(1080, 700);
    page->show();
    ZymraUi().Warning = [this](QWidget*, const QString& text) { warnings << text; };
  }
  void TearDown() override {
    delete page;
    ResetZymraUi();
  }
  // Row `row` of the page varies `name` as kind 0 grid, 1 normal, 2 uniform.
  void Vary(int row, const char* name, int kind, double a, double b, int n = 1) {
    TFrmSweep::TVaryRow& v = page->Vary[row];
    v.CmbValue->setCurrentIndex(v.CmbValue->findData(QString::fromLatin1(name)));
    v.CmbKind->setCurrentIndex(kind);
    v.EdtA->SetAsFloat(a);
    v.EdtB->SetAsFloat(b);
    v.SpnN->setValue(n);
    if (row == 1) page->ChbSecond->setChecked(true);
  }
  bool WaitEnded(int ms = 60000) {
    return WaitFor([this] { return !page->Running(); }, ms);
  }
  QTableWidgetItem* Cell(const QString& rowCaption, int column) const {
    for (int r = 0; r < page->TblSummary->rowCount(); ++r)
      if (page->TblSummary->verticalHeaderItem(r)->text() == rowCaption) return page->TblSummary->item(r, column);
    return nullptr;
  }

  TZymra project;
  TZymra_Run* run = nullptr;
  TFrmSweep* page = nullptr;
  QStringList warnings;
};

}  // namespace

TEST_F(SweepPage, GridSweepGivesTheSummaryAndBandOfRunSweep) {
  page->ShowRun(run);
  EXPECT_EQ(page->LblCaption->text(), FromCp1252(run->RunCaption()));
  // Prefilled from the run: the real yield drawn around its value with 10 % scatter.
  EXPECT_EQ(page->Vary[0].CmbValue->currentData().toString(), QStringLiteral("Yield_Real"));
  EXPECT_EQ(page->Vary[0].EdtA->text(), QStringLiteral("0,5060"));
  EXPECT_EQ(page->Vary[0].EdtB->text(), QStringLiteral("0,0506"));

  Vary(0, "Uset", 0, 0.08, 0.12, 3);
  page->SpnThreads->setValue(2);
  page->SpnSeed->setValue(7);
  ASSERT_TRUE(page->Start());
  EXPECT_TRUE(page->BtnCancel->isEnabled());
  EXPECT_FALSE(page->BtnStart->isEnabled());
  ASSERT_TRUE(WaitEnded());
  ASSERT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('\n')).toStdString();

  TSweepSpec plan;
  plan.Params = run->Params;
  plan.Batch = run->BatchParams;
  TSweepVary vary;
  std::string error;
  ASSERT_TRUE(ParseSweepVary("Uset=0.08:0.12:3", vary, error)) << error;
  plan.Varies = {vary};
  plan.Seed = 7;
  TSweepOptions options;
  options.BandKinds = {0};
  TSweepResult direct;
  ASSERT_TRUE(RunSweep(plan, options, direct, error)) << error;

  EXPECT_EQ(page->ResultRuns(), 3);
  ASSERT_NE(Cell(QStringLiteral("OD real"), 0), nullptr);
  EXPECT_DOUBLE_EQ(Cell(QStringLiteral("OD real"), 0)->data(Qt::UserRole).toDouble(), direct.Summary.Quantile(1, 0.5));
  EXPECT_DOUBLE_EQ(Cell(QStringLiteral("Process Time /h"), 2)->data(Qt::UserRole).toDouble(),
                   direct.Summary.Quantile(0, 0.95));
  EXPECT_EQ(Cell(QStringLiteral("Reached the target OD"), 0)->data(Qt::UserRole).toLongLong(),
            direct.Summary.ReachedTarget());
  EXPECT_TRUE(Cell(QStringLiteral("Reached the target OD"), 0)->text().startsWith(
      QStringLiteral("%1 of 3 (").arg(direct.Summary.ReachedTarget())));
  EXPECT_EQ(page->PrgSweep->value(), 1000);

  // The OD band: median, 5 %, 95 % and the twin culture, the band between 5 and 95 %.
  ASSERT_EQ(page->CrtBand->Bands.size(), 1u);
  ASSERT_EQ(page->CrtBand->SeriesCount(), 4);
  EXPECT_EQ(page->CrtBand->Series(0)->Count(), direct.Curves[0].Time.size());
  EXPECT_EQ(page->CrtBand->Bands[0].Lower, page->CrtBand->Series(1));
  page->CmbBand->setCurrentIndex(3);  // volume: no twin culture
  EXPECT_EQ(page->CrtBand->SeriesCount(), 3);
  EXPECT_TRUE(page->CrtBand->Plot().Title.startsWith(QStringLiteral("Reactor Volume")))
      << page->CrtBand->Plot().Title.toStdString();

  // Export: every run's line under the header, the summary beside it.
  const QString path = TestOutput(QStringLiteral("grid-sweep.tsv"));
  ZymraUi().SaveFileName = [path](QWidget*, const QString&, const QString&, const QString&, const QString&) {
    return path;
  };
  ASSERT_TRUE(page->Export());
  const QStringList lines = ReadAll(path).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 4);
  EXPECT_EQ(lines[0], QStringLiteral("Index\tSeed\tUset\tState\tProcessTime\tODreal\tODideal\tVolume\tFedTotal\t"
                                     "CriticalExceeded\tOverflowed\tSteps"));
  EXPECT_TRUE(lines[3].startsWith(QStringLiteral("2\t"))) << lines[3].toStdString();
  const QString summary = ReadAll(TestOutput(QStringLiteral("grid-sweep.summary.txt")));
  EXPECT_TRUE(summary.contains(QStringLiteral("Varied:                      Uset=0.08:0.12:3"))) << summary.toStdString();
  EXPECT_TRUE(summary.contains(QStringLiteral("Runs:                        3"))) << summary.toStdString();

  // A file that cannot be written is refused with the reason.
  ZymraUi().SaveFileName = [](QWidget*, const QString&, const QString&, const QString&, const QString&) {
    return QStringLiteral("/nonexistent-folder/sweep.tsv");
  };
  EXPECT_FALSE(page->Export());
  ASSERT_EQ(warnings.size(), 1);
  EXPECT_TRUE(warnings[0].startsWith(QStringLiteral("Cannot write '/nonexistent-folder/sweep.tsv': ")))
      << warnings[0].toStdString();
}

TEST_F(SweepPage, CancelStopsSoonAndKeepsTheRunsThatEnded) {
  // Runs of about 30,000 steps each, 100,000 of them: hours of work without the cancel.
  run->Params.SimInterval = 0.001;
  page->ShowRun(run);
  Vary(0, "Yield_Real", 1, 0.506, 0.0506);
  page->SpnSamples->setValue(100000);
  page->SpnThreads->setValue(2);
  ASSERT_TRUE(page->Start());
  ASSERT_TRUE(WaitFor([this] { return page->DoneRuns() >= 4; }));
  EXPECT_GT(page->PrgSweep->format().size(), 0);
  page->grab().save(TestOutput(QStringLiteral("sweep_page_running.png")));
  QTest::mouseClick(page->BtnCancel, Qt::LeftButton);
  EXPECT_FALSE(page->BtnCancel->isEnabled());
  ASSERT_TRUE(WaitEnded(10000));
  std::printf("[ figure ] sweep thread ended %.1f ms after Cancel\n", page->CancelMilliseconds());
  EXPECT_GE(page->CancelMilliseconds(), 0);
  EXPECT_LT(page->CancelMilliseconds(), 1000);
  EXPECT_TRUE(warnings.isEmpty());
  const long long kept = page->ResultRuns();
  EXPECT_GE(kept, 4);
  EXPECT_LT(kept, 1000);
  EXPECT_EQ(Cell(QStringLiteral("Runs"), 0)->text(), QStringLiteral("%1 of 100000 (cancelled)").arg(kept));
  EXPECT_TRUE(page->LblStatus->text().startsWith(QStringLiteral("Cancelled: %1 of 100000 runs").arg(kept)));
  EXPECT_EQ(page->CrtBand->Bands.size(), 1u);

  const QString path = TestOutput(QStringLiteral("cancelled-sweep.tsv"));
  ZymraUi().SaveFileName = [path](QWidget*, const QString&, const QString&, const QString&, const QString&) {
    return path;
  };
  ASSERT_TRUE(page->Export());
  EXPECT_EQ(ReadAll(path).count(QLatin1Char('\n')), kept + 1);
  EXPECT_TRUE(page->BtnStart->isEnabled());
}

TEST_F(SweepPage, ClosingDuringASweepCancelsIt) {
  run->Params.SimInterval = 0.001;
  page->ShowRun(run);
  Vary(0, "Yield_Real", 1, 0.506, 0.0506);
  page->SpnSamples->setValue(100000);
  ASSERT_TRUE(page->Start());
  ASSERT_TRUE(WaitFor([this] { return page->DoneRuns() >= 1; }));
  const auto before = std::chrono::steady_clock::now();
  delete page;
  page = nullptr;
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before).count();
  std::printf("[ figure ] page deleted during a sweep in %.1f ms\n", ms);
  EXPECT_LT(ms, 1000);
}

TEST_F(SweepPage, SweepsFromTheInputsOfAFinishedOrRemovedRun) {
  // What a finished run carries besides its inputs must not end the sweep's runs early.
  run->Params.State = rsFinished;
  run->Params.Finished = 1;
  run->Params.CriticalExceeded = 1;
  page->ShowRun(run);
  Vary(0, "Uset", 0, 0.1, 0.1, 1);
  ASSERT_TRUE(page->Start());
  ASSERT_TRUE(WaitEnded());
  TSweepSpec plan;
  TSweepVary vary;
  std::string error;
  ASSERT_TRUE(ParseSweepVary("Uset=0.1:0.1:1", vary, error)) << error;
  plan.Varies = {vary};
  plan.Seed = 1;
  TSweepResult direct;
  ASSERT_TRUE(RunSweep(plan, TSweepOptions{}, direct, error)) << error;
  ASSERT_GT(direct.Summary.Quantile(5, 0.5), 100);
  EXPECT_EQ(Cell(QStringLiteral("Steps"), 0)->data(Qt::UserRole).toDouble(), direct.Summary.Quantile(5, 0.5));
  EXPECT_EQ(Cell(QStringLiteral("Exceeded the critical \u00B5"), 0)->data(Qt::UserRole).toLongLong(), 0);

  // A run removed from the project is not read again; the values taken before serve.
  project.RemoveRun(run);
  run = nullptr;
  ASSERT_TRUE(page->Start());
  ASSERT_TRUE(WaitEnded());
  EXPECT_EQ(Cell(QStringLiteral("Steps"), 0)->data(Qt::UserRole).toDouble(), direct.Summary.Quantile(5, 0.5));
}

TEST(SweepCancel, ALongRunIsCutShortAndDropped) {
  // Runs that never reach their target: each would take minutes.
  TSweepSpec plan;
  plan.Params.SimInterval = 0.001;
  plan.Params.TargetOD = 100000;
  TSweepVary vary;
  std::string error;
  ASSERT_TRUE(ParseSweepVary("Uset=0.1:0.11:4", vary, error)) << error;
  plan.Varies = {vary};
  std::atomic<bool> cancel{false};
  std::atomic<long long> done{0};
  TSweepOptions options;
  options.Threads = 2;
  options.BandKinds = {0};
  options.Cancel = &cancel;
  options.Done = &done;
  long long handedOut = 0;
  options.OnOutcome = [&handedOut](const TSweepOutcome&) { ++handedOut; };
  std::chrono::steady_clock::time_point cancelledAt;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    cancelledAt = std::chrono::steady_clock::now();
    cancel = true;
  });
  TSweepResult result;
  const bool ok = RunSweep(plan, options, result, error);
  const auto returned = std::chrono::steady_clock::now();
  canceller.join();
  ASSERT_TRUE(ok) << error;
  const double ms = std::chrono::duration<double, std::milli>(returned - cancelledAt).count();
  std::printf("[ figure ] RunSweep returned %.1f ms after the cancel, inside runs\n", ms);
  EXPECT_LT(ms, 1000);
  EXPECT_TRUE(result.Cancelled);
  EXPECT_EQ(done.load(), 0);
  EXPECT_EQ(result.Summary.Runs(), 0);
  EXPECT_EQ(handedOut, 0);
}

TEST_F(SweepPage, BadInputIsRefusedWithItsReason) {
  page->ShowRun(run);
  Vary(0, "Uset", 0, 0.12, 0.08, 3);
  EXPECT_FALSE(page->Start());
  Vary(0, "Uset", 0, 0.08, 0.12, 3);
  Vary(1, "Uset", 1, 0.1, 0.01);
  EXPECT_FALSE(page->Start());
  EXPECT_FALSE(page->Running());
  ASSERT_EQ(warnings.size(), 2);
  EXPECT_EQ(warnings[0], QStringLiteral("The sweep cannot start: Uset: the last value 0.08 is below the first 0.12"));
  EXPECT_EQ(warnings[1], QStringLiteral("The sweep cannot start: Growth Rate \u00B5set is varied twice."));

  // Found by the sweep's own checks of every run: µset must stay below the critical µ (0.15).
  page->ChbSecond->setChecked(false);
  Vary(0, "Uset", 0, 0.1, 0.2, 3);
  ASSERT_TRUE(page->Start());
  ASSERT_TRUE(WaitEnded());
  ASSERT_EQ(warnings.size(), 3);
  EXPECT_TRUE(warnings[2].startsWith(QStringLiteral("The sweep failed: run 1 (Uset=0.15000000000000002) fails the "
                                                    "start page's checks: ")))
      << warnings[2].toStdString();
  EXPECT_EQ(page->ResultRuns(), 0);
  EXPECT_FALSE(page->BtnExport->isEnabled());
}

TEST_F(SweepPage, OpensAsAWindowOfItsOwnAndLooksRight) {
  QWidget main;
  ShowSweepWindow(project, *run, &main);
  TFrmSweep* window = main.findChild<TFrmSweep*>();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isWindow());
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->testAttribute(Qt::WA_DeleteOnClose));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Sweep - ") + FromCp1252(run->RunCaption()));
  QPointer<TFrmSweep> guard(window);

  // The picture: the real yield scattered at three set growth rates.
  window->Vary[0].CmbKind->setCurrentIndex(1);
  window->Vary[1].CmbValue->setCurrentIndex(window->Vary[1].CmbValue->findData(QStringLiteral("Uset")));
  window->Vary[1].EdtA->SetAsFloat(0.08);
  window->Vary[1].EdtB->SetAsFloat(0.12);
  window->Vary[1].SpnN->setValue(3);
  window->ChbSecond->setChecked(true);
  window->SpnSamples->setValue(200);
  ASSERT_TRUE(window->Start());
  ASSERT_TRUE(WaitFor([window] { return !window->Running(); }));
  EXPECT_EQ(window->ResultRuns(), 600);
  EXPECT_TRUE(window->grab().save(TestOutput(QStringLiteral("sweep_page.png"))));
  window->close();
  EXPECT_TRUE(WaitFor([&guard] { return guard.isNull(); }, 5000));
}
