// The whole main window with its three pages, offscreen; message boxes and the
// pages' dialogs answer from recorders.
#include "QtTestApp.h"
#include "MainWindowTest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QAction>
#include <QMenu>
#include <QMimeData>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <cstring>
#include <memory>
#include <vector>

#include "KelCmpShell.h"
#include "KelCmpStandard.h"
#include "PaxChart.h"
#include "KelFrmAbout.h"
#include "KelFrmFile.h"
#include "KelSettings.h"
#include "ZymraHelp.h"
#include "libNavFullScreen.h"
#include "LibNavigation.h"
#include "LibZymra.h"
#include "UntZymraChart.h"
#include "UntZymraMain.h"
#include "UntZymraPnlProcess.h"
#include "UntZymraPnlStart.h"
#include "UntZymraFit.h"
#include "UntZymraSweep.h"
#include "PaxChart.h"
#include "ZymraHeadless.h"
#include "ZymraQtSync.h"
#include "ZymraUi.h"

namespace {

// A running run's rows, read between two of its steps.
int Rows(TZymra_Run* run) {
  int rows = 0;
  run->BetweenSteps([&] { rows = run->Time.Rows(); });
  return rows;
}

struct TMessage {
  QString Text;
  int Flags;
};

class MainWindowTest : public MainWindowFixture {
 protected:
  std::vector<TMessage> Messages;

  void SetUp() override {
    SetShowMessageText([this](const QString& text, int flags) {
      Messages.push_back({text, flags});
      return Answer;
    });
    ZymraUi().Warning = [this](QWidget*, const QString& text) { Messages.push_back({text, 0}); };
    ZymraUi().Question = [this](QWidget*, const QString& text, bool) {
      Messages.push_back({text, 0});
      return Answer;
    };
    Sync.SetBeepEnabled(false);
    OpenProjectWindow();
  }

  void TearDown() override {
    CloseProjectWindow();
    SetShowMessageText({});
    ResetZymraUi();
  }

