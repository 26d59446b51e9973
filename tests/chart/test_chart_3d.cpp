// The 3D view as a user sees it: ribbons without holes, top and front faces in their own
// shades, walls that can be switched off, and angles that always leave a legible chart.
#include "ChartTestSupport.h"
#include "PaxChart.h"
#include "ZymraChartHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

// A ribbon pixel: clearly red, in any of its shades.
bool IsRibbonRed(QColor c) { return c.red() - std::max(c.green(), c.blue()) > 40; }

class Chart3D : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { TestApp(); }
  void SetUp() override {
    chart.resize(820, 520);
    chart.SetAnimatedZoom(false);
    chart.SetView3D(true);
  }
  // One growth curve: flat at first, then a steep rise, then flat again.
  TPaxChartSeries* AddGrowth(int points) {
    TPaxChartSeries* s = AddLineSeries("OD real", &chart);
    for (int i = 0; i < points; ++i) {
      const double t = 40.0 * i / (points - 1);
      s->Append(t, 150.0 / (1 + std::exp(-0.35 * (t - 20))));
    }
    return s;
  }

  // Per screen column, the rows the ribbon covers: sampled from the geometry itself.
  std::map<int, std::pair<double, double>> RibbonExtent(const TPaxChartSeries* s) {
    const TPaxPlotLayout l = chart.CurrentLayout();
    std::map<int, std::pair<double, double>> extent;
    const int n = static_cast<int>(s->Count());
    for (int i = 0; i + 1 < n; ++i)
      for (int sub = 0; sub < 8; ++sub) {
        const double f = sub / 8.0;
        const double xd = s->X(i) + (s->X(i + 1) - s->X(i)) * f, yd = s->Y(i) + (s->Y(i + 1) - s->Y(i)) * f;
        const double x = (xd - l.X.Min) / l.X.Length() * l.BoxWidth;
        const double y = l.BoxHeight - (yd - l.Y.Min) / l.Y.Length() * l.BoxHeight;
        // The single ribbon lies in the middle three quarters of the depth.
        for (int k = 0; k <= 40; ++k) {
          const double z = l.BoxDepth * (0.12 + 0.76 * k / 40.0);
          const QPointF p = l.Project(x, y, z);
          auto [it, fresh] = extent.try_emplace(int(std::floor(p.x())), p.y(), p.y());
          if (!fresh) {
            it->second.first = std::min(it->second.first, p.y());
            it->second.second = std::max(it->second.second, p.y());
          }
        }
      }
    return extent;
  }

  TPaxChart chart;
};

TEST_F(Chart3D, RibbonHasNoHolesInAnyColumn) {
  for (int points : {60, 4000}) {
    chart.RemoveAllSeries();
    const TPaxChartSeries* s = AddGrowth(points);
    for (auto [rotation, elevation] : {std::pair{355, 340}, std::pair{340, 355}, std::pair{320, 330}}) {
      chart.SetRotation(rotation);
      chart.SetElevation(elevation);
      const QImage image = chart.grab().toImage();
      image.save(TestOutput(QStringLiteral("chart3d_ribbon_%1_%2_%3.png").arg(points).arg(rotation).arg(elevation)));
      const auto extent = RibbonExtent(s);
      ASSERT_GT(extent.size(), 300u);
      int holes = 0, checked = 0;
      const int first = extent.begin()->first, last = extent.rbegin()->first;
      for (const auto& [x, span] : extent) {
        if (x < first + 3 || x > last - 3) continue;  // the slanted ends
        for (int y = int(std::ceil(span.first + 1.5)); y <= int(std::floor(span.second - 1.5)); ++y) {
          ++checked;
          if (!IsRibbonRed(image.pixelColor(x, y))) ++holes;
        }
      }
      EXPECT_GT(checked, 3000);
      EXPECT_EQ(holes, 0) << points << " points, rotation " << rotation << ", elevation " << elevation;
    }
  }
}

}  // namespace

