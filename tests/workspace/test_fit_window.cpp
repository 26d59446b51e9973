// Measured data on a run and the fit window: importing refuses a bad file with the
// reader's one line and keeps what the run had; a fit on its own thread finds the
// constants the data were made with, never touches the run until applied, is undone by
// the start page's Undo, designs the next run, stops soon after Cancel, and
// refuses bounds the start page refuses with the check's own message.
#include "QtTestApp.h"
#include "LibZymra.h"
#include "PaxChart.h"
#include "UntZymraFit.h"
#include "UntZymraChart.h"
#include "UntZymraPnlStart.h"
#include "ZymraHeadless.h"
#include "ZymraUi.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include "KelCmpStandard.h"

#include <gtest/gtest.h>

#include "LongPageTest.h"

#include <cmath>
#include <cstring>

namespace {

void WriteFile(const QString& path, const char* text) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(text);
}

// A culture whose real yield is 0.45 where the run (and its feed) assume 0.506: OD
// every hour in two replicates with 2 % noise.
constexpr double kTrueYield = 0.45;
TMeasuredData MadeData() {
  TRunParameters p = DefaultRunParameters();
  TRunBatchParameters b = DefaultRunBatchParameters();
  ClearRunStatus(p, b);
  p.Yield_Real = kTrueYield;
  TSyntheticDesign design;
  for (int t = 1; t <= 24; ++t) design.Times.push_back(t);
  design.Replicates = 2;
  design.Noise[static_cast<int>(TMeasuredColumn::ODreal)] = 0.02;
  design.Seed = 7;
  design.LagSeed = 1;  // the batch lag the window's seed 1 gives the fit
  TMeasuredData data = SyntheticMeasuredData(p, b, design);
  data.Source = "made.tsv";
  return data;
}

class FitWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    run = project.AddRun();
    run->SetMeasured(MadeData());
    start = new TFrmPnlStart(project);
    start->ShowRun(run);
    page = new TFrmFit(project);
    page->StartPage = start;
    page->resize(1180, 720);
    page->show();
    page->ShowRun(run);
    ZymraUi().Warning = [this](QWidget*, const QString& text) { warnings << text; };
  }
  void TearDown() override {
    delete page;
    delete start;
    ResetZymraUi();
  }
  void EstimateOnly(std::initializer_list<int> constants) {
    for (auto& row : page->Rows) row.ChbEstimate->setChecked(false);
    for (int k : constants) page->Rows[k].ChbEstimate->setChecked(true);
  }

  TZymra project;
  TZymra_Run* run = nullptr;
  TFrmPnlStart* start = nullptr;
  TFrmFit* page = nullptr;
  QStringList warnings;
};

TEST_F(FitWindow, ImportRefusesABadFileWholeAndRemovesOnlyWhenConfirmed) {
  const QString good = TestOutput(QStringLiteral("good.tsv")), bad = TestOutput(QStringLiteral("bad.tsv"));
  WriteFile(good, "# two values\nTime\tODreal\n0\t1\n1,5\t2,5\n");
  WriteFile(bad, "Time\tODreal\n0\t1\n1\t2x\n");
  QString answer;
  ZymraUi().OpenFileName = [&](QWidget*, const QString&, const QString&, const QString&) { return answer; };
  const TMeasuredData before = run->Measured();

  answer = bad;
  EXPECT_FALSE(ImportMeasuredData(*run, page));
  ASSERT_EQ(warnings.size(), 1);
  EXPECT_TRUE(warnings[0].contains(QStringLiteral("line 3, column"))) << warnings[0].toStdString();
  EXPECT_EQ(warnings[0].count(QLatin1Char('\n')), 1) << "one line after the heading";
  EXPECT_TRUE(run->Measured() == before) << "nothing half-imported";

  answer.clear();  // cancelled
  EXPECT_FALSE(ImportMeasuredData(*run, page));
  answer = good;
  ASSERT_TRUE(ImportMeasuredData(*run, page));
  EXPECT_EQ(run->Measured().Points.size(), 2u);
  EXPECT_EQ(run->Measured().Points[1].Of(TMeasuredColumn::ODreal), 2.5);
  EXPECT_EQ(run->Measured().Source, "good.tsv");

  int reply = QMessageBox::No;
  ZymraUi().Question = [&](QWidget*, const QString&, bool) { return reply; };
  EXPECT_FALSE(RemoveMeasuredData(*run, page));
  EXPECT_TRUE(run->HasMeasured());
  reply = QMessageBox::Yes;
  EXPECT_TRUE(RemoveMeasuredData(*run, page));
  EXPECT_FALSE(run->HasMeasured());
}