  // The tree node whose caption is `caption`, or the node of `run` below it.
  QTreeWidgetItem* Node(const QString& caption) {
    const auto found = Tree().findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
  }
  QTreeWidgetItem* RunNode(const QString& group, int runIndex) {
    QTreeWidgetItem* parent = Node(group);
    return parent ? parent->child(runIndex) : nullptr;
  }
  void Click(QTreeWidgetItem* node) {
    ASSERT_NE(node, nullptr);
    Tree().setCurrentItem(node);
    Window->TvwNavigationClick();
  }
  void AddRuns(int total) {
    while (Project->RunCount() < total) Window->ActAddRun->trigger();
  }
  QString Caption() const { return Window->windowTitle(); }
  QString FilePath(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }
};

TEST_F(MainWindowTest, StartsWithOneRunUntitledUnmodifiedAndTheRootSelected) {
  ASSERT_EQ(Project->RunCount(), 1);
  EXPECT_EQ(Project->Titles.Title.Str(), "unknown");
  EXPECT_EQ(Window->EdtTitle->text(), "unknown");
  EXPECT_FALSE(Caption().endsWith("*")) << Caption().toStdString();
  EXPECT_FALSE(Window->Modified);
  EXPECT_EQ(Tree().currentItem(), Tree().topLevelItem(0));
  EXPECT_EQ(Tree().topLevelItem(0)->text(0), "Zymra Simulation");
  EXPECT_EQ(Window->PnlNavigation->currentIndex(), 0);
  // One start page, one process page and five chart pages for the run.
  EXPECT_EQ(RunNode("1. Process Data", 0)->text(0), "Run1 default");
  EXPECT_NE(RunNode("2. Fermentation", 0), nullptr);
  for (const char* chart : {"3.1. Optical Density", "3.2. Growth Rate", "3.3. Oxygen Transfer Rate",
                            "3.4. Reactor Volume", "3.5. Substrate Conc."})
    EXPECT_EQ(Node(chart)->childCount(), 1) << chart;
  // Nothing to finish, pause or reset; only one run to equate with.
  EXPECT_TRUE(Window->ActStart->isEnabled());
  EXPECT_FALSE(Window->ActPause->isEnabled());
  EXPECT_FALSE(Window->ActStop->isEnabled());
  EXPECT_FALSE(Window->ActReset->isEnabled());
  EXPECT_FALSE(Window->ActAssignSettings->isEnabled());
  EXPECT_FALSE(Window->ActFullScreen->isEnabled());
  EXPECT_TRUE(Window->ActSave->isEnabled());
  EXPECT_EQ(Window->ActInfo->shortcut(), QKeySequence("Shift+F1"));
  // The comment box ends 8 pixels before the welcome page's right edge, also after a resize.
  Window->resize(1200, 800);
  QCoreApplication::processEvents();
  EXPECT_EQ(Window->MmoComment->geometry().right() + 1, Window->Panel4->width() - 8);
  EXPECT_TRUE(Window->ActUpdate->shortcut().isEmpty());
}

TEST_F(MainWindowTest, AddRunGoesAfterTheShownRunOrAtTheEnd) {
  AddRuns(3);  // the root is selected: appended
  TZymra_Run* second = Project->Run(1);
  TZymra_Run* third = Project->Run(2);
  Click(RunNode("1. Process Data", 1));
  EXPECT_EQ(Project->CurrentRun, second);
  EXPECT_EQ(Window->PnlNavigation->currentWidget(), Window->FrmPnlStart);

  Window->ActAddRun->trigger();
  ASSERT_EQ(Project->RunCount(), 4);
  EXPECT_EQ(Project->Run(1), second);
  EXPECT_EQ(Project->Run(3), third);
  EXPECT_EQ(RunNode("1. Process Data", 3)->text(0), "Run4 default");
  // The structure was rebuilt: the page shown before is shown again for its run.
  EXPECT_EQ(Tree().currentItem(), RunNode("1. Process Data", 1));
  ASSERT_NE(Nav().Current, nullptr);
  EXPECT_EQ(Nav().Current->Run, second);
  EXPECT_EQ(Project->CurrentRun, second);
}

TEST_F(MainWindowTest, RemoveRunAsksNamesTheRunAndRenumbers) {
  AddRuns(3);
  // Root selected and no page shown: nothing to remove.
  Window->ActRemoveRun->trigger();
  EXPECT_EQ(Project->RunCount(), 3);
  EXPECT_TRUE(Messages.empty());

  TZymra_Run* third = Project->Run(2);
  Project->Run(1)->Params.State = rsFinished;
  Click(RunNode("2. Fermentation", 1));
  Answer = QMessageBox::No;
  Window->ActRemoveRun->trigger();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, "Do you really want to delete \"Run2 default\"");
  EXPECT_EQ(Project->RunCount(), 3);

  Answer = QMessageBox::Yes;
  Window->ActRemoveRun->trigger();
  ASSERT_EQ(Project->RunCount(), 2);
  EXPECT_EQ(Project->Run(1), third);
  EXPECT_EQ(Project->CurrentRun, nullptr);
  EXPECT_EQ(Window->PnlNavigation->currentIndex(), 0);
  EXPECT_EQ(RunNode("2. Fermentation", 1)->text(0), "Run2 default");

  // A group node carries no run.
  Messages.clear();
  Tree().setCurrentItem(Node("1. Process Data"));
  Window->ActRemoveRun->trigger();
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(Project->RunCount(), 2);
}

TEST_F(MainWindowTest, RemoveRunRefusesAnActiveRun) {
  AddRuns(2);
  Project->Run(0)->Params.State = rsPaused;  // stored paused, no worker
  Click(RunNode("1. Process Data", 0));
  Window->ActRemoveRun->trigger();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, QString::fromUtf8("Run is still active. You couldn\u00B4t delete this run now!"));
  EXPECT_EQ(Messages[0].Flags & MessageIconMask, QMessageBox::Warning);
  EXPECT_EQ(Project->RunCount(), 2);
}

