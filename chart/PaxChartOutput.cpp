#include "PaxChartOutput.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>

void PaxRenderPlot(const TPaxPlot& plot, QPainter& painter, const QRectF& target, const QSizeF& logical) {
  if (logical.width() <= 0 || logical.height() <= 0 || target.isEmpty()) return;
  const double scale = std::min(target.width() / logical.width(), target.height() / logical.height());
  painter.save();
  painter.translate(target.center());
  painter.scale(scale, scale);
  painter.translate(-logical.width() / 2, -logical.height() / 2);
  plot.Paint(painter, QRectF(QPointF(0, 0), logical));
  painter.restore();
}

QImage PaxPaintedImage(const TPaxPaint& paint, const QSize& size) {
  QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  paint(painter, QRectF(QPointF(0, 0), size));
  return image;
}

QImage PaxPlotImage(const TPaxPlot& plot, const QSize& size) {
  return PaxPaintedImage([&plot](QPainter& painter, const QRectF& area) { plot.Paint(painter, area); }, size);
}

bool PaxSavePainted(const TPaxPaint& paint, const QString& title, const QString& path, const QSize& size,
                    QString& error) {
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
    svg.setTitle(title);
    QPainter painter;
    if (!painter.begin(&svg)) {
      error = QStringLiteral("Cannot write ") + path;
      return false;
    }
    paint(painter, area);
    painter.end();
  } else if (suffix == QLatin1String("pdf")) {
    QPdfWriter pdf(path);
    pdf.setResolution(96);
    pdf.setPageSize(QPageSize(QSizeF(size.width() * 72.0 / 96.0, size.height() * 72.0 / 96.0), QPageSize::Point,
                              QString(), QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle(title);
    QPainter painter;
    if (!painter.begin(&pdf)) {
      error = QStringLiteral("Cannot write ") + path;
      return false;
    }
    // The page is drawn at the chart's own size, scaled to fit the PDF page.
    const QRectF page(painter.viewport());
    const double scale = std::min(page.width() / size.width(), page.height() / size.height());
    painter.translate(page.center());
    painter.scale(scale, scale);
    painter.translate(-size.width() / 2.0, -size.height() / 2.0);
    paint(painter, area);
    painter.end();
  } else if (suffix == QLatin1String("png") || suffix == QLatin1String("jpg") ||
             suffix == QLatin1String("jpeg") || suffix == QLatin1String("bmp")) {
    if (!PaxPaintedImage(paint, size).save(path)) {
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

bool PaxSavePlot(const TPaxPlot& plot, const QString& path, const QSize& size, QString& error) {
  return PaxSavePainted([&plot](QPainter& painter, const QRectF& area) { plot.Paint(painter, area); }, plot.Title,
                        path, size, error);
}

QSizeF PaxPrintLayoutSize(const QSizeF& deviceArea, double dotsPerInch, int resolution, const QSize& screenSize) {
  if (deviceArea.isEmpty()) return QSizeF();
  if (resolution < 0) {
    const double width = std::max(1, screenSize.width()) * 100.0 / -resolution;
    return QSizeF(width, width * deviceArea.height() / deviceArea.width());
  }
  if (resolution > 0) return deviceArea * (resolution / 100.0);
  return deviceArea * (96.0 / std::max(1.0, dotsPerInch));
}

bool PaxPrintPlot(const TPaxPlot& plot, QPrinter& printer, const TPaxPrintOptions& options,
                  const QSize& screenSize, QString& error) {
  QPainter painter;
  if (!painter.begin(&printer)) {
    // Printing into a file fails for the file's sake; name it.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
      error = QStringLiteral("The chart cannot be written to ") + printer.outputFileName();
    else
      error = QStringLiteral("The printer cannot be started");
    return false;
  }
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  const QRectF paper(QPointF(0, 0), page.size());
  auto percent = [](double v) { return std::clamp(v, 0.0, 45.0) / 100.0; };
  QRectF target(paper.left() + paper.width() * percent(options.MarginLeft),
                paper.top() + paper.height() * percent(options.MarginTop),
                paper.width() * (1 - percent(options.MarginLeft) - percent(options.MarginRight)),
                paper.height() * (1 - percent(options.MarginTop) - percent(options.MarginBottom)));
  if (options.Proportional && screenSize.width() > 0 && screenSize.height() > 0) {
    const double aspect = static_cast<double>(screenSize.height()) / screenSize.width();
    QSizeF fitted(target.width(), target.width() * aspect);
    if (fitted.height() > target.height()) fitted = QSizeF(target.height() / aspect, target.height());
    target = QRectF(target.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted);
  }
  const QSizeF logical = PaxPrintLayoutSize(target.size(), printer.resolution(), options.Resolution, screenSize);
  PaxRenderPlot(plot, painter, target, logical);
  painter.end();
  return true;
}
