#pragma once
// A run chart group with measured values drawn over it as markers, one series per
// replicate: how a fitted run meets the data it was fitted to.
#include <string>
#include <vector>

#include "ZymraMeasured.h"

class TPaxPlot;
class TZymra_Run;

// The measured column a run chart group shows (0 OD real, 2 OTR, 3 volume,
// 4 substrate); -1 for the growth-rate group, which nothing measures.
int MeasuredColumnOfChart(int kind);

// Adds one point series per replicate of every data set that has values for the
// group's column: titled "measured" when there is one replicate in all, else
// "measured R" (with the data set's number, "measured 2/R", when several sets have
// the same replicate numbers).
void AddMeasuredSeries(TPaxPlot& plot, const std::vector<TMeasuredData>& data, int kind);

// RenderRunChart with the measured series added.
bool RenderFitChart(const TZymra_Run& run, const std::vector<TMeasuredData>& data, int kind, bool view3d, int width,
                    int height, const std::string& path, std::string& error);