TEST_F(MainWindowTest, StartAllLeavesAFinishedRunAndFinishEndsTheOther) {
  AddRuns(2);
  Project->Run(1)->Params.State = rsFinished;
  QTest::keyClick(Window.get(), Qt::Key_F9);
  EXPECT_EQ(Project->Run(0)->State(), rsRunning);
  EXPECT_NE(Project->Run(0)->Worker(), nullptr);
  EXPECT_EQ(Project->Run(1)->State(), rsFinished);
  EXPECT_EQ(Project->Run(1)->Worker(), nullptr);
  EXPECT_FALSE(Window->ActSave->isEnabled());
  EXPECT_FALSE(Window->ActExit->isEnabled());
  EXPECT_TRUE(Window->ActPause->isEnabled());
  // The tree shows the running image and steps arrive through the event loop.
  auto* startEntry = static_cast<TCompDataList*>(static_cast<TCompDataList*>(Nav().GetItem(0))->GetItem(0));
  EXPECT_EQ(startEntry->GetImageIndex(), 2);
  EXPECT_EQ(startEntry->GetSelectedIndex(), 3);
  EXPECT_TRUE(WaitFor([this] { return Rows(Project->Run(0)) > 1; }, 5000));

  QTest::keyClick(Window.get(), Qt::Key_F11);
  EXPECT_EQ(Project->Run(0)->State(), rsFinished);
  EXPECT_EQ(Project->Run(1)->State(), rsFinished);
  EXPECT_TRUE(Window->ActSave->isEnabled());
  EXPECT_TRUE(Window->ActReset->isEnabled());
  EXPECT_FALSE(Window->ActStart->isEnabled());
}

TEST_F(MainWindowTest, StateReportsOfManyWorkersUpdateTheActionsOnceFromTheEventLoop) {
  AddRuns(2);
  Window->SetModified(false);
  Project->Run(1)->Params.State = rsRunning;  // as a worker would report it
  for (int i = 0; i < 20; ++i) Project->OnStateChange();
  EXPECT_FALSE(Window->ActPause->isEnabled());
  EXPECT_FALSE(Window->Modified);
  QCoreApplication::processEvents();
  EXPECT_TRUE(Window->ActPause->isEnabled());
  EXPECT_FALSE(Window->ActSave->isEnabled());
  EXPECT_TRUE(Window->Modified);
  Project->Run(1)->Params.State = rsPrepare;
}

TEST_F(MainWindowTest, EquatesSettingsNeedsSeveralRunsAndAPreparedOne) {
  EXPECT_FALSE(Window->ActAssignSettings->isEnabled());
  EXPECT_FALSE(Window->ActAssignChart->isEnabled());
  AddRuns(2);
  EXPECT_TRUE(Window->ActAssignSettings->isEnabled());
  EXPECT_TRUE(Window->ActAssignChart->isEnabled());
  Project->Run(0)->Params.State = rsFinished;
  Project->Run(1)->Params.State = rsFinished;
  Window->UpdateActions();
  EXPECT_FALSE(Window->ActAssignSettings->isEnabled());
  EXPECT_TRUE(Window->ActAssignChart->isEnabled());

  // Equating copies from the selected run into the prepared ones only.
  Project->Run(1)->Params.State = rsPrepare;
  Project->Run(0)->Params.Uset = 0.2;
  Project->Run(0)->Params.CSubstr = 111;
  Project->Run(0)->Params.Speed = 7;
  Click(RunNode("3.2. Growth Rate", 0));
  Window->ActAssignSettings->trigger();
  EXPECT_DOUBLE_EQ(Copy(Project->Run(1)->Params.Uset), 0.2);
  EXPECT_NE(Copy(Project->Run(1)->Params.CSubstr), 111);
  Window->ActAssignChart->trigger();
  EXPECT_EQ(Copy(Project->Run(1)->Params.Speed), 7);
}

