#pragma once
// Paths and file dialogs of the desktop program.
#include <QString>

#include <string>

class QWidget;
class TStreamNode;
struct TStreamProfile;

// The absolute, cleaned form of a path with "/" separators; the canonical form
// (links resolved, names as stored) when the file or folder exists. A trailing
// "/" is kept. An empty path stays empty.
QString NormalizePath(const QString& path);

// Folder of the program file as NormalizePath gives it, ending in "/".
QString ProgramDir();

// What a file dialog is set up with before it is shown, and what it returned.
struct TFileDialogSettings {
  QString Title;
  QString Filter;         // Qt form: "Zymra Simulation Files (*.zym)"
  QString DefaultSuffix;  // without the dot: "zym"
  QString Directory;      // start folder
  QString FileName;       // proposed name (save), the chosen name afterwards
};

// A stored filter "Text|pattern[|Text|pattern...]" in Qt's form
// "Text (pattern);;Text (pattern)". Texts are Windows-1252 bytes.
QString QtDialogFilter(const std::string& filter);

// Filter and default suffix of the node's file type; the start folder is the one last used
// for projects (ProjectDialogFolder).
void SetupDialog(TFileDialogSettings& dialog, const TStreamProfile& profile);
void SetupOpenDialog(TFileDialogSettings& dialog, const TStreamNode& node);
void SetupSaveDialog(TFileDialogSettings& dialog, const TStreamNode& node);

// Shows the dialog through ZymraUi(); true with dialog.FileName set when the
// user confirmed, false (FileName unchanged) when cancelled.
bool ExecuteOpenDialog(TFileDialogSettings& dialog, QWidget* parent);
bool ExecuteSaveDialog(TFileDialogSettings& dialog, QWidget* parent);
// Sets the dialog up from the profile first.
bool ExecuteSaveDialog(TFileDialogSettings& dialog, const TStreamProfile& profile, QWidget* parent);
