#pragma once
// Projects for the benchmarks: runs stepped to a given number of rows without a
// worker, marked finished so that loading and saving them never simulates.
#include "LibZymra.h"
#include "ZymraModel.h"

inline void FillBenchProject(TZymra& project, int runs, int rows) {
  for (int r = 0; r < runs; ++r) {
    TZymra_Run* run = project.AddRun();
    run->BatchParams.IsBatch = 0;
    run->Params.SimInterval = 0.001;
    run->Params.Uset = 0.01 + 0.001 * r;
    run->Params.TargetOD = 1e9;
    run->Params.uCritical = 0.5;
    InitRun(*run);
    double xpr = run->ODrealTheory.Last() * run->Params.DryMassPerOD_Real, xth = xpr;
    while (run->Time.Rows() < rows) Step(*run, xpr, xth);
    run->Params.State = rsFinished;
  }
}
