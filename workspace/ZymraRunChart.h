#pragma once
// The five chart groups of a run (0 "Optical Density" .. 4 "Substrate Conc."), as the
// chart page shows them, and rendering one of them into a file.
#include <QString>

#include <functional>
#include <string>

class TPaxPlot;
class TZymra_Run;

constexpr int kRunChartKinds = 5;

struct TRunChartKind {
  const char* Name;    // UTF-8
  const char* Unit;
  const char* First;
  const char* Second;  // nullptr when the group has one series
  const char* Format;  // left-axis value format
  // Groups whose second series is of another quantity put it on a right axis of its own:
  // its title; the left axis then carries the unit of the first series alone.
  const char* RightTitle = nullptr;
  const char* FirstUnit = nullptr;
};
const TRunChartKind& RunChartKind(int kind);  // kind must be 0 .. 4

// Suffix of the series that show the course with the feed constant set correctly.
inline constexpr const char* kEqualCfSuffix = "[Cf_real = Cf_theor.]";

// Title, axis titles, value format, series and 3D angles of a chart group, in the look of
// the chart page (no side wall or floor in 3D); the series stay empty (RefreshRunChart
// fills them). versionText goes into the title's brackets. The reactor volume's feed rate,
// a thousandth of the volume, has a right axis of its own.
void SetupRunChart(TPaxPlot& plot, const TZymra_Run& run, int kind, const QString& versionText);
// The series part of SetupRunChart: removes every series, adds the group's (the equal-Cf
// ones whenever the run offers the comparison for the kind, hidden, and so out of the
// legend, while the run's ShowEqualCf is off), then the run's measured values of the
// group as points (AddMeasuredSeries), switches perspective on and takes the 3D angles
// from the run's ChartRotation and ChartElevation.
void RebuildRunSeries(TPaxPlot& plot, const TZymra_Run& run, int kind);
// Appends to each series of the group the rows it lacks; the equal-Cf series only
// while the run's ShowEqualCf is set.
void RefreshRunChart(TPaxPlot& plot, const TZymra_Run& run, int kind);

// Builds chart group `kind` of the run and writes it as PNG, SVG or PDF (by the
// extension of path) at width x height pixels, in 3D with the run's ChartRotation and
// ChartElevation when view3d is set. Needs a running QGuiApplication (fonts). On
// failure returns false with a reason in error.
bool RenderRunChart(const TZymra_Run& run, int kind, bool view3d, int width, int height, const std::string& path,
                    std::string& error);
bool RenderRunChart(const TZymra_Run& run, int kind, bool view3d, int width, int height, const std::string& path,
                    const QString& versionText, std::string& error);

// What every chart file writer does around its own plot: refuses a kind outside 0 .. 4 and
// a missing QGuiApplication, lets build fill a fresh plot, and writes it by the extension
// of path at width x height pixels. On failure returns false with a reason in error.
bool RenderChartKind(int kind, int width, int height, const std::string& path, std::string& error,
                     const std::function<void(TPaxPlot&)>& build);

// Used in the title when the caller has no version text of its own.
extern const char* const kRunChartDefaultVersion;
