#include "ZymraBandChart.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include "PaxPlot.h"
#include "ZymraRunChart.h"

void SetupBandChart(TPaxPlot& plot, std::vector<TPaxBand>& bands, const TSweepBandCurve& curve, long long runs,
                    const QString& versionText) {
  const TRunChartKind& k = RunChartKind(curve.Kind);
  const QString name = QString::fromUtf8(k.Name), first = QString::fromUtf8(k.First);
  plot.Title = name + QStringLiteral(" Sweep of %1 Runs [").arg(runs) + versionText + QStringLiteral("]");
  plot.TitleVisible = true;
  plot.BottomAxis.Title = QStringLiteral("Fermentation Time /h");
  plot.BottomAxis.MinorTicks = false;
  plot.LeftAxis.Title = name + QStringLiteral(" /") + QString::fromUtf8(k.Unit);
  plot.LeftAxis.ValueFormat = QString::fromUtf8(k.Format);
  plot.RemoveAllSeries();
  plot.SetView3D(false);

  const QColor colour = PaxSeriesColor(0);
  TPaxChartSeries* median = plot.AddSeries(first + QStringLiteral(" median"));
  TPaxChartSeries* low = plot.AddSeries(first + QStringLiteral(" 5 %"));
  TPaxChartSeries* high = plot.AddSeries(first + QStringLiteral(" 95 %"));
  median->SetColor(colour);
  low->SetColor(colour.lighter(160));
  high->SetColor(colour.lighter(160));
  for (TPaxChartSeries* s : {median, low, high}) s->SetMarkerSize(s == median ? 2 : 0);
  for (std::size_t i = 0; i < curve.Time.size(); ++i) {
    median->Append(curve.Time[i], curve.Median[i]);
    low->Append(curve.Time[i], curve.Low[i]);
    high->Append(curve.Time[i], curve.High[i]);
  }
  if (!curve.ReferenceMedian.empty()) {
    TPaxChartSeries* twin = plot.AddSeries(first + QString::fromUtf8(kEqualCfSuffix) + QStringLiteral(" median"));
    twin->SetColor(PaxSeriesColor(1));
    twin->SetMarkerSize(0);
    for (std::size_t i = 0; i < curve.Time.size(); ++i) twin->Append(curve.Time[i], curve.ReferenceMedian[i]);
  }
  QColor fill = colour;
  fill.setAlpha(56);
  bands = {TPaxBand{low, high, fill}};
}

bool RenderBandChart(const TSweepBandCurve& curve, long long runs, int width, int height, const std::string& path,
                     std::string& error) {
  if (curve.Kind < 0 || curve.Kind >= kRunChartKinds) {
    error = "Chart kind " + std::to_string(curve.Kind) + " is not one of 0 to 4";
    return false;
  }
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
    error = "Charts can only be drawn while a Qt GUI application object exists";
    return false;
  }
  TPaxPlot plot;
  std::vector<TPaxBand> bands;
  SetupBandChart(plot, bands, curve, runs, QString::fromUtf8(kRunChartDefaultVersion));
  QString message;
  if (!PaxSavePlotWithBands(plot, bands, QString::fromStdString(path), QSize(width, height), message)) {
    error = message.toStdString();
    return false;
  }
  return true;
}
