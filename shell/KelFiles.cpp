#include "KelFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "KelStreamList.h"
#include "ZymraUi.h"

QString NormalizePath(const QString& path) {
  if (path.isEmpty()) return path;
  const QFileInfo info(path);
  QString result = info.exists() ? info.canonicalFilePath() : QString();
  if (result.isEmpty()) result = QDir::cleanPath(info.absoluteFilePath());
  if (path.endsWith(QLatin1Char('/')) && !result.endsWith(QLatin1Char('/'))) result += QLatin1Char('/');
  return result;
}

QString ProgramDir() {
  static const QString dir = [] {
    // Without an application object the kernel still knows the program file.
    QString folder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                  : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    folder = NormalizePath(folder);
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return folder;
  }();
  return dir;
}

QString QtDialogFilter(const std::string& filter) {
  const QStringList parts = FromCp1252(filter).split(QLatin1Char('|'));
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2)
    out << parts[i] + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')');
  return out.join(QStringLiteral(";;"));
}

void SetupDialog(TFileDialogSettings& dialog, const TStreamProfile& profile) {
  const std::string ext = profile.DefaultExt.Str();
  dialog.Filter = QtDialogFilter(profile.FilterText.Str() + "|" + ext);
  QString suffix = FromCp1252(ext);
  if (suffix.startsWith(QLatin1Char('*'))) suffix.remove(0, 1);
  if (suffix.startsWith(QLatin1Char('.'))) suffix.remove(0, 1);
  dialog.DefaultSuffix = suffix;
  dialog.Directory = ProjectDialogFolder();
}

void SetupOpenDialog(TFileDialogSettings& dialog, const TStreamNode& node) {
  SetupDialog(dialog, node.Profile);
  if (dialog.Title.isEmpty()) dialog.Title = QStringLiteral("Öffnen");
}

void SetupSaveDialog(TFileDialogSettings& dialog, const TStreamNode& node) {
  SetupDialog(dialog, node.Profile);
  if (dialog.Title.isEmpty()) dialog.Title = QStringLiteral("Speichern unter");
}

bool ExecuteOpenDialog(TFileDialogSettings& dialog, QWidget* parent) {
  const QString chosen = ZymraUi().OpenFileName(parent, dialog.Title, dialog.Directory, dialog.Filter);
  if (chosen.isEmpty()) return false;
  dialog.FileName = chosen;
  return true;
}

bool ExecuteSaveDialog(TFileDialogSettings& dialog, QWidget* parent) {
  // A proposed name without a folder starts in the dialog's folder.
  QString proposed = dialog.FileName;
  if (proposed.isEmpty() || QFileInfo(proposed).isRelative())
    proposed = dialog.Directory.isEmpty() ? proposed : QDir(dialog.Directory).filePath(proposed);
  const QString chosen = ZymraUi().SaveFileName(parent, dialog.Title, proposed, dialog.Filter, dialog.DefaultSuffix);
  if (chosen.isEmpty()) return false;
  dialog.FileName = chosen;
  return true;
}

bool ExecuteSaveDialog(TFileDialogSettings& dialog, const TStreamProfile& profile, QWidget* parent) {
  SetupDialog(dialog, profile);
  return ExecuteSaveDialog(dialog, parent);
}
