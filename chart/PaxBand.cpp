#include "PaxBand.h"

#include <QFileInfo>
#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPolygonF>
#include <QSvgGenerator>

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
  const TPaxPlotLayout l = plot.Layout(bounds);
  QLinearGradient gradient(l.Bounds.topLeft(), l.Bounds.bottomLeft());
  gradient.setColorAt(0, plot.BackColor);
  gradient.setColorAt(1, plot.GradientColor);
  painter.fillRect(l.Bounds, gradient);
  painter.fillRect(l.Plot, plot.BackWallColor);
  PaxPaintBands(painter, l, bands);
  const QColor back = plot.BackColor, gradientColor = plot.GradientColor, wall = plot.BackWallColor;
  plot.BackColor = plot.GradientColor = plot.BackWallColor = Qt::transparent;
  plot.Paint(painter, bounds);
  plot.BackColor = back;
  plot.GradientColor = gradientColor;
  plot.BackWallColor = wall;
}

QImage PaxPlotImageWithBands(TPaxPlot& plot, const std::vector<TPaxBand>& bands, const QSize& size) {
  QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  PaxPaintPlotWithBands(plot, bands, painter, QRectF(QPointF(0, 0), size));
  return image;
}

bool PaxSavePlotWithBands(TPaxPlot& plot, const std::vector<TPaxBand>& bands, const QString& path,
                          const QSize& size, QString& error) {
  if (size.width() < 16 || size.height() < 16 || size.width() > 20000 || size.height() > 20000) {
    error = QStringLiteral("Chart size %1 x %2 is out of range").arg(size.width()).arg(size.height());
    return false;
  }
  const QString suffix = QFileInfo(path).suffix().toLower();
  const QRectF area(QPointF(0, 0), size);
  if (suffix == QLatin1String("svg")) {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(size);
    svg.setViewBox(area);
    svg.setResolution(96);
    svg.setTitle(plot.Title);
    QPainter painter;
    if (!painter.begin(&svg)) {
      error = QStringLiteral("Cannot write ") + path;
      return false;
    }
    PaxPaintPlotWithBands(plot, bands, painter, area);
    painter.end();
  } else if (suffix == QLatin1String("pdf")) {
    QPdfWriter pdf(path);
    pdf.setResolution(96);
    pdf.setPageSize(QPageSize(QSizeF(size.width() * 72.0 / 96.0, size.height() * 72.0 / 96.0), QPageSize::Point,
                              QString(), QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle(plot.Title);
    QPainter painter;
    if (!painter.begin(&pdf)) {
      error = QStringLiteral("Cannot write ") + path;
      return false;
    }
    const QRectF page(painter.viewport());
    const double scale = std::min(page.width() / size.width(), page.height() / size.height());
    painter.translate(page.center());
    painter.scale(scale, scale);
    painter.translate(-size.width() / 2.0, -size.height() / 2.0);
    PaxPaintPlotWithBands(plot, bands, painter, area);
    painter.end();
  } else if (suffix == QLatin1String("png") || suffix == QLatin1String("jpg") ||
             suffix == QLatin1String("jpeg") || suffix == QLatin1String("bmp")) {
    if (!PaxPlotImageWithBands(plot, bands, size).save(path)) {
      error = QStringLiteral("Cannot write ") + path;
      return false;
    }
  } else {
    error = QStringLiteral("Unknown chart file type: ") + path;
    return false;
  }
  if (!QFileInfo(path).isFile() || QFileInfo(path).size() == 0) {
    error = QStringLiteral("Cannot write ") + path;
    return false;
  }
  return true;
}
