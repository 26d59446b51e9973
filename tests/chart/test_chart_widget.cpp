// The chart widget as the panels use it: look, zoom and undo, 3D angles, pop-up menu.
#include "ChartTestSupport.h"
#include "PaxChart.h"
#include "ZymraChartHelpers.h"

#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

namespace {

class ChartWidget : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { TestApp(); }
  void SetUp() override {
    chart.resize(640, 420);
    chart.SetAnimatedZoom(false);
  }
  // A growth-rate chart as on the process page.
  void FillGrowthRate() {
    chart.SetTitleVisible(false);
    chart.SetBottomAxisTitle("Fed Batch Time /h");
    chart.SetLeftAxisTitle("Growth Rate / 1/h");
    chart.SetLeftAxisFormat("#,###0.000");
    cell = AddLineSeries(QString::fromUtf8("\xC2\xB5 Cell"), &chart);
    od = AddLineSeries(QString::fromUtf8("\xC2\xB5 OD"), &chart);
    for (int i = 0; i <= 40; ++i) {
      const double t = i * 0.5;
      cell->Append(t, 0.30 - 0.1 * std::exp(-t / 4));
      od->Append(t, 0.25 - 0.1 * std::exp(-t / 3));
    }
  }
  void Save(const QImage& image, const char* name) { image.save(TestOutput(QString::fromLatin1(name))); }

  TPaxChart chart;
  TPaxChartSeries* cell = nullptr;
  TPaxChartSeries* od = nullptr;
};

TEST_F(ChartWidget, PaintsWhiteWallSeriesColoursAndGradient) {
  TPaxChartSeries* s = AddLineSeries("OD real", &chart);
  s->Append(0, 0);
  s->Append(100, 100);  // a diagonal through the plot
  chart.SetLeftAxisFormat("###000");
  const QImage image = chart.grab().toImage();
  Save(image, "chart_widget_diagonal.png");
  const TPaxPlotLayout l = chart.CurrentLayout();
  ASSERT_GT(l.Plot.width(), 300);
  // The diagonal runs from the bottom-left to the top-right corner of the data range.
  const QPointF mid = l.DataToDevice(50, 50);
  EXPECT_TRUE(AnyPixelNear(image, int(mid.x()), int(mid.y()), 1, IsReddish));
  // Far from the line the back wall is white.
  const QPointF empty = l.DataToDevice(85, 15);
  EXPECT_EQ(image.pixelColor(int(empty.x()), int(empty.y())), QColor(Qt::white));
  // The background runs from white at the top to the button face at the bottom.
  EXPECT_EQ(image.pixelColor(2, 1), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(2, image.height() - 1), chart.Plot().GradientColor);
}

TEST_F(ChartWidget, LayoutLeavesRoomForLabelsAndLegend) {
  FillGrowthRate();
  const QImage image = chart.grab().toImage();
  Save(image, "chart_widget_growth_rate.png");
  const TPaxPlotLayout l = chart.CurrentLayout();
  // Data ranges end on labelled ticks, one unit of the third decimal apart at least.
  ASSERT_GE(l.YTicks.size(), 3u);
  EXPECT_LE(l.Y.Min, 0.15);
  EXPECT_GE(l.Y.Max, 0.2999);
  EXPECT_NEAR(l.YTicks.front(), l.Y.Min, 1e-12);
  EXPECT_GE(l.YStep, 0.001);
  EXPECT_EQ(l.X.Min, 0);
  EXPECT_EQ(l.X.Max, 20);
  // The legend, the bottom axis title and the plot do not overlap, top to bottom.
  EXPECT_LT(l.Plot.bottom(), l.BottomTitleRect.top());
  EXPECT_LT(l.BottomTitleRect.bottom(), l.LegendRect.top());
  EXPECT_LE(l.LegendRect.bottom(), 420);
  EXPECT_LT(l.LeftTitleRect.right(), l.Plot.left());
  EXPECT_TRUE(l.TitleRect.isEmpty());  // title hidden as on the process page
  // Bottom labels do not touch: each tick's label fits between its neighbours.
  const QFontMetricsF fm(chart.Plot().LabelFont);
  for (std::size_t i = 1; i < l.XTicks.size(); ++i) {
    const double gap = (l.XTicks[i] - l.XTicks[i - 1]) / l.X.Length() * l.Plot.width();
    EXPECT_GT(gap, fm.horizontalAdvance(PaxFormatValue(l.XTicks[i], l.XFormat)));
  }
}

