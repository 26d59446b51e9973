// Painting cost of the chart: 4 series of 10,000 or 1,000,000 points into a 1000 x 600
// image, in 2D and 3D; and the cost of appending points.
#include "LibZymra.h"
#include "PaxChart.h"
#include "PaxPlot.h"
#include "UntZymraChart.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>

namespace {

// Growth-like curves with measurement noise, so every pixel column has a real spread.
std::unique_ptr<TPaxPlot> MakePlot(int points, bool view3d) {
  auto plot = std::make_unique<TPaxPlot>();
  plot->Title = QStringLiteral("Optical Density Run [bench]");
  plot->BottomAxis.Title = QStringLiteral("Fermentation Time /h");
  plot->LeftAxis.Title = QStringLiteral("Optical Density /-");
  plot->LeftAxis.ValueFormat = QStringLiteral("###000");
  plot->SetView3D(view3d);
  plot->SetRotation(355);
  plot->SetElevation(340);
  std::mt19937 random(42);
  std::normal_distribution<double> noise(0, 1.5);
  const char* names[] = {"OD real", "OD ideal", "OD real[Cf_real = Cf_theor.]", "OD ideal[Cf_real = Cf_theor.]"};
  for (int s = 0; s < 4; ++s) {
    TPaxChartSeries* series = plot->AddSeries(QString::fromLatin1(names[s]));
    const double rate = 0.15 + 0.03 * s;
    for (int i = 0; i < points; ++i) {
      const double t = 40.0 * i / points;
      series->Append(t, 150.0 / (1 + std::exp(-rate * (t - 20))) + noise(random));
    }
  }
  return plot;
}

void Paint(benchmark::State& state, bool view3d) {
  const int points = static_cast<int>(state.range(0));
  const auto plot = MakePlot(points, view3d);
  QImage image(1000, 600, QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    QPainter painter(&image);
    plot->Paint(painter, QRectF(0, 0, 1000, 600));
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["points"] = 4.0 * points;
}

void BM_Paint2D(benchmark::State& state) { Paint(state, false); }
void BM_Paint3D(benchmark::State& state) { Paint(state, true); }
BENCHMARK(BM_Paint2D)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paint3D)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// As in a running simulation: every series gets a new point before each paint, so the
// ranges move and nothing drawn before can be reused.
void PaintLive(benchmark::State& state, bool view3d) {
  const int points = static_cast<int>(state.range(0));
  const auto plot = MakePlot(points, view3d);
  QImage image(1000, 600, QImage::Format_ARGB32_Premultiplied);
  double t = 40;
  for (auto _ : state) {
    t += 1e-3;
    for (int s = 0; s < plot->SeriesCount(); ++s) plot->Series(s)->Append(t, 150.0 / (1 + std::exp(-0.15 * (t - 20))));
    QPainter painter(&image);
    plot->Paint(painter, QRectF(0, 0, 1000, 600));
    painter.end();
    benchmark::DoNotOptimize(image.constBits());
  }
}
void BM_PaintLive2D(benchmark::State& state) { PaintLive(state, false); }
void BM_PaintLive3D(benchmark::State& state) { PaintLive(state, true); }
BENCHMARK(BM_PaintLive2D)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintLive3D)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The decimation alone: one series of n points onto 900 columns.
void BM_Decimate(benchmark::State& state) {
  const auto plot = MakePlot(static_cast<int>(state.range(0)), false);
  const TPaxChartSeries* series = plot->Series(0);
  TPaxPixelMapping m;
  m.XMin = series->Bounds().MinX;
  m.XScale = 900 / (series->Bounds().MaxX - series->Bounds().MinX);
  m.YOrigin = 500;
  m.YMin = series->Bounds().MinY;
  m.YScale = 500 / (series->Bounds().MaxY - series->Bounds().MinY);
  m.Columns = 900;
  std::vector<TPaxPixelPoint> out;
  int shift = 0;
  for (auto _ : state) {
    m.YOrigin = 500 + (++shift & 1);  // a new mapping each time: no cached result
    series->Decimate(m, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["vertices"] = static_cast<double>(out.size());
}
BENCHMARK(BM_Decimate)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_Append(benchmark::State& state) {
  for (auto _ : state) {
    TPaxChartSeries series;
    for (int i = 0; i < 1000000; ++i) series.Append(i * 0.001, std::sin(i * 0.001));
    benchmark::DoNotOptimize(series.Count());
  }
  state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_Append)->Unit(benchmark::kMillisecond);

// The chart page as a running simulation drives it: one row more in the run, the page's
// RefreshChart, and the chart repainted (its paintEvent into an image of the chart's size).
// The cost must not grow with the length of the series: compare 10,000 with 1,000,000 rows.
void PageRefresh(benchmark::State& state, bool view3d) {
  const int rows = static_cast<int>(state.range(0));
  TZymra project;
  TZymra_Run* run = project.AddRun();
  run->Params.View3D = view3d ? 1 : 0;
  auto addRow = [run](double t) {
    run->Time.Append(t);
    run->ODreal.Append(150.0 / (1 + std::exp(-0.15 * (t - 20))));
    run->ODideal.Append(160.0 / (1 + std::exp(-0.17 * (t - 20))));
  };
  for (int i = 0; i < rows; ++i) addRow(40.0 * i / rows);
  TFrmZymraChart page(project);
  page.resize(1000, 700);
  page.show();
  page.SetTag(0);
  page.ShowRun(run);
  QImage image(page.CrtChart->size(), QImage::Format_ARGB32_Premultiplied);
  page.CrtChart->render(&image);  // the first paint walks every point once
  double t = 40;
  for (auto _ : state) {
    t += 40.0 / rows;
    addRow(t);
    page.RefreshChart();
    page.CrtChart->render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["points"] = static_cast<double>(page.CrtChart->Series(0)->Count());
  page.LeaveRun();
}
void BM_PageRefresh2D(benchmark::State& state) { PageRefresh(state, false); }
void BM_PageRefresh3D(benchmark::State& state) { PageRefresh(state, true); }
BENCHMARK(BM_PageRefresh2D)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageRefresh3D)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qtArgc = 1;
  QApplication app(qtArgc, argv);  // fonts need a GUI application
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
