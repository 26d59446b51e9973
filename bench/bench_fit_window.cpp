// The fit window's Cancel: how long after the click the fit's thread has ended, for a
// long fit (six constants with profile intervals, two threads) of the shipped example,
// cancelled while it is busy. Reports the median and the worst of the repeats.
#include <QCheckBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSpinBox>
#include <QThread>

#include <algorithm>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchQtApp.h"
#include "LibZymra.h"
#include "UntZymraFit.h"
#include "ZymraUi.h"

namespace {

template <class F>
void Turn(F done, int ms) {
  QDeadlineTimer deadline(ms);
  while (!done() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
}

void BM_FitWindowCancel(benchmark::State& state) {
  BenchApp("bench_fit_window");
  TZymra project;
  TZymra_Run* run = project.AddRun();
  run->BatchParams.IsBatch = 0;
  run->BatchParams.Phase = 0;
  ZymraUi().OpenFileName = [](QWidget*, const QString&, const QString&, const QString&) {
    return QStringLiteral(ZYMRA_SOURCE_DIR "/resources/examples/fedbatch-measured.tsv");
  };
  if (!ImportMeasuredData(*run, nullptr)) {
    state.SkipWithError("the example data cannot be read");
    return;
  }
  std::vector<double> ms;
  for (auto _ : state) {
    TFrmFit fit(project);
    fit.ShowRun(run);
    for (int k = 0; k < kFitConstantCount; ++k) fit.Rows[k].ChbEstimate->setChecked(k < 6);
    fit.ChbProfile->setChecked(true);
    fit.SpnThreads->setValue(2);
    if (!fit.Start()) {
      state.SkipWithError("the fit did not start");
      return;
    }
    QThread::msleep(static_cast<unsigned long>(state.range(0)));  // busy by now
    fit.Cancel();
    Turn([&] { return !fit.Running(); }, 10000);
    ms.push_back(fit.CancelMilliseconds());
  }
  std::sort(ms.begin(), ms.end());
  state.counters["cancel_median_ms"] = ms[ms.size() / 2];
  state.counters["cancel_max_ms"] = ms.back();
  ResetZymraUi();
}
BENCHMARK(BM_FitWindowCancel)->Arg(150)->Arg(400)->Iterations(15)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
