// Twenty runs stepping at the highest speed while the fermentation page shows one of
// them: how close each run comes to the step rate its sleep alone allows, and how
// quickly the UI thread still answers an event posted to it. And fifty runs in the
// main window with the fermentation page of one shown, without and with autosaves
// of the project written back to back while measured.
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <QTreeWidget>

#include "BenchProjects.h"
#include "BenchQtApp.h"
#include "KelFrmFile.h"
#include "LibZymra.h"
#include "UntZymraMain.h"
#include "UntZymraPnlProcess.h"
#include "ZymraModel.h"
#include "ZymraQtSync.h"
#include "ZymraRecovery.h"

namespace {
using TClock = std::chrono::steady_clock;

class TProbeEvent : public QEvent {
 public:
  static QEvent::Type Kind() {
    static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
    return kind;
  }
  explicit TProbeEvent(TClock::time_point posted) : QEvent(Kind()), Posted(posted) {}
  TClock::time_point Posted;
};

// Notes how long each probe waited in the UI thread's queue.
class TProbeReceiver : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() != TProbeEvent::Kind()) return QObject::event(e);
    const auto waited = TClock::now() - static_cast<TProbeEvent*>(e)->Posted;
    Latencies.push_back(std::chrono::duration<double, std::milli>(waited).count());
    return true;
  }
  std::vector<double> Latencies;
};

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

// The runs' speed against real time (lowest, median, the run on screen) and the UI
// thread's delays, as the benchmarks of many runs report them.
void ReportRatesAndLatencies(benchmark::State& state, const std::vector<double>& ratios, double shownRatio,
                             const std::vector<double>& latencies) {
  state.counters["rate_min_pct"] = 100 * Percentile(ratios, 0);
  state.counters["rate_median_pct"] = 100 * Percentile(ratios, 0.5);
  state.counters["rate_shown_pct"] = 100 * shownRatio;
  state.counters["ui_p50_ms"] = Percentile(latencies, 0.5);
  state.counters["ui_p99_ms"] = Percentile(latencies, 0.99);
  state.counters["ui_max_ms"] = Percentile(latencies, 1.0);
  state.counters["probes"] = static_cast<double>(latencies.size());
}

