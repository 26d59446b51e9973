// The chart page: equal-Cf availability by kind, turning and tilting, the 3D switch, view
// settings kept per run, a live run followed, and how it looks (printing: test_chart_page_print).
#include "QtTestApp.h"
#include "LibZymra.h"
#include "PaxChart.h"
#include "UntZymraChart.h"
#include "ZymraHeadless.h"
#include "ZymraQtSync.h"
#include "ZymraUi.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

namespace {

QString TestOutput(const QString& file) { return QStringLiteral(ZYMRA_TEST_OUTPUT_DIR) + QLatin1Char('/') + file; }

// Two finished runs: `same` with its feed designed on the real constants, `differs` with a
// wrong yield, so only `differs` offers the equal-Cf comparison.
class ChartPage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sync = new TQueueSynchronizer;
    project = new TZymra(sync);
    same = project->AddRun();
    differs = project->AddRun();
    differs->Params.Yield_Real = differs->Params.Yield * 0.8;
    THeadlessOptions options;
    options.MaxSteps = 2000;
    RunHeadless(*sync, {same, differs}, options);
  }
  static void TearDownTestSuite() {
    delete project;
    delete sync;
  }
  void SetUp() override {
    page = new TFrmZymraChart(*project);
    page->resize(900, 620);
    page->CrtChart->SetAnimatedZoom(false);
    page->show();  // lays the page out: printing takes the chart's size on screen
  }
  void TearDown() override {
    page->LeaveRun();
    delete page;
    ResetZymraUi();
  }
  void Show(TZymra_Run* run, int kind) {
    page->LeaveRun();
    page->SetTag(kind);
    page->ShowRun(run);
  }
  TPaxChartSeries* Series(int i) const { return page->CrtChart->Series(i); }
  static std::size_t Rows(const TZymra_Run* run) { return static_cast<std::size_t>(run->Time.Rows()); }

  static inline TQueueSynchronizer* sync = nullptr;
  static inline TZymra* project = nullptr;
  static inline TZymra_Run* same = nullptr;
  static inline TZymra_Run* differs = nullptr;
  TFrmZymraChart* page = nullptr;
};

TEST_F(ChartPage, EqualCfOnlyForDifferingConstantsOnTheOdAndGrowthCharts) {
  ASSERT_GT(Rows(same), 100u);
  const int plainSeries[] = {2, 2, 1, 2, 1};
  for (int kind = 0; kind < 5; ++kind) {
    Show(same, kind);
    EXPECT_FALSE(page->ActShowEqualCf->isEnabled()) << kind;
    EXPECT_EQ(page->CrtChart->SeriesCount(), plainSeries[kind]) << kind;
    Show(differs, kind);
    EXPECT_EQ(page->ActShowEqualCf->isEnabled(), kind <= 1) << kind;
    EXPECT_EQ(page->CrtChart->SeriesCount(), kind <= 1 ? 4 : plainSeries[kind]) << kind;
  }
  differs->Params.ShowEqualCf = 0;
  Show(differs, 0);
  ASSERT_EQ(page->CrtChart->SeriesCount(), 4);
  EXPECT_EQ(project->CurrentRun, differs);
  EXPECT_EQ(Series(2)->Title(), "OD real[Cf_real = Cf_theor.]");
  EXPECT_EQ(Series(3)->Title(), "OD ideal[Cf_real = Cf_theor.]");
  EXPECT_EQ(Series(0)->Count(), Rows(differs));
  EXPECT_EQ(Series(1)->Count(), Rows(differs));
  EXPECT_EQ(Series(2)->Count(), 0u);
  EXPECT_EQ(Series(3)->Count(), 0u);
  // Switched on, the comparison fills from the run's theory series and is kept in the run.
  page->ActShowEqualCf->trigger();
  EXPECT_EQ(Copy(differs->Params.ShowEqualCf), 1);
  ASSERT_EQ(page->CrtChart->SeriesCount(), 4);
  ASSERT_EQ(Series(2)->Count(), Rows(differs));
  EXPECT_EQ(Series(2)->Y(50), differs->ODrealTheory.Value(50));
  EXPECT_EQ(Series(3)->Y(50), differs->ODidealTheory.Value(50));
  page->ActShowEqualCf->trigger();
  EXPECT_EQ(Copy(differs->Params.ShowEqualCf), 0);
  EXPECT_EQ(Series(2)->Count(), 0u);
}

