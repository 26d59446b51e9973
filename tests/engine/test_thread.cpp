// Workers and run control, driven the way the desktop program drives them: callbacks
// handed to the owning thread (this test's thread) through a queue it drains.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>
#include <thread>

#include "LibZymra.h"
#include "ZymraHeadless.h"
#include "ZymraModel.h"

namespace {
using namespace std::chrono_literals;

// Drains the queue until pred holds; fails the test instead of hanging.
template <typename Pred>
bool PumpUntil(TQueueSynchronizer& sync, Pred pred, std::chrono::milliseconds limit = 20s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    sync.WaitAndProcess(2ms);
  }
  return true;
}

void Start(TZymra_Run* run, bool realtime = false) {
  run->StartThread();
  run->Worker()->SetRealtime(realtime);
  run->Resume();
}

int Count(const std::string& log, const std::string& text) {
  int n = 0;
  for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
  return n;
}

bool AllFinite(const TZymra_Run& run) {
  for (int s = 0; s < kRunSeriesCount; ++s)
    for (int i = 0; i < run.Series(s).Rows(); ++i)
      if (!std::isfinite(run.Series(s).Value(i))) return false;
  return true;
}
}  // namespace

TEST(Worker, RunsToTheTargetAndNotifiesOnce) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  int notifications = 0;
  project.OnStateChange = [&] { ++notifications; };
  TZymra_Run* run = project.AddRun();
  run->BatchParams.IsBatch = 0;
  run->Params.DischargeEachh = 0;
  int refreshes = 0;
  run->StartThread();
  run->Worker()->SetRealtime(false);
  run->Worker()->SetOnChartUpdate([&] { ++refreshes; });
  EXPECT_EQ(+run->Params.ProcessDate > 0, true);
  run->Resume();
  EXPECT_EQ(run->State(), rsRunning);
  ASSERT_TRUE(PumpUntil(sync, [&] { return run->State() == rsFinished; }));
  EXPECT_EQ(StepCount(*run), 63);
  EXPECT_EQ(notifications, 1);
  EXPECT_EQ(refreshes, 63 + 1) << "one per step and a last one when finishing";
  ASSERT_TRUE(PumpUntil(sync, [&] { return run->Worker()->Ended(); }));
  EXPECT_NE(run->Worker(), nullptr) << "a finished run keeps its worker until reset";
  EXPECT_FALSE(run->Resume()) << "a finished run cannot continue";
  EXPECT_EQ(run->State(), rsFinished);
  run->Reset();
  EXPECT_EQ(run->Worker(), nullptr);
  EXPECT_EQ(run->Time.Rows(), 0);
}

TEST(Worker, OverflowPausesAfterEveryStepAboveTheSize) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* run = project.AddRun();
  run->BatchParams.IsBatch = 0;
  run->Params.DischargeEachh = 0;
  run->Params.ReactorSize = 2.01;  // the feed overflows it after a few steps
  Start(run);
  ASSERT_TRUE(PumpUntil(sync, [&] { return run->State() == rsPaused; }));
  const long long first = StepCount(*run);
  EXPECT_EQ(+run->Params.Overflowing, 1);
  EXPECT_EQ(Count(run->EventLog, kLogOverflow), 1);
  ASSERT_TRUE(run->Resume());
  ASSERT_TRUE(PumpUntil(sync, [&] { return run->State() == rsPaused && StepCount(*run) > first; }));
  EXPECT_EQ(StepCount(*run), first + 1) << "continuing without a discharge pauses after the next step";
  run->Finish();
  EXPECT_EQ(run->State(), rsFinished);
}

TEST(Worker, BatchEndPausesOnceThenFedBatchRuns) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* run = project.AddRun();
  RandSeed(11);
  Start(run);
  ASSERT_TRUE(PumpUntil(sync, [&] { return run->State() == rsPaused; }));
  EXPECT_EQ(+run->BatchParams.Phase, 5);
  EXPECT_EQ(run->PauseRequest, 1) << "shown by the process page while paused";
  ASSERT_TRUE(run->Resume());
  ASSERT_TRUE(PumpUntil(sync, [&] { return run->State() != rsRunning; }));
  EXPECT_EQ(run->State(), rsFinished);
  EXPECT_EQ(run->PauseRequest, 0);
  EXPECT_EQ(Count(run->EventLog, kLogBatchFinished), 1);
  EXPECT_GE(run->ODreal.Last(), 100);
}

