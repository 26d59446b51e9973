// Autosave into the recovery folder and the offer at the next start, with the
// real main window offscreen; a "crash" is a program whose recovery is destroyed
// without its clean end. Message boxes answer from a recorder.
#include "QtTestApp.h"
#include "MainWindowTest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "KelFrmFile.h"
#include "LibNavigation.h"
#include "LibZymra.h"
#include "UntZymraMain.h"
#include "ZymraQtSync.h"
#include "ZymraRecovery.h"

namespace {

// One start of the program.
struct TSession {
  explicit TSession(TQtSynchronizer& sync) : Project(std::make_unique<TZymra>(&sync)) {
    Window = OpenMainWindow(*Project);
    Recovery = std::make_unique<TZymraRecovery>(*Window);
  }
  ~TSession() {
    Recovery.reset();  // no clean end: what a crash leaves
    Project->ClearRuns();
    Window.reset();
  }
  std::unique_ptr<TZymra> Project;
  std::unique_ptr<TFrmZymraMain> Window;
  std::unique_ptr<TZymraRecovery> Recovery;
};

class RecoveryTest : public ::testing::Test {
 protected:
  QTemporaryDir Home;
  TQtSynchronizer Sync;
  std::vector<QString> Messages;
  int Answer = QMessageBox::No;

  void SetUp() override {
    qputenv("HOME", Home.path().toLocal8Bit());
    qputenv("XDG_STATE_HOME", (Home.path() + "/state").toLocal8Bit());
    qunsetenv("ZYMRA_AUTOSAVE_SECONDS");
    Sync.SetBeepEnabled(false);
    SetShowMessageText([this](const QString& text, int) {
      Messages.push_back(text);
      return Answer;
    });
  }
  void TearDown() override { SetShowMessageText({}); }

  QString Folder() const { return Home.path() + "/state/zymra/recovery"; }
  QStringList Left(const char* pattern = "*.zym") const { return QDir(Folder()).entryList({pattern}, QDir::Files); }

