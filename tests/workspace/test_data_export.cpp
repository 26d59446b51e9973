// The modal dialog base and the data export dialog, driven through their buttons.
#include "DataExportTest.h"

#include "KelCmpAnimation.h"
#include "KelCmpGradient.h"
#include "LibZymra.h"
#include "ZymraHeadless.h"
#include "ZymraUi.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdlib>
#include <stdexcept>

#include <gtest/gtest.h>

namespace {

class TProbeDialog : public TFrmModal {
 public:
  bool Throw = false;
  bool Valid = false;
  int Applied = 0;
  QStringList Order;
  void PrepareDialog() override { Order << "Prepare"; }
  void InitControls() override { Order << "Init"; }
  void BeforeShow() override { Order << "BeforeShow"; }
  void AfterApply() override { Order << "AfterApply"; }
  bool ApplyValues() override {
    ++Applied;
    if (Throw) throw std::runtime_error("broken");
    if (!Valid) Errors << "first" << "second";
    return Valid;
  }
};

TEST_F(DialogTest, OkAppliesOrKeepsTheDialogWithTheErrors) {
  TProbeDialog dialog;
  TFrmModal::ShowModal = [](TFrmModal& d) {
    d.BtnOK->click();
    EXPECT_EQ(d.result(), mrRetry);
    static_cast<TProbeDialog&>(d).Valid = true;
    d.BtnOK->click();
    return d.result();
  };
  EXPECT_EQ(dialog.Execute(), mrOk);
  EXPECT_EQ(dialog.Order, QStringList({"Prepare", "Init", "BeforeShow", "AfterApply"}));
  EXPECT_EQ(dialog.Applied, 2);
  ASSERT_EQ(Warnings.size(), 1);
  EXPECT_EQ(Warnings[0], "Eingaben sind nicht Plausibel.\r\rfirst\r\nsecond");
  EXPECT_TRUE(dialog.Errors.isEmpty());
}

TEST_F(DialogTest, CancelSkipsApplyAndAnExceptionAborts) {
  TProbeDialog dialog;
  TFrmModal::ShowModal = [](TFrmModal& d) {
    d.BtnCancel->click();
    return d.result();
  };
  EXPECT_EQ(dialog.Execute(), mrCancel);
  EXPECT_EQ(dialog.Applied, 0);

  TProbeDialog throwing;
  throwing.Throw = true;
  TFrmModal::ShowModal = [](TFrmModal& d) {
    d.BtnOK->click();
    return d.result();
  };
  EXPECT_EQ(throwing.Execute(), mrAbort);
  EXPECT_TRUE(Warnings.isEmpty());

  TFrmModal::ShowModal = [](TFrmModal&) -> int { throw std::runtime_error("loop failed"); };
  EXPECT_EQ(dialog.Execute(), mrAbort);
}

TEST_F(DialogTest, ClosingWithoutOkPlaysTheAnimationOnlyWhenAsked) {
  for (bool animate : {true, false}) {
    TProbeDialog dialog;
    dialog.resize(200, 120);
    dialog.AnimateOnCancel = animate;
    dialog.show();
    dialog.BtnCancel->click();
    EXPECT_EQ(dialog.PaxFormAnimation1->FramesShown() > 0, animate);
    EXPECT_FALSE(dialog.isVisible());
  }
  // A second close while the animation runs events (a timer, a queued click) is ignored
  // instead of starting the animation over inside the first.
  int oneClose = 0;
  for (bool again : {false, true}) {
    TProbeDialog dialog;
    dialog.resize(200, 120);
    dialog.show();
    QTimer repeat;
    QObject::connect(&repeat, &QTimer::timeout, &dialog, &QDialog::reject);
    if (again) repeat.start(0);
    dialog.reject();
    repeat.stop();
    if (!again) oneClose = dialog.PaxFormAnimation1->FramesShown();
    EXPECT_EQ(dialog.PaxFormAnimation1->FramesShown(), oneClose);
    EXPECT_FALSE(dialog.isVisible());
  }
  TProbeDialog dialog;
  dialog.Valid = true;
  dialog.resize(200, 120);
  dialog.show();
  // A full gradient covers the whole dialog, not only the header band.
  EXPECT_EQ(dialog.PaxGradient->geometry(), QRect(0, 0, 200, 120));
  dialog.BtnOK->click();
  EXPECT_EQ(dialog.PaxFormAnimation1->FramesShown(), 0);
  EXPECT_EQ(dialog.result(), mrOk);
}

TEST_F(DataExport, ProposesTheCaptionBesideTheProjectOrWhereProjectsAreKept) {
  QString proposed;
  TFrmModal::ShowModal = [&proposed](TFrmModal& d) {
    proposed = static_cast<TFrmModalDataExport&>(d).edtFilename->text();
    d.BtnCancel->click();
    return d.result();
  };
  EXPECT_EQ(ShowDataExport(*run), mrCancel);
  EXPECT_EQ(proposed, Dir.filePath("Run1 default.csv"));

  TZymra fresh;
  TZymra_Run* unsaved = fresh.AddRun();
  unsaved->Params.Title.Assign("a/b\xB5" "c");
  QTemporaryDir kept;
  NoteProjectFolder(kept.filePath("last.zym"));
  EXPECT_EQ(ShowDataExport(*unsaved), mrCancel);
  EXPECT_EQ(proposed, QDir(kept.path()).filePath(QString::fromUtf8("Run1 a_b\u00B5c.csv")));
}

TEST_F(DataExport, MissingFolderKeepsTheDialogOpenAndCancelWritesNothing) {
  const QString target = Dir.filePath("missing/out.csv");
  int retry = 0;
  QString userAfter;
  TFrmModal::ShowModal = [&](TFrmModal& d) {
    auto& dialog = static_cast<TFrmModalDataExport&>(d);
    dialog.edtUser->setText("Ann");
    dialog.edtFilename->setText(target);
    dialog.BtnOK->click();
    retry = dialog.result();
    userAfter = dialog.edtUser->text();
    dialog.BtnCancel->click();
    return dialog.result();
  };
  EXPECT_EQ(ShowDataExport(*run), mrCancel);
  EXPECT_EQ(retry, mrRetry);
  EXPECT_EQ(userAfter, "Ann");
  ASSERT_EQ(Warnings.size(), 1);
  EXPECT_TRUE(Warnings[0].startsWith(QString::fromUtf8("CSV-file couldn\u00B4t be saved. Check the reason and try again.\r\r"
                                                        "Cannot create file \"")))
      << Warnings[0].toStdString();
  EXPECT_TRUE(Warnings[0].contains("missing/out.csv")) << Warnings[0].toStdString();
  EXPECT_FALSE(QFile::exists(target));
}

TEST_F(DataExport, BrowseProposesTheNameAndTakesTheChosenFile) {
  QStringList asked;
  QString answer = Dir.filePath("picked.csv");
  ZymraUi().SaveFileName = [&](QWidget*, const QString&, const QString& fileName, const QString& filter,
                               const QString& suffix) {
    asked << fileName << filter << suffix;
    return answer;
  };
  QStringList shown;
  TFrmModal::ShowModal = [&](TFrmModal& d) {
    auto& dialog = static_cast<TFrmModalDataExport&>(d);
    dialog.Button1->click();
    shown << dialog.edtFilename->text();
    answer.clear();  // the user cancels the second time
    dialog.Button1->click();
    shown << dialog.edtFilename->text();
    dialog.BtnCancel->click();
    return dialog.result();
  };
  ShowDataExport(*run);
  EXPECT_EQ(asked.mid(0, 3), QStringList({Dir.filePath("Run1 default.csv"), "Tabulator Seperated CSV File (*.csv)", "csv"}));
  EXPECT_EQ(shown, QStringList({Dir.filePath("picked.csv"), Dir.filePath("picked.csv")}));
}

// A comment of several lines stays in its one Comment row: its breaks become blanks.
TEST_F(DataExport, TextsGoToTheFileOnOneLineEach) {
  const QString target = Dir.filePath("typed.csv");
  TFrmModal::ShowModal = [&](TFrmModal& d) {
    auto& dialog = static_cast<TFrmModalDataExport&>(d);
    dialog.edtUser->setText(QString::fromUtf8("J\u00FCrgen"));
    dialog.mmoComment->setPlainText(QString::fromUtf8("line one\n\u00B5 two"));
    dialog.edtFilename->setText(target);
    dialog.BtnOK->click();
    return dialog.result();
  };
  EXPECT_EQ(ShowDataExport(*run), mrOk);
  const QByteArray written = ReadAll(target);
  EXPECT_TRUE(written.contains("\r\nUser Name\tJ\xFCrgen\t\r\nComment\tline one \xB5 two\t\r\n"));
  EXPECT_EQ(written.count('\n'), written.count("\r\n"));
}

TEST_F(DataExport, Screenshot) {
  TFrmModalDataExport dialog;
  dialog.Run = run;
  dialog.FullGradient = false;
  dialog.InitControls();
  dialog.edtUser->setText("Ann");
  dialog.mmoComment->setPlainText("Fed batch\nsecond line");
  dialog.show();
  const QImage shot = dialog.grab().toImage();
  EXPECT_EQ(shot.size() / shot.devicePixelRatio(), QSize(347, 237));
  EXPECT_EQ(dialog.PaxGradient->geometry(), QRect(0, 0, 347, 49));
  // The header band is darker than the dialog face below it.
  EXPECT_LT(shot.pixelColor(340, 2).lightness() + 40, shot.pixelColor(340, 60).lightness());
  EXPECT_TRUE(shot.save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/data_export.png")));
}

}  // namespace
