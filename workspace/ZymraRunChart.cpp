#include "ZymraRunChart.h"

#include "LibZymra.h"
#include "PaxChartOutput.h"
#include "PaxPlot.h"
#include "ZymraChartHelpers.h"
#include "ZymraFitChart.h"

#include <QCoreApplication>
#include <QGuiApplication>

const char* const kRunChartDefaultVersion = "2.0.3";

namespace {

const TRunChartKind kKinds[kRunChartKinds] = {
    {"Optical Density", "-", "OD real", "OD ideal", "###000"},
    {"Growth Rate", "1/h", "\xC2\xB5 Cell", "\xC2\xB5 OD", "#,###0.000"},
    {"Oxygen Transfer Rate", "mmol/l/h", "OTR V(t)", nullptr, "###000"},
    {"Reactor Volume", "=>Volume / l =>Feed Rate (<> Vol!) / l/h", "V(t)", "Feed", "##,##00.00", "Feed Rate /l/h", "l"},
    {"Substrate Conc.", "g/l", "cS", nullptr, "##,##00.00"},
};

struct TKindData {
  const tDoubleMatrix* First;
  const tDoubleMatrix* Second;
  const tDoubleMatrix* FirstEqualCf;
  const tDoubleMatrix* SecondEqualCf;
};

TKindData DataOf(const TZymra_Run& run, int kind) {
  switch (kind) {
    case 0: return {&run.ODreal, &run.ODideal, &run.ODrealTheory, &run.ODidealTheory};
    case 1: return {&run.uCell, &run.uOD, &run.uCellTheory, &run.uODTheory};
    case 2: return {&run.OTRVt, nullptr, nullptr, nullptr};
    case 3: return {&run.Volume, &run.FeedRate, nullptr, nullptr};
    default: return {&run.Substrate, nullptr, nullptr, nullptr};
  }
}

QString Utf8(const char* text) { return QString::fromUtf8(text); }

}  // namespace

const TRunChartKind& RunChartKind(int kind) { return kKinds[kind]; }

void SetupRunChart(TPaxPlot& plot, const TZymra_Run& run, int kind, const QString& versionText) {
  const TRunChartKind& k = RunChartKind(kind);
  plot.Title = Utf8(k.Name) + QStringLiteral(" Run [") + versionText + QStringLiteral("]");
  plot.TitleVisible = true;
  plot.BottomAxis.Title = QStringLiteral("Fermentation Time /h");
  plot.BottomAxis.MinorTicks = false;
  plot.LeftAxis.Title = Utf8(k.Name) + QStringLiteral(" /") + Utf8(k.FirstUnit ? k.FirstUnit : k.Unit);
  plot.LeftAxis.ValueFormat = Utf8(k.Format);
  plot.RightAxis.Title = k.RightTitle ? Utf8(k.RightTitle) : QString();
  plot.RightAxis.ValueFormat = Utf8(k.Format);
  plot.Walls3D = false;
  RebuildRunSeries(plot, run, kind);
}

void RebuildRunSeries(TPaxPlot& plot, const TZymra_Run& run, int kind) {
  const TRunChartKind& k = RunChartKind(kind);
  RemoveAllSeries(plot);
  AddLineSeries(Utf8(k.First), plot);
  if (k.Second) AddLineSeries(Utf8(k.Second), plot)->SetRightAxis(k.RightTitle != nullptr);
  if (run.ShowsEqualCf(kind)) {
    const bool shown = run.Params.ShowEqualCf != 0;
    AddLineSeries(Utf8(k.First) + Utf8(kEqualCfSuffix), plot)->SetVisible(shown);
    if (k.Second) AddLineSeries(Utf8(k.Second) + Utf8(kEqualCfSuffix), plot)->SetVisible(shown);
  }
  // After the run's own series, whose places RefreshRunChart counts on.
  if (run.HasMeasured()) AddMeasuredSeries(plot, {run.Measured()}, kind);
  plot.SetOrthogonal(false);
  plot.SetRotation(run.Params.ChartRotation);
  plot.SetElevation(run.Params.ChartElevation);
}

void RefreshRunChart(TPaxPlot& plot, const TZymra_Run& run, int kind) {
  const TKindData d = DataOf(run, kind);
  FillSeries(plot.Series(0), &run.Time, d.First);
  FillSeries(plot.Series(1), &run.Time, d.Second);
  if (run.Params.ShowEqualCf && run.ShowsEqualCf(kind)) {
    FillSeries(plot.Series(2), &run.Time, d.FirstEqualCf);
    FillSeries(plot.Series(3), &run.Time, d.SecondEqualCf);
  }
}

bool RenderChartKind(int kind, int width, int height, const std::string& path, std::string& error,
                     const std::function<void(TPaxPlot&)>& build) {
  if (kind < 0 || kind >= kRunChartKinds) {
    error = "Chart kind " + std::to_string(kind) + " is not one of 0 to 4";
    return false;
  }
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
    error = "Charts can only be drawn while a Qt GUI application object exists";
    return false;
  }
  TPaxPlot plot;
  build(plot);
  QString message;
  if (!PaxSavePlot(plot, QString::fromStdString(path), QSize(width, height), message)) {
    error = message.toStdString();
    return false;
  }
  return true;
}

bool RenderRunChart(const TZymra_Run& run, int kind, bool view3d, int width, int height, const std::string& path,
                    std::string& error) {
  return RenderRunChart(run, kind, view3d, width, height, path, Utf8(kRunChartDefaultVersion), error);
}

bool RenderRunChart(const TZymra_Run& run, int kind, bool view3d, int width, int height, const std::string& path,
                    const QString& versionText, std::string& error) {
  return RenderChartKind(kind, width, height, path, error, [&](TPaxPlot& plot) {
    SetupRunChart(plot, run, kind, versionText);
    plot.SetView3D(view3d);
    RefreshRunChart(plot, run, kind);
  });
}