TEST(Worker, UserPauseTakesEffectBetweenSteps) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* run = project.AddRun();
  run->BatchParams.IsBatch = 0;
  run->Params.TargetOD = 1e12;
  run->Params.StopByuCrit = 0;
  run->Params.Speed = 10;
  long long seen = 0;  // steps as the refresh saw them, on this thread
  run->StartThread();
  run->Worker()->SetOnChartUpdate([&] { seen = StepCount(*run); });
  run->Resume();
  ASSERT_TRUE(PumpUntil(sync, [&] { return seen >= 3; }));
  run->Pause();
  EXPECT_EQ(run->State(), rsPaused);
  const long long steps = StepCount(*run);  // safe: the pause waited for the step under way
  std::this_thread::sleep_for(30ms);
  sync.ProcessPending();
  EXPECT_EQ(StepCount(*run), steps) << "no step while paused";
  const double pausedBefore = run->Params.PauseTime;
  ASSERT_TRUE(run->Resume());
  EXPECT_GT(+run->Params.PauseTime, pausedBefore);
  ASSERT_TRUE(PumpUntil(sync, [&] { return seen > steps + 2; }));
  run->FinishByUser();
  EXPECT_EQ(run->State(), rsFinished);
  EXPECT_EQ(run->EventLog.rfind(run->ProcessTimeText() + " [h:mm:ss]\t" + kLogUserFinished, 0), 0u)
      << "the not-completed entry is the newest";
  const long long final = StepCount(*run);
  std::this_thread::sleep_for(20ms);
  sync.ProcessPending();
  EXPECT_EQ(StepCount(*run), final) << "no step after finishing";
}

TEST(Worker, ProcessUpdateRunsBeforeEveryStepOnTheOwningThread) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* run = project.AddRun();
  run->BatchParams.IsBatch = 0;
  run->Params.DischargeEachh = 0;
  const auto owner = std::this_thread::get_id();
  int calls = 0;
  bool onOwner = true;
  run->StartThread();
  run->Worker()->SetRealtime(false);
  run->Worker()->SetOnProcessUpdate([&] {
    ++calls;
    onOwner = onOwner && std::this_thread::get_id() == owner;
    run->Params.Speed = 10;  // the panel's settings transfer
  });
  run->Resume();
  ASSERT_TRUE(PumpUntil(sync, [&] { return run->State() == rsFinished; }));
  EXPECT_EQ(calls, 63);
  EXPECT_TRUE(onOwner);
  EXPECT_EQ(+run->Params.Speed, 10);
}

TEST(Worker, StepWithoutFiniteValuesFinishesTheRunCleanly) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* run = project.AddRun();
  run->BatchParams.IsBatch = 0;
  run->Params.FedBatchOD = 0;  // no biomass: logarithms of zero
  int notifications = 0;
  project.OnStateChange = [&] { ++notifications; };
  Start(run);
  ASSERT_TRUE(PumpUntil(sync, [&] { return run->State() == rsFinished; }));
  EXPECT_EQ(notifications, 1);
  EXPECT_EQ(StepCount(*run), 0) << "the failed step is taken back";
  EXPECT_TRUE(AllFinite(*run));
  EXPECT_EQ(Count(run->EventLog, kLogStepFailed), 1);
  EXPECT_EQ(Count(run->EventLog, "Feed Constant"), 1);
}

TEST(Project, RunControlForAllRunsRespectsStates) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* prepared = project.AddRun();
  TZymra_Run* running = project.AddRun();
  TZymra_Run* paused = project.AddRun();
  for (TZymra_Run* r : {running, paused}) {
    r->Params.TargetOD = 1e12;
    r->Params.StopByuCrit = 0;
    r->Params.Speed = 0;  // a second per step: they stay where they are
    Start(r, true);
  }
  paused->Pause();
  EXPECT_TRUE(project.AnyActive());
  project.ResetAll();
  EXPECT_EQ(running->State(), rsRunning) << "reset all leaves running runs alone";
  EXPECT_EQ(paused->State(), rsPrepare);
  EXPECT_EQ(prepared->State(), rsPrepare);
  project.FinishAll();
  EXPECT_EQ(prepared->State(), rsPrepare) << "finish all leaves prepared runs alone";
  EXPECT_EQ(running->State(), rsFinished);
  EXPECT_FALSE(project.AnyActive());
  EXPECT_TRUE(project.AnyInStates({rsFinished}));
  project.ResetAll();
  EXPECT_FALSE(project.AnyInStates({rsFinished}));
}

TEST(Project, HeadlessRunsSeveralRunsSideBySide) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  std::vector<TZymra_Run*> runs;
  for (int i = 0; i < 4; ++i) {
    TZymra_Run* r = project.AddRun();
    r->Params.Uset = 0.05 + 0.02 * i;
    runs.push_back(r);
  }
  runs[3]->Params.ReactorSize = 2.05;  // overflows and is continued automatically
  runs[3]->BatchParams.IsBatch = 0;
  runs[3]->Params.TargetOD = 1e9;
  runs[3]->Params.StopByuCrit = 0;
  THeadlessOptions options;
  options.MaxSteps = 400;
  RunHeadless(sync, runs, options);
  for (TZymra_Run* r : runs) {
    EXPECT_EQ(r->State(), rsFinished);
    EXPECT_LE(StepCount(*r), 400);
    EXPECT_TRUE(AllFinite(*r));
  }
  EXPECT_EQ(StepCount(*runs[3]), 400);
  EXPECT_EQ(Count(runs[3]->EventLog, kLogUserFinished), 1);
}