  // A session whose project was saved to `name` and then changed (one run added).
  std::unique_ptr<TSession> ChangedAfterSave(const QString& name) {
    auto s = std::make_unique<TSession>(Sync);
    s->Window->EdtTitle->setText("Practical day 3");
    s->Window->FileName = name;
    EXPECT_TRUE(s->Window->FileSave());
    s->Window->ActAddRunExecute();
    EXPECT_TRUE(s->Window->Modified);
    return s;
  }
};

TEST_F(RecoveryTest, FolderAndIntervalFollowTheEnvironment) {
  const struct {
    const char* State;
    const char* Seconds;
    QString Folder;
    double Interval;
  } cases[] = {
      {"/srv/state", "0.25", "/srv/state/zymra/recovery", 0.25},
      {"", "", Home.path() + "/.local/state/zymra/recovery", 120},
      {"relative/state", "soon", Home.path() + "/.local/state/zymra/recovery", 120},
      {"/s", "-5", "/s/zymra/recovery", 120},
  };
  for (const auto& c : cases) {
    qputenv("XDG_STATE_HOME", c.State);
    qputenv("ZYMRA_AUTOSAVE_SECONDS", c.Seconds);
    EXPECT_EQ(RecoveryFolder(), c.Folder) << c.State;
    EXPECT_DOUBLE_EQ(AutosaveSeconds(), c.Interval) << c.Seconds;
  }
}

TEST_F(RecoveryTest, AutosaveWritesALoadableCopyWhileRunsGoAndOnlyWhenChanged) {
  TSession s(Sync);
  // Fresh and untouched: nothing to keep.
  EXPECT_FALSE(s.Recovery->AutosaveNow());
  EXPECT_TRUE(Left().isEmpty());

  // No run at all is a project too.
  s.Window->Navigations()->Deactivate();
  s.Project->ClearRuns();
  s.Window->BuildNavigation();  // no entry may keep a removed run
  s.Window->UpdateActions();
  ASSERT_TRUE(s.Recovery->AutosaveNow());
  s.Recovery->WaitWritten();
  TZymra empty;
  ASSERT_TRUE(empty.LoadFromFile(QFile::encodeName(s.Recovery->File()).toStdString())) << empty.LastError;
  EXPECT_EQ(empty.RunCount(), 0);

  s.Window->ActAddRunExecute();
  s.Window->ActAddRunExecute();
  for (int i = 0; i < s.Project->RunCount(); ++i) {
    s.Project->Run(i)->Params.Speed = 10;
    s.Project->Run(i)->Params.SimInterval = 0.001;  // far from the target while measured
  }
  s.Window->EdtTitle->setText("Course \u00B5 day");  // typed, not yet stored: goes with the copy
  s.Window->ActStartExecute();
  ASSERT_TRUE(s.Project->AnyInStates({rsRunning}));

  qputenv("ZYMRA_AUTOSAVE_SECONDS", "0.05");
  s.Recovery->Start();
  // Every tick while the runs go finds a longer project to write.
  ASSERT_TRUE(WaitFor([&] { return s.Recovery->WriteCount() >= 3; }, 20000)) << s.Recovery->LastError().toStdString();
  ASSERT_TRUE(s.Project->AnyInStates({rsRunning}));
  const QString file = s.Recovery->File();
  EXPECT_EQ(QFileInfo(file).absolutePath(), Folder());
  EXPECT_EQ(Left(), QStringList{QFileInfo(file).fileName()});

  TZymra loaded;
  ASSERT_TRUE(loaded.LoadFromFile(QFile::encodeName(file).toStdString())) << loaded.LastError;
  EXPECT_EQ(loaded.RunCount(), 2);
  EXPECT_EQ(loaded.Titles.Title.Str(), "Course \xB5 day");
  EXPECT_GT(loaded.Run(1)->Time.Rows(), 1);
  EXPECT_EQ(loaded.Run(1)->Time.Rows(), loaded.Run(1)->ODreal.Rows());

  // Paused, the project stops changing: after one last copy nothing is rewritten.
  s.Window->ActPauseExecute();
  ASSERT_TRUE(WaitFor([&] { return !s.Project->AnyInStates({rsRunning}); }, 5000));
  s.Recovery->WaitWritten();
  s.Recovery->AutosaveNow();
  s.Recovery->WaitWritten();
  const int written = s.Recovery->WriteCount();
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(s.Recovery->AutosaveNow());
    s.Recovery->WaitWritten();
  }
  EXPECT_EQ(s.Recovery->WriteCount(), written);

  // Measured data imported on a run are a change, and go with the copy.
  TMeasuredData measured;
  measured.Source = "day3.tsv";
  measured.Points.resize(2);
  measured.Points[0].Time = 0.5;
  measured.Points[0].Value[0] = 1.25;
  measured.Points[1].Time = 1.5;
  measured.Points[1].Replicate = 2;
  measured.Points[1].Value[3] = 7.5;
  s.Project->Run(0)->SetMeasured(measured);
  EXPECT_TRUE(s.Recovery->AutosaveNow());
  s.Recovery->WaitWritten();
  EXPECT_EQ(s.Recovery->WriteCount(), written + 1);
  TZymra withData;
  ASSERT_TRUE(withData.LoadFromFile(QFile::encodeName(file).toStdString())) << withData.LastError;
  ASSERT_EQ(withData.Run(0)->Measured().Points.size(), 2u);
  EXPECT_EQ(withData.Run(0)->Measured().Source, "day3.tsv");
  EXPECT_EQ(withData.Run(0)->Measured().Points[1].Replicate, 2);
  EXPECT_EQ(withData.Run(0)->Measured().Points[1].Value[3], 7.5);
  EXPECT_TRUE(std::isnan(withData.Run(0)->Measured().Points[1].Value[0]));
}

