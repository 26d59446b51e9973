// Fit speed and honesty: three constants of the default fed batch fitted to three
// replicates of 40 measured times (OD and OTR) on 1 and 2 threads, the cost of one
// evaluation against one `simulate` of the same run, and the share of true values
// inside the 95 % intervals over a seeded batch of noisy data sets.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "BenchCpu.h"
#include "LibZymra.h"
#include "ZymraFit.h"
#include "ZymraHeadless.h"
#include "ZymraSweep.h"

namespace {
TFitProblem Truth() {
  TFitProblem p;
  p.Batch.IsBatch = 0;
  p.Batch.Phase = 0;
  return p;
}

// Noisy data from the default constants; the fit starts from a wrong yield.
TFitProblem Problem(std::uint64_t noiseSeed) {
  const TFitProblem truth = Truth();
  TSyntheticDesign d;
  for (int k = 0; k < 40; ++k) d.Times.push_back(0.25 + 14.75 * k / 39.0);
  d.Replicates = 3;
  d.Noise[static_cast<int>(TMeasuredColumn::ODreal)] = 0.05;
  d.Noise[static_cast<int>(TMeasuredColumn::OTRVt)] = 2;
  d.Seed = noiseSeed;
  TFitProblem p = truth;
  p.Data = {SyntheticMeasuredData(truth.Params, truth.Batch, d)};
  p.Params.Yield_Real = 0.55;
  p.Estimate = {{"Yield_Real"}, {"DryMassPerOD_Real"}, {"FedBatchOD"}};
  return p;
}

void BM_Fit(benchmark::State& state) {
  const TFitProblem problem = Problem(1);
  TFitOptions options;
  options.Threads = static_cast<int>(state.range(0));
  options.Seed = 7;
  long long evaluations = 0;
  double critical = 0;
  const double cpu = ProcessCpuSeconds();
  for (auto _ : state) {
    TFitResult result;
    std::string error;
    if (!RunFit(problem, options, result, error)) std::abort();
    evaluations += result.Evaluations;
    critical += result.CriticalPathSeconds;
    benchmark::DoNotOptimize(result.SSE);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["evaluations"] = static_cast<double>(evaluations) / n;
  state.counters["process_cpu_ms"] = (ProcessCpuSeconds() - cpu) * 1000 / n;
  // The wall time the fit would take with its threads on free cores.
  state.counters["critical_path_ms"] = critical * 1000 / n;
  state.counters["cpu_us_per_evaluation"] = (ProcessCpuSeconds() - cpu) * 1e6 / static_cast<double>(evaluations);
}
BENCHMARK(BM_Fit)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// What one evaluation simulates (the run up to the last measured time) ...
void BM_EvaluationRun(benchmark::State& state) {
  const TFitProblem p = Truth();
  TZymra_Run run;
  for (auto _ : state) {
    RunSweepRun(run, p.Params, p.Batch, 0, 61);
    benchmark::DoNotOptimize(run.ODreal.Last());
  }
}
BENCHMARK(BM_EvaluationRun)->Unit(benchmark::kMicrosecond);

// ... against the same run as `simulate` makes it: a project, its worker, headless.
void BM_SimulateSameRun(benchmark::State& state) {
  const TFitProblem p = Truth();
  for (auto _ : state) {
    TQueueSynchronizer sync;
    TZymra project(&sync);
    TZymra_Run* run = project.AddRun();
    run->Params = p.Params;
    run->BatchParams = p.Batch;
    RunHeadless(sync, {run}, THeadlessOptions{});
    benchmark::DoNotOptimize(run->ODreal.Last());
  }
}
BENCHMARK(BM_SimulateSameRun)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Coverage: over `repeats` data sets with noise seeds 1000.., how often each 95 %
// interval holds the true value (the Jacobian intervals; with range(1) the profile ones).
void BM_Coverage(benchmark::State& state) {
  const int repeats = static_cast<int>(state.range(0));
  const bool profile = state.range(1) != 0;
  const TFitProblem truth = Truth();
  const double trueValues[3] = {truth.Params.Yield_Real, truth.Params.DryMassPerOD_Real, truth.Params.FedBatchOD};
  long long inside[3] = {}, all = 0, fits = 0;
  // Per constant: sums of the error in standard errors, of the estimate and its square,
  // of the standard error: is the spread of the estimates what their errors claim?
  double zSum[3] = {}, eSum[3] = {}, e2Sum[3] = {}, seSum[3] = {};
  for (auto _ : state) {
    for (int k = 0; k < repeats; ++k) {
      const TFitProblem p = Problem(1000 + static_cast<std::uint64_t>(k));
      TFitOptions options;
      options.Seed = static_cast<std::uint64_t>(k);
      options.Threads = 2;
      options.Profile = profile;
      TFitResult r;
      std::string error;
      if (!RunFit(p, options, r, error)) std::abort();
      bool allInside = true;
      for (int j = 0; j < 3; ++j) {
        const double lo = profile ? r.ProfileLow[j] : r.CILow[j], hi = profile ? r.ProfileHigh[j] : r.CIHigh[j];
        const bool in = lo <= trueValues[j] && trueValues[j] <= hi;
        inside[j] += in;
        zSum[j] += (r.Estimate[j] - trueValues[j]) / r.StdError[j];
        eSum[j] += r.Estimate[j];
        e2Sum[j] += r.Estimate[j] * r.Estimate[j];
        seSum[j] += r.StdError[j];
        allInside = allInside && in;
      }
      all += allInside;
      ++fits;
    }
  }
  const double n = static_cast<double>(fits);
  state.counters["fits"] = n;
  state.counters["Yield_Real_pct"] = 100.0 * static_cast<double>(inside[0]) / n;
  state.counters["DryMassPerOD_Real_pct"] = 100.0 * static_cast<double>(inside[1]) / n;
  state.counters["FedBatchOD_pct"] = 100.0 * static_cast<double>(inside[2]) / n;
  state.counters["all_three_pct"] = 100.0 * static_cast<double>(all) / n;
  const char* names[3] = {"Yield_Real", "DryMassPerOD_Real", "FedBatchOD"};
  for (int j = 0; j < 3; ++j) {
    const double mean = eSum[j] / n, sd = std::sqrt(std::max(e2Sum[j] / n - mean * mean, 0.0) * n / (n - 1));
    state.counters[std::string(names[j]) + "_bias_in_se"] = zSum[j] / n;
    state.counters[std::string(names[j]) + "_sd_over_se"] = sd / (seSum[j] / n);
  }
}
// Arguments: repeats, profile intervals.
BENCHMARK(BM_Coverage)->Args({200, 0})->Args({50, 1})->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
}  // namespace

BENCHMARK_MAIN();
