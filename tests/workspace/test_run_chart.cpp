// The run's chart groups: titles, formats and series, and rendering them to files.
#include "QtTestApp.h"
#include "PaxPlot.h"
#include "ZymraRunChart.h"

#include "LibZymra.h"
#include "ZymraHeadless.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPrinter>
#include <QSvgRenderer>

#include <gtest/gtest.h>

namespace {

QString TestOutput(const QString& file) { return QStringLiteral(ZYMRA_TEST_OUTPUT_DIR) + QLatin1Char('/') + file; }

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool IsPdf(const QString& path) {
  const QByteArray data = ReadAll(path);
  return data.startsWith("%PDF-") && data.trimmed().endsWith("%%EOF");
}

// A simulated run whose feed was designed with a wrong yield, so the equal-Cf
// comparison applies to the OD and growth-rate charts.
class RunChart : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sync = new TQueueSynchronizer;
    project = new TZymra(sync);
    run = project->AddRun();
    run->Params.Yield_Real = run->Params.Yield * 0.8;
    run->Params.ShowEqualCf = 1;
    THeadlessOptions options;
    options.MaxSteps = 3000;
    RunHeadless(*sync, {run}, options);
  }
  static void TearDownTestSuite() {
    delete project;
    delete sync;
  }
  static inline TQueueSynchronizer* sync = nullptr;
  static inline TZymra* project = nullptr;
  static inline TZymra_Run* run = nullptr;
};

TEST_F(RunChart, EachKindHasItsTitlesFormatAndSeries) {
  ASSERT_GT(run->Time.Rows(), 10);
  ASSERT_TRUE(run->ShowsEqualCf(0));
  const char* expectedAxis[] = {"Optical Density /-", "Growth Rate /1/h", "Oxygen Transfer Rate /mmol/l/h",
                                "Reactor Volume /l", "Substrate Conc. /g/l"};
  const int expectedSeries[] = {4, 4, 1, 2, 1};
  for (int kind = 0; kind < kRunChartKinds; ++kind) {
    TPaxPlot plot;
    SetupRunChart(plot, *run, kind, "2.0.3- test");
    RefreshRunChart(plot, *run, kind);
    EXPECT_EQ(plot.Title, QString::fromUtf8(RunChartKind(kind).Name) + " Run [2.0.3- test]");
    EXPECT_EQ(plot.LeftAxis.Title, QString::fromUtf8(expectedAxis[kind]));
    EXPECT_EQ(plot.BottomAxis.Title, "Fermentation Time /h");
    EXPECT_FALSE(plot.BottomAxis.MinorTicks);
    ASSERT_EQ(plot.SeriesCount(), expectedSeries[kind]) << "kind " << kind;
    for (int s = 0; s < plot.SeriesCount(); ++s)
      EXPECT_EQ(plot.Series(s)->Count(), static_cast<std::size_t>(run->Time.Rows())) << kind << "/" << s;
    EXPECT_EQ(plot.Rotation(), static_cast<double>(run->Params.ChartRotation));  // a copy: the record is packed
    EXPECT_EQ(plot.Elevation(), static_cast<double>(run->Params.ChartElevation));
    EXPECT_FALSE(plot.Orthogonal());
  }
  TPaxPlot growth;
  SetupRunChart(growth, *run, 1, "v");
  EXPECT_EQ(growth.LeftAxis.ValueFormat, "#,###0.000");
  EXPECT_EQ(growth.Series(0)->Title(), QString::fromUtf8("\xC2\xB5 Cell"));
  EXPECT_EQ(growth.Series(3)->Title(), QString::fromUtf8("\xC2\xB5 OD[Cf_real = Cf_theor.]"));
  // The growth chart's first series is the run's cell growth rate, row by row.
  RefreshRunChart(growth, *run, 1);
  EXPECT_EQ(growth.Series(0)->Y(5), run->uCell.Value(5));
  EXPECT_EQ(growth.Series(2)->Y(5), run->uCellTheory.Value(5));
  EXPECT_EQ(growth.Series(0)->X(5), run->Time.Value(5));
}

