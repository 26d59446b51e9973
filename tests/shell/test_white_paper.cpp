// The white paper built beside the program, read back with pdftotext. Kept apart from the
// help window's tests: it starts a helper process, after which a thread checker's reports
// can no longer be trusted.
#include "QtTestApp.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

QString BuiltWhitePaper() {
  return QDir(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/../../app")).absoluteFilePath(QStringLiteral("Zymra Simulation.pdf"));
}

TEST(WhitePaper, IsBuiltBesideTheProgramWithItsTitle) {
#ifdef ZYMRA_NO_WHITE_PAPER
  GTEST_SKIP() << "this build does not generate the white paper";
#endif
  const QString pdf = BuiltWhitePaper();
  ASSERT_TRUE(QFileInfo(pdf).isFile()) << pdf.toStdString();
  EXPECT_GT(QFileInfo(pdf).size(), 20000);
  const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
  if (tool.isEmpty()) GTEST_SKIP() << "pdftotext is not installed";
  QProcess run;
  run.start(tool, {QStringLiteral("-l"), QStringLiteral("2"), pdf, QStringLiteral("-")});
  ASSERT_TRUE(run.waitForFinished(30000));
  const QString text = QString::fromUtf8(run.readAllStandardOutput());
  EXPECT_TRUE(text.contains(QStringLiteral("Zymra Simulation"))) << text.left(400).toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("exponential feed"), Qt::CaseInsensitive));
}

}  // namespace