TEST_F(MainWindowTest, GroupClickShowsTheFirstRunsPageAndKeysMoveAlongTheTree) {
  AddRuns(2);
  Click(Node("1. Process Data"));
  ASSERT_NE(Nav().Current, nullptr);
  EXPECT_EQ(Nav().Current->Run, Project->Run(0));
  EXPECT_EQ(Window->PnlNavigation->currentWidget(), Window->FrmPnlStart);
  EXPECT_EQ(Project->CurrentRun, Project->Run(0));
  EXPECT_TRUE(Window->ActFullScreen->isEnabled());

  // The last chart of the last run, then Up: the same chart of the run before.
  Click(RunNode("3.5. Substrate Conc.", 1));
  EXPECT_EQ(Window->FrmZymraChart->Tag(), 4);
  Tree().setFocus();
  QTest::keyClick(&Tree(), Qt::Key_Up);
  ASSERT_NE(Nav().Current, nullptr);
  EXPECT_EQ(Nav().Current->Run, Project->Run(0));
  EXPECT_EQ(Nav().Current->PageTag, 4);
  EXPECT_EQ(Tree().currentItem(), RunNode("3.5. Substrate Conc.", 0));
  // Left goes forward again.
  QTest::keyClick(&Tree(), Qt::Key_Left);
  EXPECT_EQ(Nav().Current->Run, Project->Run(1));

  // The root brings back the welcome page.
  Click(Tree().topLevelItem(0));
  EXPECT_EQ(Nav().Current, nullptr);
  EXPECT_EQ(Window->PnlNavigation->currentIndex(), 0);
  EXPECT_FALSE(Window->ActFullScreen->isEnabled());
}

TEST_F(MainWindowTest, InfoFullScreenAndAddressesThatCannotBeOpened) {
  QString aboutTitle, aboutVersion;
  Window->AboutModal = [&](TFrmAbout& about) {
    aboutTitle = about.LblAppTitle->text();
    aboutVersion = about.LblVersion->text();
    return 0;
  };
  QTest::keyClick(Window.get(), Qt::Key_F1, Qt::ShiftModifier);
  EXPECT_EQ(aboutTitle, "Zymra Simulation");
  EXPECT_TRUE(aboutVersion.startsWith("2.0.3- ")) << aboutVersion.toStdString();

  // F1 brings up the help window, owned by the main window.
  QTest::keyClick(Window.get(), Qt::Key_F1);
  TFrmHelp* help = Window->findChild<TFrmHelp*>();
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  help->close();

  // The page borrowed by the full-screen window comes back to the content area.
  Click(RunNode("2. Fermentation", 0));
  QWidget* borrowedParent = nullptr;
  Window->FullScreenModal = [&](TFrmFullScreen&) {
    borrowedParent = Window->FrmPnlProcess->parentWidget();
    return 0;
  };
  Window->ActFullScreen->trigger();
  EXPECT_NE(borrowedParent, Window->PnlNavigation);
  EXPECT_EQ(Window->FrmPnlProcess->parentWidget(), Window->PnlNavigation);

  QStringList opened;
  const TShellOpenHandler previous = SetShellOpenHandler([&](const QString& target) {
    opened << target;
    return false;
  });
  Window->ActUpdate->trigger();
  SetShellOpenHandler(previous);
  ASSERT_EQ(opened.size(), 1);
  EXPECT_TRUE(opened[0].startsWith("https://")) << opened[0].toStdString();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_TRUE(Messages[0].Text.contains(opened[0]));
}

TEST_F(MainWindowTest, FailedLoadKeepsTheOpenProject) {
  AddRuns(2);
  Window->EdtTitle->setText("Kept");
  Window->StoreProjectFields();
  TZymra_Run* first = Project->Run(0);
  const QString bad = FilePath("broken.zym");
  {
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is no project file");
  }
  Messages.clear();
  EXPECT_FALSE(Window->OpenFile(bad));
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_TRUE(Messages[0].Text.contains("broken.zym")) << Messages[0].Text.toStdString();
  EXPECT_GT(Messages[0].Text.split('\n').last().size(), 0);
  EXPECT_EQ(Project->RunCount(), 2);
  EXPECT_EQ(Project->Run(0), first);
  EXPECT_EQ(Project->Titles.Title.Str(), "Kept");
  EXPECT_TRUE(Window->FileName.isEmpty());
  EXPECT_EQ(RunNode("1. Process Data", 1)->text(0), "Run2 default");
}