TEST_F(FitWindow, FitFindsTheYieldAppliesUndoesAndDesignsTheNextRun) {
  EstimateOnly({0});
  const TRunParameters untouched = run->Params;
  ASSERT_TRUE(page->Start()) << warnings.join(QLatin1Char('\n')).toStdString();
  ASSERT_TRUE(WaitFor([&] { return !page->Running(); }));
  const TFitResult* r = page->Result();
  ASSERT_NE(r, nullptr) << warnings.join(QLatin1Char('\n')).toStdString();
  ASSERT_EQ(r->Names.size(), 1u);
  // The window's fit is the engine's fit of the run's records and data at the window's
  // seed, whatever the thread count.
  TFitProblem problem = FitProblemFromRun(*run);
  problem.Data = {run->Measured()};
  problem.Estimate = {{"Yield_Real", page->Rows[0].EdtLow->AsFloat(), page->Rows[0].EdtHigh->AsFloat()}};
  TFitOptions options;
  options.Seed = 1;
  options.Threads = 1;
  TFitResult direct;
  std::string error;
  ASSERT_TRUE(RunFit(problem, options, direct, error)) << error;
  EXPECT_EQ(r->Estimate[0], direct.Estimate[0]);
  EXPECT_EQ(r->StdError[0], direct.StdError[0]);
  // 48 values with 2 % noise: within three standard errors of the truth.
  EXPECT_NEAR(r->Estimate[0], kTrueYield, 3 * r->StdError[0]);
  EXPECT_LT(r->CILow[0], r->Estimate[0]);
  EXPECT_GT(r->CIHigh[0], r->Estimate[0]);
  EXPECT_EQ(page->TblEstimates->rowCount(), 1);
  EXPECT_DOUBLE_EQ(page->TblEstimates->item(0, 0)->data(Qt::UserRole).toDouble(), r->Estimate[0]);
  ASSERT_GE(page->CrtResiduals->Plot().SeriesCount(), 1);
  EXPECT_EQ(page->CrtResiduals->Plot().Series(0)->Count(), 48u) << "a weighted residual per measured OD";
  EXPECT_EQ(std::memcmp(&run->Params, &untouched, sizeof untouched), 0) << "the fit left the run alone";

  // Apply: the run's real yield at the input's four decimals; Undo shows the old one,
  // leaving the page stores it back.
  ASSERT_TRUE(page->BtnApply->isEnabled());
  page->BtnApply->click();
  const double applied = std::round(r->Estimate[0] * 1e4) / 1e4;
  EXPECT_EQ(run->Params.Yield_Real, applied);
  EXPECT_EQ(run->Params.Yield, untouched.Yield) << "the feed design stays";
  EXPECT_EQ(start->EdtYield_Real->AsFloat(), applied);
  start->BtnUndo->click();
  EXPECT_EQ(start->EdtYield_Real->AsFloat(), untouched.Yield_Real);
  start->StoreValues();
  EXPECT_EQ(run->Params.Yield_Real, untouched.Yield_Real);
  start->BtnUndo->click();  // the apply is undone: Undo is the plain one again
  EXPECT_EQ(start->EdtYield_Real->AsFloat(), untouched.Yield_Real);

  // The next run: feed designed with the estimate, so practice equals theory.
  TZymra_Run* next = page->DesignNextRun();
  ASSERT_NE(next, nullptr);
  ASSERT_EQ(project.RunCount(), 2);
  EXPECT_EQ(project.Run(1), next);
  EXPECT_EQ(next->Params.Yield, applied);
  EXPECT_EQ(next->Params.Yield_Real, applied);
  EXPECT_TRUE(next->FeedEqualsConsumption());
  EXPECT_EQ(next->State(), rsPrepare);
  EXPECT_FALSE(next->HasMeasured());
  EXPECT_TRUE(CheckRunValues(next->Params, next->BatchParams).empty());

  // A run that has started is not changed by Apply.
  run->Params.State = rsFinished;
  page->ShowRun(run);
  EXPECT_FALSE(page->BtnApply->isEnabled());
  EXPECT_FALSE(page->ApplyEstimates());
  // Nor is a run that has gone.
  project.RemoveRun(run);
  EXPECT_FALSE(page->ApplyEstimates());
  EXPECT_EQ(page->DesignNextRun(), nullptr);
}

TEST_F(FitWindow, CancelStopsTheFitAndKeepsTheRun) {
  EstimateOnly({0, 1, 2, 3, 4, 5});
  page->ChbProfile->setChecked(true);
  page->SpnThreads->setValue(2);
  const TRunParameters untouched = run->Params;
  ASSERT_TRUE(page->Start());
  QTest::qWait(150);
  ASSERT_TRUE(page->Running()) << "the fit must still be going to test Cancel";
  page->BtnCancel->click();
  ASSERT_TRUE(WaitFor([&] { return !page->Running(); }, 5000));
  // How quickly: bench_fit_window measures it; here only that Cancel is honoured soon.
  EXPECT_GE(page->CancelMilliseconds(), 0);
  EXPECT_LT(page->CancelMilliseconds(), 1000);
  EXPECT_EQ(page->Result(), nullptr);
  EXPECT_FALSE(page->BtnApply->isEnabled());
  EXPECT_FALSE(page->BtnDesign->isEnabled());
  EXPECT_EQ(std::memcmp(&run->Params, &untouched, sizeof untouched), 0);
  EXPECT_TRUE(warnings.isEmpty());
}

