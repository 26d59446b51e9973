#pragma once
// The chart page: one quantity of a run over time (the chart kind 0 .. 4 is the page's
// tag), in 2D or 3D, turned, tilted, zoomed and printed, and for the OD and growth-rate
// kinds compared with the course the run would have taken with a correctly set feed
// constant. Built once; the navigation sets the tag and calls ShowRun and LeaveRun.
//
// Live runs: ShowRun and RefreshChart hand the worker of the shown run a callback bound
// to that run; it appends only the rows the series lack and leaves the painting to Qt.
// Outside such a callback a running run is its worker's, so the page then reads none of
// its series: the next callback brings the chart up to date.
//
// Compare Runs (a state of the page, not of the run) shows the page's kind for every run
// of the project, one line per run; every run's worker then refreshes its own line.
// Leaving the page, showing another run or switching it off returns to the shown run's
// view; the shown run shown again (its page refreshed after a command) keeps comparing.
#include <QList>
#include <QWidget>

#include <vector>

class QAction;
class QLabel;
class QMenu;
class QToolBar;
class TPaxChart;
class TZymra;
class TZymra_Run;

class TFrmZymraChart : public QWidget {
  Q_OBJECT

 public:
  explicit TFrmZymraChart(TZymra& project, QWidget* parent = nullptr);
  ~TFrmZymraChart() override;

  // The chart kind, 0 .. 4 (values outside are held at the nearest kind).
  int Tag() const { return FTag; }
  void SetTag(int kind);

  void ShowRun(TZymra_Run* run);  // nullptr: does nothing
  void LeaveRun();
  // Both follow the view on screen: the shown run's, or every run's while comparing.
  void RebuildSeries();
  void RefreshChart();
  // The only writer of the enabled state of the turn, tilt and Reset actions.
  void SetView3D(bool on);
  void StoreView();
  // The run the page shows (nullptr after LeaveRun).
  TZymra_Run* ShownRun() const { return FRun; }
  bool Comparing() const { return FCompare; }

  // Action handlers; each ends by StoreView.
  void Act3DExecute();
  void ActShowEqualCfExecute();
  void ActRotationLeftExecute();
  void ActRotationRightExecute();
  void ActElevationUpExecute();
  void ActElevationDownExecute();
  void ActSetDefaultExecute();
  void ActPrintExecute();
  void ActCompareRunsExecute();

  QWidget* PnlHeader;
  QLabel* LblCharts;
  QLabel* LblCaption;
  QToolBar* ToolBar;
  QAction* Act3D;
  QAction* ActShowEqualCf;
  QAction* ActRotationLeft;
  QAction* ActRotationRight;
  QAction* ActElevationUp;
  QAction* ActElevationDown;
  QAction* ActSetDefault;
  QAction* ActPrint;
  QAction* ActCompareRuns;
  QList<QAction*> ActChart;  // the nine above, in this order
  TPaxChart* CrtChart;
  QMenu* PopChart;           // the chart's own pop-up menu

 private:
  bool EqualCfAvailable() const;
  void AttachWorker();
  void DetachWorker();
  void Turn(double rotationDelta, double elevationDelta);
  void BuildCompareSeries();
  void RefreshCompareRun(std::size_t index);
  void AttachCompareWorkers();
  void DetachCompareWorkers();
  // Ends the comparison without touching the chart (the caller shows a run next).
  void EndCompare();

  TZymra& FProject;
  int FTag = 0;
  TZymra_Run* FRun = nullptr;
  bool FCompare = false;
  std::vector<TZymra_Run*> FCompareRuns;  // series i shows FCompareRuns[i]
};
