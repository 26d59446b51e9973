#pragma once
// The data export: one run's parameters and series as a tab-separated file,
// with a user name and a comment typed in by the user.
#include <QString>

#include "LibFrmModal.h"
#include "KelStreamList.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class TZymra_Run;

class TFrmModalDataExport : public TFrmModal {
  Q_OBJECT
 public:
  explicit TFrmModalDataExport(QWidget* parent = nullptr);

  // The run to export; only read.
  TZymra_Run* Run = nullptr;

  // Lets the user pick the file through the save dialog.
  void Button1Click();

  void InitControls() override;
  // Writes the file; false (the reason in Errors) when it could not be written.
  bool ApplyValues() override;
  QString ErrorText() const override;

  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* LblUser;
  QLabel* LblFilename;
  QLineEdit* edtUser;
  QPlainTextEdit* mmoComment;
  QLineEdit* edtFilename;
  QPushButton* Button1;
};

// The profile of export files (filter text and extension of the save dialog).
TStreamProfile ExportFileProfile();
// The save dialog's filter built from the profile.
QString ExportFileFilter();

// Where a run's export goes unless the user picks another file: the run's
// caption + ".csv" in the folder of the project's file, or in the home folder
// when the project has not been saved yet.
QString ProposedExportFileName(const TZymra_Run& run);

// Shows the export dialog for a run; the modal result (mrOk after a written file).
int ShowDataExport(TZymra_Run& run, QWidget* parent = nullptr);
