#pragma once
// The sweep page: many copies of the shown run, each with one or two of its constants
// varied on a grid or drawn at random, so the user sees how far OD, process time,
// overflow and the critical growth rate move when the organism's real constants scatter
// around the estimates the feed was designed with.
//
// The sweep runs on a plain thread of its own (which uses every core it is given); the
// page polls its progress counter with a timer and takes the result only once the
// thread has ended, so the window never waits for it. Cancel is honoured between two
// steps of every run: the runs that ended are kept and shown.
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "PaxBand.h"
#include "PaxChart.h"
#include "ZymraRecords.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;
class TPaxDecimalEdit;
class TZymra;
class TZymra_Run;

// A chart widget that fills its bands under the grid and the lines.
class TSweepBandChart : public TPaxChart {
  Q_OBJECT

 public:
  explicit TSweepBandChart(QWidget* parent = nullptr) : TPaxChart(parent) {}
  std::vector<TPaxBand> Bands;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A numeric input that a sweep can vary: the run field's name and the start page's caption.
struct TSweepInput {
  const char* Name;
  const char* Caption;  // UTF-8
  int Decimals;
};
// The real constants first, then the set points and the rest of the numeric inputs.
const std::vector<TSweepInput>& SweepInputs();

class TFrmSweep : public QWidget {
  Q_OBJECT

 public:
  explicit TFrmSweep(TZymra& project, QWidget* parent = nullptr);
  // A sweep still going is cancelled and waited for (it stops within a step).
  ~TFrmSweep() override;

  // Takes the run's records as the values common to every run of the sweep and fills
  // the ranges around its values. nullptr: does nothing.
  void ShowRun(TZymra_Run* run);
  // Starts the sweep of the page's values; false when the input is bad (the reason was
  // shown) or a sweep is going. A reason found by the sweep itself shows when it ends.
  bool Start();
  void Cancel();
  bool Running() const;
  // Writes every run's line (tab-separated) to a file the user picks and the summary
  // beside it ("NAME.summary.txt"); false when cancelled or failed (the reason was shown).
  bool Export();
  // Shows the band of chart kind 0 .. 4 of the last sweep.
  void ShowBand(int kind);

  // Runs in the last sweep's result (0 before any).
  long long ResultRuns() const;
  // Runs of the sweep going on that ended so far, and all its runs.
  long long DoneRuns() const;
  long long TotalRuns() const { return FTotal; }
  // Milliseconds from the last Cancel to the end of the sweep's thread; -1 without one.
  double CancelMilliseconds() const { return FCancelMs; }

  struct TVaryRow {
    QComboBox* CmbValue;
    QComboBox* CmbKind;  // "Grid", "Normal", "Uniform"
    QLabel* LblA;
    QLabel* LblB;
    QLabel* LblN;
    TPaxDecimalEdit* EdtA;
    TPaxDecimalEdit* EdtB;
    QSpinBox* SpnN;
  };
  QLabel* LblCaption;
  TVaryRow Vary[2];
  QCheckBox* ChbSecond;
  QSpinBox* SpnSamples;  // 0: 100 when a value is drawn at random, else 1
  QSpinBox* SpnSeed;
  QSpinBox* SpnThreads;
  QPushButton* BtnStart;
  QPushButton* BtnCancel;
  QPushButton* BtnExport;
  QProgressBar* PrgSweep;
  QLabel* LblStatus;
  QComboBox* CmbBand;
  TSweepBandChart* CrtBand;
  QTableWidget* TblSummary;

 protected:
  // Shown as a window of its own, Escape closes it, as it closes every dialog.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct TJob;
  // The run's records if it may be read now (runAlive: the caller knows it exists; else
  // only while the project holds it), else the copy taken last.
  bool TakeValues(QString& reason, bool runAlive);
  void FillRange(int row);
  void UpdateRangeLabels(int row);
  void UpdateControls();
  void PollSweep();
  void FinishSweep();
  void ShowSummary();
  void StopAndJoin();

  TZymra& FProject;
  TZymra_Run* FRun = nullptr;
  bool FHaveValues = false;
  TRunParameters FParams;
  TRunBatchParameters FBatch;
  std::unique_ptr<TJob> FJob;      // the sweep going on, or the last one
  long long FTotal = 0;
  QTimer* FPoll;
  double FCancelMs = -1;
};

// Opens the sweep page for the run as a window of its own beside the main window (not
// modal); it is deleted when closed, and with its parent.
void ShowSweepWindow(TZymra& project, TZymra_Run& run, QWidget* parent);
