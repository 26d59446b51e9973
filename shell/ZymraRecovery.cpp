#include "ZymraRecovery.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <string_view>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include "KelFrmFile.h"
#include "LibZymra.h"
#include "UntZymraMain.h"
#include "ZymraUi.h"

namespace {

std::string NativeName(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Where the kernel keeps the lock: one open descriptor, closed on exec so that a
// viewer the program starts cannot keep a project locked after the program died.
int TryLock(const QString& path) {
  const int fd = ::open(NativeName(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Cheap enough to run over every copy: it spares the disk a rewrite of a project
// whose modified mark is merely still set.
class TFingerprint {
 public:
  void Add(std::string_view bytes) { Mix(std::hash<std::string_view>{}(bytes) ^ bytes.size()); }
  void Add(const void* data, std::size_t size) { Add(std::string_view(static_cast<const char*>(data), size)); }
  std::uint64_t Value() const { return FValue; }

 private:
  void Mix(std::uint64_t h) { FValue = (FValue ^ h) * 0x100000001B3ull + 0x9E3779B97F4A7C15ull; }
  std::uint64_t FValue = 0xCBF29CE484222325ull;
};

std::uint64_t FingerprintOf(const TZymra& project, const QString& originalName) {
  TFingerprint f;
  f.Add(&project.Titles, sizeof project.Titles);
  f.Add(project.Comment);
  const QByteArray name = originalName.toUtf8();
  f.Add(name.constData(), static_cast<std::size_t>(name.size()));
  for (int i = 0; i < project.RunCount(); ++i) {
    const TZymra_Run& run = *project.Run(i);
    f.Add(&run.Params, sizeof run.Params);
    f.Add(&run.BatchParams, sizeof run.BatchParams);
    f.Add(run.Comment);
    f.Add(run.EventLog);
    for (int s = 0; s < kRunSeriesCount - 1; ++s) {
      const tDoubleMatrix& series = run.Series(s);
      f.Add(series.Data(), static_cast<std::size_t>(series.Rows()) * 8);
    }
    // Field by field: a point's padding bytes are not part of it.
    for (const TMeasuredPoint& p : run.Measured().Points) {
      f.Add(&p.Time, sizeof p.Time);
      f.Add(&p.Replicate, sizeof p.Replicate);
      f.Add(p.Value.data(), sizeof p.Value);
    }
  }
  return f.Value() ? f.Value() : 1;  // 0 stands for "nothing written yet"
}

}  // namespace

QString RecoveryFolder() {
  QString state = qEnvironmentVariable("XDG_STATE_HOME");
  // Relative paths are invalid there and are ignored, as for every XDG variable.
  if (state.isEmpty() || QDir::isRelativePath(state)) state = QDir::homePath() + QStringLiteral("/.local/state");
  return state + QStringLiteral("/zymra/recovery");
}

double AutosaveSeconds() {
  bool ok = false;
  const double seconds = qEnvironmentVariable("ZYMRA_AUTOSAVE_SECONDS").toDouble(&ok);
  return ok && seconds > 0 ? seconds : 120.0;
}

namespace {

// Copies runs first..first+count-1 of `from` into the runs of the same index of
// `to`, holding their workers at once: each finishes the step it is in, and on a
// busy machine those waits overlap instead of adding up.
void CopyRuns(TZymra& from, TZymra& to, int first, int count) {
  std::vector<TZymra_Thread*> workers, held;
  for (int i = first; i < first + count; ++i) {
    TZymra_Thread* worker = from.Run(i)->Worker();
    if (!worker || worker->Ended()) continue;
    workers.push_back(worker);
    if (worker->Suspended()) continue;  // paused already; continued by whoever paused it
    worker->Suspend();
    held.push_back(worker);
  }
  struct TContinue {
    std::vector<TZymra_Thread*>& Held;
    ~TContinue() {
      for (TZymra_Thread* worker : Held) worker->Resume();
    }
  } resume{held};
  for (TZymra_Thread* worker : workers) worker->WaitIdle();
  for (int i = first; i < first + count; ++i) {
    to.Run(i)->CopyStoredFrom(*from.Run(i));
  }
}

// The copy's fields and empty runs, one for each of the project's.
std::unique_ptr<TZymra> EmptyCopyOf(const TZymra& project) {
  auto copy = std::make_unique<TZymra>();
  copy->Titles = project.Titles;
  copy->Comment = project.Comment;
  for (int i = 0; i < project.RunCount(); ++i) copy->AddRun();
  return copy;
}

std::int64_t StoredBytes(const TZymra_Run& run) {
  std::int64_t bytes = 0;
  for (int s = 0; s < kRunSeriesCount - 1; ++s) bytes += run.Series(s).Capacity();
  return bytes;
}

}  // namespace

std::unique_ptr<TZymra> CopyOfProject(TZymra& project) {
  auto copy = EmptyCopyOf(project);
  CopyRuns(project, *copy, 0, project.RunCount());
  return copy;
}

// ---------------------------------------------------------------------------

struct TZymraRecovery::TJob {
  std::unique_ptr<TZymra> Copy;
  QString Stem, ProjectFile, OriginFile;
  QString OriginalName;
  std::uint64_t LastFingerprint = 0;
  unsigned Generation = 0;
};

std::shared_ptr<TZymraRecovery::TJob> TZymraRecovery::NewJob(std::unique_ptr<TZymra> copy) const {
  auto job = std::make_shared<TJob>();
  job->Copy = std::move(copy);
  job->Stem = FStem;
  job->ProjectFile = PathOf(FStem, ".zym");
  job->OriginFile = PathOf(FStem, ".origin");
  job->OriginalName = FWindow.FileName;
  job->LastFingerprint = FHasFile ? FLastFingerprint : 0;
  job->Generation = FGeneration;
  return job;
}

// A copy taken a few runs at a time, the window answering in between.
struct TZymraRecovery::TCopying {
  std::shared_ptr<TJob> Job;
  std::vector<const TZymra_Run*> Sources;  // the project's runs when the copy began
  int Next = 0;
  std::int64_t Bytes = 0;  // copied so far
};

TZymraRecovery::TZymraRecovery(TFrmZymraMain& window, const QString& folder, QObject* parent)
    : QObject(parent), FWindow(window), FFolder(folder), FTimer(new QTimer(this)) {
  // Unique among the programs (pid) and among the recoveries of one program.
  static int serial = 0;
  FStem = QStringLiteral("zymra-%1-%2-%3")
              .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")))
              .arg(QCoreApplication::applicationPid())
              .arg(serial++);
  connect(FTimer, &QTimer::timeout, this, [this] { AutosaveNow(); });
  FPoll = new QTimer(this);
  FPoll->setInterval(10);
  connect(FPoll, &QTimer::timeout, this, [this] {
    if (FWriterDone.load(std::memory_order_acquire)) Collect();
  });
  connect(&FWindow, &TFrmFile::DocumentSettled, this, &TZymraRecovery::DiscardCurrent);
}

TZymraRecovery::~TZymraRecovery() {
  if (FWriter.joinable()) FWriter.join();
  for (const auto& [stem, fd] : FFoundLocks) ::close(fd);
  if (FLockFd >= 0) ::close(FLockFd);
}

void TZymraRecovery::Start() {
  FTimer->start(static_cast<int>(std::clamp(AutosaveSeconds() * 1000.0, 1.0, 2.0e9)));
}

QString TZymraRecovery::PathOf(const QString& stem, const char* suffix) const {
  return FFolder + QLatin1Char('/') + stem + QLatin1String(suffix);
}

QString TZymraRecovery::File() const { return FHasFile ? PathOf(FStem, ".zym") : QString(); }

bool TZymraRecovery::NeedsSaving() const {
  // A going run changes the project with every step, marked or not.
  return FWindow.Modified || FWindow.Project().AnyInStates({rsRunning});
}

bool TZymraRecovery::LockCurrent() {
  if (FLockFd >= 0) return true;
  if (!QDir().mkpath(FFolder)) {
    FLastError = QStringLiteral("cannot create the folder %1").arg(FFolder);
    return false;
  }
  // What the projects hold is the user's alone.
  QFile::setPermissions(FFolder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  FLockFd = TryLock(PathOf(FStem, ".lock"));
  if (FLockFd < 0) FLastError = QStringLiteral("cannot lock %1").arg(PathOf(FStem, ".lock"));
  return FLockFd >= 0;
}

bool TZymraRecovery::AutosaveNow() {
  if (FEnded || Writing() || !NeedsSaving() || !LockCurrent()) return false;
  // The welcome page's fields go with the project, as in every save; the start
  // page is not left: an autosave must never ask the user anything.
  FWindow.StoreProjectFields();
  TZymra& project = FWindow.Project();
  FCopying = std::make_unique<TCopying>();
  auto job = NewJob(EmptyCopyOf(project));
  FCopying->Job = std::move(job);
  for (int i = 0; i < project.RunCount(); ++i) FCopying->Sources.push_back(project.Run(i));
  CopyNext();
  return true;
}

void TZymraRecovery::CopyNext() {
  if (!FCopying) return;
  TZymra& project = FWindow.Project();
  const std::vector<const TZymra_Run*>& sources = FCopying->Sources;
  bool same = FCopying->Job->Generation == FGeneration && project.RunCount() == static_cast<int>(sources.size());
  for (int i = 0; same && i < project.RunCount(); ++i) same = project.Run(i) == sources[i];
  if (!same) {
    // Runs were added or removed, or the project replaced: the next tick starts afresh.
    FCopying.reset();
    return;
  }
  // About 2 MB, a millisecond or two, per turn: as many runs as the ones copied so
  // far suggest (the runs themselves cannot be measured before they are held).
  constexpr std::int64_t kBytesPerTurn = 2 << 20;
  const int first = FCopying->Next;
  const int left = project.RunCount() - first;
  if (left > 0) {
    int count = 1;
    if (first > 0) {
      const std::int64_t perRun = std::max<std::int64_t>(1, FCopying->Bytes / first);
      count = static_cast<int>(std::clamp<std::int64_t>(kBytesPerTurn / perRun, 1, left));
    }
    TZymra& copy = *FCopying->Job->Copy;
    CopyRuns(project, copy, first, count);
    for (int i = first; i < first + count; ++i) FCopying->Bytes += StoredBytes(*copy.Run(i));
    FCopying->Next += count;
  }
  if (FCopying->Next < project.RunCount()) {
    QTimer::singleShot(0, this, &TZymraRecovery::CopyNext);
    return;
  }
  std::shared_ptr<TJob> job = std::move(FCopying->Job);
  FCopying.reset();
  // The copy goes back to the UI thread to be freed: its blocks belong to that
  // thread's heap, and a lowly background thread freeing them would hold the heap's
  // lock (and the trimming of the heap) against the UI thread while it waits for a
  // processor.
  FWritten = job;
  FWriterDone.store(false);
  FWriter = std::thread([this, job] {
    FResult = Write(*job, true);
    FWriterDone.store(true, std::memory_order_release);
  });
  // Looked for rather than posted: the hand-over stays visible to thread checkers,
  // which cannot see inside Qt's event queue.
  FPoll->start();
}

TZymraRecovery::TResult TZymraRecovery::Write(TJob& job, bool background) {
  // Encoding competes with the runs and the window for the processors: it gives way.
  if (background) ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
  TResult result;
  result.Generation = job.Generation;
  result.Stem = job.Stem;
  result.Fingerprint = FingerprintOf(*job.Copy, job.OriginalName);
  if (result.Fingerprint == job.LastFingerprint) {
    result.Ok = result.Unchanged = true;
    return result;
  }
  // The origin first: a project file is never found without the name it belongs to.
  QSaveFile origin(job.OriginFile);
  if (origin.open(QIODevice::WriteOnly)) {
    origin.write(job.OriginalName.toUtf8() + '\n');
    origin.write(FromCp1252(job.Copy->Titles.Title.Str()).toUtf8() + '\n');
  }
  if (!origin.commit()) {
    result.Error = QStringLiteral("cannot write %1: %2").arg(job.OriginFile, origin.errorString());
    return result;
  }
  result.Ok = job.Copy->SaveToFile(NativeName(job.ProjectFile));
  if (!result.Ok) result.Error = QString::fromLocal8Bit(job.Copy->LastError.c_str());
  return result;
}

void TZymraRecovery::Collect() {
  if (!FWriter.joinable()) return;
  FPoll->stop();
  FWriter.join();
  FWritten.reset();
  Apply(FResult);
}

void TZymraRecovery::WaitWritten() {
  while (FCopying) CopyNext();
  Collect();
}

void TZymraRecovery::Apply(const TResult& result) {
  if (result.Generation != FGeneration) {
    // The project was saved or given up while its copy was being written.
    if (!(result.Stem == FStem && FHasFile)) RemoveFiles(result.Stem);
    return;
  }
  if (!result.Ok) {
    if (FLastError != result.Error) qWarning("Zymra autosave: %s", qPrintable(result.Error));
    FLastError = result.Error;
    return;
  }
  FLastError.clear();
  if (result.Unchanged) return;
  FHasFile = true;
  FLastFingerprint = result.Fingerprint;
  ++FWriteCount;
}

void TZymraRecovery::RemoveFiles(const QString& stem) {
  QFile::remove(PathOf(stem, ".zym"));
  QFile::remove(PathOf(stem, ".origin"));
  // Temporary files of a write that was cut short.
  const QStringList leftovers = QDir(FFolder).entryList({QLatin1Char('.') + stem + QStringLiteral(".*.tmp")},
                                                         QDir::Files | QDir::Hidden);
  for (const QString& name : leftovers) QFile::remove(FFolder + QLatin1Char('/') + name);
}

void TZymraRecovery::DiscardCurrent() {
  ++FGeneration;
  FLastFingerprint = 0;
  if (!FHasFile) return;
  FHasFile = false;
  RemoveFiles(FStem);
}

void TZymraRecovery::CleanEnd() {
  FTimer->stop();
  FCopying.reset();
  Collect();
  DiscardCurrent();
  if (FLockFd >= 0) {
    QFile::remove(PathOf(FStem, ".lock"));
    ::close(FLockFd);
    FLockFd = -1;
  }
}

void TZymraRecovery::EndNow() {
  if (FEnded) return;
  FEnded = true;
  FTimer->stop();
  FCopying.reset();
  Collect();  // a write under way completes; the last word is the copy below
  TZymra& project = FWindow.Project();
  const bool needed = NeedsSaving();
  // Runs stop first: no step runs beside the copy, and the processors are free
  // for the write.
  for (int i = 0; i < project.RunCount(); ++i)
    if (TZymra_Thread* worker = project.Run(i)->Worker()) worker->Stop();
  for (int i = 0; i < project.RunCount(); ++i)
    if (TZymra_Thread* worker = project.Run(i)->Worker()) worker->WaitIdle();
  if (needed && LockCurrent()) {
    FWindow.StoreProjectFields();
    Apply(Write(*NewJob(CopyOfProject(project)), false));
  }
  // Every loop, nested ones (a message box, a file dialog) included.
  QCoreApplication::exit(0);
}

// --- the next start -----------------------------------------------------------------

std::vector<TRecoveredProject> TZymraRecovery::FindRecovered() {
  std::vector<TRecoveredProject> found;
  QDir dir(FFolder);
  if (!dir.exists()) return found;
  // What a project's last owner left once its project file had gone.
  for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("*.lock")}, QDir::Files)) {
    const QString stem = info.completeBaseName();
    if (stem == FStem || QFileInfo::exists(PathOf(stem, ".zym"))) continue;
    const int fd = TryLock(info.filePath());
    if (fd < 0) continue;
    QFile::remove(PathOf(stem, ".origin"));
    QFile::remove(info.filePath());
    ::close(fd);
  }
  const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.zym")}, QDir::Files, QDir::Time);
  for (const QFileInfo& info : files) {
    const QString stem = info.completeBaseName();
    if (stem == FStem) continue;
    if (std::any_of(FFoundLocks.begin(), FFoundLocks.end(), [&](const auto& lock) { return lock.first == stem; }))
      continue;
    const int fd = TryLock(PathOf(stem, ".lock"));
    if (fd < 0) continue;  // another Zymra is writing it
    // It may have been decided by another Zymra between the listing and the lock.
    if (!QFileInfo::exists(info.filePath())) {
      ::close(fd);
      continue;
    }
    FFoundLocks.emplace_back(stem, fd);
    TRecoveredProject project;
    project.Stem = stem;
    project.File = info.filePath();
    project.Written = info.lastModified();
    QFile origin(PathOf(stem, ".origin"));
    if (origin.open(QIODevice::ReadOnly)) {
      const QList<QByteArray> lines = origin.readAll().split('\n');
      project.OriginalName = QString::fromUtf8(lines.value(0));
      project.Title = QString::fromUtf8(lines.value(1));
    }
    found.push_back(project);
  }
  return found;
}

void TZymraRecovery::Release(const QString& stem) {
  const auto it =
      std::find_if(FFoundLocks.begin(), FFoundLocks.end(), [&](const auto& lock) { return lock.first == stem; });
  if (it == FFoundLocks.end()) return;
  ::close(it->second);
  FFoundLocks.erase(it);
}

void TZymraRecovery::DiscardRecovered(const TRecoveredProject& found) {
  RemoveFiles(found.Stem);
  QFile::remove(PathOf(found.Stem, ".lock"));
  Release(found.Stem);
}

bool TZymraRecovery::OpenRecovered(const TRecoveredProject& found) {
  if (FEnded || !FWindow.QuerySave()) return false;
  // The project it replaces was saved or given up just now.
  DiscardCurrent();
  if (!FWindow.LoadDocument(found.File)) return false;
  FWindow.SetFileName(found.OriginalName);
  FWindow.SetModified(true);
  // From now on this program writes that project's files.
  const auto it = std::find_if(FFoundLocks.begin(), FFoundLocks.end(),
                               [&](const auto& lock) { return lock.first == found.Stem; });
  if (it != FFoundLocks.end()) {
    if (FLockFd >= 0) {
      QFile::remove(PathOf(FStem, ".lock"));
      ::close(FLockFd);
    }
    FLockFd = it->second;
    FFoundLocks.erase(it);
    FStem = found.Stem;
    FHasFile = true;
    FLastFingerprint = 0;
  }
  return true;
}

void TZymraRecovery::OfferRecovered() {
  for (const TRecoveredProject& found : FindRecovered()) {
    const QString origin = found.OriginalName.isEmpty() ? QStringLiteral("never saved") : found.OriginalName;
    const QString text =
        QStringLiteral("Zymra did not end properly. It kept a copy of the project \"%1\" (%2), written %3.\n\n"
                       "Open: continue with it as unsaved changes.\n"
                       "Discard: delete the copy.\n"
                       "Cancel: decide at the next start.")
            .arg(found.Title, origin, found.Written.toString(QStringLiteral("yyyy-MM-dd hh:mm")));
    // A box cut short by the end of the program answers none of the three.
    const int answer = FEnded ? 0
                              : ShowMessageText(text, MessageFlags(QMessageBox::Open | QMessageBox::Discard |
                                                                       QMessageBox::Cancel,
                                                                   QMessageBox::Question));
    if (answer == QMessageBox::Discard) {
      DiscardRecovered(found);
    } else if (answer != QMessageBox::Open || !OpenRecovered(found)) {
      Release(found.Stem);
    }
  }
}