// Three runs of different lengths, simulated headless, written by the engine.
void MakeProjectFile(const QString& path, TZymra& source) {
  TQueueSynchronizer queue;
  source.SetSynchronizer(&queue);
  source.Titles.Title.Assign("Round trip");
  source.Comment = "three runs";
  std::vector<TZymra_Run*> runs;
  for (int i = 0; i < 3; ++i) runs.push_back(source.AddRun());
  runs[1]->Params.Uset = 0.15;
  THeadlessOptions options;
  options.MaxSteps = 40;
  RunHeadless(queue, {runs[0], runs[1]}, options);
  source.SetSynchronizer(nullptr);
  ASSERT_TRUE(source.SaveToFile(path.toStdString())) << source.LastError;
}

void ExpectSameRuns(const TZymra& a, const TZymra& b) {
  ASSERT_EQ(a.RunCount(), b.RunCount());
  EXPECT_EQ(a.Titles.Title.Str(), b.Titles.Title.Str());
  EXPECT_EQ(a.Comment, b.Comment);
  for (int i = 0; i < a.RunCount(); ++i) {
    const TZymra_Run& x = *a.Run(i);
    const TZymra_Run& y = *b.Run(i);
    EXPECT_EQ(std::memcmp(&x.Params, &y.Params, sizeof x.Params), 0) << "run " << i;
    EXPECT_EQ(std::memcmp(&x.BatchParams, &y.BatchParams, sizeof x.BatchParams), 0) << "run " << i;
    EXPECT_EQ(x.EventLog, y.EventLog);
    for (int s = 0; s < kRunSeriesCount - 1; ++s) {  // Substrate is not stored
      ASSERT_EQ(x.Series(s).Rows(), y.Series(s).Rows()) << "run " << i << " series " << s;
      for (int r = 0; r < x.Series(s).Rows(); ++r)
        ASSERT_EQ(x.Series(s).GetElement(r), y.Series(s).GetElement(r)) << "run " << i << " series " << s;
    }
  }
}

TEST_F(MainWindowTest, SavedProjectReopensWithEqualRecordsAndSeries) {
  const QString original = FilePath("three.zym");
  TZymra source;
  MakeProjectFile(original, source);
  ASSERT_GT(source.Run(0)->Time.Rows(), 10);

  ASSERT_TRUE(Window->OpenFile(original));
  EXPECT_FALSE(Window->Modified);
  EXPECT_EQ(Window->EdtTitle->text(), "Round trip");
  EXPECT_EQ(RunNode("2. Fermentation", 2)->text(0), "Run3 default");
  EXPECT_EQ(Project->CurrentRun, nullptr);
  ExpectSameRuns(source, *Project);

  // Saved by the window and read back by a project of its own.
  Window->MmoComment->setPlainText("changed on the welcome page");
  const QString copy = FilePath("copy.zym");
  ASSERT_TRUE(Window->SaveDocument(copy));
  TZymra reread;
  ASSERT_TRUE(reread.LoadFromFile(copy.toStdString())) << reread.LastError;
  EXPECT_EQ(reread.Comment, "changed on the welcome page");
  source.Comment = reread.Comment;
  ExpectSameRuns(source, reread);
}

TEST_F(MainWindowTest, ARunSavedWhileGoingIsHeldForTheSaveAndComesBackFinished) {
  AddRuns(2);
  Window->ActStart->trigger();
  ASSERT_TRUE(WaitFor([this] { return Rows(Project->Run(1)) > 2; }, 5000));
  const QString path = FilePath("going.zym");
  const int before = Rows(Project->Run(0));
  ASSERT_TRUE(Window->SaveDocument(path));  // the question before a dropped file may do this
  EXPECT_EQ(Project->Run(0)->State(), rsRunning);
  const int rows = Rows(Project->Run(0));
  EXPECT_TRUE(WaitFor([&] { return Rows(Project->Run(0)) > rows; }, 5000)) << "workers go on after the save";

  // Without a worker to go on with, the runs come back finished, results kept.
  ASSERT_TRUE(Window->OpenFile(path));
  ASSERT_EQ(Project->RunCount(), 2);
  EXPECT_EQ(Project->Run(0)->State(), rsFinished);
  EXPECT_GE(Rows(Project->Run(0)), before);
  EXPECT_LE(Rows(Project->Run(0)), rows);
  EXPECT_EQ(Project->Run(0)->Worker(), nullptr);
  EXPECT_FALSE(Project->AnyActive());
  EXPECT_FALSE(Window->ActStart->isEnabled());
  EXPECT_TRUE(Window->ActReset->isEnabled());
}