TEST_F(RecoveryTest, SaveNewAndCleanEndRemoveTheRecoveryFile) {
  enum EWay { Save, New, CleanEnd };
  for (EWay way : {Save, New, CleanEnd}) {
    SCOPED_TRACE(way);
    {
      auto s = ChangedAfterSave(Home.path() + "/project.zym");
      ASSERT_TRUE(s->Recovery->AutosaveNow());
      if (way == Save) {
        // Saved while its copy is still being written: the copy must not outlive the save.
        EXPECT_TRUE(s->Window->FileSave());
      } else {
        s->Recovery->WaitWritten();
        ASSERT_FALSE(Left().isEmpty());
        ASSERT_FALSE(Left("*.origin").isEmpty());
        if (way == New) {
          Answer = QMessageBox::No;  // "Do you want to save differences?"
          EXPECT_TRUE(s->Window->FileNew());
        } else {
          s->Recovery->CleanEnd();
          EXPECT_TRUE(Left("*.lock").isEmpty());
        }
      }
      s->Recovery->WaitWritten();
      EXPECT_TRUE(Left().isEmpty());
      EXPECT_TRUE(Left("*.origin").isEmpty());
    }
    QDir(Folder()).removeRecursively();
  }
}

TEST_F(RecoveryTest, NextStartOffersWhatACrashLeftOpenDiscardOrLater) {
  const QString original = Home.path() + "/course.zym";
  const int answers[] = {QMessageBox::Open, QMessageBox::Discard, QMessageBox::Cancel};
  for (int answer : answers) {
    SCOPED_TRACE(answer);
    {
      auto crashed = ChangedAfterSave(original);
      ASSERT_TRUE(crashed->Recovery->AutosaveNow());
      crashed->Recovery->WaitWritten();
      // A Zymra still writing its project is never offered to another.
      TSession other(Sync);
      EXPECT_TRUE(other.Recovery->FindRecovered().empty());
    }
    ASSERT_EQ(Left().size(), 1);
    const QString file = Folder() + "/" + Left().first();

    auto next = std::make_unique<TSession>(Sync);
    Messages.clear();
    Answer = answer;
    next->Recovery->OfferRecovered();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(Messages[0].contains(original)) << Messages[0].toStdString();
    EXPECT_TRUE(Messages[0].contains("Practical day 3")) << Messages[0].toStdString();

    TFrmZymraMain& window = *next->Window;
    if (answer == QMessageBox::Open) {
      EXPECT_EQ(window.FileName, original);
      EXPECT_TRUE(window.Modified);
      EXPECT_TRUE(window.windowTitle().endsWith(" *")) << window.windowTitle().toStdString();
      EXPECT_EQ(next->Project->RunCount(), 2);
      EXPECT_EQ(window.EdtTitle->text(), "Practical day 3");
      // Kept until the user saves it: then the original holds the project.
      EXPECT_EQ(next->Recovery->File(), file);
      EXPECT_TRUE(QFile::exists(file));
      ASSERT_TRUE(window.FileSave());
      EXPECT_FALSE(QFile::exists(file));
      TZymra saved;
      ASSERT_TRUE(saved.LoadFromFile(QFile::encodeName(original).toStdString()));
      EXPECT_EQ(saved.RunCount(), 2);
    } else if (answer == QMessageBox::Discard) {
      EXPECT_TRUE(Left().isEmpty());
      EXPECT_TRUE(window.FileName.isEmpty());
      EXPECT_EQ(next->Project->RunCount(), 1);
    } else {
      EXPECT_TRUE(QFile::exists(file));
      EXPECT_TRUE(window.FileName.isEmpty());
      // Released again: the start after this one offers it once more.
      TSession later(Sync);
      const auto found = later.Recovery->FindRecovered();
      ASSERT_EQ(found.size(), 1u);
      EXPECT_EQ(found[0].OriginalName, original);
      EXPECT_EQ(found[0].File, file);
    }
    next.reset();
    QDir(Folder()).removeRecursively();
  }
}

}  // namespace
