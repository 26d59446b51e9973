#include "ZymraCompareChart.h"

#include "LibZymra.h"
#include "PaxPlot.h"
#include "ZymraRunChart.h"

const tDoubleMatrix& CompareSeries(const TZymra_Run& run, int kind) {
  switch (kind) {
    case 0: return run.ODreal;
    case 1: return run.uCell;
    case 2: return run.OTRVt;
    case 3: return run.Volume;
    default: return run.Substrate;
  }
}

void SetupCompareChart(TPaxPlot& plot, const std::vector<const TZymra_Run*>& runs, int kind,
                       const QString& versionText) {
  const TRunChartKind& k = RunChartKind(kind);
  const QString name = QString::fromUtf8(k.Name);
  plot.Title = name + QStringLiteral(" Compare Runs [") + versionText + QStringLiteral("]");
  plot.TitleVisible = true;
  plot.BottomAxis.Title = QStringLiteral("Fermentation Time /h");
  plot.BottomAxis.MinorTicks = false;
  plot.LeftAxis.Title = name + QStringLiteral(" /") + QString::fromUtf8(k.Unit);
  plot.LeftAxis.ValueFormat = QString::fromUtf8(k.Format);
  plot.RemoveAllSeries();
  plot.SetView3D(false);
  for (const TZymra_Run* run : runs) {
    TPaxChartSeries* s = plot.AddSeries(QString::fromStdString(Cp1252ToUtf8(run->RunCaption())));
    const tDoubleMatrix& ys = CompareSeries(*run, kind);
    const int rows = std::min(run->Time.Rows(), ys.Rows());
    for (int row = 0; row < rows; ++row) s->Append(run->Time.Value(row), ys.Value(row));
  }
}

bool RenderCompareChart(const std::vector<const TZymra_Run*>& runs, int kind, int width, int height,
                        const std::string& path, std::string& error) {
  return RenderChartKind(kind, width, height, path, error, [&](TPaxPlot& plot) {
    SetupCompareChart(plot, runs, kind, QString::fromUtf8(kRunChartDefaultVersion));
  });
}