TEST(Project, HeadlessActionsHappenBeforeTheStepAtTheirTime) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* run = project.AddRun();
  run->BatchParams.IsBatch = 0;
  run->Params.DischargeEachh = 0;
  THeadlessOptions options;
  TRunAction a;
  std::string error;
  ASSERT_TRUE(ParseRunAction("2:refill=0.5", a, error));
  options.Actions.push_back(a);
  ASSERT_TRUE(ParseRunAction("3,5:discharge=0.1", a, error));
  options.Actions.push_back(a);
  ASSERT_TRUE(ParseRunAction("5:correct-feed", a, error));
  options.Actions.push_back(a);
  EXPECT_FALSE(ParseRunAction("5:boil", a, error));
  EXPECT_FALSE(ParseRunAction("x:refill=1", a, error));
  EXPECT_FALSE(ParseRunAction("5:refill=abc", a, error));
  RunHeadless(sync, {run}, options);
  EXPECT_EQ(+run->Params.LastRefill, 2.25) << "served by the step that starts at 2 h";
  EXPECT_EQ(+run->Params.LastDischarge, 3.75);
  EXPECT_EQ(run->CorrTime, 5.25);
  EXPECT_EQ(Count(run->EventLog, "Refill 0.5\t l"), 1);
  EXPECT_EQ(Count(run->EventLog, "Discharge 0.1\t l"), 1);
  EXPECT_EQ(run->State(), rsFinished);
}

TEST(Worker, ResetFromInsideItsOwnCallbackDoesNotDeadlock) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* run = project.AddRun();
  run->BatchParams.IsBatch = 0;
  run->StartThread();
  run->Worker()->SetRealtime(false);
  bool done = false;
  run->Worker()->SetOnChartUpdate([&] {
    if (StepCount(*run) == 3) {
      run->Reset();  // as the process page's reset would, reached from a refresh
      done = true;
    }
  });
  run->Resume();
  ASSERT_TRUE(PumpUntil(sync, [&] { return done; }));
  EXPECT_EQ(run->Worker(), nullptr);
  EXPECT_EQ(run->State(), rsPrepare);
  EXPECT_EQ(run->Time.Rows(), 0);
}

TEST(Worker, DestroyingRunsWaitingForTheOwnerReturnsPromptly) {
  TQueueSynchronizer sync;
  auto project = std::make_unique<TZymra>(&sync);
  for (int i = 0; i < 6; ++i) {
    TZymra_Run* r = project->AddRun();
    r->StartThread();
    r->Worker()->SetRealtime(false);
    r->Worker()->SetOnProcessUpdate([] {});
    r->Resume();
  }
  std::this_thread::sleep_for(20ms);  // every worker now waits for the queue nobody drains
  const auto start = std::chrono::steady_clock::now();
  project.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  sync.ProcessPending();  // the abandoned callbacks must not run
}

// Many runs, the owner doing everything a user can in random order.
TEST(Worker, StressRandomRunControl) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  std::mt19937 rng(12345);
  std::vector<TZymra_Run*> runs;
  auto addRun = [&] {
    TZymra_Run* r = project.AddRun();
    r->Params.SimInterval = 0.05;
    r->Params.TargetOD = 60;
    r->BatchParams.IsBatch = rng() % 2;
    r->Params.ReactorSize = rng() % 3 == 0 ? 2.1 : 4.0;
    runs.push_back(r);
  };
  for (int i = 0; i < 8; ++i) addRun();
  int refreshes = 0;
  for (int op = 0; op < 1500; ++op) {
    TZymra_Run* r = runs[rng() % runs.size()];
    switch (rng() % 9) {
      case 0:
      case 1:
        if (r->IsInStates({rsPrepare, rsPaused})) {
          r->StartThread();
          r->Worker()->SetRealtime(rng() % 4 == 0);
          r->Worker()->SetOnChartUpdate([&refreshes] { ++refreshes; });
          r->Worker()->SetOnProcessUpdate([r] { r->Params.Speed = 10; });
          r->Resume();
        }
        break;
      case 2:
        r->Pause();
        break;
      case 3:
        r->FinishByUser();
        break;
      case 4:
        if (r->IsInStates({rsPaused, rsFinished})) r->Reset();
        break;
      case 5:
        if (r->IsInStates({rsPrepare, rsFinished}) && runs.size() > 2) {
          runs.erase(std::find(runs.begin(), runs.end(), r));
          project.RemoveRun(r);
          addRun();
        }
        break;
      case 6:
        project.PauseAll();
        break;
      case 7:
        project.StartAll();
        break;
      default:
        sync.WaitAndProcess(std::chrono::milliseconds(rng() % 3));
        break;
    }
    sync.ProcessPending();
    for (TZymra_Run* x : runs) {
      ASSERT_LE(x->State(), rsFinished);
      if (x->State() == rsRunning) {
        ASSERT_NE(x->Worker(), nullptr) << "running without a worker";
      }
    }
  }
  project.FinishAll();
  sync.ProcessPending();
  for (TZymra_Run* x : runs) {
    EXPECT_NE(x->State(), rsRunning);
    EXPECT_TRUE(AllFinite(*x));
  }
  EXPECT_GT(refreshes, 0);
}