TEST_F(ChartPage, TitleCaptionAndAxesFollowRunAndKind) {
  Show(same, 1);
  EXPECT_EQ(page->CrtChart->Title(), "Growth Rate Run [2.0.3- free edition for teaching and research]");
  EXPECT_EQ(page->CrtChart->Plot().LeftAxis.Title, "Growth Rate /1/h");
  EXPECT_EQ(page->LblCaption->text(), QString::fromStdString(same->DisplayName()));
  EXPECT_TRUE(page->LblCaption->text().endsWith("[Finished]"));
  EXPECT_FALSE(page->CrtChart->Plot().Walls3D);
  page->ShowRun(nullptr);  // no run: the page stays as it was
  EXPECT_EQ(page->ShownRun(), same);
}

TEST_F(ChartPage, TurnTiltResetAndTheirLimits) {
  same->Params.ChartRotation = 355;
  same->Params.ChartElevation = 340;
  same->Params.View3D = 1;
  Show(same, 0);
  page->ActRotationLeft->trigger();
  page->ActRotationLeft->trigger();
  EXPECT_EQ(page->CrtChart->Rotation(), 335);
  EXPECT_EQ(Copy(same->Params.ChartRotation), 335);  // each action stores the view
  page->ActElevationUp->trigger();
  EXPECT_EQ(page->CrtChart->Elevation(), 335);
  page->ActElevationDown->trigger();
  page->ActElevationDown->trigger();
  EXPECT_EQ(Copy(same->Params.ChartElevation), 345);
  page->ActSetDefault->trigger();
  EXPECT_EQ(page->CrtChart->Rotation(), 340);
  EXPECT_EQ(page->CrtChart->Elevation(), 355);
  EXPECT_EQ(Copy(same->Params.ChartRotation), 340);
  EXPECT_EQ(Copy(same->Params.ChartElevation), 355);
  // The chart holds the angles where the view stays legible: turning right stops at the
  // front view, tilting down too, turning left and tilting up at 315.
  for (int i = 0; i < 4; ++i) page->ActRotationRight->trigger();
  EXPECT_EQ(Copy(same->Params.ChartRotation), 0);
  page->ActElevationDown->trigger();
  page->ActElevationDown->trigger();
  EXPECT_EQ(Copy(same->Params.ChartElevation), 0);
  for (int i = 0; i < 12; ++i) page->ActRotationLeft->trigger();
  for (int i = 0; i < 20; ++i) page->ActElevationUp->trigger();
  EXPECT_EQ(Copy(same->Params.ChartRotation), 315);
  EXPECT_EQ(Copy(same->Params.ChartElevation), 315);
  // An angle stored outside that range (an older file) opens held at the limit.
  page->LeaveRun();
  same->Params.ChartRotation = 90;
  same->Params.ChartElevation = 270;
  page->ShowRun(same);
  EXPECT_EQ(page->CrtChart->Rotation(), 0);
  EXPECT_EQ(page->CrtChart->Elevation(), 315);
}

TEST_F(ChartPage, ThreeDSwitchDrivesTheTurnActions) {
  same->Params.View3D = 1;
  Show(same, 2);
  QAction* const moves[] = {page->ActRotationLeft, page->ActRotationRight, page->ActElevationUp,
                            page->ActElevationDown, page->ActSetDefault};
  ASSERT_TRUE(page->Act3D->isChecked());
  for (QAction* a : moves) EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
  page->Act3D->trigger();
  EXPECT_FALSE(page->CrtChart->View3D());
  EXPECT_EQ(Copy(same->Params.View3D), 0);
  for (QAction* a : moves) EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  Show(differs, 2);  // another run keeps its own 3D state
  EXPECT_TRUE(page->CrtChart->View3D());
  Show(same, 2);
  EXPECT_FALSE(page->Act3D->isChecked());
  for (QAction* a : moves) EXPECT_FALSE(a->isEnabled());
  page->Act3D->trigger();
  for (QAction* a : moves) EXPECT_TRUE(a->isEnabled());
}

TEST_F(ChartPage, ReopeningRestoresTheRunsAngles) {
  Show(same, 0);
  page->ActSetDefault->trigger();
  page->ActRotationLeft->trigger();
  page->ActElevationUp->trigger();
  Show(differs, 3);
  page->ActSetDefault->trigger();
  page->ActRotationRight->trigger();
  page->LeaveRun();
  EXPECT_EQ(page->ShownRun(), nullptr);
  Show(same, 4);
  EXPECT_EQ(page->CrtChart->Rotation(), 330);
  EXPECT_EQ(page->CrtChart->Elevation(), 350);
  Show(differs, 0);
  EXPECT_EQ(page->CrtChart->Rotation(), 350);
  EXPECT_EQ(page->CrtChart->Elevation(), 355);
}

