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
#include <QList>
#include <QWidget>

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
  void RebuildSeries();
  void RefreshChart();
  // The only writer of the enabled state of the turn, tilt and Reset actions.
  void SetView3D(bool on);
  void StoreView();
  // The run the page shows (nullptr after LeaveRun).
  TZymra_Run* ShownRun() const { return FRun; }

  // Action handlers; each ends by StoreView.
  void Act3DExecute();
  void ActShowEqualCfExecute();
  void ActRotationLeftExecute();
  void ActRotationRightExecute();
  void ActElevationUpExecute();
  void ActElevationDownExecute();
  void ActSetDefaultExecute();
  void ActPrintExecute();

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
  QList<QAction*> ActChart;  // the eight above, in table order
  TPaxChart* CrtChart;
  QMenu* PopChart;           // the chart's own pop-up menu

 private:
  bool EqualCfAvailable() const;
  void AttachWorker();
  void DetachWorker();
  void Turn(double rotationDelta, double elevationDelta);

  TZymra& FProject;
  int FTag = 0;
  TZymra_Run* FRun = nullptr;
};
