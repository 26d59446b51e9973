#include "ZymraPrint.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

#include <exception>

#include "LibZymra.h"
#include "ZymraReport.h"
#include "ZymraUi.h"

namespace {
QString PrinterName(const QPrinter& printer) {
  if (!printer.outputFileName().isEmpty()) return printer.outputFileName();
  return printer.printerName();
}
}  // namespace

bool PrintGlp(QPrinter& printer, const TZymra_Run& run, const std::string& versionText, QString& error) {
  error.clear();
  // Laid out before the job starts: nothing can fail between begin and the first page.
  const std::vector<std::string> lines = GlpPrintLines(run, versionText);

  QPainter painter;
  if (!painter.begin(&printer)) {
    const QString name = PrinterName(printer);
    error = name.isEmpty() ? QStringLiteral("The printer could not be started.")
                           : QStringLiteral("The printer could not be started: %1").arg(name);
    return false;
  }
  bool ok = true;
  try {
    const QFontMetrics metrics(painter.font(), &printer);
    const int lineHeight = metrics.size(Qt::TextSingleLine, QStringLiteral("Dummy")).height();
    const int pageHeight = printer.height();
    int page = 0;
    for (const TGlpPlacement& place : GlpPageLayout(lines, pageHeight, lineHeight)) {
      if (place.Page != page) {
        if (!printer.newPage()) {
          error = QStringLiteral("The printer refused a new page.");
          ok = false;
          break;
        }
        page = place.Page;
      }
      // Placements give the top of a line; text is drawn on its base line.
      painter.drawText(QPoint(place.X, place.Y + metrics.ascent()), FromCp1252(place.Text));
    }
  } catch (const std::exception& e) {
    error = QStringLiteral("Printing failed: %1").arg(QString::fromLocal8Bit(e.what()));
    ok = false;
  }
  const bool ended = painter.end();
  if (ok && (!ended || printer.printerState() == QPrinter::Error)) {
    error = QStringLiteral("The printer reported an error: %1").arg(PrinterName(printer));
    ok = false;
  }
  return ok;
}
