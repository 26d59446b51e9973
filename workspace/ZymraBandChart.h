#pragma once
// The band chart of a sweep: per time the median and the 5 to 95 % band of one
// quantity over the runs, and the twin culture's median as a reference line.
#include <QString>

#include <string>
#include <vector>

#include "PaxBand.h"
#include "ZymraSweep.h"

// Title, axes and series of the chart of curve.Kind (the run chart groups' kinds);
// `bands` receives the band to fill between the 5 % and 95 % series.
void SetupBandChart(TPaxPlot& plot, std::vector<TPaxBand>& bands, const TSweepBandCurve& curve, long long runs,
                    const QString& versionText);
// Writes the chart as PNG, SVG or PDF by the extension of path. Needs a running
// QGuiApplication (fonts).
bool RenderBandChart(const TSweepBandCurve& curve, long long runs, int width, int height, const std::string& path,
                     std::string& error);
