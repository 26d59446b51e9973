// Model step speed: the real step, whole runs, and the arithmetic floor of a step.
#include <benchmark/benchmark.h>

#include <cmath>

#include "LibZymra.h"
#include "ZymraModel.h"

namespace {
void PrepareFedBatch(TZymra_Run& run, double& xpr, double& xth) {
  run.Reset();
  run.BatchParams.IsBatch = 0;
  run.Params.DischargeEachh = 0;
  run.Params.SimInterval = 0.001;
  run.Params.Uset = 0.01;
  run.Params.uCritical = 0.5;
  run.Params.TargetOD = 80000;
  InitRun(run);
  xpr = xth = run.ODrealTheory.Last() * run.Params.DryMassPerOD_Real;
}

void BM_StepFedBatch(benchmark::State& state) {
  TZymra_Run run;
  double xpr, xth;
  PrepareFedBatch(run, xpr, xth);
  long steps = 0;
  for (auto _ : state) {
    Step(run, xpr, xth);
    if (++steps % 200000 == 0) {
      state.PauseTiming();
      PrepareFedBatch(run, xpr, xth);
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StepFedBatch);

void RunToEnd(TZymra_Run& run) {
  InitRun(run);
  double xpr = run.ODrealTheory.Last() * run.Params.DryMassPerOD_Real, xth = xpr;
  while (!run.Params.Finished && run.Time.Rows() < 1000000) Step(run, xpr, xth);
}

void BM_WholeDefaultRun(benchmark::State& state) {
  for (auto _ : state) {
    TZymra_Run run;
    run.BatchParams.IsBatch = 0;
    RunToEnd(run);
    benchmark::DoNotOptimize(run.ODreal.Last());
  }
}
BENCHMARK(BM_WholeDefaultRun);

void BM_WholeRunWithBatch(benchmark::State& state) {
  for (auto _ : state) {
    RandSeed(1);
    TZymra_Run run;
    RunToEnd(run);
    benchmark::DoNotOptimize(run.ODreal.Last());
  }
}
BENCHMARK(BM_WholeRunWithBatch);

// What a fed-batch step cannot do without: per culture one coarse search and one
// 50-iteration Newton solve (invariants hoisted), plus the step's own exp and log
// calls, storing nothing. The real step should stay within a small factor of it.
void BM_FedBatchStepFloor(benchmark::State& state) {
  const double dt = 0.001, uset = 0.01, y = 0.506, m = 0.025, dm = 0.52;
  double t = 0, v = 2.0, x = 24 * dm;
  const double b = dm * ((uset / y + m) * 2.0 * 24.0);
  for (auto _ : state) {
    t += dt;
    double sumMu = 0;
    for (int culture = 0; culture < 2; ++culture) {
      const double fed = (std::exp(uset * t) - std::exp((t - dt) * uset)) * (b / uset);
      double mu = 0.11;
      for (int k = 1; k <= 1000; ++k) {
        mu = k * 0.01 + 0.1;
        if (fed - (std::exp(mu * dt) - 1) * ((1 / y + m / mu) * x * v) < 0) break;
      }
      const double xv = x * v;
      for (int i = 0; i < 50; ++i) {
        const double c = std::exp(mu * dt), d = 1 / y + m / mu;
        const double g = fed - (c - 1) * (d * x * v);
        const double den = (c * d * dt + (c - 1) * (m / (mu * mu))) * xv;
        mu = g / den + mu;
      }
      sumMu += mu;
    }
    const double feedRate = (std::exp(uset * t) - std::exp((t - dt) * uset)) * b / uset / 750 / dt;
    const double vf = v + feedRate * dt;
    const double bth = v * x * std::exp(sumMu * 0.5 * dt);
    const double bpr = v * x * std::exp(sumMu * 0.5 * dt);
    const double uod = (std::log(bpr / vf) - std::log(x)) / dt;
    const double uodTh = (std::log(bth / vf) - std::log(x)) / dt;
    const double od = std::exp(uod * dt) + std::exp(uodTh * dt) + std::exp(t * uset);
    benchmark::DoNotOptimize(od);
    v = vf;
    x = bpr / vf;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FedBatchStepFloor);
}  // namespace

BENCHMARK_MAIN();
