// The chart page printed to PDF and read back with poppler's tools. Kept apart from the
// page's other tests: these start helper processes, after which a thread checker's
// reports on the workers can no longer be trusted.
#include "QtTestApp.h"
#include "LibZymra.h"
#include "PaxChart.h"
#include "UntZymraChart.h"
#include "ZymraHeadless.h"
#include "ZymraUi.h"

#include <QAction>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <iostream>

#include <gtest/gtest.h>

namespace {

QString TestOutput(const QString& file) { return QStringLiteral(ZYMRA_TEST_OUTPUT_DIR) + QLatin1Char('/') + file; }

TEST(ChartPagePrint, PrintsOnePageWithTheTitle) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* run = project.AddRun();
  THeadlessOptions options;
  options.MaxSteps = 300;
  RunHeadless(sync, {run}, options);
  TFrmZymraChart chart(project);
  chart.resize(900, 620);
  chart.show();  // printing takes the chart's size on screen
  TFrmZymraChart* page = &chart;
  page->SetTag(0);
  page->ShowRun(run);
  const QString path = TestOutput("chart_page_print.pdf");
  QFile::remove(path);
  int setups = 0;
  ZymraUi().SetupPrinter = [&](QWidget*, QPrinter& printer) {
    ++setups;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    return true;
  };
  QString warning;
  ZymraUi().Warning = [&](QWidget*, const QString& text) { warning = text; };
  page->ActPrint->trigger();
  EXPECT_EQ(setups, 1);
  EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();
  ASSERT_TRUE(QFile::exists(path));
  const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
  const QString pdfinfo = QStandardPaths::findExecutable("pdfinfo");
  if (!pdftotext.isEmpty() && !pdfinfo.isEmpty()) {
    QProcess info;
    info.start(pdfinfo, {path});
    ASSERT_TRUE(info.waitForFinished(20000));
    EXPECT_TRUE(QString::fromUtf8(info.readAllStandardOutput()).contains(QRegularExpression("Pages:\\s+1\\n")));
    QProcess text;
    text.start(pdftotext, {path, "-"});
    ASSERT_TRUE(text.waitForFinished(20000));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(printed.contains("Optical Density Run [2.0.3- free edition for teaching and research]"))
        << printed.toStdString();
    EXPECT_TRUE(printed.contains("Fermentation Time /h"));
  } else {
    std::cout << "pdftotext or pdfinfo missing: the PDF's contents are not checked\n";
  }

  // A file that cannot be written is named in the warning; a cancelled dialog prints nothing.
  ZymraUi().SetupPrinter = [&](QWidget*, QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName("/nonexistent-dir/chart.pdf");
    return true;
  };
  page->ActPrint->trigger();
  EXPECT_TRUE(warning.contains("/nonexistent-dir/chart.pdf")) << warning.toStdString();
  warning.clear();
  ZymraUi().SetupPrinter = [&](QWidget*, QPrinter&) { return false; };
  page->ActPrint->trigger();
  EXPECT_TRUE(warning.isEmpty());
  page->LeaveRun();
  ResetZymraUi();
}

}  // namespace
