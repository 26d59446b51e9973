// The GLP print of the process page, read back with poppler's tools. Kept apart from the
// page's other tests: these start helper processes, after which a thread checker's
// reports on the workers can no longer be trusted.
#include "ProcessPageTest.h"

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>

#include "ZymraPrint.h"

namespace {

// ---- GLP print -------------------------------------------------------------------------------

QString Tool(const char* name) { return QStandardPaths::findExecutable(QString::fromLatin1(name)); }

QString PdfText(const QString& pdf) {
  QProcess p;
  p.start(Tool("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

int PdfPages(const QString& pdf) {
  QProcess p;
  p.start(Tool("pdfinfo"), {pdf});
  p.waitForFinished(30000);
  for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n'))
    if (line.startsWith("Pages:")) return line.mid(6).trimmed().toInt();
  return -1;
}

void ToPdf(QPrinter& printer, const QString& file) {
  QFile::remove(file);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(file);
}

class GlpPrint : public ProcessPage {
 protected:
  void SetUp() override {
    if (Tool("pdftotext").isEmpty() || Tool("pdfinfo").isEmpty()) GTEST_SKIP() << "poppler-utils not installed";
    ProcessPage::SetUp();
  }
};

TEST_F(GlpPrint, AnEmptyLogPrintsTheTwoHeaderLines) {
  TZymra_Run* run = Project->AddRun();
  QPrinter printer;
  const QString file = Output("glp_empty.pdf");
  ToPdf(printer, file);
  QString error;
  ASSERT_TRUE(PrintGlp(printer, *run, "2.0.3- free edition for teaching and research", error)) << error.toStdString();
  const QString text = PdfText(file);
  EXPECT_TRUE(text.contains("GLP REPORT [Run1 default]")) << text.toStdString();
  EXPECT_TRUE(text.contains("2.0.3- free edition for teaching and research")) << text.toStdString();
  EXPECT_EQ(PdfPages(file), 1);
}

TEST_F(GlpPrint, ALongLogRunsOverPagesInOrder) {
  TZymra_Run* run = Project->AddRun();
  QPrinter printer;
  const QString file = Output("glp_three_pages.pdf");
  ToPdf(printer, file);
  int perPage = 0;
  {
    // What fits on a page with the printer's font: its line height of "Dummy".
    QPainter probe(&printer);
    perPage = printer.height() / QFontMetrics(probe.font(), &printer).height();
    probe.end();
  }
  ASSERT_GT(perPage, 10);
  ToPdf(printer, file);
  // Three header lines, then entries up to the middle of page three (newest first).
  const int entries = 2 * perPage + perPage / 2 - 3;
  for (int i = 0; i < entries; ++i) run->EventLog.insert(0, "0:00:00 [h:mm:ss]\tEntry " + std::to_string(i) + "\r\n");
  run->EventLog.insert(0, "0:00:00 [h:mm:ss]\tMax. \xB5set reached\r\n");
  QString error;
  ASSERT_TRUE(PrintGlp(printer, *run, "v", error)) << error.toStdString();
  EXPECT_EQ(PdfPages(file), 3);
  const QString text = PdfText(file);
  const auto first = text.indexOf("Entry " + QString::number(entries - 1));
  const auto last = text.indexOf("Entry 0\n");
  EXPECT_GE(first, 0);
  EXPECT_GT(last, first);
  EXPECT_TRUE(text.contains(QString::fromUtf8("Max. \xC2\xB5set reached"))) << "Windows-1252 shown as Unicode";
  EXPECT_FALSE(text.contains('\t'));
}

TEST_F(GlpPrint, ThePagesPrintGoesThroughThePrinterSetupAndReportsFailures) {
  TZymra_Run* run = FedBatchRun(0);
  Page->ShowRun(run);
  Page->ActStart->trigger();
  Page->ActStop->trigger();
  ASSERT_TRUE(Page->ActPrintGLP->isEnabled());

  int asked = 0;
  QString target;
  ZymraUi().SetupPrinter = [&](QWidget*, QPrinter& printer) {
    ++asked;
    if (target.isEmpty()) return false;  // the user cancelled
    ToPdf(printer, target);
    return true;
  };
  Page->ActPrintGLP->trigger();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(Warnings.isEmpty());

  target = Output("glp_page.pdf");
  Page->ActPrintGLP->trigger();
  EXPECT_TRUE(Warnings.isEmpty()) << Warnings.join('\n').toStdString();
  const QString text = PdfText(target);
  EXPECT_TRUE(text.contains("GLP REPORT [Run1 default]"));
  EXPECT_TRUE(text.contains("Not Completed - Terminated By User"));

  target = QDir::temp().filePath("no-such-folder-zymra/glp.pdf");
  Page->ActPrintGLP->trigger();
  ASSERT_EQ(Warnings.size(), 1);
  EXPECT_TRUE(Warnings[0].contains("no-such-folder-zymra")) << Warnings[0].toStdString();
}

}  // namespace