// The process page's charts are small: labels must still be distinct and apart.
TEST_F(ChartWidget, SmallChartKeepsLabelsApart) {
  FillGrowthRate();
  chart.resize(300, 190);
  Save(chart.grab().toImage(), "chart_widget_small.png");
  const TPaxPlotLayout l = chart.CurrentLayout();
  const QFontMetricsF fm(chart.Plot().LabelFont);
  ASSERT_GE(l.YTicks.size(), 2u);
  ASSERT_GE(l.XTicks.size(), 2u);
  QStringList labels;
  for (double v : l.YTicks) labels << PaxFormatValue(v, l.YFormat);
  labels.removeDuplicates();
  EXPECT_EQ(labels.size(), static_cast<qsizetype>(l.YTicks.size()));
  const double ySpacing = l.YStep / l.Y.Length() * l.Plot.height();
  EXPECT_GT(ySpacing, fm.height());
  for (std::size_t i = 1; i < l.XTicks.size(); ++i) {
    const double gap = l.XStep / l.X.Length() * l.Plot.width();
    EXPECT_GT(gap, fm.horizontalAdvance(PaxFormatValue(l.XTicks[i], l.XFormat)));
  }
  EXPECT_GT(l.Plot.height(), 40);
}

// Labels keep their format's look but get the decimals their spacing needs: an OD below 1
// in "###000" reads 000,1 000,2 ..., never 000 000 or just 000 001.
TEST_F(ChartWidget, NoAxisShowsTwoEqualLabels) {
  const struct {
    double Lo, Hi;
    const char* Format;
    const char* FirstLabel;  // the lowest label's look
  } cases[] = {{0.05, 0.31, "###000", "000"},      {0, 0.0042, "##,##00.00", "00,00"},
               {0.1, 0.1004, "#,###0.000", "0,1000"}, {0, 250, "###000", "000"},
               {1e-7, 9e-7, "", "0"}};
  for (const auto& c : cases) {
    TPaxChart local;
    local.resize(640, 420);
    TPaxChartSeries* s = AddLineSeries("s", &local);
    for (int i = 0; i <= 20; ++i) s->Append(c.Lo + (c.Hi - c.Lo) * i / 20, c.Lo + (c.Hi - c.Lo) * i / 20);
    local.SetLeftAxisFormat(QString::fromLatin1(c.Format));
    local.SetBottomAxisFormat(QString::fromLatin1(c.Format));
    const TPaxPlotLayout l = local.CurrentLayout();
    for (const auto& [ticks, format] : {std::pair(l.YTicks, l.YFormat), std::pair(l.XTicks, l.XFormat)}) {
      ASSERT_GE(ticks.size(), 3u) << c.Format << " " << c.Hi;
      QStringList labels;
      for (double v : ticks) labels << PaxFormatValue(v, format);
      EXPECT_TRUE(labels.first().startsWith(QString::fromLatin1(c.FirstLabel))) << labels.join(' ').toStdString();
      const qsizetype all = labels.size();
      labels.removeDuplicates();
      EXPECT_EQ(labels.size(), all) << c.Format << " " << c.Hi;
    }
  }
  // Zero throughout (the feed of a run still in its batch) is shown from 0 up, on either axis.
  TPaxChart zero;
  zero.resize(640, 420);
  TPaxChartSeries* feed = AddLineSeries("feed", &zero);
  feed->SetRightAxis(true);
  AddLineSeries("volume", &zero)->Append(0, 0);
  feed->Append(0, 0);
  feed->Append(5, 0);
  const TPaxPlotLayout z = zero.CurrentLayout();
  EXPECT_TRUE(z.HasRightAxis);
  EXPECT_EQ(z.Y2.Min, 0);
  EXPECT_GT(z.Y2.Max, 0);
  EXPECT_EQ(z.Y.Min, 0);
  EXPECT_EQ(PaxFormatWithDecimals("###000", 2), "###000.00");
  EXPECT_EQ(PaxFormatWithDecimals("#,###0.000", 4), "#,###0.0000");
  EXPECT_EQ(PaxFormatWithDecimals("0.0##;(0.0)", 2), "0.0##;(0.00)");
  EXPECT_EQ(PaxFormatWithDecimals("0.0 'h'", 1), "0.0 'h'");
}

