#pragma once
// One quantity of several runs in one chart: one colour per run, each series named
// by its run's caption.
#include <QString>

#include <string>
#include <vector>

class TPaxPlot;
class TZymra_Run;
class tDoubleMatrix;

// The series a run contributes to the comparison: the first of chart group `kind`.
const tDoubleMatrix& CompareSeries(const TZymra_Run& run, int kind);

// The first series of chart group `kind` (OD real, µ Cell, OTR V(t), V(t), cS) of every
// listed run. The runs must belong to a project (their captions name them).
void SetupCompareChart(TPaxPlot& plot, const std::vector<const TZymra_Run*>& runs, int kind,
                       const QString& versionText);
// Writes the chart as PNG, SVG or PDF by the extension of path. Needs a running
// QGuiApplication (fonts).
bool RenderCompareChart(const std::vector<const TZymra_Run*>& runs, int kind, int width, int height,
                        const std::string& path, std::string& error);