// A fresh user's first Save As starts in the documents folder under the project's title;
// afterwards open, save and import start where projects were last kept. The settings file
// lives under XDG_CONFIG_HOME and holds the folder and the recent file at once, not at exit.
TEST_F(MainWindowTest, FileDialogsStartWhereProjectsAreKeptAndSettingsAreWrittenAtOnce) {
  const QString home = Dir.filePath("home"), config = Dir.filePath("config"), projects = Dir.filePath("projects");
  ASSERT_TRUE(QDir().mkpath(home + "/Documents") && QDir().mkpath(projects));
  const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("HOME", QFile::encodeName(home));
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
  OpenUserSettings();
  QStringList asked;
  QString answer = projects + "/a.zym";
  ZymraUi().SaveFileName = [&](QWidget*, const QString&, const QString& proposed, const QString&, const QString&) {
    asked << proposed;
    return answer;
  };
  ZymraUi().OpenFileName = [&](QWidget*, const QString&, const QString& folder, const QString&) {
    asked << folder;
    return QString();
  };
  Window->EdtTitle->setText("Fed batch A");
  Window->ActSaveAs->trigger();
  ASSERT_EQ(asked.size(), 1);
  EXPECT_EQ(asked[0], home + "/Documents/Fed batch A.zym");
  ASSERT_TRUE(QFile::exists(answer));

  const QStringList inis = QDir(config + "/zymra").entryList({"*.ini"}, QDir::Files);
  ASSERT_EQ(inis.size(), 1);
  QFile ini(config + "/zymra/" + inis[0]);
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  const QString written = QString::fromUtf8(ini.readAll());
  EXPECT_TRUE(written.contains("Projects=" + projects)) << written.toStdString();
  EXPECT_TRUE(written.contains("1='" + answer + "'")) << written.toStdString();

  Answer = QMessageBox::No;  // the question before another project replaces this one
  Window->ActOpen->trigger();
  Click(RunNode("1. Process Data", 0));
  Window->FrmPnlStart->BtnImport->click();
  answer = projects + "/b.zym";
  Window->ActSaveAs->trigger();  // a saved project is proposed where it is
  EXPECT_EQ(asked.mid(1), QStringList({projects, projects, projects + "/a.zym"}));

  SetUserSettings(nullptr);
  qputenv("HOME", oldHome);
  if (oldConfig.isNull()) qunsetenv("XDG_CONFIG_HOME"); else qputenv("XDG_CONFIG_HOME", oldConfig);
}