// Unzoomed, every point lies within the shown ranges, also one a rounding error above a tick.
TEST_F(ChartWidget, ShownRangeHoldsAllData) {
  TPaxChartSeries* s = AddLineSeries("\xC2\xB5 OD", &chart);
  s->Append(0, 0);
  s->Append(1, 0.3 + 1e-12);  // a rounding error above the 0.3 tick
  s->Append(2, 0.3);
  for (bool view3d : {false, true}) {
    chart.SetView3D(view3d);
    const TPaxPlotLayout l = chart.CurrentLayout();
    EXPECT_GE(l.Y.Max, 0.3 + 1e-12);
    EXPECT_LE(l.Y.Min, 0);
    EXPECT_NEAR(l.YTicks.back(), 0.3, 1e-12);
    Save(chart.grab().toImage(), view3d ? "chart_widget_range_3d.png" : "chart_widget_range.png");
  }
}

TEST_F(ChartWidget, ZoomToRectangleAndUndo) {
  FillGrowthRate();
  const TPaxRange homeX = chart.VisibleX(), homeY = chart.VisibleY();
  const TPaxPlotLayout l = chart.CurrentLayout();
  const QPoint from = l.DataToDevice(5, 0.28).toPoint(), to = l.DataToDevice(10, 0.22).toPoint();
  QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, from);
  QTest::mouseMove(&chart, to);
  QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, to);
  ASSERT_TRUE(chart.IsZoomed());
  EXPECT_NEAR(chart.VisibleX().Min, 5, 0.1);
  EXPECT_NEAR(chart.VisibleX().Max, 10, 0.1);
  EXPECT_NEAR(chart.VisibleY().Min, 0.22, 0.002);
  EXPECT_NEAR(chart.VisibleY().Max, 0.28, 0.002);
  Save(chart.grab().toImage(), "chart_widget_zoomed.png");

  QTest::mouseDClick(&chart, Qt::LeftButton, Qt::NoModifier, from);
  EXPECT_FALSE(chart.IsZoomed());
  EXPECT_EQ(chart.VisibleX(), homeX);
  EXPECT_EQ(chart.VisibleY(), homeY);

  // A click without dragging is no zoom; dragging back to the upper left undoes one.
  QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, from);
  EXPECT_FALSE(chart.IsZoomed());
  chart.ZoomTo({2, 4}, {0.2, 0.3});
  EXPECT_TRUE(chart.IsZoomed());
  QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, to);
  QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, from);
  EXPECT_FALSE(chart.IsZoomed());
}

TEST_F(ChartWidget, ZoomInThreeDimensionsUsesTheFrontFace) {
  FillGrowthRate();
  chart.SetView3D(true);
  chart.SetRotation(345);
  chart.SetElevation(335);
  const TPaxPlotLayout l = chart.CurrentLayout();
  const QPoint from = l.DataToDevice(4, 0.27).toPoint(), to = l.DataToDevice(12, 0.2).toPoint();
  double x = 0, y = 0;
  ASSERT_TRUE(l.DeviceToData(l.DataToDevice(7, 0.25), x, y));
  EXPECT_NEAR(x, 7, 1e-9);
  EXPECT_NEAR(y, 0.25, 1e-9);
  ASSERT_TRUE(chart.ZoomToRect(QRect(from, to)));
  EXPECT_NEAR(chart.VisibleX().Min, 4, 0.1);
  EXPECT_NEAR(chart.VisibleX().Max, 12, 0.1);
  EXPECT_NEAR(chart.VisibleY().Min, 0.2, 0.002);
  EXPECT_NEAR(chart.VisibleY().Max, 0.27, 0.002);
  Save(chart.grab().toImage(), "chart_widget_3d_zoomed.png");
  chart.UndoZoom();
  EXPECT_FALSE(chart.IsZoomed());
}