// state.range(0): measuring time in ms.
void BM_TwentyRunsWithProcessPage(benchmark::State& state) {
  BenchApp("bench_pages");
  constexpr int kRuns = 20;
  const int measureMs = static_cast<int>(state.range(0));
  std::vector<double> ratios;
  double shownRatio = 0;
  std::vector<double> latencies;
  for (auto _ : state) {
    TQtSynchronizer sync;
    sync.SetBeepEnabled(false);
    auto project = std::make_unique<TZymra>(&sync);
    for (int i = 0; i < kRuns; ++i) {
      TZymra_Run* run = project->AddRun();
      run->Params.Speed = 10;          // 1 ms sleep per step
      run->Params.SimInterval = 0.001;  // small steps: no run reaches its target while measured
      run->BatchParams.IsBatch = 0;    // no pause at the end of a batch
      run->BatchParams.Phase = 0;
    }
    auto page = std::make_unique<TFrmPnlProcess>(*project);
    page->resize(1000, 700);
    page->show();
    TZymra_Run* shown = project->Run(0);
    page->ShowRun(shown);
    const long sleepMs = shown->SleepTime() + 1;

    TProbeReceiver receiver;
    std::atomic<bool> posting{true};
    const auto start = TClock::now();
    project->StartAll();
    page->LeaveRun();  // started behind the page's back: show it again, as the main window does
    page->ShowRun(shown);
    std::thread poster([&] {
      while (posting.load()) {
        QCoreApplication::postEvent(&receiver, new TProbeEvent(TClock::now()));
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
      }
    });
    QEventLoop loop;
    QTimer::singleShot(measureMs, &loop, &QEventLoop::quit);
    loop.exec();
    project->PauseAll();
    const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
    posting.store(false);
    poster.join();
    QCoreApplication::sendPostedEvents(&receiver);

    const double allowed = 1000.0 / static_cast<double>(sleepMs);  // steps per second by the sleep alone
    for (int i = 0; i < kRuns; ++i) {
      const double ratio = project->Run(i)->Time.Rows() / seconds / allowed;
      ratios.push_back(ratio);
      if (i == 0) shownRatio = ratio;
    }
    latencies.insert(latencies.end(), receiver.Latencies.begin(), receiver.Latencies.end());
    page.reset();
    project.reset();
    QCoreApplication::sendPostedEvents();
  }
  ReportRatesAndLatencies(state, ratios, shownRatio, latencies);
}
BENCHMARK(BM_TwentyRunsWithProcessPage)->Arg(3000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// What an autosave costs the UI thread at most: the copy of fifty runs of 4000 rows
// (here without workers to hold).
void BM_CopyOfProject50x4000(benchmark::State& state) {
  TZymra project;
  FillBenchProject(project, 50, 4000);
  for (auto _ : state) benchmark::DoNotOptimize(CopyOfProject(project));
}
BENCHMARK(BM_CopyOfProject50x4000)->Unit(benchmark::kMillisecond);

// state.range(0): measuring time in ms; state.range(1): 1 = autosaves while measured.
// Each run already holds kRowsBefore rows, as after a long morning, so that every
// autosave copies and encodes a project of some size.
void BM_FiftyRunsInMainWindow(benchmark::State& state) {
  BenchApp("bench_pages");
  constexpr int kRuns = 50;
  constexpr int kRowsBefore = 4000;
  const int measureMs = static_cast<int>(state.range(0));
  const bool autosave = state.range(1) != 0;
  std::vector<double> ratios, latencies;
  double shownRatio = 0;
  int writes = 0;
  double measured = 0;
  SetShowMessageText([](const QString&, int) { return 0; });
  for (auto _ : state) {
    QTemporaryDir folder;
    TQtSynchronizer sync;
    sync.SetBeepEnabled(false);
    auto project = std::make_unique<TZymra>(&sync);
    auto window = std::make_unique<TFrmZymraMain>(*project);
    window->CommandLine.clear();
    window->CreatePages();
    window->show();
    QCoreApplication::processEvents();
    while (project->RunCount() < kRuns) window->AddRun(false);
    std::vector<int> rowsBefore;
    for (int i = 0; i < kRuns; ++i) {
      TZymra_Run* run = project->Run(i);
      run->Params.Speed = 10;            // 1 ms sleep per step
      run->Params.SimInterval = 0.001;  // small steps: no run reaches its target while measured
      run->Params.TargetOD = 1e9;
      run->BatchParams.IsBatch = 0;
      InitRun(*run);
      double xpr = run->ODrealTheory.Last() * run->Params.DryMassPerOD_Real, xth = xpr;
      while (run->Time.Rows() < kRowsBefore) Step(*run, xpr, xth);
      rowsBefore.push_back(run->Time.Rows() + 1);  // the worker's start row comes on top
    }
    window->UpdateActions();
    // The fermentation page of the first run, chosen in the tree.
    QTreeWidgetItem* group = window->TvwNavigation->findItems("2. Fermentation", Qt::MatchExactly | Qt::MatchRecursive).value(0);
    if (!group || group->childCount() == 0) {
      state.SkipWithError("no fermentation entry");
      break;
    }
    window->TvwNavigation->setCurrentItem(group->child(0));
    window->TvwNavigationClick();
    TZymra_Run* shown = project->Run(0);
    const long sleepMs = shown->SleepTime() + 1;
    TZymraRecovery recovery(*window, folder.path());

    TProbeReceiver receiver;
    std::atomic<bool> posting{true};
    const auto start = TClock::now();
    window->ActStartExecute();
    std::thread poster([&] {
      while (posting.load()) {
        QCoreApplication::postEvent(&receiver, new TProbeEvent(TClock::now()));
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
      }
    });
    QTimer saver;
    if (autosave) {
      QObject::connect(&saver, &QTimer::timeout, [&] {
        if (!recovery.Writing()) recovery.AutosaveNow();
      });
      saver.start(5);
    }
    QEventLoop loop;
    QTimer::singleShot(measureMs, &loop, &QEventLoop::quit);
    loop.exec();
    saver.stop();
    window->ActPauseExecute();
    const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
    measured += seconds;
    posting.store(false);
    poster.join();
    QCoreApplication::sendPostedEvents(&receiver);
    recovery.WaitWritten();
    writes += recovery.WriteCount();

    const double allowed = 1000.0 / static_cast<double>(sleepMs);
    for (int i = 0; i < kRuns; ++i) {
      const double ratio = (project->Run(i)->Time.Rows() - rowsBefore[i]) / seconds / allowed;
      ratios.push_back(ratio);
      if (i == 0) shownRatio = ratio;
    }
    latencies.insert(latencies.end(), receiver.Latencies.begin(), receiver.Latencies.end());
    project->ClearRuns();
    window.reset();
    project.reset();
    QCoreApplication::sendPostedEvents();
  }
  SetShowMessageText({});
  ReportRatesAndLatencies(state, ratios, shownRatio, latencies);
  if (autosave) {
    state.counters["autosaves"] = writes;
    state.counters["autosave_ms"] = writes ? 1000 * measured / writes : 0;  // back to back: time per autosave
  }
}
BENCHMARK(BM_FiftyRunsInMainWindow)
    ->Args({4000, 0})
    ->Args({4000, 1})
    ->ArgNames({"ms", "autosave"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
}  // namespace

BENCHMARK_MAIN();
