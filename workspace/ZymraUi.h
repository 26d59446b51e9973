#pragma once
// What the pages need from the desktop around them: message boxes, file and
// print dialogs, the date pattern of the user's locale and text conversion.
// The dialogs are replaceable so that no test ever blocks on a modal window.
#include <QString>

#include <functional>
#include <string>

class QPrinter;
class QWidget;

struct TZymraUi {
  // A warning with a single OK button.
  std::function<void(QWidget* parent, const QString& text)> Warning;
  // A question with Yes/No (and Cancel where allowed); returns a QMessageBox::StandardButton.
  std::function<int(QWidget* parent, const QString& text, bool withCancel)> Question;
  // A file to open; empty when the user cancelled.
  std::function<QString(QWidget* parent, const QString& title, const QString& folder, const QString& filter)>
      OpenFileName;
  // A file to save to (fileName is proposed); empty when the user cancelled.
  std::function<QString(QWidget* parent, const QString& title, const QString& fileName, const QString& filter,
                        const QString& defaultSuffix)>
      SaveFileName;
  // Lets the user pick a printer (or a PDF file); false when cancelled.
  std::function<bool(QWidget* parent, QPrinter& printer)> SetupPrinter;
  // Where the folder last used for project files is kept (the desktop keeps it in the
  // user's settings; by default it lives as long as the program). Empty: none yet.
  std::function<QString()> ReadProjectFolder;
  std::function<void(const QString& folder)> WriteProjectFolder;
};

// The program-wide instance; it starts with Qt's own dialogs.
TZymraUi& ZymraUi();
// Puts Qt's dialogs back (tests that replaced some).
void ResetZymraUi();

// The folder in which dialogs for project files (open, save, import) and exports start: the
// one last used for a project when it still exists, else the user's documents folder (the
// home folder when there is none).
QString ProjectDialogFolder();
// Remembers the folder of a project file the user just opened, saved or imported.
void NoteProjectFolder(const QString& fileName);

// Record texts are Windows-1252 bytes; the screen speaks Unicode.
QString FromCp1252(const std::string& text);
std::string ToCp1252(const QString& text);

// The user's short date pattern in the report writer's letters (d, dd, m, mm, yy, yyyy).
std::string LocaleShortDatePattern();
