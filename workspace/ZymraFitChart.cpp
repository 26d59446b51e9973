#include "ZymraFitChart.h"

#include <algorithm>

#include "LibZymra.h"
#include "PaxPlot.h"
#include "ZymraChartHelpers.h"
#include "ZymraRunChart.h"

int MeasuredColumnOfChart(int kind) {
  switch (kind) {
    case 0: return static_cast<int>(TMeasuredColumn::ODreal);
    case 2: return static_cast<int>(TMeasuredColumn::OTRVt);
    case 3: return static_cast<int>(TMeasuredColumn::Volume);
    case 4: return static_cast<int>(TMeasuredColumn::Substrate);
    default: return -1;
  }
}

void AddMeasuredSeries(TPaxPlot& plot, const std::vector<TMeasuredData>& data, int kind) {
  const int column = MeasuredColumnOfChart(kind);
  if (column < 0) return;
  const auto col = static_cast<TMeasuredColumn>(column);
  struct TGroup {
    std::size_t Set;
    int Replicate;
  };
  std::vector<TGroup> groups;
  bool repeated = false;
  for (std::size_t s = 0; s < data.size(); ++s) {
    if (!data[s].Has(col)) continue;
    for (int r : data[s].Replicates()) {
      // A replicate with no value in this column would only be an empty legend entry.
      const bool any = std::any_of(data[s].Points.begin(), data[s].Points.end(), [&](const TMeasuredPoint& p) {
        return p.Replicate == r && !std::isnan(p.Of(col));
      });
      if (!any) continue;
      for (const TGroup& g : groups) repeated = repeated || g.Replicate == r;
      groups.push_back({s, r});
    }
  }
  for (const TGroup& g : groups) {
    QString title = QStringLiteral("measured");
    if (groups.size() > 1)
      title += repeated ? QStringLiteral(" %1/%2").arg(g.Set + 1).arg(g.Replicate) : QStringLiteral(" %1").arg(g.Replicate);
    TPaxChartSeries* series = AddPointSeries(title, plot);
    for (const TMeasuredPoint& p : data[g.Set].Points)
      if (p.Replicate == g.Replicate && !std::isnan(p.Of(col))) series->Append(p.Time, p.Of(col));
  }
}

bool RenderFitChart(const TZymra_Run& run, const std::vector<TMeasuredData>& data, int kind, bool view3d, int width,
                    int height, const std::string& path, std::string& error) {
  return RenderChartKind(kind, width, height, path, error, [&](TPaxPlot& plot) {
    SetupRunChart(plot, run, kind, QString::fromUtf8(kRunChartDefaultVersion));
    plot.SetView3D(view3d);
    RefreshRunChart(plot, run, kind);
    AddMeasuredSeries(plot, data, kind);
  });
}