TEST_F(FitWindow, RefusedBoundsGiveTheChecksMessageAndEscapeCloses) {
  EstimateOnly({0});
  page->Rows[0].EdtHigh->SetAsFloat(1.2);
  EXPECT_FALSE(page->Start());
  ASSERT_EQ(warnings.size(), 1);
  EXPECT_TRUE(warnings[0].contains(QStringLiteral("Real Substrate Yield is out of bounds"))) << warnings[0].toStdString();
  EXPECT_FALSE(page->Running());
  EstimateOnly({});
  EXPECT_FALSE(page->Start());
  EXPECT_EQ(warnings.size(), 2);

  page->activateWindow();
  page->Rows[0].ChbEstimate->setFocus();
  QTest::keyClick(page->Rows[0].ChbEstimate, Qt::Key_Escape);
  EXPECT_FALSE(page->isVisible());
}

// The example shipped with the program, as a user meets it: imported on a fed batch,
// fitted in the window (three constants, OD and OTR in three replicates), applied, the
// run simulated with the estimates and charted with the measured values. The truth the
// file was made from lies inside every interval. The pictures are kept for the record.
TEST(FitWindowExample, ShippedDataGiveIntervalsAroundTheTruthAndAChartWithTheirPoints) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* run = project.AddRun();
  run->BatchParams.IsBatch = 0;
  run->BatchParams.Phase = 0;
  ZymraUi().OpenFileName = [](QWidget*, const QString&, const QString&, const QString&) {
    return QStringLiteral(ZYMRA_TEST_SOURCE_DIR "/../../resources/examples/fedbatch-measured.tsv");
  };
  ASSERT_TRUE(ImportMeasuredData(*run, nullptr));
  EXPECT_EQ(run->Measured().Source, "fedbatch-measured.tsv");

  TFrmPnlStart start(project);
  start.ShowRun(run);
  TFrmFit fit(project);
  fit.StartPage = &start;
  fit.resize(1180, 720);
  fit.show();
  fit.ShowRun(run);
  for (int k = 0; k < kFitConstantCount; ++k) fit.Rows[k].ChbEstimate->setChecked(k == 0 || k == 2 || k == 6);
  ASSERT_TRUE(fit.Start());
  ASSERT_TRUE(WaitFor([&] { return !fit.Running(); }));
  const TFitResult* r = fit.Result();
  ASSERT_NE(r, nullptr);
  const double truth[] = {0.46, 0.55, 24};  // Yield_Real, DryMassPerOD_Real, FedBatchOD
  ASSERT_EQ(r->Names.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_LT(r->CILow[i], truth[i]) << r->Names[i];
    EXPECT_GT(r->CIHigh[i], truth[i]) << r->Names[i];
  }
  EXPECT_EQ(r->Points, 240);
  EXPECT_EQ(fit.CrtResiduals->Plot().SeriesCount(), 2) << "OD and OTR";
  EXPECT_TRUE(fit.grab().save(TestOutput(QStringLiteral("fit_window.png"))));

  ASSERT_TRUE(fit.ApplyEstimates());
  THeadlessOptions options;
  options.MaxSteps = 2000;
  RunHeadless(sync, {run}, options);
  ASSERT_GT(run->Time.Rows(), 40);
  TFrmZymraChart chart(project);
  chart.resize(900, 620);
  chart.CrtChart->SetAnimatedZoom(false);
  chart.show();
  chart.SetTag(0);
  chart.ShowRun(run);
  const TPaxPlot& plot = chart.CrtChart->Plot();
  int measured = 0;
  for (int i = 0; i < plot.SeriesCount(); ++i)
    if (plot.Series(i)->PointsOnly()) {
      ++measured;
      EXPECT_EQ(plot.Series(i)->Count(), 40u);
      EXPECT_EQ(plot.Series(i)->Title(), QStringLiteral("measured %1").arg(measured));
    }
  EXPECT_EQ(measured, 3);
  chart.SetView3D(false);
  EXPECT_TRUE(chart.grab().save(TestOutput(QStringLiteral("chart_measured.png"))));
  chart.SetView3D(true);
  EXPECT_TRUE(chart.grab().save(TestOutput(QStringLiteral("chart_measured_3d.png"))));
  chart.LeaveRun();
  ResetZymraUi();
}

}  // namespace
