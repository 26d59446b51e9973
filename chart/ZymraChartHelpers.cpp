#include "ZymraChartHelpers.h"

void RemoveAllSeries(TPaxPlot& chart) { chart.RemoveAllSeries(); }

void RemoveAllSeries(TPaxChart* chart) {
  if (chart) chart->RemoveAllSeries();
}

TPaxChartSeries* AddLineSeries(const QString& title, TPaxPlot& chart) {
  TPaxChartSeries* series = chart.AddSeries(title);
  series->SetVisible(true);
  series->SetMarkerSize(2);
  return series;
}

TPaxChartSeries* AddLineSeries(const QString& title, TPaxChart* chart) {
  return chart ? AddLineSeries(title, chart->Plot()) : nullptr;
}

TPaxChartSeries* AddPointSeries(const QString& title, TPaxPlot& chart) {
  TPaxChartSeries* series = chart.AddSeries(title);
  series->SetVisible(true);
  series->SetPointsOnly(true);
  series->SetMarkerSize(5);
  return series;
}
