#include "PaxPlot.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

constexpr double Margin = 8;
constexpr double TickLength = 5;
constexpr double MinorTickLength = 3;
constexpr double LabelGap = 3;

double WrapDegrees(double degrees) {
  if (!std::isfinite(degrees)) return 0;
  double d = std::fmod(degrees, 360.0);
  if (d < 0) d += 360.0;
  return d == 360.0 ? 0.0 : d;
}

// 1, 2 or 5 times a power of ten, at least raw.
double NiceStep(double raw) {
  if (!(raw > 0) || !std::isfinite(raw)) return 1;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / magnitude;
  const double nice = f <= 1.0 + 1e-9 ? 1 : f <= 2.0 + 1e-9 ? 2 : f <= 5.0 + 1e-9 ? 5 : 10;
  return nice * magnitude;
}

double NextNiceStep(double step) { return NiceStep(step * 1.5); }

std::vector<double> TickValues(const TPaxRange& r, double step) {
  std::vector<double> ticks;
  if (!(step > 0) || !(r.Length() >= 0)) return ticks;
  const double first = std::ceil(r.Min / step - 1e-9);
  const double last = std::floor(r.Max / step + 1e-9);
  if (last - first > 1000) return ticks;  // cannot happen with sensible spacing; a safety net
  for (double k = first; k <= last; k += 1) {
    double v = k * step;
    if (std::fabs(v) < step * 1e-9) v = 0;
    ticks.push_back(v);
  }
  return ticks;
}

// Widens an empty or degenerate range so it can be drawn.
TPaxRange Usable(TPaxRange r) {
  if (!std::isfinite(r.Min) || !std::isfinite(r.Max)) return {0, 1};
  if (r.Max < r.Min) std::swap(r.Min, r.Max);
  if (r.Max - r.Min <= std::max(std::fabs(r.Min), std::fabs(r.Max)) * 1e-12) {
    // A quantity that is zero throughout (no feed yet) is shown from 0 up, not around 0:
    // the quantities of a run are never negative.
    if (r.Min == 0 && r.Max == 0) return {0, 1};
    const double pad = std::fabs(r.Min) * 0.1;
    r = {r.Min - pad, r.Max + pad};
  }
  return r;
}

// A step whose ticks are at least minSpacing pixels apart (or further when a label is wider).
double ChooseStep(const TPaxRange& r, double pixels, double minSpacing, double minStep,
                  const std::function<double(double)>& spacingNeeded = {}) {
  if (!(pixels > 1)) return std::max(NiceStep(r.Length()), minStep);
  double step = std::max(NiceStep(r.Length() * minSpacing / pixels), NiceStep(minStep));
  for (int guard = 0; guard < 60; ++guard) {
    const double spacing = step / r.Length() * pixels;
    const double needed = spacingNeeded ? spacingNeeded(step) : minSpacing;
    if (spacing >= needed) break;
    step = NextNiceStep(step);
  }
  return step;
}

QString FormatOf(const TPaxAxis& axis) {
  return axis.ValueFormat.isEmpty() ? PaxDefaultValueFormat : axis.ValueFormat;
}

// Liang-Barsky: clips the segment to the rectangle; false when nothing is left.
bool ClipSegment(double& x0, double& y0, double& x1, double& y1, double w, double h) {
  double t0 = 0, t1 = 1;
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0, w - x0, y0, h - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
    } else {
      const double t = q[i] / p[i];
      if (p[i] < 0) t0 = std::max(t0, t);
      else t1 = std::min(t1, t);
    }
  }
  if (t0 > t1) return false;
  const double nx0 = x0 + t0 * dx, ny0 = y0 + t0 * dy;
  x1 = x0 + t1 * dx;
  y1 = y0 + t1 * dy;
  x0 = nx0;
  y0 = ny0;
  return true;
}

double SignedArea(const QPointF* q, int n) {
  double a = 0;
  for (int i = 0; i < n; ++i) {
    const QPointF& p0 = q[i];
    const QPointF& p1 = q[(i + 1) % n];
    a += p0.x() * p1.y() - p1.x() * p0.y();
  }
  return a / 2;
}

double DeviceScale(const QPainter& p) {
  const QTransform& t = p.worldTransform();
  return std::max(1.0, std::hypot(t.m11(), t.m12()));
}

void DrawMarkers(QPainter& p, const std::vector<QPointF>& points, const QColor& color, int size) {
  if (size <= 0 || points.empty()) return;
  std::vector<QRectF> rects;
  rects.reserve(points.size());
  const double s = size;
  for (const QPointF& pt : points) rects.emplace_back(pt.x() - s / 2, pt.y() - s / 2, s, s);
  p.setPen(QPen(color.darker(170), 1));
  p.setBrush(color);
  p.drawRects(rects.data(), static_cast<int>(rects.size()));
  p.setBrush(Qt::NoBrush);
}

