// Series storage, the decimation that keeps every extreme, and the panel helpers.
#include "PaxChartSeries.h"
#include "PaxPlot.h"
#include "ZymraChartHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

namespace {

struct TFakeMatrix {
  std::vector<double> Values;
  int Rows() const { return static_cast<int>(Values.size()); }
  double Value(int row) const { return Values[static_cast<std::size_t>(row)]; }
};

TPaxPixelMapping Mapping(double xMin, double xMax, double yMin, double yMax, int columns, int rows) {
  TPaxPixelMapping m;
  m.XOrigin = 0;
  m.XMin = xMin;
  m.XScale = columns / (xMax - xMin);
  m.YOrigin = rows;
  m.YMin = yMin;
  m.YScale = rows / (yMax - yMin);
  m.Columns = columns;
  return m;
}

// For every column inside the plot: the pixel y of the lowest and highest point, worked
// out point by point, must both be vertices of the decimated line, and no vertex may
// lie beyond them.
void ExpectExtremesKept(const TPaxChartSeries& s, const TPaxPixelMapping& m) {
  std::map<int, std::pair<double, double>> expected;  // column -> (min py, max py)
  for (std::size_t i = 0; i < s.Count(); ++i) {
    const double col = std::floor((s.X(i) - m.XMin) * m.XScale);
    if (col < 0 || col >= m.Columns || !std::isfinite(s.Y(i))) continue;
    const double py = m.YOrigin - (s.Y(i) - m.YMin) * m.YScale;
    auto [it, fresh] = expected.try_emplace(static_cast<int>(col), py, py);
    if (!fresh) it->second = {std::min(it->second.first, py), std::max(it->second.second, py)};
  }
  std::vector<TPaxPixelPoint> out;
  s.Decimate(m, out);
  std::map<int, std::vector<double>> got;
  for (const TPaxPixelPoint& v : out) {
    const double col = std::floor(v.X - m.XOrigin);
    if (col >= 0 && col < m.Columns) got[static_cast<int>(col)].push_back(v.Y);
  }
  ASSERT_EQ(got.size(), expected.size());
  for (const auto& [col, range] : expected) {
    const auto& ys = got[col];
    auto has = [&](double y) { return std::any_of(ys.begin(), ys.end(), [&](double v) { return std::fabs(v - y) < 1e-6; }); };
    EXPECT_TRUE(has(range.first)) << "column " << col << " lost its top";
    EXPECT_TRUE(has(range.second)) << "column " << col << " lost its bottom";
    for (double y : ys) {
      EXPECT_GE(y, range.first - 1e-6);
      EXPECT_LE(y, range.second + 1e-6);
    }
  }
}

TEST(ChartSeries, AppendCountsClearAndBounds) {
  TPaxChartSeries s("OD real");
  EXPECT_EQ(s.Count(), 0u);
  EXPECT_TRUE(s.Bounds().Empty());
  s.Append(0, 5);
  s.Append(1, -2);
  s.Append(2, std::nan(""));  // kept as a point, left out of the extremes
  s.Append(3, 9);
  EXPECT_EQ(s.Count(), 4u);
  EXPECT_EQ(s.Bounds().MinY, -2);
  EXPECT_EQ(s.Bounds().MaxY, 9);
  EXPECT_EQ(s.Bounds().MaxX, 3);
  EXPECT_TRUE(std::isnan(s.Y(2)));
  s.Clear();
  EXPECT_EQ(s.Count(), 0u);
  EXPECT_TRUE(s.Bounds().Empty());
}

TEST(ChartSeries, DecimationKeepsEveryColumnExtremeOfMonotoneData) {
  TPaxChartSeries s;
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0, 1);
  const int n = 200003;  // not a whole number of blocks
  for (int i = 0; i < n; ++i) s.Append(i * 0.01, std::sin(i * 0.001) * 10 + noise(random));
  const TPaxPixelMapping whole = Mapping(0, (n - 1) * 0.01, -15, 15, 700, 400);
  ExpectExtremesKept(s, whole);
  std::vector<TPaxPixelPoint> out;
  s.Decimate(whole, out);
  EXPECT_LE(out.size(), 4u * 701u);  // bounded by the pixels, not by the 200000 points
  // A zoomed window: points outside collapse into the border columns.
  ExpectExtremesKept(s, Mapping(400.5, 612.25, -3, 3, 333, 200));

  // Strictly rising values: a point counted in the wrong column shows as a value outside
  // that column's range, whichever way it strays.
  TPaxChartSeries rising;
  for (int i = 0; i < 100001; ++i) rising.Append(i * 0.37, i);
  ExpectExtremesKept(rising, Mapping(0, 100000 * 0.37, 0, 100000, 613, 400));
  ExpectExtremesKept(rising, Mapping(1000, 2000, 2000, 6000, 977, 400));
}

