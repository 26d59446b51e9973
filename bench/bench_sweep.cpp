// Sweep speed: 10,000 Monte-Carlo runs of the default fed batch on 1 and 2 threads,
// against the same runs made one after another as `simulate` makes them.
#include <benchmark/benchmark.h>

#include <string>

#include "BenchCpu.h"
#include "LibZymra.h"
#include "ZymraHeadless.h"
#include "ZymraSweep.h"

namespace {
constexpr long long kRuns = 10000;

TSweepSpec MonteCarlo() {
  TSweepSpec plan;
  plan.Batch.IsBatch = 0;
  plan.Batch.Phase = 0;
  plan.Seed = 2024;
  plan.Samples = kRuns;
  std::string error;
  for (const char* text : {"Yield_Real=normal:0.506:0.02", "DryMassPerOD_Real=normal:0.52:0.02",
                           "CSubstr_Real=uniform:700:800"}) {
    TSweepVary v;
    if (!ParseSweepVary(text, v, error)) std::abort();
    plan.Varies.push_back(v);
  }
  return plan;
}

// One run as simulate makes it: a project with its worker, driven headless.
void BM_SimulateRunAfterRun(benchmark::State& state) {
  const TSweepSpec plan = MonteCarlo();
  long long index = 0;
  TSweepRunValues values;
  std::string error;
  const double cpu = ProcessCpuSeconds();
  for (auto _ : state) {
    if (!SweepRunValues(plan, index++ % kRuns, values, error)) std::abort();
    TQueueSynchronizer sync;
    TZymra project(&sync);
    TZymra_Run* run = project.AddRun();
    RandSeed(values.Seed);
    run->Params = plan.Params;
    run->BatchParams = plan.Batch;
    ApplySweepValues(plan, values.Values, run->Params, run->BatchParams);
    if (!CheckRunValues(run->Params, run->BatchParams).empty()) std::abort();
    RunHeadless(sync, {run}, THeadlessOptions{});
    benchmark::DoNotOptimize(run->ODreal.Last());
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["process_cpu_us"] = (ProcessCpuSeconds() - cpu) * 1e6 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SimulateRunAfterRun)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_Sweep(benchmark::State& state) {
  const TSweepSpec plan = MonteCarlo();
  TSweepOptions options;
  options.Threads = static_cast<int>(state.range(0));
  if (state.range(1)) options.BandKinds = {0};
  const double cpu = ProcessCpuSeconds();
  for (auto _ : state) {
    TSweepResult result;
    std::string error;
    if (!RunSweep(plan, options, result, error)) std::abort();
    benchmark::DoNotOptimize(result.Summary.Runs());
  }
  state.SetItemsProcessed(state.iterations() * kRuns);
  state.counters["process_cpu_ms"] = (ProcessCpuSeconds() - cpu) * 1000 / static_cast<double>(state.iterations());
}
// Arguments: threads, with the OD band.
BENCHMARK(BM_Sweep)->Args({1, 0})->Args({2, 0})->Args({2, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace

BENCHMARK_MAIN();