QColor Mix(const QColor& a, const QColor& b, double t) {
  return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                          static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                          static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

struct TRibbonStyle {
  QColor Base;
  double Z0 = 0, Z1 = 1;    // the ribbon's depth slice in box coordinates
  double EyeX = 0;          // the eye's place across the box's width
  bool UpperTurn = true;    // turn of a level strip that shows its upper side
  double SmoothWidth = 3;   // box units over which the slope for the shading is taken
  bool Sorted = true;       // x never decreases along the piece
  double DevicePixels = 1;  // device pixels per layout pixel
};

constexpr int ShadeLevels = 32;

// One piece of a ribbon. Its strip is filled quad by quad in painting order (far from the
// eye first), the quads merged into one fill while their shade stays the same;
// neighbouring quads share their corners exactly, so the fill leaves no seam. Each merged
// strip's front and back edges are then drawn smoothed over its fill, which gives the
// ribbon its clean outline. The shade follows the slope: faces turned up are light, faces
// turned to the viewer keep the series colour, undersides are dark.
void PaintRibbon(QPainter& p, const TPaxPlotLayout& l, const std::vector<QPointF>& piece, const TRibbonStyle& st) {
  const int n = static_cast<int>(piece.size());
  if (n == 0) return;
  std::vector<QPointF> front(static_cast<std::size_t>(n)), back(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    front[static_cast<std::size_t>(k)] = l.Project(piece[static_cast<std::size_t>(k)].x(), piece[static_cast<std::size_t>(k)].y(), st.Z0);
    back[static_cast<std::size_t>(k)] = l.Project(piece[static_cast<std::size_t>(k)].x(), piece[static_cast<std::size_t>(k)].y(), st.Z1);
  }
  const QColor frontEdge = st.Base.darker(145), backEdge = st.Base.darker(118);
  p.setRenderHint(QPainter::Antialiasing, true);
  if (n == 1) {
    p.setPen(QPen(frontEdge, 1));
    p.drawLine(front[0], back[0]);
    return;
  }
  const int segments = n - 1;
  auto at = [&](int k) { return piece[static_cast<std::size_t>(k)]; };

  // Shade and turn of every quad.
  std::vector<std::uint8_t> level(static_cast<std::size_t>(segments));
  std::vector<signed char> turn(static_cast<std::size_t>(segments));
  const double half = st.SmoothWidth / 2;
  int a = 0, b = 1;
  for (int k = 0; k < segments; ++k) {
    int ca = k, cb = k + 1;
    if (st.Sorted) {  // the slope over a few pixels, so column-wide steps do not flicker
      while (a + 1 <= k && at(k).x() - at(a + 1).x() >= half) ++a;
      b = std::max(b, k + 1);
      while (b < n - 1 && at(b).x() - at(k + 1).x() < half) ++b;
      ca = a;
      cb = b;
    }
    double dx = at(cb).x() - at(ca).x(), dy = at(cb).y() - at(ca).y();
    if (std::hypot(dx, dy) < 1e-12) {
      ca = k;
      cb = k + 1;
      dx = at(cb).x() - at(ca).x();
      dy = at(cb).y() - at(ca).y();
    }
    const double length = std::hypot(dx, dy);
    double t = 0.5;
    if (length > 1e-12) {
      const QPointF q[4] = {l.Project(at(ca).x(), at(ca).y(), st.Z0), l.Project(at(cb).x(), at(cb).y(), st.Z0),
                            l.Project(at(cb).x(), at(cb).y(), st.Z1), l.Project(at(ca).x(), at(ca).y(), st.Z1)};
      const bool upperShows = ((SignedArea(q, 4) <= 0) == st.UpperTurn) != (dx < 0);
      const double upY = -std::fabs(dx) / length;  // y of the upward normal (y points down)
      const double shownY = upperShows ? upY : -upY;
      t = (1 - shownY) / 2;
    }
    level[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(std::lround(t * (ShadeLevels - 1)));
    const QPointF q[4] = {front[static_cast<std::size_t>(k)], front[static_cast<std::size_t>(k) + 1],
                          back[static_cast<std::size_t>(k) + 1], back[static_cast<std::size_t>(k)]};
    const double area = SignedArea(q, 4);
    turn[static_cast<std::size_t>(k)] = area < 0 ? -1 : area > 0 ? 1 : 0;
  }
  for (int k = 1; k < segments; ++k)  // flat quads go with their neighbour
    if (turn[static_cast<std::size_t>(k)] == 0) turn[static_cast<std::size_t>(k)] = turn[static_cast<std::size_t>(k) - 1];
  for (int k = segments - 1; k-- > 0;)
    if (turn[static_cast<std::size_t>(k)] == 0) turn[static_cast<std::size_t>(k)] = turn[static_cast<std::size_t>(k) + 1];

  // Painting order: a ray of sight runs away from the eye in x, so on each side of the eye
  // the quads farther out are behind the nearer ones. The two sides never overlap.
  std::vector<int> order;
  order.reserve(static_cast<std::size_t>(segments));
  auto mid = [&](int k) { return (at(k).x() + at(k + 1).x()) / 2; };
  if (st.Sorted) {
    int split = 0;
    while (split < segments && mid(split) < st.EyeX) ++split;
    for (int k = 0; k < split; ++k) order.push_back(k);
    for (int k = segments; k-- > split;) order.push_back(k);
  } else {
    for (int k = 0; k < segments; ++k) order.push_back(k);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
      return std::fabs(mid(x) - st.EyeX) > std::fabs(mid(y) - st.EyeX);
    });
  }

  const QColor light = Mix(st.Base, Qt::white, 0.45), dark = st.Base.darker(165);
  auto shade = [&](int lv) {
    const double t = static_cast<double>(lv) / (ShadeLevels - 1);
    return t >= 0.5 ? Mix(st.Base, light, (t - 0.5) * 2) : Mix(dark, st.Base, t * 2);
  };
  auto paintEdges = [&](int lo, int hi) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(backEdge, 1));
    p.drawPolyline(back.data() + lo, hi - lo + 2);
    p.setPen(QPen(frontEdge, 1));
    p.drawPolyline(front.data() + lo, hi - lo + 2);
    if (lo == 0) p.drawLine(front[0], back[0]);
    if (hi == segments - 1) p.drawLine(front[static_cast<std::size_t>(n) - 1], back[static_cast<std::size_t>(n) - 1]);
  };
  // With more vertices than device columns (the decimated form of long series) the strips
  // are a few pixels each and their edges a solid line: drawn once for the whole piece,
  // they look the same at a fraction of the cost.
  const double columns = std::fabs(front.back().x() - front.front().x()) * st.DevicePixels;
  const bool dense = segments > 1.5 * columns;
  std::vector<QPointF> strip;
  auto paintStrip = [&](int lo, int hi, int lv) {  // quads lo .. hi
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(shade(lv));
    const bool oneTurn = std::all_of(turn.begin() + lo, turn.begin() + hi + 1,
                                     [&](signed char t) { return t == turn[static_cast<std::size_t>(lo)]; });
    if (oneTurn) {  // one polygon along the strip
      strip.clear();
      for (int k = lo; k <= hi + 1; ++k) strip.push_back(front[static_cast<std::size_t>(k)]);
      for (int k = hi + 1; k >= lo; --k) strip.push_back(back[static_cast<std::size_t>(k)]);
      p.drawPolygon(strip.data(), static_cast<int>(strip.size()), Qt::WindingFill);
    } else {
      // Quads turning both ways (a dense column's strokes up and down) would cancel out in
      // one polygon; each goes in turned the same way, and the union is filled.
      QPainterPath path;
      path.setFillRule(Qt::WindingFill);
      for (int k = lo; k <= hi; ++k) {
        const std::size_t i = static_cast<std::size_t>(k);
        if (turn[i] >= 0) {
          path.moveTo(front[i]);
          path.lineTo(front[i + 1]);
          path.lineTo(back[i + 1]);
          path.lineTo(back[i]);
        } else {
          path.moveTo(back[i]);
          path.lineTo(back[i + 1]);
          path.lineTo(front[i + 1]);
          path.lineTo(front[i]);
        }
        path.closeSubpath();
      }
      p.drawPath(path);
    }
    p.setBrush(Qt::NoBrush);
    p.setRenderHint(QPainter::Antialiasing, true);
    if (!dense) paintEdges(lo, hi);
  };
  int lo = -1, hi = -1, prev = -1;
  for (int k : order) {
    const auto key = [&](int q) { return level[static_cast<std::size_t>(q)]; };
    if (prev >= 0 && std::abs(k - prev) == 1 && key(k) == key(prev)) {
      lo = std::min(lo, k);
      hi = std::max(hi, k);
    } else {
      if (prev >= 0) paintStrip(lo, hi, level[static_cast<std::size_t>(prev)]);
      lo = hi = k;
    }
    prev = k;
  }
  if (prev >= 0) paintStrip(lo, hi, level[static_cast<std::size_t>(prev)]);
  if (dense) paintEdges(0, segments - 1);
}

}  // namespace

