#include "PaxBand.h"
#include "PaxChartOutput.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

void PaxPaintBands(QPainter& p, const TPaxPlotLayout& l, const std::vector<TPaxBand>& bands) {
  if (l.View3D || !(l.X.Length() > 0) || !(l.Y.Length() > 0)) return;
  p.save();
  p.setClipRect(l.Plot);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(Qt::NoPen);
  for (const TPaxBand& band : bands) {
    if (!band.Lower || !band.Upper) continue;
    p.setBrush(band.Fill);
    const std::size_t n = std::min(band.Lower->Count(), band.Upper->Count());
    std::size_t i = 0;
    while (i < n) {
      // One polygon per stretch of finite points: the upper edge forward, the lower back.
      QPolygonF upper, lower;
      for (; i < n; ++i) {
        const double x = band.Upper->X(i), lo = band.Lower->Y(i), hi = band.Upper->Y(i);
        if (!std::isfinite(x) || !std::isfinite(lo) || !std::isfinite(hi)) break;
        upper << l.DataToDevice(x, hi);
        lower << l.DataToDevice(x, lo);
      }
      ++i;
      if (upper.size() < 2) continue;
      std::reverse(lower.begin(), lower.end());
      p.drawPolygon(upper + lower);
    }
  }
  p.restore();
}

void PaxPaintPlotWithBands(TPaxPlot& plot, const std::vector<TPaxBand>& bands, QPainter& painter,
                           const QRectF& bounds) {
  if (plot.View3D() || bands.empty()) {
    plot.Paint(painter, bounds);
    return;
  }
  PaxPaintBandBackground(plot, bands, painter, bounds);
  const TPaxSeeThrough seeThrough(plot);
  plot.Paint(painter, bounds);
}

void PaxPaintBandBackground(const TPaxPlot& plot, const std::vector<TPaxBand>& bands, QPainter& painter,
                            const QRectF& bounds) {
  const TPaxPlotLayout l = plot.Layout(bounds);
  QLinearGradient gradient(l.Bounds.topLeft(), l.Bounds.bottomLeft());
  gradient.setColorAt(0, plot.BackColor);
  gradient.setColorAt(1, plot.GradientColor);
  painter.fillRect(l.Bounds, gradient);
  painter.fillRect(l.Plot, plot.BackWallColor);
  PaxPaintBands(painter, l, bands);
}

TPaxSeeThrough::TPaxSeeThrough(TPaxPlot& plot)
    : Plot_(plot), Back_(plot.BackColor), Gradient_(plot.GradientColor), Wall_(plot.BackWallColor) {
  plot.BackColor = plot.GradientColor = plot.BackWallColor = Qt::transparent;
}

TPaxSeeThrough::~TPaxSeeThrough() {
  Plot_.BackColor = Back_;
  Plot_.GradientColor = Gradient_;
  Plot_.BackWallColor = Wall_;
}

QImage PaxPlotImageWithBands(TPaxPlot& plot, const std::vector<TPaxBand>& bands, const QSize& size) {
  return PaxPaintedImage(
      [&](QPainter& painter, const QRectF& area) { PaxPaintPlotWithBands(plot, bands, painter, area); }, size);
}

bool PaxSavePlotWithBands(TPaxPlot& plot, const std::vector<TPaxBand>& bands, const QString& path,
                          const QSize& size, QString& error) {
  return PaxSavePainted(
      [&](QPainter& painter, const QRectF& area) { PaxPaintPlotWithBands(plot, bands, painter, area); }, plot.Title,
      path, size, error);
}
