#include "KelFrmFile.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <exception>

#include "KelSettings.h"
#include "ZymraUi.h"

// --- program-wide services ---------------------------------------------------------

namespace {

std::unique_ptr<TSettings>& SettingsStore() {
  static std::unique_ptr<TSettings> store;
  return store;
}

int DefaultShowMessageText(const QString& text, int flags) {
  // A message must not be answered under the hourglass.
  const bool busy = QGuiApplication::overrideCursor() != nullptr;
  if (busy) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  auto buttons = QMessageBox::StandardButtons::fromInt(flags & ~MessageIconMask);
  if (buttons == QMessageBox::NoButton) buttons = QMessageBox::Ok;
  QMessageBox box(static_cast<QMessageBox::Icon>(flags & MessageIconMask), ApplicationTitle(),
                  text, buttons, QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);
  const int result = box.exec();
  if (busy) QGuiApplication::restoreOverrideCursor();
  return result;
}

TShowMessageText& MessageProcedure() {
  static TShowMessageText procedure = DefaultShowMessageText;
  return procedure;
}

int BusyCounter = 0;

QString ExceptionText(const std::exception& error) { return QString::fromUtf8(error.what()); }

void ShowError(const QString& text) {
  ShowMessageText(text, MessageFlags(QMessageBox::Ok, QMessageBox::Critical));
}

// Blanks and control characters at both ends go.
QString TrimName(const QString& name) {
  qsizetype begin = 0, end = name.size();
  while (begin < end && name[begin].unicode() <= 32) ++begin;
  while (end > begin && name[end - 1].unicode() <= 32) --end;
  return name.mid(begin, end - begin);
}

QString FolderOf(const QString& fileName) { return QFileInfo(fileName).absolutePath(); }

}  // namespace

namespace {
QString& TitleStore() {
  static QString title;
  return title;
}
}  // namespace

QString ApplicationTitle() {
  return TitleStore().isEmpty() ? QCoreApplication::applicationName() : TitleStore();
}

void SetApplicationTitle(const QString& title) { TitleStore() = title; }

TSettings* UserSettings() { return SettingsStore().get(); }

void SetUserSettings(std::unique_ptr<TSettings> settings) { SettingsStore() = std::move(settings); }

TSettings* OpenUserSettings() {
  // Without an application object the kernel still knows the program file.
  const QString program = QCoreApplication::instance()
                              ? QCoreApplication::applicationFilePath()
                              : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
  SetUserSettings(std::make_unique<TIniSettings>(UserSettingsFileName(program.toLocal8Bit().toStdString())));
  ZymraUi().ReadProjectFolder = [] {
    TSettings* settings = UserSettings();
    return settings ? ReadProjectFolderSetting(*settings) : QString();
  };
  ZymraUi().WriteProjectFolder = [](const QString& folder) {
    if (TSettings* settings = UserSettings()) WriteProjectFolderSetting(*settings, folder);
  };
  return UserSettings();
}

namespace {
std::string ProjectFolderKey() { return MakeSettingsKey("Folders", "Projects"); }

// Settings are written as they change: a program that ends badly keeps them.
void FlushQuietly(TSettings& settings) {
  try {
    settings.Flush();
  } catch (const std::exception&) {
    // An unwritable settings file must not stop the user's work; the next write tries again.
  }
}
}  // namespace

QString ReadProjectFolderSetting(TSettings& settings) {
  const bool writeDefaults = settings.WriteDefaults;
  settings.WriteDefaults = false;  // no empty entry for a folder never used
  std::string folder;
  settings.ReadString(ProjectFolderKey(), folder);
  settings.WriteDefaults = writeDefaults;
  return QString::fromStdString(folder);
}

void WriteProjectFolderSetting(TSettings& settings, const QString& folder) {
  settings.WriteString(ProjectFolderKey(), folder.toStdString());
  FlushQuietly(settings);
}

void ReadFileHistory(TSettings& settings, QStringList& list) {
  TSettingsStrings strings;
  settings.ReadStrings("File History", strings, {});
  list.clear();
  for (const std::string& entry : strings) {
    QString name = QString::fromStdString(entry);
    name.replace(QStringLiteral("''"), QStringLiteral("'"));
    if (!name.isEmpty()) list << name;
  }
}

void WriteFileHistory(TSettings& settings, const QStringList& list) {
  TSettingsStrings strings;
  for (const QString& name : list) strings.push_back(name.toStdString());
  settings.WriteStrings("File History", strings, true, true);
  FlushQuietly(settings);
}

int ShowMessageText(const QString& text, int flags) {
  const TShowMessageText procedure = MessageProcedure();  // a copy: the procedure may replace itself
  return procedure(text, flags);
}