QColor PaxSeriesColor(int index) {
  static const QColor palette[] = {QColor(220, 0, 0),    QColor(0, 140, 0),   QColor(0, 70, 220),
                                   QColor(230, 130, 0),  QColor(150, 0, 170), QColor(0, 150, 160),
                                   QColor(130, 80, 30),  QColor(100, 100, 100)};
  return palette[static_cast<std::size_t>(index) % std::size(palette)];
}

QPointF TPaxPlotLayout::Project(double x, double y, double z) const {
  if (!View3D) return QPointF(Plot.left() + x, Plot.top() + y);
  const double vx = x - BoxWidth / 2, vy = y - BoxHeight / 2, vz = z - BoxDepth / 2;
  const double x1 = vx * CosRot + vz * SinRot;
  const double z1 = -vx * SinRot + vz * CosRot;
  const double y2 = vy * CosElev - z1 * SinElev;
  const double z2 = vy * SinElev + z1 * CosElev;
  const double f = Distance > 0 ? Distance / (Distance + z2) : 1.0;
  return FitOffset + QPointF(x1 * f, y2 * f) * FitScale;
}

QPointF TPaxPlotLayout::DataToDevice(double x, double y) const {
  const double w = View3D ? BoxWidth : Plot.width(), h = View3D ? BoxHeight : Plot.height();
  return Project((x - X.Min) / X.Length() * w, h - (y - Y.Min) / Y.Length() * h, 0);
}

QPointF TPaxPlotLayout::DataToDeviceRight(double x, double y2) const {
  const double w = View3D ? BoxWidth : Plot.width(), h = View3D ? BoxHeight : Plot.height();
  return Project((x - X.Min) / X.Length() * w, h - (y2 - Y2.Min) / Y2.Length() * h, 0);
}

bool TPaxPlotLayout::DeviceToData(const QPointF& device, double& x, double& y) const {
  const double w = View3D ? BoxWidth : Plot.width(), h = View3D ? BoxHeight : Plot.height();
  if (!(w > 0) || !(h > 0)) return false;
  QPointF box = device - Plot.topLeft();
  if (View3D) {
    const QPolygonF front{Project(0, 0, 0), Project(w, 0, 0), Project(w, h, 0), Project(0, h, 0)};
    const QPolygonF flat{QPointF(0, 0), QPointF(w, 0), QPointF(w, h), QPointF(0, h)};
    QTransform t;
    if (!QTransform::quadToQuad(front, flat, t)) return false;
    box = t.map(device);
  }
  x = X.Min + box.x() / w * X.Length();
  y = Y.Min + (h - box.y()) / h * Y.Length();
  return std::isfinite(x) && std::isfinite(y);
}

TPaxPlot::TPaxPlot() {
  TitleFont = QFont(QStringLiteral("Arial"));
  TitleFont.setPixelSize(11);
  TitleFont.setBold(true);
  LabelFont = QFont(QStringLiteral("Arial"));
  LabelFont.setPixelSize(11);
  AxisTitleFont = LabelFont;
  AxisTitleFont.setPixelSize(12);
  LegendFont = LabelFont;
  BottomAxis.MinorTicks = false;
}

TPaxPlot::~TPaxPlot() = default;

TPaxChartSeries* TPaxPlot::AddSeries(const QString& title) {
  auto series = std::make_unique<TPaxChartSeries>(title, PaxSeriesColor(SeriesCount()));
  series->FOwner = this;
  FSeries.push_back(std::move(series));
  Changed();
  return FSeries.back().get();
}

TPaxChartSeries* TPaxPlot::Series(int index) const {
  return index >= 0 && index < SeriesCount() ? FSeries[static_cast<std::size_t>(index)].get() : nullptr;
}

int TPaxPlot::IndexOf(const TPaxChartSeries* series) const {
  for (int i = 0; i < SeriesCount(); ++i)
    if (FSeries[static_cast<std::size_t>(i)].get() == series) return i;
  return -1;
}

bool TPaxPlot::RemoveSeries(TPaxChartSeries* series) {
  const int index = IndexOf(series);
  if (index < 0) return false;
  FSeries.erase(FSeries.begin() + index);
  Changed();
  return true;
}

void TPaxPlot::RemoveAllSeries() {
  while (!FSeries.empty()) FSeries.pop_back();
  Changed();
}

void TPaxPlot::SeriesChanged() { Changed(); }

void TPaxPlot::SetView3D(bool on) {
  FView3D = on;
  Changed();
}

namespace {
double Legible(double degrees, double limit) {
  const double d = WrapDegrees(degrees);
  if (d == 0 || d >= limit) return d;
  return d <= 180 ? 0 : limit;
}
}  // namespace

double TPaxPlot::LegibleRotation(double degrees) { return Legible(degrees, MinRotation); }
double TPaxPlot::LegibleElevation(double degrees) { return Legible(degrees, MinElevation); }