namespace {

// Every angle the chart accepts keeps the labels off the box: the left labels stand left
// of it, the time labels below it, whatever the turn and tilt.
TEST_F(Chart3D, EveryAcceptedAngleKeepsLabelsOffTheBox) {
  AddGrowth(200);
  TPaxChartSeries* second = AddLineSeries("OD ideal", &chart);
  for (int i = 0; i <= 100; ++i) second->Append(0.4 * i, 1.2 * i);
  const QFontMetricsF fm(chart.Plot().LabelFont);
  int views = 0;
  for (int rotation = -360; rotation <= 360; rotation += 10)
    for (int elevation = -360; elevation <= 360; elevation += 15) {
      chart.SetRotation(rotation);
      chart.SetElevation(elevation);
      const TPaxPlotLayout l = chart.CurrentLayout();
      const double w = l.BoxWidth, h = l.BoxHeight, d = l.BoxDepth;
      auto P = [&](double x, double y, double z) { return l.Project(x, y, z); };
      const QPolygonF faces[] = {
          {P(0, 0, 0), P(w, 0, 0), P(w, h, 0), P(0, h, 0)}, {P(0, 0, d), P(w, 0, d), P(w, h, d), P(0, h, d)},
          {P(0, 0, 0), P(0, 0, d), P(0, h, d), P(0, h, 0)}, {P(w, 0, 0), P(w, 0, d), P(w, h, d), P(w, h, 0)},
          {P(0, 0, 0), P(w, 0, 0), P(w, 0, d), P(0, 0, d)}, {P(0, h, 0), P(w, h, 0), P(w, h, d), P(0, h, d)}};
      auto onBox = [&](const QRectF& label) {
        for (double fx : {0.0, 0.25, 0.5, 0.75, 1.0})
          for (double fy : {0.0, 0.5, 1.0}) {
            const QPointF pt(label.left() + label.width() * fx, label.top() + label.height() * fy);
            for (const QPolygonF& face : faces)
              if (face.containsPoint(pt, Qt::OddEvenFill)) return true;
          }
        return false;
      };
      for (double v : l.YTicks) {
        const QPointF a = P(0, h - (v - l.Y.Min) / l.Y.Length() * h, 0);
        const double width = fm.horizontalAdvance(PaxFormatValue(v, l.YFormat));
        const QRectF label(a.x() - 8 - width, a.y() - fm.height() / 2, width, fm.height());
        EXPECT_FALSE(onBox(label.adjusted(1, 1, -1, -1))) << "rotation " << rotation << " elevation " << elevation;
      }
      for (double v : l.XTicks) {
        const QPointF a = P((v - l.X.Min) / l.X.Length() * w, h, 0);
        const double width = fm.horizontalAdvance(PaxFormatValue(v, l.XFormat));
        const QRectF label(a.x() - width / 2, a.y() + 8, width, fm.height());
        EXPECT_FALSE(onBox(label.adjusted(1, 1, -1, -1))) << "rotation " << rotation << " elevation " << elevation;
      }
      ++views;
      if (::testing::Test::HasFailure()) return;
    }
  EXPECT_GT(views, 1000);
  // The extremes as a user reaches them with the turn and tilt buttons.
  for (auto [rotation, elevation] : {std::pair{315, 315}, std::pair{0, 315}, std::pair{315, 0}, std::pair{0, 0}}) {
    chart.SetRotation(rotation);
    chart.SetElevation(elevation);
    chart.grab().save(TestOutput(QStringLiteral("chart3d_extreme_%1_%2.png").arg(rotation).arg(elevation)));
  }
}

// Faces turned up are lighter than faces turned to the viewer; the walls come and go.
TEST_F(Chart3D, ShadesTellTopFromFrontAndWallsSwitch) {
  const TPaxChartSeries* s = AddGrowth(400);
  chart.SetRotation(340);
  chart.SetElevation(330);
  chart.Plot().Walls3D = true;
  const QImage walls = chart.grab().toImage();
  const TPaxPlotLayout l = chart.CurrentLayout();
  auto ribbonMiddle = [&](double t) {
    const double y = s->Y(static_cast<std::size_t>(t / 40.0 * (s->Count() - 1)));
    return l.Project((t - l.X.Min) / l.X.Length() * l.BoxWidth, l.BoxHeight - (y - l.Y.Min) / l.Y.Length() * l.BoxHeight,
                     l.BoxDepth / 2).toPoint();
  };
  const QColor flat = walls.pixelColor(ribbonMiddle(4)), steep = walls.pixelColor(ribbonMiddle(20));
  EXPECT_TRUE(IsRibbonRed(flat)) << flat.name().toStdString();
  EXPECT_TRUE(IsRibbonRed(steep)) << steep.name().toStdString();
  EXPECT_GT(flat.lightness(), steep.lightness() + 15) << flat.name().toStdString() << " " << steep.name().toStdString();
  // The floor shows in its own grey with the walls on and not at all without them.
  const QPoint floor = l.Project(l.BoxWidth * 0.9, l.BoxHeight, l.BoxDepth * 0.5).toPoint();
  EXPECT_EQ(walls.pixelColor(floor), QColor(238, 238, 238));
  chart.Plot().Walls3D = false;
  const QImage bare = chart.grab().toImage();
  bare.save(TestOutput("chart3d_no_walls.png"));
  walls.save(TestOutput("chart3d_walls.png"));
  EXPECT_NE(bare.pixelColor(floor), QColor(238, 238, 238));
}

}  // namespace
