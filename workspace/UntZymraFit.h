#pragma once
// Measured data on a run and the fit window: which of the run's constants the values
// measured in a real cultivation tell, with what uncertainty, and what to do with them.
//
// The fit runs on a plain thread of its own (which uses every core it is given) on a
// copy of the run's records and data taken when it starts; the window polls its counter
// with a timer and takes the result only once the thread has ended, so the window never
// waits for it and the run is never touched until the user applies the estimates.
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "ZymraFit.h"

class QCheckBox;
class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;
class TFrmPnlStart;
class TPaxChart;
class TPaxDecimalEdit;
class TZymra;
class TZymra_Run;

// Asks for a measured-data file and keeps its values with the run, replacing any it had.
// False when the user cancelled or the file cannot be read; then one warning gives the
// reader's line and the run keeps what it had.
bool ImportMeasuredData(TZymra_Run& run, QWidget* parent);
// Asks whether to remove the run's measured data; true when they were removed.
bool RemoveMeasuredData(TZymra_Run& run, QWidget* parent);

class TFrmFit : public QWidget {
  Q_OBJECT

 public:
  explicit TFrmFit(TZymra& project, QWidget* parent = nullptr);
  // A fit still going is cancelled and waited for (it stops within an evaluation).
  ~TFrmFit() override;

  // Shows the run's caption and data and fills the bounds around its values. nullptr: nothing.
  void ShowRun(TZymra_Run* run);
  // Starts the fit of the checked constants; false when the input is bad (the reason was
  // shown) or a fit is going.
  bool Start();
  void Cancel();
  bool Running() const;
  // The last fit's result, when it ended without failing or being cancelled.
  const TFitResult* Result() const;
  // Milliseconds from the last Cancel to the end of the fit's thread; -1 without one.
  double CancelMilliseconds() const { return FCancelMs; }
  // Writes the estimates into the run's real constants through the start page, so its
  // Undo shows the values from before. Only for a prepared run still in the project.
  bool ApplyEstimates();
  // Adds a run after the fitted one whose feed design and real constants are the
  // estimates (the other real constants as the run had them), so that its practice
  // culture grows at µset. Returns it, or nullptr when there is no result.
  TZymra_Run* DesignNextRun();

  // Where applying goes (the program's start page); without one the run is written directly.
  TFrmPnlStart* StartPage = nullptr;
  // Adds a run after the given one as the main window does (navigation included);
  // without it the project adds it.
  std::function<TZymra_Run*(TZymra_Run& after)> AddRunAfter;

  struct TConstantRow {
    QCheckBox* ChbEstimate;
    TPaxDecimalEdit* EdtLow;
    TPaxDecimalEdit* EdtHigh;
  };
  QLabel* LblCaption;
  QLabel* LblData;
  TConstantRow Rows[kFitConstantCount];
  QSpinBox* SpnSeed;
  QSpinBox* SpnThreads;
  QCheckBox* ChbProfile;
  QPushButton* BtnStart;
  QPushButton* BtnCancel;
  QProgressBar* PrgFit;
  QLabel* LblStatus;
  QTableWidget* TblEstimates;
  QPlainTextEdit* MmoWarnings;
  TPaxChart* CrtResiduals;
  QPushButton* BtnApply;
  QPushButton* BtnDesign;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct TJob;
  // The run if it is still the project's (the one the window was opened for).
  TZymra_Run* LiveRun() const;
  void FillBounds();
  void UpdateControls();
  void PollFit();
  void FinishFit();
  void ShowResult();
  void StopAndJoin();

  TZymra& FProject;
  TZymra_Run* FRun = nullptr;
  std::string FRunID;
  TFitProblem FShown;  // the run's records and data as last shown
  std::unique_ptr<TJob> FJob;
  QTimer* FPoll;
  double FCancelMs = -1;
};

// Opens the fit window for the run as a window of its own beside the main window (not
// modal); it is deleted when closed, and with its parent.
TFrmFit* ShowFitWindow(TZymra& project, TZymra_Run& run, TFrmPnlStart* startPage,
                       std::function<TZymra_Run*(TZymra_Run&)> addRunAfter, QWidget* parent);
