#include "UntDataExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "KelCmpGradient.h"
#include "LibZymra.h"
#include "ZymraReport.h"
#include "ZymraUi.h"

namespace {

// The wait cursor while the file is written; restored on every way out.
class TWaitCursor {
 public:
  TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->move(x, y);
  label->adjustSize();
  return label;
}

}  // namespace

TStreamProfile ExportFileProfile() { return TStreamProfile::Make("0.0.1", ".csv", "", "Tabulator Seperated CSV File"); }

QString ExportFileFilter() {
  // The profile keeps the bare extension where project profiles keep a pattern; the dialog needs the pattern.
  const TStreamProfile profile = ExportFileProfile();
  return FromCp1252(profile.FilterText.Str()) + QStringLiteral(" (*") + FromCp1252(profile.DefaultExt.Str()) +
         QLatin1Char(')');
}

QString ProposedExportFileName(const TZymra_Run& run) {
  QString name = FromCp1252(run.RunCaption()) + QStringLiteral(".csv");
  // A title may hold a slash, which would silently point into another folder.
  name.replace(QLatin1Char('/'), QLatin1Char('_'));
  name.replace(QLatin1Char('\\'), QLatin1Char('_'));
  // Beside the project; an unsaved one where projects are kept.
  QString folder = ProjectDialogFolder();
  if (const TZymra* project = run.Owner(); project && !project->StreamSettings.FileName.empty())
    folder = QFileInfo(QFile::decodeName(project->StreamSettings.FileName.c_str())).absolutePath();
  return QDir(folder).absoluteFilePath(name);
}

TFrmModalDataExport::TFrmModalDataExport(QWidget* parent) : TFrmModal(parent) {
  setObjectName(QStringLiteral("FrmModalDataExport"));
  setWindowTitle(QStringLiteral("Data Export"));
  setFixedSize(347, 237);
  PaxGradient->resize(347, 49);

  Label2 = MakeLabel(this, "Label2", QStringLiteral("Data Export"), 13, 12);
  Label2->setFont(ModalFormFont(19));
  Label2->adjustSize();
  Label2->setAttribute(Qt::WA_TranslucentBackground);
  // The larger caption lies behind the bold one as a light relief.
  QPalette relief = Label2->palette();
  relief.setColor(QPalette::WindowText, relief.color(QPalette::Light));
  Label2->setPalette(relief);
  Label1 = MakeLabel(this, "Label1", QStringLiteral("Data Export"), 12, 16);
  Label1->setFont(ModalFormFont(16, true));
  Label1->adjustSize();
  Label1->setAttribute(Qt::WA_TranslucentBackground);

  LblUser = MakeLabel(this, "LblUser", QStringLiteral("Username"), 8, 61);
  edtUser = new QLineEdit(this);
  edtUser->setObjectName(QStringLiteral("edtUser"));
  edtUser->setGeometry(8, 77, 121, 21);
  LblUser->setBuddy(edtUser);

  Label3 = MakeLabel(this, "Label3", QStringLiteral("Comment"), 144, 61);
  mmoComment = new QPlainTextEdit(this);
  mmoComment->setObjectName(QStringLiteral("mmoComment"));
  mmoComment->setGeometry(144, 77, 185, 45);
  QPalette tip = mmoComment->palette();
  tip.setColor(QPalette::Base, QPalette().color(QPalette::ToolTipBase));
  tip.setColor(QPalette::Text, QPalette().color(QPalette::ToolTipText));
  mmoComment->setPalette(tip);
  mmoComment->setTabChangesFocus(true);
  Label3->setBuddy(mmoComment);

  LblFilename = MakeLabel(this, "LblFilename", QStringLiteral("Filename"), 8, 127);
  edtFilename = new QLineEdit(this);
  edtFilename->setObjectName(QStringLiteral("edtFilename"));
  edtFilename->setGeometry(8, 143, 325, 21);
  LblFilename->setBuddy(edtFilename);

  Button1 = new QPushButton(QStringLiteral("&Browse"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setAutoDefault(false);
  Button1->setGeometry(8, 167, 77, 25);
  connect(Button1, &QPushButton::clicked, this, &TFrmModalDataExport::Button1Click);

  setTabOrder(edtUser, mmoComment);
  setTabOrder(mmoComment, edtFilename);
  setTabOrder(edtFilename, Button1);
  setTabOrder(Button1, BtnOK);
  setTabOrder(BtnOK, BtnCancel);
}

void TFrmModalDataExport::InitControls() {
  edtUser->clear();
  edtFilename->setText(Run ? ProposedExportFileName(*Run) : QString());
  mmoComment->clear();
}

void TFrmModalDataExport::Button1Click() {
  const QString chosen = ZymraUi().SaveFileName(this, windowTitle(), edtFilename->text(), ExportFileFilter(),
                                                QStringLiteral("csv"));
  if (!chosen.isEmpty()) edtFilename->setText(chosen);
}

bool TFrmModalDataExport::ApplyValues() {
  if (!Run) return false;
  TWaitCursor busy;
  TReportContext context;
  context.VersionText = TZymra::VersionText();
  context.ShortDateFormat = LocaleShortDatePattern();
  std::string error;
  // File names are in the file system's encoding; user texts become record text (Windows-1252).
  const bool written = WriteReport(*Run, QFile::encodeName(edtFilename->text()).toStdString(),
                                   ToCp1252(edtUser->text()), ToCp1252(mmoComment->toPlainText()), context, error);
  // The reason holds the file name and the system's message, both in the local encoding.
  if (!written) Errors << QString::fromLocal8Bit(error);
  return written;
}

QString TFrmModalDataExport::ErrorText() const {
  return QStringLiteral("CSV-file couldn\u00B4t be saved. Check the reason and try again.");
}

int ShowDataExport(TZymra_Run& run, QWidget* parent) {
  TFrmModalDataExport dialog(parent);
  dialog.Run = &run;
  dialog.FullGradient = false;
  return dialog.Execute();
}
