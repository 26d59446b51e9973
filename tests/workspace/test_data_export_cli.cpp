// The data export dialog against the command-line tool's export of the same project. Kept
// apart from the dialog's other tests: it starts the tool as a process of its own, after
// which a thread checker's reports on the workers can no longer be trusted.
#include "DataExportTest.h"

#include "LibZymra.h"
#include "ZymraHeadless.h"
#include "ZymraReport.h"
#include "ZymraUi.h"

#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

namespace {

// The dialog writes what the command-line tool writes for the same saved project.
TEST_F(DataExport, WrittenFileEqualsTheCommandLineExport) {
  const QString cli = QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/../../app/zymra-cli");
  if (!QFile::exists(cli)) GTEST_SKIP() << "zymra-cli is not built in this build folder";
  // The tool dates its reports year-month-day; a locale with that short pattern lets the files match.
  QLocale::setDefault(QLocale(QLocale::Swedish, QLocale::Sweden));
  ASSERT_EQ(LocaleShortDatePattern(), "yyyy-mm-dd");

  const QString mine = Dir.filePath("dialog.csv");
  const QString theirs = Dir.filePath("cli.csv");
  TFrmModal::ShowModal = [&](TFrmModal& d) {
    auto& dialog = static_cast<TFrmModalDataExport&>(d);
    dialog.edtUser->setText("U");
    dialog.mmoComment->setPlainText("C");
    dialog.edtFilename->setText(mine);
    dialog.BtnOK->click();
    return dialog.result();
  };
  // The tool reads the saved project, which keeps no substrate series: export the same loaded run.
  TZymra loaded;
  ASSERT_TRUE(loaded.LoadFromFile(QFile::encodeName(ProjectFile).toStdString())) << loaded.LastError;
  ASSERT_EQ(loaded.RunCount(), 1);
  EXPECT_EQ(ShowDataExport(*loaded.Run(0)), mrOk);
  EXPECT_TRUE(Warnings.isEmpty());
  const QString command = QStringLiteral("'%1' export '%2' --run 1 --user U --comment C --out '%3' >/dev/null")
                              .arg(cli, ProjectFile, theirs);
  ASSERT_EQ(std::system(QFile::encodeName(command).constData()), 0);
  const QByteArray written = ReadAll(mine);
  EXPECT_GT(written.count("\r\n"), 45);
  EXPECT_TRUE(written.contains("\r\nUser Name\tU\t\r\nComment\tC\t\r\n"));
  EXPECT_EQ(written.toStdString(), ReadAll(theirs).toStdString());
}

}  // namespace