// While the comparison is off its series stay empty and out of the legend, in 2D and 3D.
TEST_F(RunChart, EqualCfSeriesStayEmptyAndUnlistedWhileTheComparisonIsOff) {
  for (int show : {0, 1}) {
    run->Params.ShowEqualCf = static_cast<std::uint8_t>(show);
    TPaxPlot plot;
    SetupRunChart(plot, *run, 0, "v");
    RefreshRunChart(plot, *run, 0);
    ASSERT_EQ(plot.SeriesCount(), 4);
    EXPECT_GT(plot.Series(1)->Count(), 0u);
    EXPECT_EQ(plot.Series(2)->Count() > 0, show == 1);
    EXPECT_EQ(plot.Series(3)->Count() > 0, show == 1);
    QStringList expected{"OD real", "OD ideal"};
    if (show) expected << "OD real[Cf_real = Cf_theor.]" << "OD ideal[Cf_real = Cf_theor.]";
    for (bool view3d : {false, true}) {
      plot.SetView3D(view3d);
      EXPECT_EQ(plot.Layout(QRectF(0, 0, 900, 560)).Legend, expected) << show << view3d;
    }
  }
  run->Params.ShowEqualCf = 1;
}

// The feed rate, about a thousandth of the volume, has a right axis of its own: its line
// rises over most of the plot's height instead of lying flat on the volume's scale.
TEST_F(RunChart, FeedRateHasItsOwnRightAxis) {
  TPaxPlot plot;
  SetupRunChart(plot, *run, 3, "v");
  RefreshRunChart(plot, *run, 3);
  EXPECT_EQ(plot.RightAxis.Title, "Feed Rate /l/h");
  const TPaxChartSeries* feed = plot.Series(1);
  ASSERT_GT(feed->Count(), 10u);
  const double lastFeed = feed->Y(feed->Count() - 1), lastTime = feed->X(feed->Count() - 1);
  ASSERT_LT(lastFeed, 0.05 * run->Volume.Value(run->Volume.Rows() - 1));
  for (bool view3d : {false, true}) {
    plot.SetView3D(view3d);
    const TPaxPlotLayout l = plot.Layout(QRectF(0, 0, 900, 560));
    ASSERT_TRUE(l.HasRightAxis);
    EXPECT_FALSE(l.RightTitleRect.isEmpty());
    EXPECT_GT(l.RightTitleRect.left(), l.Plot.right());
    EXPECT_LE(l.Y2.Min, feed->Bounds().MinY);
    EXPECT_GE(l.Y2.Max, feed->Bounds().MaxY);
    EXPECT_LT(l.Y2.Max, 2 * feed->Bounds().MaxY);
    EXPECT_LT(l.Y2Step * 3, l.Y2.Length() + 1e-12);
    // The newest feed lies in the upper half of the box, the volume's axis keeps its litres.
    const QPointF top = l.DataToDeviceRight(lastTime, lastFeed), bottom = l.DataToDeviceRight(lastTime, l.Y2.Min);
    const QPointF ceiling = l.DataToDeviceRight(lastTime, l.Y2.Max);
    EXPECT_LT(top.y() - ceiling.y(), (bottom.y() - ceiling.y()) / 2) << view3d;
    EXPECT_GE(l.Y.Max, run->Volume.Value(run->Volume.Rows() - 1));
    QStringList labels;
    for (double v : l.Y2Ticks) labels << PaxFormatValue(v, l.Y2Format);
    labels.removeDuplicates();
    EXPECT_EQ(labels.size(), static_cast<qsizetype>(l.Y2Ticks.size()));
  }
  std::string error;
  for (bool view3d : {false, true})
    ASSERT_TRUE(RenderRunChart(*run, 3, view3d, 900, 560,
                               TestOutput(view3d ? "reactor_volume_feed_3d.png" : "reactor_volume_feed_2d.png").toStdString(),
                               error));
}

