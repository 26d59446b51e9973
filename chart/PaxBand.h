#pragma once
// Filled bands between two series of a plot (a spread around a line, a tolerance),
// drawn under the grid and the lines through the plot's public layout. 2D only: a
// plot in 3D view is painted as it is.
#include "PaxPlot.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

#include <vector>

class QPainter;

struct TPaxBand {
  // Two series of the plot with the same x values, point for point; a point where
  // either is not finite breaks the band.
  const TPaxChartSeries* Lower = nullptr;
  const TPaxChartSeries* Upper = nullptr;
  QColor Fill;  // give it some transparency so overlapping bands stay readable
};

// Fills the bands into a laid-out 2D plot, clipped to its plot area.
void PaxPaintBands(QPainter& painter, const TPaxPlotLayout& layout, const std::vector<TPaxBand>& bands);

// The chart's background (gradient and back wall) with the bands over it: what a
// plot painted on a see-through background then draws upon.
void PaxPaintBandBackground(const TPaxPlot& plot, const std::vector<TPaxBand>& bands, QPainter& painter,
                            const QRectF& bounds);
// While it lives, the plot paints no background of its own.
class TPaxSeeThrough {
 public:
  explicit TPaxSeeThrough(TPaxPlot& plot);
  ~TPaxSeeThrough();
  TPaxSeeThrough(const TPaxSeeThrough&) = delete;
  TPaxSeeThrough& operator=(const TPaxSeeThrough&) = delete;

 private:
  TPaxPlot& Plot_;
  QColor Back_, Gradient_, Wall_;
};

// Paints the plot with its bands: background, bands, then the plot over them. The
// plot's background colours are made transparent for the duration of the call.
void PaxPaintPlotWithBands(TPaxPlot& plot, const std::vector<TPaxBand>& bands, QPainter& painter,
                           const QRectF& bounds);
QImage PaxPlotImageWithBands(TPaxPlot& plot, const std::vector<TPaxBand>& bands, const QSize& size);
// PNG, SVG or PDF by the file's extension, as PaxSavePlot writes them.
bool PaxSavePlotWithBands(TPaxPlot& plot, const std::vector<TPaxBand>& bands, const QString& path,
                          const QSize& size, QString& error);