void TPaxPlot::SetRotation(double degrees) {
  FRotation = LegibleRotation(degrees);
  Changed();
}

void TPaxPlot::SetElevation(double degrees) {
  FElevation = LegibleElevation(degrees);
  Changed();
}

void TPaxPlot::SetOrthogonal(bool on) {
  FOrthogonal = on;
  Changed();
}

void TPaxPlot::SetZoom(const TPaxRange& x, const TPaxRange& y) {
  FZoomX = Usable(x);
  FZoomY = Usable(y);
  FZoomed = true;
  Changed();
}

void TPaxPlot::ClearZoom() {
  FZoomed = false;
  Changed();
}

std::vector<TPaxChartSeries*> TPaxPlot::VisibleSeries() const {
  std::vector<TPaxChartSeries*> out;
  for (const auto& s : FSeries)
    if (s->Visible()) out.push_back(s.get());
  return out;
}

void TPaxPlot::DataRanges(TPaxRange& x, TPaxRange& y, TPaxRange& y2) const {
  TPaxPointSummary all, left, right;
  for (const auto& s : FSeries) {
    if (!s->Visible()) continue;
    all.Add(s->Bounds());
    (s->RightAxis() ? right : left).Add(s->Bounds());
  }
  x = all.Empty() ? TPaxRange{0, 1} : TPaxRange{all.MinX, all.MaxX};
  y = left.Empty() ? TPaxRange{0, 1} : TPaxRange{left.MinY, left.MaxY};
  y2 = right.Empty() ? TPaxRange{0, 1} : TPaxRange{right.MinY, right.MaxY};
}

namespace {

// The axis format for a step: the decimals the step needs are added, the rest is kept.
QString FormatForStep(const QString& base, double step) {
  return PaxFormatWithDecimals(base, PaxDecimalsForStep(step));
}

// The smallest step worth choosing for a range: far below anything a label can show
// apart on a screen, but not so small that the ticks lose their arithmetic.
double TinyStep(const TPaxRange& r) { return std::max(r.Length(), std::fabs(r.Max)) * 1e-9; }

}  // namespace