TEST_F(RunChart, RendersEveryKindAsPngSvgAndPdf) {
  for (int kind = 0; kind < kRunChartKinds; ++kind) {
    for (bool view3d : {false, true}) {
      const QString base = TestOutput(QStringLiteral("run_chart_%1_%2").arg(kind).arg(view3d ? "3d" : "2d"));
      std::string error;
      ASSERT_TRUE(RenderRunChart(*run, kind, view3d, 900, 560, (base + ".png").toStdString(), error)) << error;
      QImageReader reader(base + ".png");
      EXPECT_EQ(reader.format(), "png");
      EXPECT_EQ(reader.size(), QSize(900, 560));
      if (kind == 1) {
        ASSERT_TRUE(RenderRunChart(*run, kind, view3d, 900, 560, (base + ".svg").toStdString(), error)) << error;
        QSvgRenderer svg(base + ".svg");
        EXPECT_TRUE(svg.isValid());
        EXPECT_TRUE(ReadAll(base + ".svg").contains("Growth Rate Run ["));
        ASSERT_TRUE(RenderRunChart(*run, kind, view3d, 900, 560, (base + ".pdf").toStdString(), error)) << error;
        EXPECT_TRUE(IsPdf(base + ".pdf"));
      }
    }
  }
}

TEST_F(RunChart, RejectsWhatItCannotDraw) {
  std::string error;
  const QString path = TestOutput("run_chart_rejected.png");
  QFile::remove(path);
  EXPECT_FALSE(RenderRunChart(*run, 5, false, 800, 500, path.toStdString(), error));
  EXPECT_NE(error.find("kind"), std::string::npos);
  EXPECT_FALSE(RenderRunChart(*run, -1, false, 800, 500, path.toStdString(), error));
  EXPECT_FALSE(RenderRunChart(*run, 0, false, 0, 500, path.toStdString(), error));
  EXPECT_FALSE(RenderRunChart(*run, 0, false, 800, 500, TestOutput("run_chart.xyz").toStdString(), error));
  EXPECT_FALSE(QFileInfo::exists(TestOutput("run_chart.xyz")));
  EXPECT_FALSE(RenderRunChart(*run, 0, false, 800, 500, "/nonexistent-dir/chart.png", error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(QFileInfo::exists(path));
}

}  // namespace

// Measured values beside the run's course: points only, one series per replicate, in
// the group whose quantity was measured, after the run's own series.
TEST_F(RunChart, MeasuredPointsFollowTheRunsSeries) {
  TZymra_Run& r = *project->AddRun();
  TMeasuredData data;
  for (int rep : {1, 2})
    for (int i = 0; i < 4; ++i) {
      TMeasuredPoint p;
      p.Time = i;
      p.Replicate = rep;
      p.Value[0] = 1 + i;                   // ODreal in every row
      if (rep == 2 && i < 2) p.Value[1] = 2;  // Volume in two rows of replicate 2 only
      data.Points.push_back(p);
    }
  r.SetMeasured(data);
  struct TExpect {
    int Kind;
    std::vector<QString> Titles;
    std::vector<std::size_t> Counts;
  } expect[] = {
      {0, {"measured 1", "measured 2"}, {4, 4}},
      {1, {}, {}},
      {2, {}, {}},
      {3, {"measured"}, {2}},  // one replicate has volumes: no number needed
  };
  for (const TExpect& e : expect) {
    TPaxPlot plot;
    SetupRunChart(plot, r, e.Kind, QStringLiteral("v"));
    const int own = RunChartKind(e.Kind).Second ? 2 : 1;
    ASSERT_EQ(plot.SeriesCount(), own + static_cast<int>(e.Titles.size())) << e.Kind;
    for (std::size_t i = 0; i < e.Titles.size(); ++i) {
      const TPaxChartSeries* s = plot.Series(own + static_cast<int>(i));
      EXPECT_EQ(s->Title(), e.Titles[i]) << e.Kind;
      EXPECT_EQ(s->Count(), e.Counts[i]) << e.Kind;
      EXPECT_TRUE(s->PointsOnly());
    }
    EXPECT_FALSE(plot.Series(0)->PointsOnly());
  }
  data.Points.resize(3);  // replicate 1 alone
  r.SetMeasured(data);
  TPaxPlot plot;
  SetupRunChart(plot, r, 0, QStringLiteral("v"));
  ASSERT_EQ(plot.SeriesCount(), 3);
  EXPECT_EQ(plot.Series(2)->Title(), QStringLiteral("measured"));
  project->RemoveRun(&r);
}