TEST_F(ChartWidget, AnimatedZoomArrivesAtItsTarget) {
  FillGrowthRate();
  chart.SetAnimatedZoom(true);
  chart.SetAnimationMilliseconds(120);
  chart.ZoomTo({2, 6}, {0.21, 0.27});
  EXPECT_TRUE(chart.IsAnimating());
  EXPECT_TRUE(chart.IsZoomed());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !chart.IsAnimating(); }, 3000));
  EXPECT_DOUBLE_EQ(chart.VisibleX().Min, 2);
  EXPECT_DOUBLE_EQ(chart.VisibleY().Max, 0.27);
  Save(chart.grab().toImage(), "chart_widget_animated_zoom.png");
  const TPaxRange homeY = chart.Plot().Layout(QRectF(chart.rect()), true).Y;
  chart.UndoZoom();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !chart.IsAnimating(); }, 3000));
  EXPECT_FALSE(chart.IsZoomed());
  EXPECT_EQ(chart.VisibleY(), homeY);
}

TEST_F(ChartWidget, RotationAndElevationAreKeptInDegrees) {
  chart.SetRotation(355);
  chart.SetElevation(340);
  EXPECT_EQ(chart.Rotation(), 355);
  EXPECT_EQ(chart.Elevation(), 340);
  chart.SetRotation(chart.Rotation() - 10);
  chart.SetRotation(chart.Rotation() - 10);
  EXPECT_EQ(chart.Rotation(), 335);
  chart.SetRotation(725);  // turning past full circles wraps
  EXPECT_EQ(chart.Rotation(), 0);  // 5 lies past the front view: it stops there
  chart.SetRotation(-30);
  EXPECT_EQ(chart.Rotation(), 330);
  chart.SetRotation(200);  // far beyond the legible turn: held at its limit
  EXPECT_EQ(chart.Rotation(), 315);
  chart.SetElevation(-5);
  EXPECT_EQ(chart.Elevation(), 355);
  chart.SetElevation(270);  // straight from above would show the box edge-on
  EXPECT_EQ(chart.Elevation(), 315);
  chart.SetElevation(90);
  EXPECT_EQ(chart.Elevation(), 0);
  chart.SetView3D(true);
  EXPECT_TRUE(chart.View3D());
  FillGrowthRate();
  Save(chart.grab().toImage(), "chart_widget_rotation_315_elevation_0.png");
  chart.SetView3D(false);
  EXPECT_FALSE(chart.View3D());
}

