#pragma once
// The "2. Fermentation" page of a run: drives the run (start, pause, stop, reset,
// speed), lets the user refill, discharge and adapt the feed while it is paused,
// and shows its progress live: current values, the reactor gauge, the event
// protocol and two small charts.
#include <QElapsedTimer>
#include <QWidget>

#include <cstddef>
#include <map>
#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSlider;
class QSplitter;
class QTimer;
class QToolBar;
class QToolButton;
class TPaxChart;
class TPaxDecimalEdit;
class TPaxReactor;
class TZymra;
class TZymra_Run;

class TFrmPnlProcess : public QWidget {
  Q_OBJECT
 public:
  explicit TFrmPnlProcess(TZymra& project, QWidget* parent = nullptr);
  ~TFrmPnlProcess() override;
  // The size at which every control shows without scrolling.
  QSize sizeHint() const override;

  // Navigation show hook: makes the run current and shows it (nullptr: does nothing).
  void ShowRun(TZymra_Run* run);
  // Navigation leave hook: the run's worker stops calling this page, and the inputs go into the run.
  void LeaveRun();
  // Speed and the refill/discharge settings into the shown run (a refill or discharge
  // ordered by Refill Now / Discharge Now keeps its amount until the step took it).
  void StoreInputs();
  // Current values, gauge, protocol and charts from the shown run.
  void RefreshDisplay();
  // The only place that enables and checks the run actions.
  void UpdateRunActions();
  // The gauge's liquid from yellow (OD 0) to black (OD 200 and above).
  void SetLiquidColor(double od);

  // The run this page shows (nullptr before the first ShowRun and after LeaveRun).
  TZymra_Run* Run() const { return FRun; }

  // Action handlers.
  void ActStartExecute();
  void ActPauseExecute();
  void ActStopExecute();
  void ActResetExecute();
  void ActPrintGLPExecute();
  void ActExportExecute();
  void BtnRefillClick();
  void BtnDischargeClick();
  void BtnAdaptFeedClick();
  void BarSpeedChange(int position);
  // An input was typed: the run takes the inputs before its next step.
  void InputsChanged();

  QAction* ActStart;
  QAction* ActPause;
  QAction* ActStop;
  QAction* ActReset;
  QAction* ActPrintGLP;
  QAction* ActExport;

  QLabel* LblTitle;
  QLabel* LblCaption;
  QToolBar* TlbProcess;
  QSlider* BarSpeed;
  QToolButton* BtnExport;
  QLabel* lblPhase;
  QLabel* lblBatchEnd;
  TPaxDecimalEdit* EdtFeedRate;
  TPaxDecimalEdit* EdtFeedTotal;
  QPushButton* BtnAdaptFeed;
  QLineEdit* EdtProcessTime;
  TPaxDecimalEdit* EdtOTRVt;
  TPaxDecimalEdit* EdtSubstrate;
  TPaxReactor* RctZymra;
  QLabel* lblOverflowing;
  TPaxDecimalEdit* EdtRefillAmount;
  TPaxDecimalEdit* EdtRefillEachh;
  QPushButton* BtnRefill;
  TPaxDecimalEdit* EdtDischargeAmount;
  TPaxDecimalEdit* EdtDischargeEachh;
  QPushButton* BtnDischarge;
  QLabel* LblCrititcalGrowth;
  QPlainTextEdit* MmoEventProtocol;
  QGroupBox* GrpGrowth;
  TPaxDecimalEdit* EdtuCell;
  TPaxDecimalEdit* EdtuOD;
  TPaxDecimalEdit* EdtODreal;
  TPaxDecimalEdit* EdtODideal;
  QSplitter* PnlCharts;
  TPaxChart* crtu;
  TPaxChart* CrtOD;
  QMenu* PopAction;
  QMenu* PopGLP;

 private:
  struct TInputs {
    int Speed;
    double RefillAmount, RefillEachh, DischargeAmount, DischargeEachh;
  };
  void BuildActions();
  QWidget* BuildHeader();
  QWidget* BuildLeftBlock();
  QWidget* BuildRightBlock();
  QWidget* BuildBottomBlock();
  TPaxDecimalEdit* NewEdit(int decimals, bool display);

  // The shown run while the project still holds it.
  TZymra_Run* ShownRun();
  void InstallCallbacks(TZymra_Run* run);
  void ClearCallbacks(TZymra_Run* run);
  void ArmTransfer(TZymra_Run* run, const TInputs& inputs);
  TInputs ReadInputs() const;
  static void ApplyInputs(TZymra_Run& run, const TInputs& inputs);
  // The display refresh proper; the caller makes sure the run's worker is not stepping.
  void Refresh(TZymra_Run& run);
  // Enabled and checked states of the actions and buttons (UpdateRunActions without
  // the state notification).
  void UpdateActionStates();
  void CheckRunState();
  void ShowProtocol(TZymra_Run& run, bool force);

  TZymra& FProject;
  QScrollArea* FScroll = nullptr;
  TZymra_Run* FRun = nullptr;
  // Log size the protocol memo shows: entries are only ever put in front, so a
  // changed size is a changed log.
  std::size_t FLogSize = 0;
  // Display refreshes of a running run are at least this far apart.
  static constexpr qint64 kRefreshMs = 40;
  QElapsedTimer FLastRefresh;
  QTimer* FCatchUp = nullptr;
  // Per run, the number of the newest input hand-over: an older one that is already on
  // its way must not remove the newer one when it removes itself.
  std::map<const TZymra_Run*, std::shared_ptr<unsigned>> FTransferGeneration;
  // Callbacks hold it weakly: one still queued when the page goes finds it expired.
  std::shared_ptr<char> FAlive;
};
