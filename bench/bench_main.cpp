// The desktop program's main window, offscreen: from nothing to a painted window
// with its three pages (the splash left out), and opening a project of 20 runs
// with 10,000 rows per series including the rebuilt navigation tree.
#include <benchmark/benchmark.h>

#include "BenchProjects.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTreeWidget>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

#include "KelFrmFile.h"
#include "LibZymra.h"
#include "UntZymraMain.h"
#include "ZymraModel.h"
#include "ZymraQtSync.h"

namespace {

// Notes the first paint of the watched window.
class TPaintWatch : public QObject {
 public:
  bool Painted = false;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) Painted = true;
    return QObject::eventFilter(watched, event);
  }
};

void BM_StartupToPaintedMainWindow(benchmark::State& state) {
  for (auto _ : state) {
    TQtSynchronizer sync;
    auto project = std::make_unique<TZymra>(&sync);
    auto window = std::make_unique<TFrmZymraMain>(*project);
    window->CommandLine.clear();
    window->CreatePages();
    TPaintWatch watch;
    window->installEventFilter(&watch);
    window->show();
    while (!watch.Painted) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    state.PauseTiming();
    window->removeEventFilter(&watch);
    window->hide();
    project->ClearRuns();
    window.reset();
    project.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartupToPaintedMainWindow)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_OpenProject20x10000WithTree(benchmark::State& state) {
  const std::string file = "/tmp/zymra-bench-main-" + std::to_string(getpid()) + ".zym";
  {
    TZymra project;
    FillBenchProject(project, 20, 10000);
    if (!project.SaveToFile(file)) {
      state.SkipWithError(project.LastError.c_str());
      return;
    }
  }
  TQtSynchronizer sync;
  TZymra project(&sync);
  TFrmZymraMain window(project);
  window.CommandLine.clear();
  window.CreatePages();
  window.show();
  QCoreApplication::processEvents();
  for (auto _ : state) {
    if (!window.LoadDocument(QString::fromStdString(file))) state.SkipWithError("load failed");
    QCoreApplication::processEvents();  // the tree painted
    benchmark::DoNotOptimize(window.TvwNavigation->topLevelItemCount());
  }
  state.counters["runs"] = project.RunCount();
  project.ClearRuns();
  std::remove(file.c_str());
}
BENCHMARK(BM_OpenProject20x10000WithTree)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  SetShowMessageText([](const QString& text, int) {
    std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
    return 0;
  });
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
