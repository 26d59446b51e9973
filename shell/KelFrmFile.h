#pragma once
// Base window for editing one document kept in one file: New, Open, Save,
// Save As and Exit, the modified mark in the caption, the five most recent files,
// the window placement, a file named on the command line or dropped on the
// window. A derived window says what the document is through the seven hooks.
//
// Also the program-wide services of the shell: the per-user settings store, the
// replaceable message procedure and the nesting busy cursor.
#include <QMainWindow>
#include <QMessageBox>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "KelFiles.h"

class QAction;
class QMenu;
class QToolBar;
class TSettings;

// --- program-wide services ---------------------------------------------------------

// The per-user settings store (nullptr until one is set). The store is owned here
// and freed at program end or when another one is set.
TSettings* UserSettings();
void SetUserSettings(std::unique_ptr<TSettings> settings);
// Opens the per-user INI file of the running program (see UserSettingsFileName)
// and makes it UserSettings; the folder last used for projects is kept there too.
TSettings* OpenUserSettings();

// The recent-file list in the section "File History": "Count" and the names under
// "1".."Count", most recent first, each in single quotes (inner quotes doubled,
// and undoubled again on reading). Names are kept as UTF-8 so that any file
// name the file system allows comes back unchanged. Entries above the new count
// are removed.
// Entries above the new count are removed; the file is written at once, not only at exit.
void ReadFileHistory(TSettings& settings, QStringList& list);
void WriteFileHistory(TSettings& settings, const QStringList& list);
// The folder last used for project files (section "Folders", ident "Projects"); writing flushes.
QString ReadProjectFolderSetting(TSettings& settings);
void WriteProjectFolderSetting(TSettings& settings, const QString& folder);

// The program's title in window captions and message boxes ("Zymra 2.0.3"); until one is
// set, the application's name. Kept apart from Qt's application display name on purpose:
// the desktop appends that one to every window title, which would show the name twice.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

// Message flags are a QMessageBox::StandardButtons value or'ed with a
// QMessageBox::Icon (the icon takes the low three bits, which no button uses).
constexpr int MessageIconMask = 0x7;
inline int MessageFlags(QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) {
  return static_cast<int>(buttons.toInt()) | static_cast<int>(icon);
}
// Shows text with the application's title; returns the QMessageBox::StandardButton
// pressed (Cancel/Escape when the box was closed). Goes through the procedure below.
int ShowMessageText(const QString& text, int flags);
using TShowMessageText = std::function<int(const QString& text, int flags)>;
// Replaces the message procedure (tests); an empty function restores the default,
// a message box shown with the normal cursor even while the program is busy.
void SetShowMessageText(TShowMessageText procedure);

// Nesting busy cursor: the first BeginBusy shows the wait cursor, the EndBusy that
// brings the count back to 0 restores the normal one. Surplus EndBusy calls are harmless.
void BeginBusy();
void EndBusy();
int BusyCount();
class TBusy {
 public:
  TBusy() { BeginBusy(); }
  ~TBusy() { EndBusy(); }
  TBusy(const TBusy&) = delete;
  TBusy& operator=(const TBusy&) = delete;
};

// --- the window ---------------------------------------------------------------------

class TFrmFile : public QMainWindow {
  Q_OBJECT
 public:
  explicit TFrmFile(QWidget* parent = nullptr);
  ~TFrmFile() override;

  // Document hooks.
  // Caption: application title, " - " and FileName when there is one, " *" when modified.
  virtual void UpdateCaption();
  virtual void SaveRecentFiles(const QStringList& list);  // base: nothing
  virtual void LoadRecentFiles(QStringList& list);        // base: nothing
  virtual void NewDocument();                             // base: nothing
  // Replaces the document by the file's content. False: nothing was replaced (the
  // old document is untouched) and the reason has been shown.
  virtual bool LoadDocument(const QString& fileName);
  // False: the file was not written and the reason has been shown.
  virtual bool SaveDocument(const QString& fileName);
  // What is being edited goes into the document before it is saved under a new name
  // (and wherever a derived window saves). False: the edits were refused (the reason
  // has been shown) and the command stops. Base: true.
  virtual bool CommitEdits();
  // True when the document may be replaced or closed; asks "Do you want to save
  // differences?" when it is modified. Yes saves and gives true only when the
  // save succeeded.
  virtual bool QuerySave();
  // The name Save As proposes for a document never saved (without a folder); base: empty.
  virtual QString ProposedFileName() const;

  // Window events a derived window extends (call the base version).
  // First show: the recent list read (LoadRecentFiles), caption, recent menu, NewDocument, drops accepted, and the
  // command line processed once the window is visible (posted).
  virtual void FormShow();
  virtual void FormHide();         // drops no longer accepted
  virtual bool FormCloseQuery();   // QuerySave

  void SetModified(bool modified);
  void SetFileName(const QString& name);
  // Puts the name at the head of RecentFiles (at most five, no duplicates) and
  // persists the list through SaveRecentFiles.
  void AddRecentFile(const QString& name);
  void UpdateRecentMenu();
  // Loads the named file as the document. False when loading failed: FileName,
  // Modified, the caption and the recent list are as before.
  bool OpenFile(const QString& name);
  bool FileNew();
  bool FileOpen();
  bool FileSave();    // true when the file was written
  bool FileSaveAs();  // false when cancelled or not written
  // Opens the first argument when it names an existing file, then clears the
  // modified mark. Runs once; later calls do nothing. FormShow posts it with
  // CommandLine, so a derived window need not call it.
  void ProcessCommandLine(const QStringList& args);

  // "left,top,width,height,state" under the settings' FormsSection and the
  // window's objectName. No store given: UserSettings; none there: nothing.
  void SaveFormPlacement(TSettings* settings = nullptr);
  // True when a placement was stored. A placement lying partly off the available
  // screen area (a laptop after a large monitor) is shrunk to fit it and moved onto it.
  bool RestoreFormPlacement(TSettings* settings = nullptr);
  // Where windows may go: the available area of the window's screen (without panels
  // and docks); replaceable for tests.
  QRect AvailableArea() const;

  QStringList RecentFiles;
  QString FileName;
  bool Modified = false;
  // The program's arguments after its name; set from the application at creation.
  QStringList CommandLine;
  // The area AvailableArea gives; empty: the window's screen.
  std::function<QRect()> ScreenArea;

  TFileDialogSettings DlgOpen;
  TFileDialogSettings DlgSave;

  QMenu* MnuDatei;
  QAction* MnuNew;
  QAction* MnuOpen;
  QAction* MnuSave;
  QAction* MnuSaveAs;
  QAction* N2;
  QAction* MnuMru1;
  QAction* MnuMru2;
  QAction* MnuMru3;
  QAction* MnuMru4;
  QAction* MnuMru5;
  QAction* MnuSepMru;
  QAction* MnuExit;
  QToolBar* ToolBar;
  QAction* ActNew;
  QAction* ActOpen;
  QAction* ActSave;
  QAction* ActSaveAs;
  QAction* ActExit;

  void ActNewExecute();
  void ActOpenExecute();
  void ActSaveExecute();
  void ActSaveAsExecute();
  void ActExitExecute();
  // Any of the five recent-file items.
  void MnuMru1Click(QAction* item);

 signals:
  // The document now equals its file or was given up for another: a save wrote
  // it, or New or an open replaced it (after QuerySave).
  void DocumentSettled();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool OpenWithDialog();
  QAction* MruItem(int index) const;
  bool FShown = false;
  bool FRecentLoaded = false;
  bool FCommandLineDone = false;
};
