#pragma once
// Estimating a run's real constants from measured data.
//
// The objective is the weighted sum of squares of the measured values against the run
// simulated with trial constants, the model value at a measured time interpolated
// linearly between the two rows around it. OD is weighted by a relative error (a
// constant coefficient of variation, sigma = CV x simulated OD, the OD of the previous
// round: the weights are renewed between rounds of searches until the estimates
// settle), the other columns by an absolute one. An error level not given is estimated
// from the residuals, in the same rounds. A measured time beyond the end of the simulated run (the run ended
// earlier, e.g. at the target OD) is compared with the run's last row: the culture
// is taken to stay where the run stopped, so a run that ends too soon pays for it.
//
// Every trial simulates the run once, with the batch lag drawn from a generator seeded
// with the fit's seed, so the objective is a deterministic function of the constants;
// it serves every replicate, since they share the settings. The optimiser (NLopt's
// BOBYQA, bounded and derivative-free: the model is a step function of the constants,
// events fall on whole steps) runs from several starts drawn from the seed; the starts
// run on a pool of threads, and the best one (lowest objective, then lowest start
// number) wins, so the result does not depend on the thread count.
//
// Uncertainty: the Jacobian of the weighted residuals at the optimum by central
// differences (step 1e-3 of the estimate: wide enough to see past the steps), the
// covariance (J'J)^-1, standard errors and 95 % intervals with the t quantile of
// n - p degrees of freedom when an error level was estimated, the normal quantile when
// all were given. Profile-likelihood intervals on request. A fit never changes the run
// it was given: it works on copies of the run's records.
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "LibZymra.h"
#include "ZymraMeasured.h"

// The constants a fit can estimate, by their field names.
constexpr int kFitConstantCount = 7;
extern const char* const kFitConstantNames[kFitConstantCount];
// "Yield_Real", "Maintenance_Real", "DryMassPerOD_Real", "CSubstr_Real", "Batchumax", "BatchOD", "FedBatchOD"
// Index into kFitConstantNames, -1 for another name.
int FitConstantIndex(const std::string& name);
double FitConstantValue(const TRunParameters& params, const TRunBatchParameters& batch, int constant);
void SetFitConstantValue(TRunParameters& params, TRunBatchParameters& batch, int constant, double value);
// Half to twice the current value, kept inside what the start page accepts.
void DefaultFitBounds(const TRunParameters& params, const TRunBatchParameters& batch, int constant, double& low,
                      double& high);

struct TFitParameter {
  std::string Name;
  // NaN: DefaultFitBounds.
  double Low = NAN, High = NAN;
};
// "NAME" or "NAME=LOW:HIGH" (decimal point or comma).
bool ParseFitParameter(const std::string& text, TFitParameter& parameter, std::string& error);

struct TFitProblem {
  // The run's settings; the fit starts from the constants' values here.
  TRunParameters Params = DefaultRunParameters();
  TRunBatchParameters Batch = DefaultRunBatchParameters();
  // One entry per data file; their replicates are kept apart (replicate 1 of the first
  // file and replicate 1 of the second are two cultivations).
  std::vector<TMeasuredData> Data;
  std::vector<TFitParameter> Estimate;
  // Per measured column (TMeasuredColumn order): the CV for ODreal, the absolute error
  // (the column's unit) for the others. NaN: estimated from the residuals.
  std::array<double, kMeasuredColumnCount> ErrorLevel{NAN, NAN, NAN, NAN};
};
// The run's records with the status cleared, as a fresh start of the run would see them.
TFitProblem FitProblemFromRun(const TZymra_Run& run);

struct TFitOptions {
  std::uint64_t Seed = 0;
  int Threads = 0;  // 0: one per core
  int Starts = 8;   // local searches; the first starts at the run's own values
  bool Profile = false;
  // Evaluations allowed to one local search.
  long long MaxEvaluationsPerStart = 2000;
  // Set from any thread: every worker looks at it between two evaluations (one
  // evaluation is one simulation, well under a millisecond for a default run).
  const std::atomic<bool>* Cancel = nullptr;
  // Counts the evaluations done so far, for a progress display on another thread.
  std::atomic<long long>* Evaluations = nullptr;
};
// The most evaluations a fit with these settings can make (for a progress bar).
long long FitEvaluationBudget(const TFitProblem& problem, const TFitOptions& options);

struct TFitResidual {
  int DataSet = 0;  // index into TFitProblem::Data
  int Replicate = 1;
  double Time = 0;
  TMeasuredColumn Column = TMeasuredColumn::ODreal;
  double Measured = 0, Simulated = 0;
  double Residual = 0;          // Measured - Simulated
  double Weighted = 0;          // Residual / Sigma
  double Sigma = 0;             // the point's error
  bool BeyondRun = false;       // after the run's last row: compared with that row
};

struct TFitResult {
  std::vector<std::string> Names;
  std::vector<double> Estimate, StdError, CILow, CIHigh;
  // With TFitOptions::Profile: the 95 % profile-likelihood interval; a side that
  // stays under the threshold up to the bound is the bound (and warned about).
  std::vector<double> ProfileLow, ProfileHigh;
  std::vector<double> Low, High;  // the bounds used
  std::vector<std::vector<double>> Correlation;
  // The error level per column as used (given or estimated); NaN for a column not measured.
  std::array<double, kMeasuredColumnCount> ErrorLevel{NAN, NAN, NAN, NAN};
  std::array<bool, kMeasuredColumnCount> ErrorEstimated{false, false, false, false};
  // Which quantile the intervals use: 't' (with DegreesOfFreedom) or 'z' (normal).
  char Quantile = 'z';
  double QuantileValue = 0;
  std::vector<std::string> Warnings;  // plain sentences
  std::vector<TFitResidual> Residuals;
  double SSE = 0;  // sum of the squared weighted residuals at the optimum
  long long Points = 0;
  long long DegreesOfFreedom = 0;
  long long Evaluations = 0;
  bool Cancelled = false;
  // The run's records with the estimates written in (the caller decides to apply them).
  TRunParameters Params{};
  TRunBatchParameters Batch{};
};

// The checks RunFit makes before it simulates anything: false with a one-line reason
// for an unknown or repeated constant, bounds that are empty or that the start page
// refuses (its own message), run values it refuses, or no measured value at all.
bool CheckFitProblem(const TFitProblem& problem, std::string& error);

// False with a one-line reason for a problem that cannot be fitted (what CheckFitProblem
// refuses, no more measured values than constants, no start that gives a run to
// compare). A cancelled fit returns false with result.Cancelled set and the reason
// "the fit was cancelled".
bool RunFit(const TFitProblem& problem, const TFitOptions& options, TFitResult& result, std::string& error);

// Measured data made by the program from known constants: the run simulated with the
// records (batch lag from LagSeed), sampled at Times in every replicate, with noise
// drawn from Seed: OD x (1 + CV x N(0,1)), the other columns + SD x N(0,1). A column
// whose Noise is NaN is not made; 0 gives it without noise. A time after the run's end
// takes the run's last row.
struct TSyntheticDesign {
  std::vector<double> Times;
  int Replicates = 1;
  std::array<double, kMeasuredColumnCount> Noise{NAN, NAN, NAN, NAN};
  std::uint64_t Seed = 0;
  std::uint32_t LagSeed = 0;
};
TMeasuredData SyntheticMeasuredData(const TRunParameters& params, const TRunBatchParameters& batch,
                                    const TSyntheticDesign& design);
