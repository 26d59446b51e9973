#pragma once
// Drawing a chart onto other devices: images, SVG and PDF files, printers.
#include <functional>

#include "PaxPlot.h"

#include <QImage>
#include <QSize>
#include <QString>

class QPainter;
class QPrinter;

struct TPaxPrintOptions {
  // Margins in percent of the page's width (left, right) and height (top, bottom).
  double MarginLeft = 5, MarginTop = 5, MarginRight = 5, MarginBottom = 5;
  // Keep the chart's on-screen aspect ratio (centred in the margins) instead of filling them.
  bool Proportional = true;
  // How many layout pixels the page gets, and so how large text and lines come out:
  //   0   one layout pixel per 1/96 inch: text prints at its usual physical size;
  //  -p   the chart's screen size times 100/p across the page: -100 prints what the
  //       screen shows, scaled to the paper; larger p gives relatively larger text;
  //  +p   p percent of the printer's own dots (100: one layout pixel per printer dot).
  int Resolution = 0;
};

// Paints the chart laid out in a logical size, scaled uniformly into target.
void PaxRenderPlot(const TPaxPlot& plot, QPainter& painter, const QRectF& target, const QSizeF& logical);

QImage PaxPlotImage(const TPaxPlot& plot, const QSize& size);
// Draws something chart-like into an area of a painter.
using TPaxPaint = std::function<void(QPainter&, const QRectF&)>;
// The same for any drawing: an image on white, and a file by its extension.
QImage PaxPaintedImage(const TPaxPaint& paint, const QSize& size);
bool PaxSavePainted(const TPaxPaint& paint, const QString& title, const QString& path, const QSize& size,
                    QString& error);

// Writes PNG, SVG or PDF by the file's extension (JPG and BMP are written as images too).
bool PaxSavePlot(const TPaxPlot& plot, const QString& path, const QSize& size, QString& error);

// Prints one page. screenSize is what the chart measures on the screen (for Resolution < 0).
bool PaxPrintPlot(const TPaxPlot& plot, QPrinter& printer, const TPaxPrintOptions& options,
                  const QSize& screenSize, QString& error);

// The layout size used for a page area of the given device size and dots per inch.
QSizeF PaxPrintLayoutSize(const QSizeF& deviceArea, double dotsPerInch, int resolution,
                          const QSize& screenSize);