void SetShowMessageText(TShowMessageText procedure) {
  MessageProcedure() = procedure ? std::move(procedure) : TShowMessageText(DefaultShowMessageText);
}

void BeginBusy() {
  if (++BusyCounter == 1 && qApp) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void EndBusy() {
  if (BusyCounter <= 0) {
    BusyCounter = 0;
    return;
  }
  if (--BusyCounter == 0 && qApp) QGuiApplication::restoreOverrideCursor();
}

int BusyCount() { return BusyCounter; }

// --- the window ---------------------------------------------------------------------

TFrmFile::TFrmFile(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("FrmFile"));
  if (QCoreApplication::instance()) CommandLine = QCoreApplication::arguments().mid(1);

  auto makeAction = [this](const QString& name, const QString& caption, const QString& hint) {
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    action->setToolTip(hint);
    action->setStatusTip(hint);
    return action;
  };
  ActNew = makeAction(QStringLiteral("ActNew"), QStringLiteral("&Neu"), QStringLiteral("Neues Dokument beginnen"));
  ActOpen = makeAction(QStringLiteral("ActOpen"), QStringLiteral("Ö&ffnen..."), QStringLiteral("Dokument öffnen"));
  ActSave = makeAction(QStringLiteral("ActSave"), QStringLiteral("&Speichern"), QStringLiteral("Dokument speichern"));
  ActSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  ActSaveAs = makeAction(QStringLiteral("ActSaveAs"), QStringLiteral("Speichern &unter..."),
                         QStringLiteral("Dokument unter einem neuen Namen speichern"));
  ActExit = makeAction(QStringLiteral("ActExit"), QStringLiteral("&Beenden"), QStringLiteral("Anwendung verlassen"));
  ActNew->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
  ActOpen->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
  ActSave->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  connect(ActNew, &QAction::triggered, this, &TFrmFile::ActNewExecute);
  connect(ActOpen, &QAction::triggered, this, &TFrmFile::ActOpenExecute);
  connect(ActSave, &QAction::triggered, this, &TFrmFile::ActSaveExecute);
  connect(ActSaveAs, &QAction::triggered, this, &TFrmFile::ActSaveAsExecute);
  connect(ActExit, &QAction::triggered, this, &TFrmFile::ActExitExecute);

  MnuDatei = menuBar()->addMenu(QStringLiteral("&Datei"));
  MnuDatei->setObjectName(QStringLiteral("MnuDatei"));
  MnuDatei->setToolTipsVisible(true);
  MnuNew = ActNew;
  MnuOpen = ActOpen;
  MnuSave = ActSave;
  MnuSaveAs = ActSaveAs;
  MnuDatei->addAction(MnuNew);
  MnuDatei->addAction(MnuOpen);
  MnuDatei->addAction(MnuSave);
  MnuDatei->addAction(MnuSaveAs);
  N2 = MnuDatei->addSeparator();
  QAction** items[] = {&MnuMru1, &MnuMru2, &MnuMru3, &MnuMru4, &MnuMru5};
  for (int n = 1; n <= 5; ++n) {
    QAction* item = MnuDatei->addAction(QStringLiteral("&%1").arg(n));
    item->setObjectName(QStringLiteral("MnuMru%1").arg(n));
    item->setVisible(false);
    connect(item, &QAction::triggered, this, [this, item] { MnuMru1Click(item); });
    *items[n - 1] = item;
  }
  MnuSepMru = MnuDatei->addSeparator();
  MnuSepMru->setVisible(false);
  MnuExit = ActExit;
  MnuDatei->addAction(MnuExit);

  ToolBar = addToolBar(QStringLiteral("ToolBar"));
  ToolBar->setObjectName(QStringLiteral("ToolBar"));
  ToolBar->setIconSize(QSize(16, 16));
  ToolBar->setMovable(false);
  ToolBar->addAction(ActNew);
  ToolBar->addAction(ActOpen);
  ToolBar->addAction(ActSave);
}

TFrmFile::~TFrmFile() = default;

void TFrmFile::UpdateCaption() {
  QString caption = ApplicationTitle();
  if (!FileName.isEmpty()) caption += QStringLiteral(" - ") + FileName;
  if (Modified) caption += QStringLiteral(" *");
  setWindowTitle(caption);
}

void TFrmFile::SaveRecentFiles(const QStringList&) {}
void TFrmFile::LoadRecentFiles(QStringList&) {}
void TFrmFile::NewDocument() {}
bool TFrmFile::LoadDocument(const QString&) { return true; }
bool TFrmFile::SaveDocument(const QString&) { return true; }
bool TFrmFile::CommitEdits() { return true; }

QString TFrmFile::ProposedFileName() const { return {}; }

