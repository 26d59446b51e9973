#pragma once
// Nothing lost on a crash: the project with unsaved changes (running runs
// included) is copied every few minutes and written, in the program's own file
// format, into the recovery folder; a clean end deletes that file, SIGTERM writes
// it one last time and ends at once, and the next start offers what an unclean
// end left behind.
//
// The folder holds, per project, "<stem>.zym" (a project file like any other, so
// it opens anywhere), "<stem>.origin" (two lines: the file the project came from,
// empty when it was never saved, and its title) and "<stem>.lock", which the
// program writing that project keeps locked for as long as it lives: a second
// Zymra never offers what a running one is writing, and the kernel drops the
// lock when the first one dies, however it died.
#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QTimer;
class TFrmZymraMain;
class TZymra;

// $XDG_STATE_HOME/zymra/recovery, or ~/.local/state/zymra/recovery.
QString RecoveryFolder();
// Seconds between two autosaves: ZYMRA_AUTOSAVE_SECONDS when it holds a positive
// number (tests use fractions), else 120.
double AutosaveSeconds();

// A deep copy of the project taken between the steps of its running runs, which
// are held only while their data is copied. The copy has no workers and may go to
// another thread.
std::unique_ptr<TZymra> CopyOfProject(TZymra& project);

// A project left in the recovery folder by a Zymra that did not end cleanly.
struct TRecoveredProject {
  QString Stem;
  QString File;          // the project file in the recovery folder
  QString OriginalName;  // where it came from; empty when it had never been saved
  QString Title;
  QDateTime Written;
};

class TZymraRecovery : public QObject {
  Q_OBJECT
 public:
  explicit TZymraRecovery(TFrmZymraMain& window, const QString& folder = RecoveryFolder(),
                          QObject* parent = nullptr);
  // Waits for a write under way and leaves the files where they are: only
  // CleanEnd and the user remove them.
  ~TZymraRecovery() override;
  TZymraRecovery(const TZymraRecovery&) = delete;
  TZymraRecovery& operator=(const TZymraRecovery&) = delete;

  // Autosaves every AutosaveSeconds from now on.
  void Start();
  // When the project has unsaved changes (or a run is going): copies it, a few runs
  // per turn of the event loop, and writes the copy on a background thread. False
  // when there was nothing to write or the previous autosave is still under way.
  // A copy equal to the one written last is not written again.
  bool AutosaveNow();
  // A copy is being taken (a few runs per turn of the event loop) or written.
  bool Writing() const { return FCopying || FWriter.joinable(); }
  // Completes a copy under way, waits for its write and takes note of the outcome.
  void WaitWritten();

  // The recovery file of the current project; empty while there is none.
  QString File() const;
  // Files written so far (a copy equal to the last one is not counted).
  int WriteCount() const { return FWriteCount; }
  // Why the last write failed; empty after a success.
  const QString& LastError() const { return FLastError; }

  // The program ends after its window was closed: the recovery file goes.
  void CleanEnd();
  // SIGTERM: stops every run, writes the project if it has unsaved changes and
  // leaves every event loop, without a question.
  void EndNow();
  bool Ended() const { return FEnded; }

  // The projects that ended Zymras left behind, newest first, each locked for
  // this program until it is opened, discarded or released.
  std::vector<TRecoveredProject> FindRecovered();
  // Offers each of them in a message box: Open (as modified, under its original
  // file name), Discard (deleted), or Cancel (asked again at the next start).
  void OfferRecovered();
  // Opens a found project in the window as modified under its original name; its
  // recovery file becomes the current project's. False: it stays where it was.
  bool OpenRecovered(const TRecoveredProject& found);
  // Deletes a found project's files.
  void DiscardRecovered(const TRecoveredProject& found);

 private:
  struct TResult {
    bool Ok = false;
    bool Unchanged = false;
    std::uint64_t Fingerprint = 0;
    unsigned Generation = 0;
    QString Stem;
    QString Error;
  };
  struct TJob;
  struct TCopying;
  static TResult Write(TJob& job, bool background);
  // A job to write `copy` as the current project's recovery file.
  std::shared_ptr<TJob> NewJob(std::unique_ptr<TZymra> copy) const;
  void CopyNext();

  bool NeedsSaving() const;
  bool LockCurrent();
  void Collect();
  void Apply(const TResult& result);
  // The current project was saved or given up: its recovery files go.
  void DiscardCurrent();
  QString PathOf(const QString& stem, const char* suffix) const;
  void RemoveFiles(const QString& stem);
  void Release(const QString& stem);

  TFrmZymraMain& FWindow;
  QString FFolder;
  QTimer* FTimer;
  QString FStem;            // names the current project's files
  int FLockFd = -1;         // the lock on FStem's files, once taken
  bool FHasFile = false;    // FStem's project file exists
  unsigned FGeneration = 0;  // counts the projects the window went through
  std::uint64_t FLastFingerprint = 0;
  int FWriteCount = 0;
  QString FLastError;
  bool FEnded = false;
  std::unique_ptr<TCopying> FCopying;
  std::shared_ptr<TJob> FWritten;  // the job FWriter writes
  std::thread FWriter;
  std::atomic<bool> FWriterDone{false};
  QTimer* FPoll;
  TResult FResult;  // written by FWriter, read after it was joined
  // Locks on found projects not yet decided.
  std::vector<std::pair<QString, int>> FFoundLocks;
};
