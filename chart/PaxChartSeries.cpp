#include "PaxChartSeries.h"

#include "PaxPlot.h"

#include <algorithm>
#include <cmath>

void TPaxPointSummary::Add(double x, double y) {
  if (Empty()) {
    FirstX = x;
    FirstY = y;
  }
  MinX = std::min(MinX, x);
  MaxX = std::max(MaxX, x);
  MinY = std::min(MinY, y);
  MaxY = std::max(MaxY, y);
  LastX = x;
  LastY = y;
}

void TPaxPointSummary::Add(const TPaxPointSummary& later) {
  if (later.Empty()) return;
  if (Empty()) {
    *this = later;
    return;
  }
  MinX = std::min(MinX, later.MinX);
  MaxX = std::max(MaxX, later.MaxX);
  MinY = std::min(MinY, later.MinY);
  MaxY = std::max(MaxY, later.MaxY);
  LastX = later.LastX;
  LastY = later.LastY;
}

TPaxChartSeries::TPaxChartSeries(const QString& title, const QColor& color)
    : FTitle(title), FColor(color) {}

void TPaxChartSeries::Changed() {
  if (FOwner) FOwner->SeriesChanged();
}

void TPaxChartSeries::SetTitle(const QString& title) {
  FTitle = title;
  Changed();
}

void TPaxChartSeries::SetColor(const QColor& color) {
  FColor = color;
  Changed();
}

void TPaxChartSeries::SetVisible(bool visible) {
  FVisible = visible;
  Changed();
}

void TPaxChartSeries::SetMarkerSize(int pixels) {
  FMarkerSize = std::max(0, pixels);
  Changed();
}

void TPaxChartSeries::Append(double x, double y) {
  FX.push_back(x);
  FY.push_back(y);
  const std::size_t n = FX.size();
  if (FLevels.empty()) FLevels.emplace_back();
  if ((n - 1) / BlockSize == FLevels[0].size()) FLevels[0].emplace_back();
  if (std::isfinite(x) && std::isfinite(y)) {
    FBounds.Add(x, y);
    FLevels[0].back().Add(x, y);
  }
  // A completed block is folded into the level above; that happens once per BlockSize
  // appends at level 1, once per BlockSize^2 at level 2 and so on: constant on average.
  if (n % BlockSize == 0) {
    std::size_t complete = n / BlockSize;
    for (std::size_t level = 1; complete % BlockSize == 0; ++level) {
      if (FLevels.size() == level) FLevels.emplace_back();
      const auto& below = FLevels[level - 1];
      TPaxPointSummary merged;
      for (std::size_t i = complete - BlockSize; i < complete; ++i) merged.Add(below[i]);
      FLevels[level].push_back(merged);
      complete /= BlockSize;
    }
  }
  Changed();
}

void TPaxChartSeries::Clear() {
  FX.clear();
  FY.clear();
  FLevels.clear();
  FBounds = TPaxPointSummary();
  Changed();
}

namespace {

// Collects the vertices of one device column before they go into the polyline.
class TColumnRun {
 public:
  TColumnRun(const TPaxPixelMapping& m, std::vector<TPaxPixelPoint>& out) : FMap(m), FOut(out) {}

  double Column(double x) const {
    const double c = std::floor((x - FMap.XMin) * FMap.XScale * FMap.ColumnScale);
    if (!(c >= 0)) return -1;  // also catches NaN from overflowing products
    return std::min(c, static_cast<double>(FMap.Columns));
  }

  void Merge(double column, const TPaxPointSummary& s) {
    if (FCount == 0 || column != FColumn) {
      Flush();
      FColumn = column;
      FRun = s;
    } else {
      FRun.Add(s);
    }
    FCount += 2;  // at least two points (or one counted twice): extremes may differ
  }

  void Merge(double column, double x, double y) {
    if (FCount == 0 || column != FColumn) {
      Flush();
      FColumn = column;
      FRun = TPaxPointSummary();
    }
    FRun.Add(x, y);
    ++FCount;
  }

  void Flush() {
    if (FCount == 0) return;
    const double x0 = Px(FRun.FirstX), x1 = Px(FRun.LastX);
    const double yFirst = Py(FRun.FirstY), yLast = Py(FRun.LastY);
    Push(x0, yFirst);
    const bool outside = FColumn < 0 || FColumn >= FMap.Columns;
    if (FCount > 1 && !outside) {
      const double yMin = Py(FRun.MinY), yMax = Py(FRun.MaxY);
      // Visit the extreme nearer the first point first, so the stroke doubles back once only.
      if (std::fabs(yFirst - yMin) <= std::fabs(yFirst - yMax)) {
        Push(x0, yMin);
        Push(x1, yMax);
      } else {
        Push(x0, yMax);
        Push(x1, yMin);
      }
    }
    if (FCount > 1) Push(x1, yLast);
    FCount = 0;
  }

 private:
  // Coordinates far outside the device are pinned so the painter's fixed-point
  // rasteriser cannot overflow; lines into the plot keep their direction until there.
  static double Pin(double v) { return std::clamp(v, -4.0e6, 4.0e6); }
  double Px(double x) const { return Pin(FMap.XOrigin + (x - FMap.XMin) * FMap.XScale); }
  double Py(double y) const { return Pin(FMap.YOrigin - (y - FMap.YMin) * FMap.YScale); }
  void Push(double x, double y) {
    if (!FOut.empty() && FOut.back().X == x && FOut.back().Y == y) return;
    FOut.push_back({x, y});
  }

  const TPaxPixelMapping& FMap;
  std::vector<TPaxPixelPoint>& FOut;
  TPaxPointSummary FRun;
  double FColumn = 0;
  int FCount = 0;
};

}  // namespace

void TPaxChartSeries::Decimate(const TPaxPixelMapping& mapping, std::vector<TPaxPixelPoint>& out) const {
  out.clear();
  TColumnRun run(mapping, out);
  const std::size_t n = FX.size();
  std::size_t i = 0;
  while (i < n) {
    bool consumed = false;
    // Take the largest summary block that starts here and lies within one column.
    std::size_t span = 1;
    for (std::size_t level = 0; level < FLevels.size(); ++level) span *= BlockSize;
    for (std::size_t level = FLevels.size(); level-- > 0; span /= BlockSize) {
      if (i % span != 0) continue;
      const std::size_t index = i / span;
      if (index >= FLevels[level].size()) continue;
      const TPaxPointSummary& s = FLevels[level][index];
      const std::size_t end = std::min(i + span, n);
      if (s.Empty()) {
        i = end;
        consumed = true;
        break;
      }
      const double c0 = run.Column(s.MinX);
      if (c0 == run.Column(s.MaxX)) {
        run.Merge(c0, s);
        i = end;
        consumed = true;
        break;
      }
    }
    if (consumed) continue;
    const double x = FX[i], y = FY[i];
    if (std::isfinite(x) && std::isfinite(y)) run.Merge(run.Column(x), x, y);
    ++i;
  }
  run.Flush();
}