bool TFrmFile::QuerySave() {
  if (!Modified) return true;
  const int answer = ShowMessageText(QStringLiteral("Do you want to save differences?"),
                                     MessageFlags(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                                  QMessageBox::Question));
  // Yes goes on only when the differences were really saved.
  if (answer == QMessageBox::Yes) return FileSave();
  return answer == QMessageBox::No;
}

void TFrmFile::FormShow() {
  // Not in the constructor: the derived window's hook is not in place there yet.
  if (!FRecentLoaded) {
    FRecentLoaded = true;
    LoadRecentFiles(RecentFiles);
  }
  setWindowTitle(ApplicationTitle());
  UpdateRecentMenu();
  NewDocument();
  setAcceptDrops(true);
  // Handled once the window is on the screen.
  QTimer::singleShot(0, this, [this] { ProcessCommandLine(CommandLine); });
}

void TFrmFile::FormHide() { setAcceptDrops(false); }

bool TFrmFile::FormCloseQuery() { return QuerySave(); }

void TFrmFile::SetModified(bool modified) {
  Modified = modified;
  UpdateCaption();
}

void TFrmFile::SetFileName(const QString& name) {
  FileName = name;
  UpdateCaption();
}

void TFrmFile::AddRecentFile(const QString& name) {
  const QString entry = TrimName(name);
  if (entry.isEmpty()) return;
  // The file system tells names apart by case, so the list does too.
  RecentFiles.removeAll(entry);
  RecentFiles.prepend(entry);
  while (RecentFiles.size() > 5) RecentFiles.removeLast();
  SaveRecentFiles(RecentFiles);
}

QAction* TFrmFile::MruItem(int index) const {
  QAction* const items[] = {MnuMru1, MnuMru2, MnuMru3, MnuMru4, MnuMru5};
  return items[index];
}

void TFrmFile::UpdateRecentMenu() {
  bool any = false;
  for (int i = 0; i < 5; ++i) {
    QAction* item = MruItem(i);
    const QString entry = RecentFiles.value(i);
    // "&" in a file name is text, not a mnemonic.
    QString shown = entry;
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    item->setText(QStringLiteral("&%1  ").arg(i + 1) + shown);
    item->setData(entry);
    item->setVisible(!entry.isEmpty());
    any = any || !entry.isEmpty();
  }
  MnuSepMru->setVisible(any);
}

bool TFrmFile::OpenFile(const QString& name) {
  const QString path = NormalizePath(name);
  if (path.isEmpty()) return false;
  bool loaded = false;
  {
    TBusy busy;
    try {
      loaded = LoadDocument(path);
    } catch (const std::exception& error) {
      ShowError(ExceptionText(error));
    }
  }
  if (!loaded) return false;
  NoteProjectFolder(path);
  FileName = path;
  AddRecentFile(path);
  UpdateRecentMenu();
  Modified = false;
  UpdateCaption();
  emit DocumentSettled();
  return true;
}

bool TFrmFile::FileNew() {
  if (!QuerySave()) return false;
  NewDocument();
  FileName.clear();
  Modified = false;
  UpdateCaption();
  emit DocumentSettled();
  return true;
}

bool TFrmFile::OpenWithDialog() {
  TFileDialogSettings dialog = DlgOpen;
  dialog.Directory = ProjectDialogFolder();
  if (!ExecuteOpenDialog(dialog, this)) return false;
  return OpenFile(dialog.FileName);
}

bool TFrmFile::FileOpen() {
  if (!QuerySave()) return false;
  return OpenWithDialog();
}

bool TFrmFile::FileSave() {
  if (FileName.isEmpty()) return FileSaveAs();
  bool saved = false;
  {
    TBusy busy;
    try {
      saved = SaveDocument(FileName);
    } catch (const std::exception& error) {
      ShowError(ExceptionText(error));
    }
  }
  if (saved) Modified = false;
  UpdateCaption();
  if (saved) emit DocumentSettled();
  return saved;
}

bool TFrmFile::FileSaveAs() {
  // Refused edits stop the command before the user is asked for a name.
  if (!CommitEdits()) return false;
  TFileDialogSettings dialog = DlgSave;
  // A saved document is proposed where it is; a new one under its own name where projects are kept.
  dialog.FileName = FileName.isEmpty() ? ProposedFileName() : FileName;
  dialog.Directory = FileName.isEmpty() ? ProjectDialogFolder() : FolderOf(FileName);
  if (!ExecuteSaveDialog(dialog, this)) return false;
  const QString name = NormalizePath(dialog.FileName);
  bool saved = false;
  {
    TBusy busy;
    try {
      saved = SaveDocument(name);
    } catch (const std::exception& error) {
      ShowError(ExceptionText(error));
    }
  }
  if (!saved) return false;
  NoteProjectFolder(name);
  FileName = name;
  AddRecentFile(name);
  UpdateRecentMenu();
  Modified = false;
  UpdateCaption();
  emit DocumentSettled();
  return true;
}

