#pragma once
// The three helpers the panels use to keep their charts in step with a run's series.
#include "PaxChart.h"
#include "PaxPlot.h"

// Frees every series of the chart, last first.
void RemoveAllSeries(TPaxPlot& chart);
void RemoveAllSeries(TPaxChart* chart);

// A visible line series on the bottom and left axes with 2 x 2 point markers.
TPaxChartSeries* AddLineSeries(const QString& title, TPaxPlot& chart);
TPaxChartSeries* AddLineSeries(const QString& title, TPaxChart* chart);
// A visible series of markers without lines (measured values), 5 x 5 pixels.
TPaxChartSeries* AddPointSeries(const QString& title, TPaxPlot& chart);

// Appends the rows the series does not have yet (x from xs, y from ys), so calling it
// after every simulation step adds only the new rows. Does nothing unless both
// matrices exist and have the same number of rows. Works with any matrix offering
// Rows() and Value(row), the run's tDoubleMatrix among them.
template <class TMatrixLike>
void FillSeries(TPaxChartSeries* series, const TMatrixLike* xs, const TMatrixLike* ys) {
  if (series == nullptr || xs == nullptr || ys == nullptr) return;
  const int rows = xs->Rows();
  if (rows != ys->Rows()) return;
  for (int row = static_cast<int>(series->Count()); row < rows; ++row) series->Append(xs->Value(row), ys->Value(row));
}