TEST_F(ChartPage, ScreenshotsIn2DAnd3D) {
  differs->Params.ShowEqualCf = 1;
  for (int kind : {0, 1, 3}) {
    Show(differs, kind);
    page->ActSetDefault->trigger();
    page->SetView3D(true);
    const QImage deep = page->grab().toImage();
    page->SetView3D(false);
    const QImage flat = page->grab().toImage();
    EXPECT_NE(deep, flat);
    deep.save(TestOutput(QStringLiteral("chart_page_%1_3d.png").arg(kind)));
    flat.save(TestOutput(QStringLiteral("chart_page_%1_2d.png").arg(kind)));
    page->Act3D->trigger();
  }
  differs->Params.ShowEqualCf = 0;
}

// Three finished runs fed for different growth rates, compared on the OD chart.
TEST(ChartPageCompare, OneLinePerRunAndBackToTheShownRun) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  std::vector<TZymra_Run*> runs;
  for (double uset : {0.15, 0.25, 0.35}) {
    TZymra_Run* run = project.AddRun();
    run->Params.Uset = uset;
    runs.push_back(run);
  }
  THeadlessOptions options;
  options.MaxSteps = 1500;
  RunHeadless(sync, runs, options);
  for (TZymra_Run* run : runs) ASSERT_EQ(run->State(), rsFinished);

  TFrmZymraChart page(project);
  page.resize(900, 620);
  page.show();
  page.SetTag(0);
  runs[1]->Params.View3D = 1;
  page.ShowRun(runs[1]);
  TPaxChart& chart = *page.CrtChart;
  ASSERT_EQ(chart.SeriesCount(), 2);
  EXPECT_TRUE(page.ActCompareRuns->isEnabled());
  EXPECT_TRUE(page.ToolBar->actions().contains(page.ActCompareRuns));
  EXPECT_TRUE(page.PopChart->actions().contains(page.ActCompareRuns));

  page.ActCompareRuns->trigger();
  EXPECT_TRUE(page.Comparing());
  ASSERT_EQ(chart.SeriesCount(), 3);
  const char* const captions[] = {"Run1", "Run2", "Run3"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(chart.Series(i)->Title().startsWith(captions[i])) << chart.Series(i)->Title().toStdString();
    EXPECT_EQ(chart.Series(i)->Title(), QString::fromStdString(runs[i]->RunCaption()));
    ASSERT_EQ(chart.Series(i)->Count(), static_cast<std::size_t>(runs[i]->Time.Rows()));
    const std::size_t last = chart.Series(i)->Count() - 1;
    EXPECT_EQ(chart.Series(i)->Y(last), runs[i]->ODreal.Last());
    // The runs end apart, so a line shown for the wrong run would not match.
    EXPECT_NE(runs[i]->ODreal.Last(), runs[(i + 1) % 3]->ODreal.Last());
  }
  EXPECT_TRUE(chart.Title().startsWith("Optical Density Compare Runs [")) << chart.Title().toStdString();
  EXPECT_FALSE(chart.View3D());
  EXPECT_FALSE(page.Act3D->isEnabled());
  EXPECT_FALSE(page.ActRotationLeft->isEnabled());
  page.grab().save(TestOutput("chart_page_compare_runs.png"));
  // The comparison's flat view is not written into the shown run.
  EXPECT_EQ(runs[1]->Params.View3D, 1);

  // Off again: the shown run's own two series in its own 3D view.
  page.ActCompareRuns->trigger();
  EXPECT_FALSE(page.Comparing());
  ASSERT_EQ(chart.SeriesCount(), 2);
  EXPECT_EQ(chart.Series(0)->Title(), "OD real");
  EXPECT_EQ(chart.Series(1)->Title(), "OD ideal");
  EXPECT_EQ(chart.Series(0)->Count(), static_cast<std::size_t>(runs[1]->Time.Rows()));
  EXPECT_TRUE(chart.View3D());
  EXPECT_TRUE(page.ActRotationLeft->isEnabled());

  // Leaving the page or showing another run ends it too.
  page.ActCompareRuns->trigger();
  page.LeaveRun();
  EXPECT_FALSE(page.Comparing());
  EXPECT_FALSE(page.ActCompareRuns->isChecked());
  EXPECT_EQ(runs[1]->Params.View3D, 1);
  page.ShowRun(runs[1]);
  page.ActCompareRuns->trigger();
  page.ShowRun(runs[2]);
  EXPECT_FALSE(page.Comparing());
  ASSERT_EQ(chart.SeriesCount(), 2);
  EXPECT_EQ(chart.Series(0)->Count(), static_cast<std::size_t>(runs[2]->Time.Rows()));
  page.LeaveRun();
}