// The first start chooses a size from the pages' own and the screen's available area: on a
// 1366 x 768 laptop every page shows whole, the twin-culture constants and the live charts in view.
TEST_F(MainWindowTest, FirstStartSizeShowsEveryPageWholeOnALaptopScreen) {
  const struct {
    QRect Area;
    bool Laptop;
  } screens[] = {{QRect(0, 0, 1920, 1080), false}, {QRect(0, 0, 1024, 600), false}, {QRect(0, 0, 1366, 768), true}};
  for (const auto& screen : screens) {
    Window->ScreenArea = [&screen] { return screen.Area; };
    Window->setMinimumSize(QSize(980, 680).boundedTo(screen.Area.size()));
    Window->FirstStartPlacement();
    QCoreApplication::processEvents();
    const QRect placed(Window->pos(), Window->size());
    EXPECT_TRUE(screen.Area.contains(placed)) << screen.Area.width();
    if (screen.Area.width() >= 1366) {
      EXPECT_GE(Window->width(), 980);
      EXPECT_GE(Window->height(), 680);
    }
    if (!screen.Laptop) continue;
    auto inView = [&](QWidget* w) {
      return Window->rect().contains(QRect(w->mapTo(Window.get(), QPoint(0, 0)), w->size())) && w->isVisible();
    };
    Click(RunNode("1. Process Data", 0));
    QCoreApplication::processEvents();
    TFrmPnlStart& start = *Window->FrmPnlStart;
    EXPECT_EQ(start.ScbStart->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(start.ScbStart->verticalScrollBar()->maximum(), 0);
    for (QWidget* w : std::initializer_list<QWidget*>{start.EdtCSubstr_Real, start.EdtYxo, start.BtnImport,
                                                      start.edtBatchStartVol})
      EXPECT_TRUE(inView(w)) << w->objectName().toStdString();
    Window->grab().save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/main_window_first_start_start.png"));
    Click(RunNode("2. Fermentation", 0));
    QCoreApplication::processEvents();
    TFrmPnlProcess& process = *Window->FrmPnlProcess;
    for (QScrollArea* area : process.findChildren<QScrollArea*>()) {
      EXPECT_EQ(area->horizontalScrollBar()->maximum(), 0);
      EXPECT_EQ(area->verticalScrollBar()->maximum(), 0);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{process.crtu, process.CrtOD, process.MmoEventProtocol,
                                                      process.BtnDischarge, process.EdtODideal})
      EXPECT_TRUE(inView(w)) << w->metaObject()->className();
    EXPECT_GE(process.CrtOD->height(), 150);
    EXPECT_GE(process.MmoEventProtocol->width(), 350);
    Window->grab().save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/main_window_first_start_process.png"));
  }
}

// The desktop shows the window's title and, when the program set an application display name
// that the title does not end with, that name after a dash: the program's name must show once.
TEST_F(MainWindowTest, TheTitleNamesTheProgramOnce) {
  const QString file = Dir.filePath("p.zym");
  ZymraUi().SaveFileName = [&](QWidget*, const QString&, const QString&, const QString&, const QString&) {
    return file;
  };
  Window->ActSaveAs->trigger();
  Window->MarkModified();
  const QString name = QCoreApplication::applicationName(), display = QGuiApplication::applicationDisplayName();
  const QString title = Window->windowTitle();
  EXPECT_EQ(title, name + " " + QString::fromStdString(TZymra::VersionText()) + " - " + file + " *");
  const QString shown = display != name && !title.endsWith(display) ? title + QString::fromUtf8(" \u2014 ") + display : title;
  EXPECT_EQ(QString(shown).remove(file).count(name), 1) << shown.toStdString();
}

TEST_F(MainWindowTest, SaveFailureShowsTheReasonAndKeepsTheMark) {
  Window->MarkModified();
  const QString target = FilePath("no/such/folder/x.zym");
  Window->FileName = target;
  EXPECT_FALSE(Window->FileSave());
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_TRUE(Messages[0].Text.contains("x.zym"));
  EXPECT_TRUE(Window->Modified);
  EXPECT_TRUE(Caption().endsWith(" *"));
}

TEST_F(MainWindowTest, CloseIsRefusedWhileARunGoes) {
  Window->ActStart->trigger();
  ASSERT_TRUE(Project->AnyActive());
  EXPECT_FALSE(Window->close());
  EXPECT_TRUE(Window->isVisible());
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, "A run is still active! Please finish all runs.");

  Window->ActStop->trigger();
  Messages.clear();
  Answer = QMessageBox::No;  // do not save the differences
  EXPECT_TRUE(Window->close());
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, "Do you want to save differences?");
  EXPECT_EQ(Window->Navigations(), nullptr);
}