TPaxPlotLayout TPaxPlot::Layout(const QRectF& bounds, bool ignoreZoom) const {
  const bool zoomed = FZoomed && !ignoreZoom;
  TPaxPlotLayout l;
  l.Bounds = bounds;
  l.View3D = FView3D;
  const QString xBase = FormatOf(BottomAxis), yBase = FormatOf(LeftAxis), y2Base = FormatOf(RightAxis);
  l.XFormat = xBase;
  l.YFormat = yBase;
  l.Y2Format = y2Base;
  const QFontMetricsF fmLabel(LabelFont), fmTitle(TitleFont), fmAxis(AxisTitleFont), fmLegend(LegendFont);
  QRectF r = bounds.adjusted(Margin, Margin, -Margin, -Margin);

  if (TitleVisible && !Title.isEmpty()) {
    l.TitleRect = QRectF(r.left(), r.top(), r.width(), fmTitle.height());
    r.setTop(l.TitleRect.bottom() + 6);
  }
  const auto visible = VisibleSeries();
  for (const TPaxChartSeries* s : visible) l.HasRightAxis = l.HasRightAxis || s->RightAxis();
  if (LegendVisible && !visible.empty()) {
    double rowWidth = 0;
    int inRow = 0;
    for (const TPaxChartSeries* s : visible) {
      l.Legend << s->Title();
      const double w = 24 + fmLegend.horizontalAdvance(s->Title()) + 16;
      if (inRow > 0 && rowWidth + w > r.width()) {
        l.LegendRows.push_back(inRow);
        inRow = 0;
        rowWidth = 0;
      }
      rowWidth += w;
      ++inRow;
    }
    l.LegendRows.push_back(inRow);
    const double h = static_cast<double>(l.LegendRows.size()) * (fmLegend.height() + 2);
    l.LegendRect = QRectF(r.left(), r.bottom() - h, r.width(), h);
    r.setBottom(l.LegendRect.top() - 6);
  }
  if (!BottomAxis.Title.isEmpty()) {
    l.BottomTitleRect = QRectF(r.left(), r.bottom() - fmAxis.height(), r.width(), fmAxis.height());
    r.setBottom(l.BottomTitleRect.top() - 2);
  }
  r.setBottom(r.bottom() - (fmLabel.height() + TickLength + LabelGap));
  r.setTop(r.top() + fmLabel.height() / 2);  // room for half of the topmost label
  if (!LeftAxis.Title.isEmpty()) {
    l.LeftTitleRect = QRectF(r.left(), r.top(), fmAxis.height(), r.height());
    r.setLeft(l.LeftTitleRect.right() + 4);
  }
  if (l.HasRightAxis && !RightAxis.Title.isEmpty()) {
    l.RightTitleRect = QRectF(r.right() - fmAxis.height(), r.top(), fmAxis.height(), r.height());
    r.setRight(l.RightTitleRect.left() - 4);
  }

  TPaxRange dataX, dataY, dataY2;
  DataRanges(dataX, dataY, dataY2);
  l.X = Usable(zoomed ? FZoomX : dataX);
  const TPaxRange y = Usable(zoomed ? FZoomY : dataY);
  TPaxRange y2 = Usable(dataY2);
  if (zoomed && l.HasRightAxis) {
    // The right scale follows the zoom of the left one: the same share of its data range.
    const TPaxRange full = Usable(dataY);
    const double a = (FZoomY.Min - full.Min) / full.Length(), b = (FZoomY.Max - full.Min) / full.Length();
    y2 = Usable({y2.Min + a * y2.Length(), y2.Min + b * y2.Length()});
  }
  const double ySpacing = fmLabel.height() * 1.8;

  // A vertical scale: its step, the shown range ending on labelled ticks (unzoomed), the ticks
  // and the label format.
  auto verticalTicks = [&](const TPaxRange& data, double pixels, const QString& base, TPaxRange& shownOut,
                           double& stepOut, std::vector<double>& ticksOut, QString& formatOut) {
    const double minStep = TinyStep(data);
    double step = ChooseStep(data, pixels, ySpacing, minStep);
    TPaxRange shown = data;
    if (!zoomed) {  // data ranges end on labelled ticks
      shown = {std::floor(data.Min / step + 1e-9) * step, std::ceil(data.Max / step - 1e-9) * step};
      step = ChooseStep(shown, pixels, ySpacing, minStep);
      shown = {std::floor(data.Min / step + 1e-9) * step, std::ceil(data.Max / step - 1e-9) * step};
      // The tolerance above must not cut off data that lies a rounding error beyond a tick.
      shown = {std::min(shown.Min, data.Min), std::max(shown.Max, data.Max)};
    }
    shownOut = Usable(shown);
    stepOut = step;
    ticksOut = TickValues(shownOut, step);
    formatOut = FormatForStep(base, step);
  };
  // The vertical scales decide the label widths, which decide the plot width.
  auto yTicksFor = [&](double pixels) {
    verticalTicks(y, pixels, yBase, l.Y, l.YStep, l.YTicks, l.YFormat);
    if (l.HasRightAxis) verticalTicks(y2, pixels, y2Base, l.Y2, l.Y2Step, l.Y2Ticks, l.Y2Format);
  };
  auto labelWidth = [&](const std::vector<double>& ticks, const QString& format) {
    double w = 0;
    for (double v : ticks) w = std::max(w, fmLabel.horizontalAdvance(PaxFormatValue(v, format, Separators)));
    return w;
  };
  yTicksFor(r.height());
  r.setLeft(r.left() + labelWidth(l.YTicks, l.YFormat) + TickLength + LabelGap + 2);
  const double roughEnd = std::ceil(l.X.Max / NiceStep(l.X.Length() / 4)) * NiceStep(l.X.Length() / 4);
  const double lastLabel = std::max(fmLabel.horizontalAdvance(PaxFormatValue(l.X.Max, l.XFormat, Separators)),
                                    fmLabel.horizontalAdvance(PaxFormatValue(roughEnd, l.XFormat, Separators)));
  double rightRoom = std::max(8.0, lastLabel / 2);
  if (l.HasRightAxis)
    rightRoom = std::max(rightRoom, labelWidth(l.Y2Ticks, l.Y2Format) + TickLength + LabelGap + 2);
  r.setRight(r.right() - rightRoom);
  if (r.width() < 10) r.setWidth(10);
  if (r.height() < 10) r.setHeight(10);
  l.Plot = r;

  double xPixels = r.width(), yPixels = r.height();
  if (FView3D) {
    const double phi = (360.0 - FRotation) * std::numbers::pi / 180.0;
    const double theta = (360.0 - FElevation) * std::numbers::pi / 180.0;
    l.CosRot = std::cos(phi);
    l.SinRot = std::sin(phi);
    l.CosElev = std::cos(theta);
    l.SinElev = std::sin(theta);
    l.BoxWidth = r.width();
    l.BoxHeight = r.height();
    const double perPair = std::max(1.0, std::ceil(static_cast<double>(visible.size()) / 2.0));
    l.BoxDepth = std::min(r.width(), r.height()) * Depth3DPercent / 100.0 * perPair;
    l.Distance = FOrthogonal ? 0 : 3.0 * std::max({l.BoxWidth, l.BoxHeight, l.BoxDepth});
    // Fit the projected box into the plot area.
    l.FitScale = 1;
    l.FitOffset = QPointF();
    double left = 1e300, top = 1e300, right = -1e300, bottom = -1e300;
    for (int i = 0; i < 8; ++i) {
      const QPointF p = l.Project(i & 1 ? l.BoxWidth : 0, i & 2 ? l.BoxHeight : 0, i & 4 ? l.BoxDepth : 0);
      left = std::min(left, p.x());
      right = std::max(right, p.x());
      top = std::min(top, p.y());
      bottom = std::max(bottom, p.y());
    }
    const QRectF box(QPointF(left, top), QPointF(right, bottom));
    l.FitScale = std::min(r.width() / std::max(1.0, box.width()), r.height() / std::max(1.0, box.height()));
    l.FitOffset = r.center() - box.center() * l.FitScale;
    // The front face is what the labels stand against.
    xPixels = QLineF(l.Project(0, l.BoxHeight, 0), l.Project(l.BoxWidth, l.BoxHeight, 0)).length();
    yPixels = QLineF(l.Project(0, 0, 0), l.Project(0, l.BoxHeight, 0)).length();
    yTicksFor(yPixels);
  }

  const double gap = fmLabel.averageCharWidth() * 2;
  auto xStepFor = [&](const TPaxRange& range) {
    return ChooseStep(range, xPixels, 40, TinyStep(range), [&](double step) {
      const QString format = FormatForStep(xBase, step);
      double widest = 0;
      for (double v : TickValues(range, step))
        widest = std::max(widest, fmLabel.horizontalAdvance(PaxFormatValue(v, format, Separators)));
      return widest + gap;
    });
  };
  l.XStep = xStepFor(l.X);
  if (!zoomed) {
    // The time axis, too, ends on labelled ticks. Besides reading better, the scale of a
    // live chart then stays put between two ticks and appended points cost only themselves.
    const TPaxRange data = l.X;
    for (int round = 0; round < 3; ++round) {
      TPaxRange ends{std::floor(data.Min / l.XStep + 1e-9) * l.XStep, std::ceil(data.Max / l.XStep - 1e-9) * l.XStep};
      ends = Usable({std::min(ends.Min, data.Min), std::max(ends.Max, data.Max)});
      const bool settled = ends == l.X;
      l.X = ends;
      if (settled) break;
      l.XStep = xStepFor(l.X);
    }
  }
  l.XTicks = TickValues(l.X, l.XStep);
  l.XFormat = FormatForStep(xBase, l.XStep);
  return l;
}

void TPaxPlot::Paint(QPainter& painter, const QRectF& bounds) const {
  const TPaxPlotLayout l = Layout(bounds);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  PaintBackground(painter, l);
  if (l.View3D) Paint3D(painter, l);
  else Paint2D(painter, l);
  PaintTexts(painter, l);
  PaintLegend(painter, l);
  painter.restore();
}

void TPaxPlot::PaintBackground(QPainter& p, const TPaxPlotLayout& l) const {
  QLinearGradient gradient(l.Bounds.topLeft(), l.Bounds.bottomLeft());
  gradient.setColorAt(0, BackColor);
  gradient.setColorAt(1, GradientColor);
  p.fillRect(l.Bounds, gradient);
}

