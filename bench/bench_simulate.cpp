// One default fed batch as `zymra-cli simulate` makes it, in-process: a project with its
// worker, driven headless. bench/bench_python.py times zymra.simulate of the same run
// against this figure.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "LibZymra.h"
#include "ZymraHeadless.h"

namespace {
void BM_SimulateDefaultFedBatch(benchmark::State& state) {
  for (auto _ : state) {
    TQueueSynchronizer sync;
    TZymra project(&sync);
    TZymra_Run* run = project.AddRun();
    std::string error;
    if (!SetRunField(*run, "IsBatch", "0", error) || !SetRunField(*run, "DischargeEachh", "0", error) ||
        !CheckRunValues(run->Params, run->BatchParams).empty())
      std::abort();
    RunHeadless(sync, {run}, THeadlessOptions{});
    benchmark::DoNotOptimize(run->ODreal.Last());
  }
}
BENCHMARK(BM_SimulateDefaultFedBatch)->Unit(benchmark::kMicrosecond)->UseRealTime();
}  // namespace

BENCHMARK_MAIN();
