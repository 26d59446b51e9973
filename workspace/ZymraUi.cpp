#include "ZymraUi.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardPaths>

#include <memory>

#include "KelStrings.h"

namespace {
// Message texts carry CR LF and lone CR line breaks; a Qt label breaks lines at LF only.
QString ScreenLines(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

TZymraUi QtDialogs() {
  TZymraUi ui;
  ui.Warning = [](QWidget* parent, const QString& text) {
    QMessageBox::warning(parent, QStringLiteral("Zymra"), ScreenLines(text), QMessageBox::Ok);
  };
  ui.Question = [](QWidget* parent, const QString& text, bool withCancel) {
    auto buttons = QMessageBox::Yes | QMessageBox::No;
    if (withCancel) buttons |= QMessageBox::Cancel;
    return static_cast<int>(QMessageBox::question(parent, QStringLiteral("Zymra"), ScreenLines(text), buttons));
  };
  ui.OpenFileName = [](QWidget* parent, const QString& title, const QString& folder, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, folder, filter);
  };
  ui.SaveFileName = [](QWidget* parent, const QString& title, const QString& fileName, const QString& filter,
                       const QString& defaultSuffix) {
    QFileDialog dialog(parent, title, fileName, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(fileName);
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                  : QString();
  };
  ui.SetupPrinter = [](QWidget* parent, QPrinter& printer) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
  };
  auto remembered = std::make_shared<QString>();
  ui.ReadProjectFolder = [remembered] { return *remembered; };
  ui.WriteProjectFolder = [remembered](const QString& folder) { *remembered = folder; };
  return ui;
}
}  // namespace

TZymraUi& ZymraUi() {
  static TZymraUi ui = QtDialogs();
  return ui;
}

void ResetZymraUi() { ZymraUi() = QtDialogs(); }

QString ProjectDialogFolder() {
  const QString last = ZymraUi().ReadProjectFolder ? ZymraUi().ReadProjectFolder() : QString();
  if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
  return QDir::homePath();
}

void NoteProjectFolder(const QString& fileName) {
  if (fileName.isEmpty() || !ZymraUi().WriteProjectFolder) return;
  const QString folder = QFileInfo(fileName).absolutePath();
  if (folder != (ZymraUi().ReadProjectFolder ? ZymraUi().ReadProjectFolder() : QString()))
    ZymraUi().WriteProjectFolder(folder);
}

QString FromCp1252(const std::string& text) { return QString::fromStdString(Cp1252ToUtf8(text)); }

std::string ToCp1252(const QString& text) { return Utf8ToCp1252(text.toStdString()); }

std::string LocaleShortDatePattern() {
  // Qt's pattern letters: d/dd day, M/MM month (MMM names: shown as numbers here), yy/yyyy year.
  const QString qt = QLocale().dateFormat(QLocale::ShortFormat);
  std::string out;
  for (int i = 0; i < qt.size();) {
    const QChar c = qt[i];
    int n = 1;
    while (i + n < qt.size() && qt[i + n] == c) ++n;
    if (c == QLatin1Char('d')) {
      out += n >= 2 ? "dd" : "d";
    } else if (c == QLatin1Char('M')) {
      out += n >= 2 ? "mm" : "m";
    } else if (c == QLatin1Char('y')) {
      out += n >= 3 ? "yyyy" : "yy";
    } else if (c == QLatin1Char('\'')) {
      // Quoted literal text.
      int j = i + 1;
      while (j < qt.size() && qt[j] != QLatin1Char('\'')) out += qt[j++].toLatin1();
      i = j + 1;
      continue;
    } else {
      out += QString(n, c).toStdString();
    }
    i += n;
  }
  return out;
}
