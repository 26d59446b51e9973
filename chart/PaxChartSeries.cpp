#include "PaxChartSeries.h"

#include "PaxPlot.h"

#include <algorithm>
#include <cmath>

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

void TPaxChartSeries::SetPointsOnly(bool pointsOnly) {
  FPointsOnly = pointsOnly;
  Changed();
}

void TPaxChartSeries::Append(double x, double y) {
  FX.push_back(x);
  FY.push_back(y);
  ++FGeneration;
  const std::size_t n = FX.size();
  if (FLevels.empty()) FLevels.emplace_back();
  if ((n - 1) / BlockSize == FLevels[0].size()) FLevels[0].emplace_back();
  if (!std::isfinite(x) || !std::isfinite(y) || (n > 1 && x < FX[n - 2])) FSortedFinite = false;
  if (std::isfinite(x) && std::isfinite(y)) {
    FBounds.Add(x, y);
    FLevels[0].back().Add(x, y);
  }
  if (FSortedFinite) {  // only the fast walk reads these, and only while they are whole
    if ((n - 1) % BlockSize == 0) {
      FBlockLastX.push_back(x);
      FBlockMinY.push_back(y);
      FBlockMaxY.push_back(y);
    } else {
      FBlockLastX.back() = x;
      FBlockMinY.back() = std::min(FBlockMinY.back(), y);
      FBlockMaxY.back() = std::max(FBlockMaxY.back(), y);
    }
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
  FBlockLastX.clear();
  FBlockMinY.clear();
  FBlockMaxY.clear();
  FBounds = TPaxPointSummary();
  FSortedFinite = true;
  ++FGeneration;
  FCache = TDecimationCache();
  Changed();
}

namespace {

// Collects the vertices of one device column before they go into the polyline.
class TColumnRun {
 public:
  TColumnRun(const TPaxPixelMapping& m, std::vector<TPaxPixelPoint>& out)
      : FMap(m), FOut(out), FScale(m.XScale * m.ColumnScale), FLast(m.Columns) {}

  // Columns left of the plot are -1, right of it Columns; truncation is floor for v >= 0.
  double Column(double x) const {
    const double v = (x - FMap.XMin) * FScale;
    if (!(v >= 0)) return -1;  // also catches NaN from overflowing products
    if (v >= FLast) return FLast;
    return static_cast<double>(static_cast<long long>(v));
  }

  // The column still being collected, to continue a walk later.
  void Save(TPaxPointSummary& run, double& column, std::size_t& count) const {
    run = FRun;
    column = FColumn;
    count = FCount;
  }
  void Restore(const TPaxPointSummary& run, double column, std::size_t count) {
    FRun = run;
    FColumn = column;
    FCount = count;
  }

  void Merge(double column, const TPaxPointSummary& s, std::size_t points) {
    if (FCount == 0 || column != FColumn) {
      Flush();
      FColumn = column;
      FRun = s;
    } else {
      FRun.Add(s);
    }
    FCount += points;
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
    double x0 = Px(FRun.FirstX), x1 = Px(FRun.LastX);
    const bool inside = FColumn >= 0 && FColumn < FMap.Columns;
    if (FCount > 1 && inside) {
      // Several points in one column: draw them as one vertical stroke in its middle, so a
      // spike is one column wide instead of two half-covered ones.
      x0 = x1 = FMap.XOrigin + (FColumn + 0.5) / FScale * FMap.XScale;
    }
    const double yFirst = Py(FRun.FirstY), yLast = Py(FRun.LastY);
    Push(x0, yFirst);
    if (FCount > 1 && inside) {
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
  const double FScale, FLast;
  TPaxPointSummary FRun;
  double FColumn = 0;
  std::size_t FCount = 0;
};

// Walks the summary tree: a block that lies within one column is taken whole, others are
// opened; only blocks that straddle a column border are looked into point by point.
struct TSummaryWalk {
  const std::vector<std::vector<TPaxPointSummary>>& Levels;
  const std::vector<double>& X;
  const std::vector<double>& Y;
  TColumnRun& Run;

  void Visit(std::size_t level, std::size_t index) {
    const TPaxPointSummary& s = Levels[level][index];
    if (s.Empty()) return;
    const double c0 = Run.Column(s.MinX);
    const std::size_t first = index * TPaxChartSeries::BlockSize;
    if (c0 == Run.Column(s.MaxX)) {
      std::size_t span = TPaxChartSeries::BlockSize;  // points per block at this level
      for (std::size_t k = 0; k < level; ++k) span *= TPaxChartSeries::BlockSize;
      Run.Merge(c0, s, std::min(span, X.size() - index * span));
      return;
    }
    if (level == 0) {
      const std::size_t end = std::min(first + TPaxChartSeries::BlockSize, X.size());
      for (std::size_t i = first; i < end; ++i) {
        const double x = X[i], y = Y[i];
        if (std::isfinite(x) && std::isfinite(y)) Run.Merge(Run.Column(x), x, y);
      }
      return;
    }
    // Blocks above the first level are complete, so all their children exist.
    for (std::size_t child = first; child < first + TPaxChartSeries::BlockSize; ++child) Visit(level - 1, child);
  }
};

// For a series whose x never decreases and whose points are all finite: each column is
// one run of consecutive points. Its end is found in the compact per-block arrays first
// and then inside one block; its extremes come from whole blocks plus the raw points at
// both ends. The compact arrays keep the walk within a few hundred kilobytes of memory.
struct TSortedWalk {
  const std::vector<double>& X;
  const std::vector<double>& Y;
  const std::vector<double>& BlockLastX;
  const std::vector<double>& BlockMinY;
  const std::vector<double>& BlockMaxY;
  TColumnRun& Run;
  static constexpr std::size_t B = TPaxChartSeries::BlockSize;

  TPaxPointSummary Range(std::size_t a, std::size_t b) const {
    TPaxPointSummary s;
    s.FirstX = s.MinX = X[a];
    s.FirstY = Y[a];
    s.LastX = s.MaxX = X[b - 1];
    s.LastY = Y[b - 1];
    double lo = Y[a], hi = Y[a];
    const std::size_t headEnd = std::min(b, (a + B - 1) / B * B);
    for (std::size_t i = a; i < headEnd; ++i) {
      lo = std::min(lo, Y[i]);
      hi = std::max(hi, Y[i]);
    }
    const std::size_t tailStart = std::max(headEnd, b / B * B);
    for (std::size_t k = headEnd / B; k < tailStart / B; ++k) {
      lo = std::min(lo, BlockMinY[k]);
      hi = std::max(hi, BlockMaxY[k]);
    }
    for (std::size_t i = tailStart; i < b; ++i) {
      lo = std::min(lo, Y[i]);
      hi = std::max(hi, Y[i]);
    }
    s.MinY = lo;
    s.MaxY = hi;
    return s;
  }

  // First index in [from, to) whose column lies beyond `column` (to when there is none).
  std::size_t EndWithin(std::size_t from, std::size_t to, double column) const {
    return static_cast<std::size_t>(
        std::partition_point(X.begin() + static_cast<std::ptrdiff_t>(from), X.begin() + static_cast<std::ptrdiff_t>(to),
                             [&](double x) { return Run.Column(x) <= column; }) - X.begin());
  }

  // First index after `from` whose column lies beyond `column`.
  std::size_t End(std::size_t from, double column) const {
    const std::size_t n = X.size(), blocks = BlockLastX.size();
    std::size_t block = from / B;
    if (Run.Column(BlockLastX[block]) > column) return EndWithin(from + 1, std::min(n, (block + 1) * B), column);
    // Gallop over the blocks to the first one that ends beyond the column.
    std::size_t lo = block, step = 1, hi = block + 1;
    while (hi < blocks && Run.Column(BlockLastX[hi]) <= column) {
      lo = hi;
      step *= 2;
      hi = std::min(blocks, hi + step);
    }
    if (hi >= blocks) {
      hi = blocks;
    }
    const std::size_t beyond = static_cast<std::size_t>(
        std::partition_point(BlockLastX.begin() + static_cast<std::ptrdiff_t>(lo) + 1,
                             BlockLastX.begin() + static_cast<std::ptrdiff_t>(hi),
                             [&](double x) { return Run.Column(x) <= column; }) - BlockLastX.begin());
    if (beyond >= blocks) return n;
    return EndWithin(beyond * B, std::min(n, (beyond + 1) * B), column);
  }

  void Walk(std::size_t a = 0) {
    const std::size_t n = X.size();
    while (a < n) {
      const double column = Run.Column(X[a]);
      const std::size_t b = End(a, column);
      Run.Merge(column, Range(a, b), b - a);
      a = b;
    }
  }
};

}  // namespace

void TPaxChartSeries::Decimate(const TPaxPixelMapping& mapping, std::vector<TPaxPixelPoint>& out) const {
  if (FCache.Valid && FCache.Generation == FGeneration && FCache.Mapping == mapping) {
    out = FCache.Points;
    return;
  }
  const bool sorted = FSortedFinite && mapping.XScale > 0;
  if (sorted) {
    // Appends under an unchanged mapping (a live chart between two rescales) continue the
    // walk where it stopped; anything else starts afresh.
    const bool resume = FCache.Valid && FCache.Resumable && FCache.Mapping == mapping && FCache.Processed <= Count();
    std::vector<TPaxPixelPoint> closed;
    if (resume) closed.swap(FCache.Closed);
    TColumnRun run(mapping, closed);
    if (resume) run.Restore(FCache.OpenRun, FCache.OpenColumn, FCache.OpenCount);
    TSortedWalk walk{FX, FY, FBlockLastX, FBlockMinY, FBlockMaxY, run};
    walk.Walk(resume ? FCache.Processed : 0);
    run.Save(FCache.OpenRun, FCache.OpenColumn, FCache.OpenCount);
    FCache.Processed = Count();
    FCache.Resumable = true;
    out = closed;
    TColumnRun finish(mapping, out);
    finish.Restore(FCache.OpenRun, FCache.OpenColumn, FCache.OpenCount);
    finish.Flush();
    FCache.Closed.swap(closed);
  } else {
    DecimateInto(mapping, out);
    FCache.Resumable = false;
  }
  FCache.Valid = true;
  FCache.Generation = FGeneration;
  FCache.Mapping = mapping;
  FCache.Points = out;
}

void TPaxChartSeries::DecimateInto(const TPaxPixelMapping& mapping, std::vector<TPaxPixelPoint>& out) const {
  out.clear();
  TColumnRun run(mapping, out);
  if (FSortedFinite && mapping.XScale > 0) {
    TSortedWalk sorted{FX, FY, FBlockLastX, FBlockMinY, FBlockMaxY, run};
    sorted.Walk();
    run.Flush();
    return;
  }
  TSummaryWalk walk{FLevels, FX, FY, run};
  // The complete blocks of the top level first, then on each lower level the blocks the
  // level above does not cover yet; the first level covers every point.
  std::size_t covered = 0;
  std::size_t span = 1;
  for (std::size_t level = 0; level < FLevels.size(); ++level) span *= BlockSize;
  for (std::size_t level = FLevels.size(); level-- > 0; span /= BlockSize) {
    const auto& entries = FLevels[level];
    for (std::size_t index = covered / span; index < entries.size(); ++index) walk.Visit(level, index);
    covered = std::max(covered, entries.size() * span);
  }
  run.Flush();
}