TEST_F(ChartWidget, ThreeDimensionalViewTurnsTheBox) {
  FillGrowthRate();
  chart.SetView3D(true);
  chart.SetRotation(355);
  chart.SetElevation(340);
  const QImage image = chart.grab().toImage();
  Save(image, "chart_widget_3d.png");
  const TPaxPlotLayout l = chart.CurrentLayout();
  // Seen from the upper left, the back of the box lies up and to the right of its front.
  const QPointF front = l.Project(0, l.BoxHeight, 0), back = l.Project(0, l.BoxHeight, l.BoxDepth);
  EXPECT_GT(back.x(), front.x());
  EXPECT_LT(back.y(), front.y());
  // Perspective: the far edge of the box looks shorter than the near one.
  const double nearWidth = QLineF(l.Project(0, 0, 0), l.Project(l.BoxWidth, 0, 0)).length();
  const double farWidth = QLineF(l.Project(0, 0, l.BoxDepth), l.Project(l.BoxWidth, 0, l.BoxDepth)).length();
  EXPECT_LT(farWidth, nearWidth);
  chart.SetOrthogonal(true);  // without perspective both edges look equally long
  {
    const TPaxPlotLayout o = chart.CurrentLayout();
    EXPECT_NEAR(QLineF(o.Project(0, 0, 0), o.Project(o.BoxWidth, 0, 0)).length(),
                QLineF(o.Project(0, 0, o.BoxDepth), o.Project(o.BoxWidth, 0, o.BoxDepth)).length(), 1e-9);
  }
  chart.SetOrthogonal(false);
  // The box fits the chart.
  for (int i = 0; i < 8; ++i) {
    const QPointF p = l.Project(i & 1 ? l.BoxWidth : 0, i & 2 ? l.BoxHeight : 0, i & 4 ? l.BoxDepth : 0);
    EXPECT_TRUE(QRectF(chart.rect()).contains(p));
  }
  // The first series' ribbon shows its colour at the middle of the chart.
  const double x = l.BoxWidth * 0.5;
  const double yData = cell->Y(20);
  const double y = l.BoxHeight - (yData - l.Y.Min) / l.Y.Length() * l.BoxHeight;
  const QPointF on = l.Project(x, y, l.BoxDepth / 4);
  EXPECT_TRUE(AnyPixelNear(image, int(on.x()), int(on.y()), 2, [](QColor c) { return c.red() > 200 && c.green() < 180 && c.blue() < 180; }));

  chart.SetView3D(false);
  const QImage flat = chart.grab().toImage();
  Save(flat, "chart_widget_3d_off.png");
  EXPECT_NE(flat, image);
  const TPaxPlotLayout l2 = chart.CurrentLayout();
  EXPECT_FALSE(l2.View3D);
  EXPECT_EQ(l2.Project(0, 0, 50), l2.Plot.topLeft());  // depth plays no part in 2D
}

// A single outlier among 300,000 points must still show, in 2D and in 3D.
TEST_F(ChartWidget, DenseSeriesKeepsASingleSpikeVisible) {
  chart.resize(800, 500);
  TPaxChartSeries* s = AddLineSeries("OD real", &chart);
  const int n = 300000, spike = 123457;
  for (int i = 0; i < n; ++i) s->Append(i * 1e-4, i == spike ? 100.0 : 10 + std::sin(i * 1e-4));
  const QImage flat = chart.grab().toImage();
  Save(flat, "chart_widget_dense_spike.png");
  TPaxPlotLayout l = chart.CurrentLayout();
  EXPECT_GE(l.Y.Max, 100);
  // The spike reaches to 100: the pixel just below its top is drawn in the series colour.
  const QPointF top = l.DataToDevice(spike * 1e-4, 99);
  EXPECT_TRUE(AnyPixelNear(flat, int(top.x()), int(top.y()), 1, IsReddish));
  // Halfway up there is nothing else to draw but the spike.
  const QPointF half = l.DataToDevice(spike * 1e-4, 55);
  EXPECT_TRUE(AnyPixelNear(flat, int(half.x()), int(half.y()), 1, IsReddish));
  EXPECT_FALSE(AnyPixelNear(flat, int(half.x()) + 40, int(half.y()), 3, IsReddish));

  chart.SetView3D(true);
  chart.SetRotation(355);
  chart.SetElevation(340);
  const QImage deep = chart.grab().toImage();
  Save(deep, "chart_widget_dense_spike_3d.png");
  l = chart.CurrentLayout();
  const double x = (spike * 1e-4 - l.X.Min) / l.X.Length() * l.BoxWidth;
  const double y = l.BoxHeight - (55 - l.Y.Min) / l.Y.Length() * l.BoxHeight;
  const QPointF front = l.Project(x, y, l.BoxDepth * 0.2);  // inside the only ribbon's depth
  EXPECT_TRUE(AnyPixelNear(deep, int(front.x()), int(front.y()), 1, [](QColor c) { return c.red() > 150 && c.green() < 120; }));
}

TEST_F(ChartWidget, PopupMenuBelongsToTheChart) {
  QMenu* menu = chart.PopupMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->parent(), &chart);
  menu->addAction("Export Data");
  EXPECT_EQ(menu->actions().size(), 1);
  EXPECT_EQ(chart.cursor().shape(), Qt::CrossCursor);
  Save(chart.grab().toImage(), "chart_widget_empty.png");  // no series: axes and wall only
}

}  // namespace

