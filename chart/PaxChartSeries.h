#pragma once
// A line series of a chart: the points in the order they were appended, plus a
// summary tree that lets the chart draw a million points at the cost of the pixels.
#include <QColor>
#include <QString>

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

class TPaxPlot;

// Extremes and end points of the finite points of a stretch of the series.
struct TPaxPointSummary {
  double MinX = std::numeric_limits<double>::infinity();
  double MaxX = -std::numeric_limits<double>::infinity();
  double MinY = std::numeric_limits<double>::infinity();
  double MaxY = -std::numeric_limits<double>::infinity();
  double FirstX = 0, FirstY = 0, LastX = 0, LastY = 0;
  bool Empty() const { return MinX > MaxX; }
  inline void Add(double x, double y);
  inline void Add(const TPaxPointSummary& later);
};

inline void TPaxPointSummary::Add(double x, double y) {
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

inline void TPaxPointSummary::Add(const TPaxPointSummary& later) {
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

// One vertex of a decimated polyline, in device coordinates.
struct TPaxPixelPoint {
  double X, Y;
};

// Maps data x/y to device coordinates for decimation.
struct TPaxPixelMapping {
  double XOrigin = 0, XScale = 1;  // px = XOrigin + (x - XMin) * XScale
  double XMin = 0;
  double YOrigin = 0, YScale = 1;  // py = YOrigin - (y - YMin) * YScale
  double YMin = 0;
  int Columns = 1;                 // columns of the plot, starting at XOrigin
  double ColumnScale = 1;          // columns per unit of XScale (device pixels per logical pixel)
  bool operator==(const TPaxPixelMapping&) const = default;
};

class TPaxChartSeries {
 public:
  explicit TPaxChartSeries(const QString& title = QString(), const QColor& color = Qt::red);

  const QString& Title() const { return FTitle; }
  void SetTitle(const QString& title);
  const QColor& Color() const { return FColor; }
  void SetColor(const QColor& color);
  bool Visible() const { return FVisible; }
  void SetVisible(bool visible);
  // Side of the square point marker in pixels (0 hides the markers).
  int MarkerSize() const { return FMarkerSize; }
  void SetMarkerSize(int pixels);
  // Points only: a marker at every point and no line between them (measured values);
  // the markers then show however close together the points lie.
  bool PointsOnly() const { return FPointsOnly; }
  void SetPointsOnly(bool pointsOnly);

  // Amortised constant time: the summaries above the points are extended, never rebuilt.
  void Append(double x, double y);
  void Clear();
  std::size_t Count() const { return FX.size(); }
  double X(std::size_t index) const { return FX[index]; }
  double Y(std::size_t index) const { return FY[index]; }

  // Whether x never decreases and every point is finite (a time series, as a rule).
  bool SortedFinite() const { return FSortedFinite; }
  // Extremes of all finite points (Empty() when there is none).
  const TPaxPointSummary& Bounds() const { return FBounds; }

  // The polyline to draw for the given mapping: for every device column it touches,
  // the first, lowest, highest and last point in the order of the series, so no
  // extreme is lost. Points left or right of the plot collapse into one column
  // just outside it, so lines still run to the border. Non-finite points are skipped.
  // The last result is kept until the mapping changes or a point is appended, so
  // repainting an unchanged chart costs a copy.
  void Decimate(const TPaxPixelMapping& mapping, std::vector<TPaxPixelPoint>& out) const;

  // Points merged per summary block, and summary levels kept.
  static constexpr std::size_t BlockSize = 32;

 private:
  void Changed();
  void DecimateInto(const TPaxPixelMapping& mapping, std::vector<TPaxPixelPoint>& out) const;

  QString FTitle;
  QColor FColor;
  bool FVisible = true;
  int FMarkerSize = 2;
  bool FPointsOnly = false;
  std::vector<double> FX, FY;
  TPaxPointSummary FBounds;
  bool FSortedFinite = true;  // x never decreases and every value is finite: the fast walk applies
  // Per block of BlockSize points, kept while the series is sorted: last x, lowest and highest y.
  std::vector<double> FBlockLastX, FBlockMinY, FBlockMaxY;
  std::uint64_t FGeneration = 0;  // counts appends and clears
  // The last decimation. For a sorted series it also keeps the column still open at the
  // end, so points appended under the same mapping are added without a new walk.
  struct TDecimationCache {
    bool Valid = false;
    std::uint64_t Generation = 0;
    TPaxPixelMapping Mapping;
    std::vector<TPaxPixelPoint> Points;  // with the open column flushed
    bool Resumable = false;
    std::size_t Processed = 0;            // points walked
    std::vector<TPaxPixelPoint> Closed;   // without the open column
    TPaxPointSummary OpenRun;
    double OpenColumn = 0;
    std::size_t OpenCount = 0;
  };
  mutable TDecimationCache FCache;
  // FLevels[0] summarises BlockSize points per entry (the last entry may be partial);
  // FLevels[k] summarises BlockSize entries of FLevels[k-1] and holds complete blocks only.
  std::vector<std::vector<TPaxPointSummary>> FLevels;

  friend class TPaxPlot;
  TPaxPlot* FOwner = nullptr;
};