void TFrmFile::ProcessCommandLine(const QStringList& args) {
  if (FCommandLineDone) return;
  FCommandLineDone = true;
  if (!args.isEmpty() && QFileInfo(args.first()).isFile()) OpenFile(args.first());
  SetModified(false);
}

void TFrmFile::SaveFormPlacement(TSettings* settings) {
  if (!settings) settings = UserSettings();
  if (!settings) return;
  const int state = isMinimized() ? 1 : isMaximized() ? 2 : 0;
  QRect bounds(pos(), size());
  // A minimised or maximised window keeps the bounds it returns to.
  if (state != 0 && normalGeometry().isValid()) bounds = normalGeometry();
  const QString text = QStringLiteral("%1,%2,%3,%4,%5")
                           .arg(bounds.left())
                           .arg(bounds.top())
                           .arg(bounds.width())
                           .arg(bounds.height())
                           .arg(state);
  settings->WriteString(MakeSettingsKey(settings->FormsSection, objectName().toStdString()), text.toStdString());
}

bool TFrmFile::RestoreFormPlacement(TSettings* settings) {
  if (!settings) settings = UserSettings();
  if (!settings) return false;
  std::string stored;
  settings->ReadString(MakeSettingsKey(settings->FormsSection, objectName().toStdString()), stored);
  if (stored.empty()) return false;
  const QStringList fields = QString::fromStdString(stored).split(QLatin1Char(','));
  auto field = [&fields](int index) { return fields.value(index).trimmed().toInt(); };  // no integer: 0
  int state = field(4);
  if (state < 0 || state > 2) state = 0;
  if (state == 1) {
    setWindowState((windowState() & ~Qt::WindowMaximized) | Qt::WindowMinimized);
    return true;
  }
  if (state == 2) {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
    return true;
  }
  setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
  int left = field(0), top = field(1), width = field(2), height = field(3);
  const QRect area = AvailableArea();
  if (area.isValid()) {
    // Client size and the frame around it (known once the window has been shown).
    const int frameW = frameGeometry().width() - geometry().width();
    const int frameH = frameGeometry().height() - geometry().height();
    width = std::max(minimumWidth(), std::min(width, area.width() - frameW));
    height = std::max(minimumHeight(), std::min(height, area.height() - frameH));
    left = std::clamp(left, area.left(), std::max(area.left(), area.left() + area.width() - width - frameW));
    top = std::clamp(top, area.top(), std::max(area.top(), area.top() + area.height() - height - frameH));
  }
  move(left, top);
  if (minimumSize() != maximumSize()) resize(width, height);
  return true;
}

QRect TFrmFile::AvailableArea() const {
  if (ScreenArea) return ScreenArea();
  const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
  return shown ? shown->availableGeometry() : QRect();
}

void TFrmFile::ActNewExecute() { FileNew(); }
void TFrmFile::ActOpenExecute() { FileOpen(); }
void TFrmFile::ActSaveExecute() { FileSave(); }
void TFrmFile::ActSaveAsExecute() { FileSaveAs(); }
void TFrmFile::ActExitExecute() { close(); }

void TFrmFile::MnuMru1Click(QAction* item) {
  if (!item || !QuerySave()) return;
  const QString name = item->data().toString();
  if (QFileInfo(name).isFile()) {
    OpenFile(name);
    return;
  }
  ShowMessageText(QStringLiteral("Die Datei \"") + name + QStringLiteral("\" kann nicht gefunden werden."),
                  MessageFlags(QMessageBox::Ok, QMessageBox::Warning));
  // The entry stays; the user may pick the file elsewhere.
  OpenWithDialog();
}

void TFrmFile::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (event->spontaneous()) return;
  if (!FShown) {
    FShown = true;
    FormShow();
  } else {
    setAcceptDrops(true);
  }
}

void TFrmFile::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  if (!event->spontaneous()) FormHide();
}

void TFrmFile::closeEvent(QCloseEvent* event) { event->setAccepted(FormCloseQuery()); }

namespace {
QString FirstLocalFile(const QMimeData* data) {
  if (!data || !data->hasUrls()) return {};
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) return url.toLocalFile();
  return {};
}
}  // namespace

void TFrmFile::dragEnterEvent(QDragEnterEvent* event) {
  if (!FirstLocalFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TFrmFile::dropEvent(QDropEvent* event) {
  const QString name = FirstLocalFile(event->mimeData());
  if (name.isEmpty()) return;
  event->acceptProposedAction();
  // Questions and loading wait until the drag has ended.
  QTimer::singleShot(0, this, [this, name] {
    if (QuerySave()) OpenFile(name);
  });
}