// A live chart decimates, gets a few more points and decimates again under the same
// scale: the result must equal that of a series holding all points from the start.
TEST(ChartSeries, DecimationAfterAppendsEqualsAFreshOne) {
  const TPaxPixelMapping m = Mapping(0, 100, -2, 2, 400, 300);
  TPaxChartSeries live, fresh;
  std::vector<TPaxPixelPoint> a, b;
  int i = 0;
  auto add = [&](int count) {
    for (int k = 0; k < count; ++k, ++i) {
      const double x = i * 0.01, y = std::sin(i * 0.013) + (i % 7 == 0 ? 0.5 : 0);
      live.Append(x, y);
      fresh.Append(x, y);
    }
  };
  for (int count : {1, 2, 30, 1, 333, 1, 1, 5000, 64}) {  // within a column, across columns, across blocks
    add(count);
    live.Decimate(m, a);
    TPaxChartSeries again;
    for (std::size_t k = 0; k < fresh.Count(); ++k) again.Append(fresh.X(k), fresh.Y(k));
    again.Decimate(m, b);
    ASSERT_EQ(a.size(), b.size()) << "after " << i << " points";
    for (std::size_t k = 0; k < a.size(); ++k) {
      EXPECT_EQ(a[k].X, b[k].X);
      EXPECT_EQ(a[k].Y, b[k].Y);
    }
  }
  // A point that goes back in time ends the shortcut; the result is still complete.
  live.Append(1.0, 1.9);
  live.Decimate(m, a);
  EXPECT_FALSE(live.SortedFinite());
  EXPECT_TRUE(std::any_of(a.begin(), a.end(), [&](const TPaxPixelPoint& p) {
    return std::fabs(p.Y - (300 - (1.9 + 2) / 4 * 300)) < 1e-9;
  }));
}

TEST(ChartSeries, DecimationOfUnorderedAndSparseData) {
  TPaxChartSeries s;
  std::mt19937 random(11);
  std::uniform_real_distribution<double> any(-50, 50);
  for (int i = 0; i < 5000; ++i) s.Append(any(random), any(random));
  ExpectExtremesKept(s, Mapping(-50, 50, -50, 50, 120, 80));

  TPaxChartSeries few;
  few.Append(0, 0);
  few.Append(5, 10);
  few.Append(10, 0);
  std::vector<TPaxPixelPoint> out;
  few.Decimate(Mapping(0, 10, 0, 10, 100, 100), out);
  ASSERT_EQ(out.size(), 3u);  // each point stands alone in its column
  EXPECT_DOUBLE_EQ(out[1].X, 50);
  EXPECT_DOUBLE_EQ(out[1].Y, 0);  // y = 10 is the top of 100 rows
  EXPECT_DOUBLE_EQ(out[2].Y, 100);
}

TEST(ChartSeries, DecimationSkipsNonFinitePointsAndKeepsLinesToTheBorder) {
  TPaxChartSeries s;
  s.Append(-100, 1);  // far left of the window
  s.Append(std::nan(""), 3);
  s.Append(5, std::numeric_limits<double>::infinity());
  s.Append(5, 2);
  s.Append(500, 1);  // far right
  std::vector<TPaxPixelPoint> out;
  s.Decimate(Mapping(0, 10, 0, 4, 100, 40), out);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_LT(out[0].X, 0);
  EXPECT_DOUBLE_EQ(out[1].X, 50);
  EXPECT_DOUBLE_EQ(out[1].Y, 20);
  EXPECT_GT(out[2].X, 100);
  for (const auto& v : out) EXPECT_TRUE(std::isfinite(v.X) && std::isfinite(v.Y));
}

TEST(ChartHelpers, FillSeriesAddsOnlyTheMissingRows) {
  TPaxPlot chart;
  TPaxChartSeries* s = AddLineSeries("\xC2\xB5 Cell", chart);
  EXPECT_TRUE(s->Visible());
  EXPECT_EQ(s->MarkerSize(), 2);
  EXPECT_EQ(s->Title(), QString::fromUtf8("\xC2\xB5 Cell"));
  TFakeMatrix time{{0, 1, 2}}, value{{10, 11, 12}};
  FillSeries(s, &time, &value);
  ASSERT_EQ(s->Count(), 3u);
  time.Values.push_back(3);
  value.Values.push_back(13);
  time.Values.push_back(4);
  value.Values.push_back(14);
  FillSeries(s, &time, &value);
  ASSERT_EQ(s->Count(), 5u);
  EXPECT_EQ(s->X(3), 3);
  EXPECT_EQ(s->Y(4), 14);
  FillSeries(s, &time, &value);  // nothing new
  EXPECT_EQ(s->Count(), 5u);
}

TEST(ChartHelpers, FillSeriesNeedsBothMatricesWithEqualRows) {
  TPaxPlot chart;
  TPaxChartSeries* s = AddLineSeries("OD real", chart);
  TFakeMatrix time{{0, 1, 2}}, shorter{{5, 6}};
  FillSeries(s, &time, &shorter);
  EXPECT_EQ(s->Count(), 0u);
  FillSeries<TFakeMatrix>(s, &time, nullptr);
  FillSeries<TFakeMatrix>(s, nullptr, &time);
  FillSeries<TFakeMatrix>(nullptr, &time, &time);
  EXPECT_EQ(s->Count(), 0u);
}

TEST(ChartHelpers, RemovingSeries) {
  TPaxPlot chart;
  TPaxChartSeries* a = AddLineSeries("a", chart);
  TPaxChartSeries* b = AddLineSeries("b", chart);
  AddLineSeries("c", chart);
  EXPECT_EQ(chart.SeriesCount(), 3);
  EXPECT_TRUE(chart.RemoveSeries(b));
  EXPECT_FALSE(chart.RemoveSeries(b));  // already gone
  ASSERT_EQ(chart.SeriesCount(), 2);
  EXPECT_EQ(chart.Series(0), a);
  EXPECT_EQ(chart.Series(1)->Title(), "c");
  EXPECT_EQ(chart.Series(2), nullptr);
  RemoveAllSeries(chart);
  EXPECT_EQ(chart.SeriesCount(), 0);
}

}  // namespace