void TPaxPlot::Paint2D(QPainter& p, const TPaxPlotLayout& l) const {
  const QRectF& r = l.Plot;
  p.fillRect(r, BackWallColor);
  auto xPos = [&](double v) { return r.left() + (v - l.X.Min) / l.X.Length() * r.width(); };
  auto yPos = [&](double v) { return r.bottom() - (v - l.Y.Min) / l.Y.Length() * r.height(); };

  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(GridColor, 1, BottomAxis.GridStyle));
  if (BottomAxis.Grid)
    for (double v : l.XTicks) p.drawLine(QPointF(xPos(v), r.top()), QPointF(xPos(v), r.bottom()));
  p.setPen(QPen(GridColor, 1, LeftAxis.GridStyle));
  if (LeftAxis.Grid)
    for (double v : l.YTicks) p.drawLine(QPointF(r.left(), yPos(v)), QPointF(r.right(), yPos(v)));

  // Series, clipped to the plot.
  p.save();
  p.setClipRect(r.adjusted(-1, -1, 1, 1));
  p.setRenderHint(QPainter::Antialiasing, true);
  const double scale = DeviceScale(p);
  const auto visible = VisibleSeries();
  for (auto it = visible.rbegin(); it != visible.rend(); ++it) {  // the first series on top
    const TPaxChartSeries* s = *it;
    const TPaxRange& sy = s->RightAxis() ? l.Y2 : l.Y;
    TPaxPixelMapping m;
    m.XOrigin = r.left();
    m.XMin = l.X.Min;
    m.XScale = r.width() / l.X.Length();
    m.YOrigin = r.bottom();
    m.YMin = sy.Min;
    m.YScale = r.height() / sy.Length();
    m.ColumnScale = scale;
    m.Columns = static_cast<int>(std::ceil(r.width() * scale));
    if (s->PointsOnly()) {
      // Every point: decimation would merge measured values that share a column.
      std::vector<QPointF> pts;
      for (std::size_t k = 0; k < s->Count(); ++k)
        if (std::isfinite(s->X(k)) && std::isfinite(s->Y(k)))
          pts.emplace_back(m.XOrigin + (s->X(k) - m.XMin) * m.XScale, m.YOrigin - (s->Y(k) - m.YMin) * m.YScale);
      p.setRenderHint(QPainter::Antialiasing, false);
      DrawMarkers(p, pts, s->Color(), std::max(3, s->MarkerSize()));
      p.setRenderHint(QPainter::Antialiasing, true);
      continue;
    }
    s->Decimate(m, FScratch);
    if (FScratch.empty()) continue;
    std::vector<QPointF> pts;
    pts.reserve(FScratch.size());
    for (const TPaxPixelPoint& v : FScratch) pts.emplace_back(v.X, v.Y);
    // Dense data draws a solid band in which smoothing shows nothing but costs a lot.
    const bool dense = pts.size() > static_cast<std::size_t>(r.width() * scale);
    p.setRenderHint(QPainter::Antialiasing, !dense);
    p.setPen(QPen(s->Color(), 1));
    p.drawPolyline(pts.data(), static_cast<int>(pts.size()));
    p.setRenderHint(QPainter::Antialiasing, true);
    // Markers only where they can be told apart; on dense data they would only thicken the line.
    if (pts.size() * 4 <= static_cast<std::size_t>(r.width()) + 4) {
      p.setRenderHint(QPainter::Antialiasing, false);
      DrawMarkers(p, pts, s->Color(), s->MarkerSize());
      p.setRenderHint(QPainter::Antialiasing, true);
    }
  }
  p.restore();

  // Axes with ticks and labels.
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(AxisColor, 1));
  p.drawLine(r.bottomLeft(), r.topLeft());
  p.drawLine(r.bottomLeft(), r.bottomRight());
  p.setFont(LabelFont);
  const QFontMetricsF fm(LabelFont);
  for (double v : l.YTicks) {
    const double y = yPos(v);
    p.drawLine(QPointF(r.left() - TickLength, y), QPointF(r.left(), y));
    const QString text = PaxFormatValue(v, l.YFormat, Separators);
    const double w = fm.horizontalAdvance(text);
    p.drawText(QPointF(r.left() - TickLength - LabelGap - w, y + (fm.ascent() - fm.descent()) / 2), text);
  }
  if (LeftAxis.MinorTicks && LeftAxis.MinorTickCount > 0)
    for (double v = l.YTicks.empty() ? l.Y.Min : l.YTicks.front() - l.YStep; v <= l.Y.Max; v += l.YStep)
      for (int k = 1; k <= LeftAxis.MinorTickCount; ++k) {
        const double mv = v + l.YStep * k / (LeftAxis.MinorTickCount + 1);
        if (mv < l.Y.Min || mv > l.Y.Max) continue;
        p.drawLine(QPointF(r.left() - MinorTickLength, yPos(mv)), QPointF(r.left(), yPos(mv)));
      }
  if (l.HasRightAxis) {
    p.drawLine(r.bottomRight(), r.topRight());
    auto y2Pos = [&](double v) { return r.bottom() - (v - l.Y2.Min) / l.Y2.Length() * r.height(); };
    for (double v : l.Y2Ticks) {
      const double y = y2Pos(v);
      p.drawLine(QPointF(r.right(), y), QPointF(r.right() + TickLength, y));
      p.drawText(QPointF(r.right() + TickLength + LabelGap, y + (fm.ascent() - fm.descent()) / 2),
                 PaxFormatValue(v, l.Y2Format, Separators));
    }
  }
  for (double v : l.XTicks) {
    const double x = xPos(v);
    p.drawLine(QPointF(x, r.bottom()), QPointF(x, r.bottom() + TickLength));
    const QString text = PaxFormatValue(v, l.XFormat, Separators);
    p.drawText(QPointF(x - fm.horizontalAdvance(text) / 2, r.bottom() + TickLength + LabelGap + fm.ascent()), text);
  }
  if (BottomAxis.MinorTicks && BottomAxis.MinorTickCount > 0)
    for (double v = l.XTicks.empty() ? l.X.Min : l.XTicks.front() - l.XStep; v <= l.X.Max; v += l.XStep)
      for (int k = 1; k <= BottomAxis.MinorTickCount; ++k) {
        const double mv = v + l.XStep * k / (BottomAxis.MinorTickCount + 1);
        if (mv < l.X.Min || mv > l.X.Max) continue;
        p.drawLine(QPointF(xPos(mv), r.bottom()), QPointF(xPos(mv), r.bottom() + MinorTickLength));
      }
  p.setRenderHint(QPainter::Antialiasing, true);
}