TEST_F(MainWindowTest, ParameterSweepOpensAWindowForTheCurrentRun) {
  AddRuns(2);
  Project->CurrentRun = nullptr;
  Window->UpdateActions();
  EXPECT_FALSE(Window->ActSweep->isEnabled());  // no run to vary
  EXPECT_TRUE(Window->MnuRuns->actions().contains(Window->ActSweep));
  Click(RunNode("1. Process Data", 1));
  ASSERT_EQ(Project->CurrentRun, Project->Run(1));
  ASSERT_TRUE(Window->ActSweep->isEnabled());
  Window->ActSweep->trigger();
  TFrmSweep* sweep = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* found = qobject_cast<TFrmSweep*>(widget); found && found->isVisible()) sweep = found;
  ASSERT_NE(sweep, nullptr);
  EXPECT_TRUE(sweep->isWindow());
  EXPECT_EQ(sweep->windowTitle(), "Sweep - Run2 default");
  EXPECT_FALSE(Window->isAncestorOf(sweep));  // beside the main window, not inside it
  EXPECT_TRUE(sweep->close());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  for (QWidget* widget : QApplication::topLevelWidgets()) EXPECT_EQ(qobject_cast<TFrmSweep*>(widget), nullptr);
}

TEST_F(MainWindowTest, ADroppedFileIsOpened) {
  const QString path = FilePath("dropped.zym");
  TZymra source;
  MakeProjectFile(path, source);
  Answer = QMessageBox::No;
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(path), QUrl::fromLocalFile(FilePath("second.zym"))});
  QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Window.get(), &enter);
  QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Window.get(), &drop);
  EXPECT_TRUE(enter.isAccepted());
  ASSERT_TRUE(WaitFor([this] { return Project->RunCount() == 3; }, 5000));
  EXPECT_EQ(Window->FileName, path);
  EXPECT_TRUE(Messages.empty());  // nothing modified: no question
  EXPECT_EQ(Project->Titles.Title.Str(), "Round trip");
}

}  // namespace

TEST_F(MainWindowTest, MeasuredDataImportedOnARunAreChartedSavedAndFitted) {
  const QString data = FilePath("flask.tsv"), project = FilePath("measured.zym");
  {
    QFile f(data);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Time\tODreal\tReplicate\n1\t0,06\t1\n2\t0,09\t1\n1\t0,07\t2\n2\t0,1\t2\n");
  }
  ZymraUi().OpenFileName = [&](QWidget*, const QString&, const QString&, const QString&) { return data; };
  Click(RunNode("3.1. Optical Density", 0));
  ASSERT_NE(Project->CurrentRun, nullptr);
  EXPECT_TRUE(Window->ActImportMeasured->isEnabled());
  EXPECT_FALSE(Window->ActRemoveMeasured->isEnabled());
  EXPECT_FALSE(Window->ActFit->isEnabled()) << "nothing to fit to yet";
  Window->ActImportMeasured->trigger();
  ASSERT_TRUE(Project->Run(0)->HasMeasured());
  EXPECT_TRUE(Window->ActFit->isEnabled());
  EXPECT_TRUE(Window->ActRemoveMeasured->isEnabled());
  EXPECT_TRUE(Window->Modified);
  // The shown chart page drew them at once.
  const TPaxPlot& plot = Window->FrmZymraChart->CrtChart->Plot();
  QStringList titles;
  for (int i = 0; i < plot.SeriesCount(); ++i) titles << plot.Series(i)->Title();
  EXPECT_TRUE(titles.contains("measured 1") && titles.contains("measured 2")) << titles.join(", ").toStdString();

  ASSERT_TRUE(Window->SaveDocument(project));
  ASSERT_TRUE(Window->OpenFile(project));
  ASSERT_EQ(Project->RunCount(), 1);
  ASSERT_TRUE(Project->Run(0)->HasMeasured()) << "kept through the save and the open";
  EXPECT_EQ(Project->Run(0)->Measured().Points.size(), 4u);

  Click(RunNode("1. Process Data", 0));
  Window->ActFit->trigger();
  TFrmFit* fit = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* found = qobject_cast<TFrmFit*>(widget); found && found->isVisible()) fit = found;
  ASSERT_NE(fit, nullptr);
  EXPECT_EQ(fit->windowTitle(), "Fit - Run1 default");
  EXPECT_FALSE(Window->isAncestorOf(fit));
  EXPECT_TRUE(fit->close());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  Answer = QMessageBox::Yes;
  Window->ActRemoveMeasured->trigger();
  EXPECT_FALSE(Project->Run(0)->HasMeasured());
  EXPECT_FALSE(Window->ActFit->isEnabled());
}