// Two runs going on at once: each worker keeps its own line of the comparison growing.
// Each worker holds its run at a chosen row (its break test, on the worker), so neither
// can end before the page is left, however the machine is loaded.
TEST(ChartPageCompare, FollowsEveryRunGoingOn) {
  TQtSynchronizer qtSync;
  qtSync.SetBeepEnabled(false);
  TZymra live(&qtSync);
  TZymra_Run* runs[] = {live.AddRun(), live.AddRun()};
  runs[1]->Params.Uset = 0.12;
  for (TZymra_Run* run : runs) run->BatchParams.IsBatch = 0;  // no batch: no pause, no random lag
  constexpr int kHeldAt = 30;                                 // both runs end after 50 rows and more
  TFrmZymraChart page(live);
  page.SetTag(0);
  page.ShowRun(runs[0]);
  page.ActCompareRuns->trigger();
  for (TZymra_Run* run : runs) {
    run->StartThread();
    run->Worker()->SetRealtime(false);
    run->Worker()->SetBreak([](const TZymra_Run& r) { return r.Time.Rows() >= kHeldAt; }, [run] { run->Pause(); });
    ASSERT_TRUE(run->Resume());
  }
  page.RefreshChart();  // hands the new workers their callbacks
  TPaxChart& chart = *page.CrtChart;
  ASSERT_EQ(chart.SeriesCount(), 2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return runs[0]->State() == rsPaused && runs[1]->State() == rsPaused; }, 20000));
  // The refresh after each step came before the worker held: every row is on its line.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(runs[i]->Time.Rows(), kHeldAt) << i;
    EXPECT_EQ(chart.Series(i)->Count(), static_cast<std::size_t>(kHeldAt)) << i;
  }
  // Left, the page hears from neither worker any more.
  page.LeaveRun();
  for (TZymra_Run* run : runs) {
    run->Worker()->SetBreak(nullptr, nullptr);
    ASSERT_TRUE(run->Resume());
  }
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return runs[0]->State() == rsFinished && runs[1]->State() == rsFinished; }, 20000));
  for (int i = 0; i < 2; ++i) {
    EXPECT_GT(runs[i]->Time.Rows(), kHeldAt) << i;
    EXPECT_EQ(chart.Series(i)->Count(), static_cast<std::size_t>(kHeldAt)) << i;
  }
}

// A run going on in its worker, handed to the UI thread by the desktop synchroniser.
TEST(ChartPageLive, FollowsTheRunAndLetsGoWhenLeft) {
  TQtSynchronizer qtSync;
  qtSync.SetBeepEnabled(false);
  TZymra live(&qtSync);
  TZymra_Run* run = live.AddRun();
  TZymra_Run* other = live.AddRun();
  TFrmZymraChart page(live);
  page.resize(900, 620);
  page.show();
  page.SetTag(0);
  run->StartThread();
  run->Worker()->SetRealtime(false);
  ASSERT_TRUE(run->Resume());
  page.ShowRun(run);
  TPaxChart& chart = *page.CrtChart;
  // The run pauses itself now and then (end of the batch and the like); go on as a user would.
  auto growsPast = [&](std::size_t count) {
    return QTest::qWaitFor(
        [&] {
          if (run->State() == rsPaused) run->Resume();
          return chart.Series(0)->Count() > count;
        },
        20000);
  };
  ASSERT_TRUE(growsPast(30)) << "rows " << run->Time.Rows() << ", shown " << chart.Series(0)->Count();
  // Every callback appends what is new: the series keep pace with the run.
  const std::size_t seen = chart.Series(0)->Count();
  ASSERT_TRUE(growsPast(seen + 10));
  EXPECT_EQ(chart.Series(0)->Count(), chart.Series(1)->Count());
  page.grab().save(TestOutput("chart_page_live_3d.png"));
  page.Act3D->trigger();
  page.grab().save(TestOutput("chart_page_live_2d.png"));

  // Left, the page no longer hears from the worker, however far the run goes on.
  run->Pause();
  page.LeaveRun();
  page.ShowRun(other);
  const std::size_t otherRows = static_cast<std::size_t>(other->Time.Rows());
  EXPECT_EQ(chart.Series(0)->Count(), otherRows);
  const int rowsAtLeave = run->Time.Rows();
  ASSERT_TRUE(run->Resume());
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        if (run->State() == rsPaused) run->Resume();
        return run->State() == rsFinished;
      },
      20000));
  EXPECT_GT(run->Time.Rows(), rowsAtLeave);
  EXPECT_EQ(chart.Series(0)->Count(), otherRows);
  EXPECT_EQ(page.ShownRun(), other);

  // Back on the finished run, the page reads it itself.
  page.LeaveRun();
  page.ShowRun(run);
  EXPECT_EQ(chart.Series(0)->Count(), static_cast<std::size_t>(run->Time.Rows()));
  page.LeaveRun();
}

}  // namespace