void TPaxPlot::Paint3D(QPainter& p, const TPaxPlotLayout& l) const {
  const double w = l.BoxWidth, h = l.BoxHeight, d = l.BoxDepth;
  auto P = [&](double x, double y, double z) { return l.Project(x, y, z); };
  auto quad = [&](QPointF a, QPointF b, QPointF c, QPointF e) { return QPolygonF{a, b, c, e}; };
  const double side = l.SinRot >= 0 ? 0 : w;      // the side wall behind the data
  const double floorY = l.SinElev >= 0 ? h : 0;   // floor when seen from above, else ceiling
  const double backZ = l.CosRot * l.CosElev >= 0 ? d : 0;
  const QColor edge(150, 150, 150);

  // Large smoothed polygons are costly and the walls' edges are straight: no smoothing.
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(edge, 1));
  p.setBrush(BackWallColor);
  p.drawPolygon(quad(P(0, 0, backZ), P(w, 0, backZ), P(w, h, backZ), P(0, h, backZ)));
  if (Walls3D) {
    p.setBrush(QColor(246, 246, 246));
    p.drawPolygon(quad(P(side, 0, 0), P(side, 0, d), P(side, h, d), P(side, h, 0)));
    p.setBrush(QColor(238, 238, 238));
    p.drawPolygon(quad(P(0, floorY, 0), P(w, floorY, 0), P(w, floorY, d), P(0, floorY, d)));
  }
  p.setBrush(Qt::NoBrush);

  auto xBox = [&](double v) { return (v - l.X.Min) / l.X.Length() * w; };
  auto yBox = [&](double v) { return h - (v - l.Y.Min) / l.Y.Length() * h; };
  p.setPen(QPen(GridColor, 1, BottomAxis.GridStyle));
  if (BottomAxis.Grid)
    for (double v : l.XTicks) {
      const double x = xBox(v);
      p.drawLine(P(x, 0, backZ), P(x, h, backZ));
      if (Walls3D) p.drawLine(P(x, floorY, 0), P(x, floorY, d));
    }
  p.setPen(QPen(GridColor, 1, LeftAxis.GridStyle));
  if (LeftAxis.Grid)
    for (double v : l.YTicks) {
      const double y = yBox(v);
      p.drawLine(P(0, y, backZ), P(w, y, backZ));
      if (Walls3D) p.drawLine(P(side, y, 0), P(side, y, d));
    }
  if (!Walls3D) {  // without walls the floor's front and side edges still frame the box
    p.setPen(QPen(edge, 1));
    p.drawLine(P(0, floorY, 0), P(0, floorY, backZ == d ? d : 0));
    p.drawLine(P(w, floorY, 0), P(w, floorY, backZ == d ? d : 0));
  }

  // Ribbons, from the back to the front; each lies in its own slice of the depth.
  // Ribbons share the depth among them; point series take no slice: their markers lie
  // in the plane of the axes, where values are read, and are painted over the ribbons.
  std::vector<const TPaxChartSeries*> visible, points;
  for (const TPaxChartSeries* s : VisibleSeries()) (s->PointsOnly() ? points : visible).push_back(s);
  const int n = static_cast<int>(visible.size());
  const double slot = n > 0 ? d / n : d;
  const double devicePx = DeviceScale(p);
  const double scale = devicePx * l.FitScale;
  // Where the eye stands over the box's width: every ray of sight runs away from it in x,
  // so along each side of it the ribbon's pieces are painted from the far end inwards.
  double eyeX = l.SinRot > 0 ? 1e300 : l.SinRot < 0 ? -1e300 : w / 2;
  if (l.Distance > 0) eyeX = w / 2 + l.Distance * l.CosElev * l.SinRot;
  // A level strip seen from above turns this way on the screen; a strip turning the other
  // way shows its underside.
  const bool upperTurn = SignedArea(std::array{P(0, h / 2, 0), P(w, h / 2, 0), P(w, h / 2, d), P(0, h / 2, d)}.data(), 4) <= 0;
  std::vector<int> order(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) order[static_cast<std::size_t>(i)] = backZ > 0 ? n - 1 - i : i;
  std::vector<std::vector<QPointF>> pieces;
  for (int i : order) {
    const TPaxChartSeries* s = visible[static_cast<std::size_t>(i)];
    const double z0 = slot * i + slot * 0.12, z1 = slot * (i + 1) - slot * 0.12;
    const TPaxRange& sy = s->RightAxis() ? l.Y2 : l.Y;
    TPaxPixelMapping m;
    m.XOrigin = 0;
    m.XMin = l.X.Min;
    m.XScale = w / l.X.Length();
    m.YOrigin = h;
    m.YMin = sy.Min;
    m.YScale = h / sy.Length();
    m.ColumnScale = scale;
    m.Columns = static_cast<int>(std::ceil(w * scale));
    s->Decimate(m, FScratch);
    // The polyline cut into the pieces that lie inside the box.
    pieces.clear();
    bool open = false;
    for (std::size_t k = 0; k + 1 < FScratch.size(); ++k) {
      double x0 = FScratch[k].X, y0 = FScratch[k].Y, x1 = FScratch[k + 1].X, y1 = FScratch[k + 1].Y;
      const bool startsInside = x0 >= 0 && x0 <= w && y0 >= 0 && y0 <= h;
      if (!ClipSegment(x0, y0, x1, y1, w, h)) {
        open = false;
        continue;
      }
      if (!startsInside || !open) {
        pieces.emplace_back();
        pieces.back().emplace_back(x0, y0);
        open = true;
      }
      pieces.back().emplace_back(x1, y1);
      if (!(FScratch[k + 1].X >= 0 && FScratch[k + 1].X <= w && FScratch[k + 1].Y >= 0 && FScratch[k + 1].Y <= h))
        open = false;
    }
    if (FScratch.size() == 1 && FScratch[0].X >= 0 && FScratch[0].X <= w && FScratch[0].Y >= 0 && FScratch[0].Y <= h)
      pieces.push_back({QPointF(FScratch[0].X, FScratch[0].Y)});
    TRibbonStyle style;
    style.Base = s->Color();
    style.Z0 = z0;
    style.Z1 = z1;
    style.EyeX = eyeX;
    style.UpperTurn = upperTurn;
    style.SmoothWidth = 3.0 / std::max(1e-9, scale);
    style.Sorted = s->SortedFinite();
    style.DevicePixels = devicePx;
    for (const auto& piece : pieces) PaintRibbon(p, l, piece, style);

    std::size_t points = 0;
    for (const auto& piece : pieces) points += piece.size();
    // Markers only where they stand well apart: on a ribbon's edge they soon read as a dark seam.
    if (points * 8 <= static_cast<std::size_t>(w * l.FitScale) + 8) {
      std::vector<QPointF> pts;
      pts.reserve(points);
      for (const auto& piece : pieces)
        for (const QPointF& v : piece) pts.push_back(P(v.x(), v.y(), z0));
      p.setRenderHint(QPainter::Antialiasing, false);
      DrawMarkers(p, pts, s->Color(), s->MarkerSize());
    }
  }
  for (const TPaxChartSeries* s : points) {
    const TPaxRange& sy = s->RightAxis() ? l.Y2 : l.Y;
    std::vector<QPointF> pts;
    for (std::size_t k = 0; k < s->Count(); ++k) {
      const double x = xBox(s->X(k)), y = h - (s->Y(k) - sy.Min) / sy.Length() * h;
      if (x >= 0 && x <= w && y >= 0 && y <= h) pts.push_back(P(x, y, 0));
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    DrawMarkers(p, pts, s->Color(), std::max(3, s->MarkerSize()));
  }
  p.setRenderHint(QPainter::Antialiasing, true);
  // Axes along the front edges.
  p.setPen(QPen(AxisColor, 1));
  p.drawLine(P(0, 0, 0), P(0, h, 0));
  p.drawLine(P(0, h, 0), P(w, h, 0));
  p.setFont(LabelFont);
  const QFontMetricsF fm(LabelFont);
  for (double v : l.YTicks) {
    const QPointF a = P(0, yBox(v), 0);
    p.drawLine(a, a - QPointF(TickLength, 0));
    const QString text = PaxFormatValue(v, l.YFormat, Separators);
    p.drawText(QPointF(a.x() - TickLength - LabelGap - fm.horizontalAdvance(text),
                       a.y() + (fm.ascent() - fm.descent()) / 2), text);
  }
  if (l.HasRightAxis) {
    p.drawLine(P(w, 0, 0), P(w, h, 0));
    for (double v : l.Y2Ticks) {
      const QPointF a = P(w, h - (v - l.Y2.Min) / l.Y2.Length() * h, 0);
      p.drawLine(a, a + QPointF(TickLength, 0));
      p.drawText(QPointF(a.x() + TickLength + LabelGap, a.y() + (fm.ascent() - fm.descent()) / 2),
                 PaxFormatValue(v, l.Y2Format, Separators));
    }
  }
  for (double v : l.XTicks) {
    const QPointF a = P(xBox(v), h, 0);
    p.drawLine(a, a + QPointF(0, TickLength));
    const QString text = PaxFormatValue(v, l.XFormat, Separators);
    p.drawText(QPointF(a.x() - fm.horizontalAdvance(text) / 2, a.y() + TickLength + LabelGap + fm.ascent()), text);
  }
}

