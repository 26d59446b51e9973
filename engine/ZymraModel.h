#pragma once
// The fermentation model: one interval of a run at a time.
#include "LibZymra.h"

void InitRun(TZymra_Run& run);
void Step(TZymra_Run& run, double& xPr, double& xTh);
double FeedConstant(const TZymra_Run& run, int kind);
double GuessGrowthRate(const TZymra_Run& run, int kind, double x);
double SolveGrowthRate(const TZymra_Run& run, int kind, double x);
double BatchGrowthRate(TZymra_Run& run, double x);
double CurrentFeedRate(const TZymra_Run& run);
double OxygenDemand(const TZymra_Run& run, double x);
double DilutionGrowthRate(const TZymra_Run& run, double biomass, double volume, double xOld);
void ApplyFeedCorrection(TZymra_Run& run);

// The coarse growth-rate search gives up after this many candidates (µ up to 10.1 1/h):
// with no biomass the fed substrate never falls below the consumption.
constexpr int kGrowthSearchLimit = 1000;

// Event texts the model and the run control write.
extern const char* const kLogTargetReached;
extern const char* const kLogCriticalExceeded;
extern const char* const kLogCriticalStop;
extern const char* const kLogOverflow;
extern const char* const kLogBatchFinished;
extern const char* const kLogUserFinished;
extern const char* const kLogStepFailed;
