#pragma once
// The start page: the process constants of one run, checked against fixed
// bounds before the navigation stores them into the run.
#include <QWidget>

#include <string>

#include "ZymraRecords.h"

class QCheckBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class TPaxDecimalEdit;
class TZymra;
class TZymra_Run;

class TFrmPnlStart : public QWidget {
  Q_OBJECT
 public:
  explicit TFrmPnlStart(TZymra& project, QWidget* parent = nullptr);
  // The size at which every group shows without scrolling.
  QSize sizeHint() const override;

  // Makes the run the project's current run and shows it; nullptr does nothing.
  void ShowRun(TZymra_Run* run);
  // The caption and Reset follow the run's state (a run that finished or paused on its
  // own while the page is shown); the inputs stay as typed. nullptr does nothing.
  void ShowRunState(TZymra_Run* run);
  // Every check on the values as typed; false after one warning listing each failure.
  bool CheckValues();
  // Writes the controls into the current run.
  void StoreValues();
  void ShowValues(const TRunParameters& params, const TRunBatchParameters& batch, const std::string* comment);
  void EnableEditing(bool enabled);
  void EnableBatchInputs(bool batchOn);
  // The controls' values over the given records (fields without a control keep theirs).
  void ReadValues(TRunParameters& params, TRunBatchParameters& batch) const;
  // Writes values from outside the page (a fit's estimates) into a prepared run; where
  // the page shows that run, the inputs whose run value changed show the new one. Undo
  // then shows the run's values from before, until the page next stores changed
  // values into the run. False for a run that is not prepared.
  bool ApplyValues(TZymra_Run& run, const TRunParameters& params, const TRunBatchParameters& batch);

  void BtnResetClick();
  void BtnSetFefaultValuesClick();
  void BtnUndoClick();
  void BtnAssignFromLastRunClick();
  void BtnImportClick();
  void BtnAssignRealClick();
  void BtnAssignCalcClick();
  void ChbIsBatchClick();

  QWidget* PnlHeader;
  QLabel* LblHeader;
  QLabel* LblCaption;
  QScrollArea* ScbStart;

  QLineEdit* EdtTitle;
  QPlainTextEdit* MmoComment;
  TPaxDecimalEdit* EdtReactorSize;
  TPaxDecimalEdit* EdtSimInerval;
  QLabel* lblBatch;
  QCheckBox* ChbIsBatch;
  TPaxDecimalEdit* edtBatchStartVol;
  TPaxDecimalEdit* edtBatchOD;
  TPaxDecimalEdit* EdtBatchumax;
  TPaxDecimalEdit* EdtBatchSubConc;
  TPaxDecimalEdit* EdtReactorVol;
  TPaxDecimalEdit* EdtOD;
  TPaxDecimalEdit* EdtDryMassPerOD;
  TPaxDecimalEdit* EdtYield;
  TPaxDecimalEdit* EdtMaintenance;
  TPaxDecimalEdit* EdtCSubstr;
  TPaxDecimalEdit* EdtDryMassPerOD_Real;
  TPaxDecimalEdit* EdtYield_Real;
  TPaxDecimalEdit* EdtMaintenance_Real;
  TPaxDecimalEdit* EdtCSubstr_Real;
  TPaxDecimalEdit* EdtUset;
  TPaxDecimalEdit* EdtTargetOD;
  TPaxDecimalEdit* EdtuCritical;
  TPaxDecimalEdit* EdtODCritical;
  QCheckBox* ChbStopbyucrit;
  TPaxDecimalEdit* EdtYxo;

  QPushButton* BtnReset;
  QPushButton* BtnSetFefaultValues;
  QPushButton* BtnUndo;
  QPushButton* BtnAssignFromLastRun;
  QPushButton* BtnImport;
  QPushButton* BtnAssignReal;
  QPushButton* BtnAssignCalc;

 private:
  void StoreValuesInto(TZymra_Run* run);
  TPaxDecimalEdit* AddNumber(QWidget* group, int row, const char* name, const QString& label, int decimals,
                             bool emptyOnZero, const QColor* background = nullptr);
  QPushButton* MakeButton(const char* name, const QString& caption, const QString& hint);

  TZymra& Project;
  QHBoxLayout* FButtons = nullptr;
  // The records of the run (by ID: a removed run's address may come back) before values
  // were last applied to it from outside the page.
  struct TBeforeApply {
    std::string RunID;
    TRunParameters Params{};
    TRunBatchParameters Batch{};
  } FBeforeApply;
};