void TPaxPlot::PaintTexts(QPainter& p, const TPaxPlotLayout& l) const {
  if (!l.TitleRect.isEmpty()) {
    p.setFont(TitleFont);
    p.setPen(TitleColor);
    p.drawText(l.TitleRect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, Title);
  }
  p.setFont(AxisTitleFont);
  p.setPen(AxisColor);
  // Axis titles centre on the plot, not on the whole chart.
  if (!l.BottomTitleRect.isEmpty()) {
    QRectF r = l.BottomTitleRect;
    r.setLeft(l.Plot.left());
    r.setRight(l.Plot.right());
    p.drawText(r, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, BottomAxis.Title);
  }
  // The side titles read upwards.
  const auto drawUpwards = [&p](const QRectF& r, const QString& title) {
    if (r.isEmpty()) return;
    p.save();
    p.translate(r.center());
    p.rotate(-90);
    p.drawText(QRectF(-r.height() / 2, -r.width() / 2, r.height(), r.width()),
               Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, title);
    p.restore();
  };
  drawUpwards(l.LeftTitleRect, LeftAxis.Title);
  drawUpwards(l.RightTitleRect, RightAxis.Title);
}

void TPaxPlot::PaintLegend(QPainter& p, const TPaxPlotLayout& l) const {
  if (l.LegendRect.isEmpty()) return;
  const auto visible = VisibleSeries();
  const QFontMetricsF fm(LegendFont);
  p.setFont(LegendFont);
  std::size_t index = 0;
  double y = l.LegendRect.top();
  for (int count : l.LegendRows) {
    double rowWidth = 0;
    for (int k = 0; k < count; ++k)
      rowWidth += 24 + fm.horizontalAdvance(visible[index + static_cast<std::size_t>(k)]->Title()) + 16;
    rowWidth -= 16;
    double x = l.LegendRect.center().x() - rowWidth / 2;
    const double mid = y + fm.height() / 2;
    for (int k = 0; k < count; ++k, ++index) {
      const TPaxChartSeries* s = visible[index];
      p.setPen(QPen(s->Color(), 2));
      if (!s->PointsOnly()) p.drawLine(QPointF(x, mid), QPointF(x + 18, mid));
      p.setRenderHint(QPainter::Antialiasing, false);
      DrawMarkers(p, {QPointF(x + 9, mid)}, s->Color(), std::max(3, s->MarkerSize()));
      p.setRenderHint(QPainter::Antialiasing, true);
      p.setPen(AxisColor);
      p.drawText(QPointF(x + 24, y + fm.ascent()), s->Title());
      x += 24 + fm.horizontalAdvance(s->Title()) + 16;
    }
    y += fm.height() + 2;
  }
}
