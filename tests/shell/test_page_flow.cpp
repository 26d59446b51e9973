// The pages as the main window's commands meet them, driven as a user drives the window:
// typed values reach the run before any command acts, a refused value stops the command,
// no page stays on screen without its run, no state reached by the program's own buttons
// traps a page, Compare Runs stays on, and the keys every desktop program has.
#include "QtTestApp.h"
#include "MainWindowTest.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTreeWidget>

#include <functional>
#include <memory>

#include "KelCmpStandard.h"
#include "KelFrmFile.h"
#include "LibFrmModal.h"
#include "LibNavigation.h"
#include "LibZymra.h"
#include "PaxChart.h"
#include "UntZymraChart.h"
#include "UntZymraFit.h"
#include "UntZymraMain.h"
#include "UntZymraPnlProcess.h"
#include "UntZymraPnlStart.h"
#include "UntZymraSweep.h"
#include "ZymraQtSync.h"
#include "ZymraUi.h"

namespace {

class PageFlow : public MainWindowFixture {
  // Public: the command table drives the window through them.
 public:
  QStringList Questions;  // message boxes of the window
  QStringList Warnings;   // the pages' warnings

  void SetUp() override {
    SetShowMessageText([this](const QString& text, int) {
      Questions << text;
      return Answer;
    });
    ZymraUi().Warning = [this](QWidget*, const QString& text) { Warnings << text; };
    Sync.SetBeepEnabled(false);
    Open();
  }
  void TearDown() override {
    Close();
    SetShowMessageText({});
    ResetZymraUi();
    TFrmModal::ShowModal = nullptr;
  }
  void Open() {
    OpenProjectWindow();
    while (Project->RunCount() < 2) Window->ActAddRun->trigger();
    Questions.clear();
    Warnings.clear();
  }
  void Close() { CloseProjectWindow(); }

  TFrmPnlStart& Start() { return *Window->FrmPnlStart; }
  TZymra_Run* Run(int i) { return Project->Run(i); }
  QTreeWidgetItem* RunNode(const char* group, int run) {
    const auto found = Tree().findItems(QString::fromUtf8(group), Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first()->child(run);
  }
  void Click(const char* group, int run) {
    QTreeWidgetItem* node = RunNode(group, run);
    ASSERT_NE(node, nullptr) << group;
    Tree().setCurrentItem(node);
    Window->TvwNavigationClick();
  }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(Window.get(), static_cast<Qt::Key>(key), modifiers);
  }
  // The page in the content area and the run it is bound to.
  bool Shows(QWidget* page, TZymra_Run* run) {
    return Nav().Current && Nav().Current->Page == page && Nav().Current->Run == run &&
           Window->PnlNavigation->currentWidget() == page;
  }
  QString File(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }
};

// Run 1 with a few measured ODs, so that the fit is offered.
void MeasuredOnRun1(PageFlow& t) {
  TMeasuredData data;
  for (int i = 1; i <= 3; ++i) {
    TMeasuredPoint p;
    p.Time = i;
    p.Value[0] = 0.05 * i;
    data.Points.push_back(p);
  }
  t.Run(0)->SetMeasured(data);
  t.Window->UpdateActions();
}

TFrmFit* ShownFitWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* fit = qobject_cast<TFrmFit*>(widget); fit && fit->isVisible()) return fit;
  return nullptr;
}

const QString kRefused = QString::fromUtf8("Values Couldn\u00B4t Be Applied To Run!");

// Each command on the runs or the project, from the main window's keys and tool bar, with
// the start page of run 1 showing typed values: an out-of-range value gives the warning and
// the command does not happen; once corrected, the run has the typed values before the
// command acts, and the page still shows them, bound to its run.
TEST_F(PageFlow, TypedValuesReachTheRunBeforeEveryMainWindowCommand) {
  struct TCommand {
    const char* Name;
    std::function<void(PageFlow&)> Prepare;
    std::function<void(PageFlow&)> Act;
    std::function<bool(PageFlow&)> Done;
  };
  int saveAsAsked = 0;
  const TCommand commands[] = {
      {"Start F9", {}, [](PageFlow& t) { t.Key(Qt::Key_F9); },
       [](PageFlow& t) { return t.Run(0)->State() == rsRunning; }},
      {"Add Run", {}, [](PageFlow& t) { t.Window->ActAddRun->trigger(); },
       [](PageFlow& t) { return t.Project->RunCount() == 3; }},
      {"Save Ctrl+S", [](PageFlow& t) { t.Window->FileName = t.File("saved.zym"); },
       [](PageFlow& t) { t.Key(Qt::Key_S, Qt::ControlModifier); },
       [](PageFlow& t) {
         TZymra reread;
         return reread.LoadFromFile(QFile::encodeName(t.File("saved.zym")).toStdString()) &&
                reread.Run(0)->Params.Uset == 0.12;
       }},
      {"Save As",
       [&saveAsAsked](PageFlow& t) {
         ZymraUi().SaveFileName = [&saveAsAsked, &t](QWidget*, const QString&, const QString&, const QString&,
                                                     const QString&) {
           ++saveAsAsked;
           return t.File("as.zym");
         };
       },
       [](PageFlow& t) { t.Window->ActSaveAs->trigger(); },
       [&saveAsAsked](PageFlow& t) { return saveAsAsked == 1 && QFile::exists(t.File("as.zym")); }},
      {"Equates Settings F2", {}, [](PageFlow& t) { t.Key(Qt::Key_F2); },
       [](PageFlow& t) { return t.Run(1)->Params.Uset == 0.12; }},
      {"Equates Charts F3", [](PageFlow& t) { t.Run(0)->Params.Speed = 3; },
       [](PageFlow& t) { t.Key(Qt::Key_F3); }, [](PageFlow& t) { return t.Run(1)->Params.Speed == 3; }},
      {"Remove another run",
       [](PageFlow& t) { t.Tree().setCurrentItem(t.RunNode("2. Fermentation", 1)); },  // selected, not shown
       [](PageFlow& t) { t.Window->ActRemoveRun->trigger(); },
       [](PageFlow& t) { return t.Project->RunCount() == 1; }},
      {"Fit To Measured Data", MeasuredOnRun1, [](PageFlow& t) { t.Window->ActFit->trigger(); },
       [](PageFlow&) { return ShownFitWindow() != nullptr; }},
      {"Design the next run from the fit window",
       [](PageFlow& t) {
         MeasuredOnRun1(t);
         t.Window->ActFit->trigger();
       },
       [](PageFlow& t) { ShownFitWindow()->AddRunAfter(*t.Run(0)); },
       [](PageFlow& t) { return t.Project->RunCount() == 3; }},
      {"Reset all Ctrl+F2",
       [](PageFlow& t) {
         t.Run(1)->Params.State = rsFinished;
         t.Window->UpdateActions();
       },
       [](PageFlow& t) { t.Key(Qt::Key_F2, Qt::ControlModifier); },
       [](PageFlow& t) { return t.Run(1)->State() == rsPrepare; }},
  };
  bool first = true;
  for (const TCommand& command : commands) {
    SCOPED_TRACE(command.Name);
    if (!first) {
      Close();
      Open();
    }
    first = false;
    Click("1. Process Data", 0);
    TZymra_Run* run = Run(0);
    if (command.Prepare) command.Prepare(*this);

    Start().EdtUset->setText("1,5");
    Start().EdtTargetOD->setText("40");
    command.Act(*this);
    ASSERT_EQ(Warnings.size(), 1);
    EXPECT_TRUE(Warnings[0].startsWith(kRefused)) << Warnings[0].toStdString();
    EXPECT_TRUE(Warnings[0].contains(QString::fromUtf8("- \u00B5set is out of bounds")));
    EXPECT_FALSE(command.Done(*this));
    EXPECT_EQ(Copy(run->Params.Uset), 0.1);
    EXPECT_EQ(Start().EdtUset->text(), "1,5");
    EXPECT_TRUE(Shows(Window->FrmPnlStart, run));

    Warnings.clear();
    Start().EdtUset->setText("0,12");
    command.Act(*this);
    EXPECT_TRUE(Warnings.isEmpty()) << Warnings.join('|').toStdString();
    EXPECT_TRUE(command.Done(*this));
    EXPECT_EQ(Copy(run->Params.Uset), 0.12);
    EXPECT_EQ(Copy(run->Params.TargetOD), 40);
    EXPECT_EQ(Start().EdtUset->AsFloat(), 0.12);
    EXPECT_TRUE(Shows(Window->FrmPnlStart, run));
    EXPECT_EQ(Project->CurrentRun, run);
  }
}

// Save and Add Run leave every page bound to its run; the start page's caption and Reset
// follow a run that finishes while the page is shown.
TEST_F(PageFlow, NoPageIsLeftOnScreenWithoutItsRun) {
  TZymra_Run* run = Run(0);
  run->Params.State = rsFinished;  // as loaded from a file: finished, with its protocol
  run->EventLog = "0:15:00 [h:mm:ss]\tFinish-\tdone\r\n";
  Click("2. Fermentation", 0);
  TFrmPnlProcess& process = *Window->FrmPnlProcess;
  int printers = 0, exports = 0;
  ZymraUi().SetupPrinter = [&](QWidget*, QPrinter&) {
    ++printers;
    return false;
  };
  TFrmModal::ShowModal = [&](TFrmModal&) {
    ++exports;
    return 0;
  };
  Window->FileName = File("bound.zym");
  Key(Qt::Key_S, Qt::ControlModifier);
  ASSERT_TRUE(QFile::exists(File("bound.zym")));
  Window->ActAddRun->trigger();
  EXPECT_TRUE(Shows(&process, run));
  EXPECT_EQ(process.Run(), run);
  ASSERT_TRUE(process.ActPrintGLP->isEnabled());
  ASSERT_TRUE(process.ActExport->isEnabled());
  process.ActPrintGLP->trigger();
  process.ActExport->trigger();
  EXPECT_EQ(printers, 1);
  EXPECT_EQ(exports, 1);

  Click("3.2. Growth Rate", 0);
  Window->ActAddRun->trigger();
  EXPECT_TRUE(Shows(Window->FrmZymraChart, run));
  EXPECT_EQ(Window->FrmZymraChart->ShownRun(), run);

  // Typed after Add Run, kept when the page is left.
  TZymra_Run* second = Run(1);
  Click("1. Process Data", 1);
  Window->ActAddRun->trigger();
  EXPECT_TRUE(Shows(Window->FrmPnlStart, second));
  Start().EdtUset->setText("0,13");
  Click("2. Fermentation", 1);
  EXPECT_EQ(Copy(second->Params.Uset), 0.13);

  // A run that finishes on its own while its start page is shown.
  for (int i = 0; i < Project->RunCount(); ++i) Run(i)->BatchParams.IsBatch = 0;
  Click("1. Process Data", 1);  // the process page left behind keeps its speed
  for (int i = 0; i < Project->RunCount(); ++i) Run(i)->Params.Speed = 10;
  Key(Qt::Key_F9);
  EXPECT_TRUE(Start().LblCaption->text().endsWith("[Running]"));
  ASSERT_TRUE(WaitFor([&] { return !Project->AnyActive(); }, 20000));
  QCoreApplication::processEvents();
  EXPECT_TRUE(Start().LblCaption->text().endsWith("[Finished]")) << Start().LblCaption->text().toStdString();
  EXPECT_TRUE(Start().BtnReset->isEnabled());
}

// A batch on 100 g/l substrate ends at an OD above the feed-start limit, which the engine
// writes into the greyed feed-start field. Reset from the main window or from the page's own
// button: no warning, and the page can be left.
TEST_F(PageFlow, AResetAfterARichBatchNeverTrapsTheStartPage) {
  for (const bool byPageButton : {false, true}) {
    SCOPED_TRACE(byPageButton ? "Reset button" : "Ctrl+F2");
    TZymra_Run* run = Run(0);
    run->Params.Speed = 10;
    Click("1. Process Data", 0);
    Start().EdtBatchSubConc->setText("100");
    Start().EdtODCritical->setText("200");
    Key(Qt::Key_F9);
    ASSERT_TRUE(WaitFor([&] { return run->State() == rsPaused; }, 20000));  // the end of the batch
    ASSERT_GT(Copy(run->Params.FedBatchOD), 80);
    Click("2. Fermentation", 0);
    Click("1. Process Data", 0);
    if (byPageButton) {
      Key(Qt::Key_F11);
      Start().BtnReset->click();
    } else {
      Key(Qt::Key_F2, Qt::ControlModifier);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(run->State(), rsPrepare);
    EXPECT_FALSE(Start().EdtOD->isEnabled());
    Click("2. Fermentation", 0);
    EXPECT_TRUE(Warnings.isEmpty()) << Warnings.join('|').toStdString();
    EXPECT_TRUE(Shows(Window->FrmPnlProcess, run));
    Run(1)->Params.State = rsFinished;  // Start all then starts run 1 only
  }
}

// Compare Runs stays on through every main-window run command and Add Run; showing another
// page ends it.
TEST_F(PageFlow, CompareRunsStaysOnUntilTheUserEndsIt) {
  TFrmZymraChart& chart = *Window->FrmZymraChart;
  Click("3.1. Optical Density", 0);
  chart.ActCompareRuns->trigger();
  ASSERT_TRUE(chart.Comparing());
  const struct {
    const char* Name;
    int Key;
    Qt::KeyboardModifiers Modifiers;
    int State;
  } commands[] = {{"F9", Qt::Key_F9, Qt::NoModifier, rsRunning},
                  {"F10", Qt::Key_F10, Qt::NoModifier, rsPaused},
                  {"F11", Qt::Key_F11, Qt::NoModifier, rsFinished},
                  {"Ctrl+F2", Qt::Key_F2, Qt::ControlModifier, rsPrepare}};
  for (const auto& command : commands) {
    Key(command.Key, command.Modifiers);
    EXPECT_EQ(Run(0)->State(), command.State) << command.Name;
    EXPECT_TRUE(chart.Comparing()) << command.Name;
    EXPECT_TRUE(chart.ActCompareRuns->isChecked()) << command.Name;
  }
  Window->ActAddRun->trigger();
  EXPECT_TRUE(chart.Comparing());
  EXPECT_EQ(chart.CrtChart->SeriesCount(), 3);  // the new run has its line
  EXPECT_TRUE(Shows(&chart, Run(0)));
  Click("3.1. Optical Density", 1);
  EXPECT_FALSE(chart.Comparing());
  EXPECT_FALSE(chart.ActCompareRuns->isChecked());
}

TEST_F(PageFlow, KeysEveryDesktopProgramHas) {
  // Return on a tree entry shows its page.
  Tree().setFocus();
  Tree().setCurrentItem(RunNode("2. Fermentation", 1));
  QTest::keyClick(&Tree(), Qt::Key_Return);
  EXPECT_TRUE(Shows(Window->FrmPnlProcess, Run(1)));

  // The protocol's pop-up offers Copy.
  QPlainTextEdit& memo = *Window->FrmPnlProcess->MmoEventProtocol;
  memo.setPlainText("0:00:00 [h:mm:ss]\tentry");
  QAction* copy = nullptr;
  for (QAction* action : Window->FrmPnlProcess->PopGLP->actions())
    if (action->text() == "&Copy") copy = action;
  ASSERT_NE(copy, nullptr);
  EXPECT_FALSE(copy->isEnabled());  // nothing selected
  memo.selectAll();
  ASSERT_TRUE(copy->isEnabled());
  copy->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "0:00:00 [h:mm:ss]\tentry");

  // Escape closes the sweep window.
  Window->ActSweep->trigger();
  TFrmSweep* sweep = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* found = qobject_cast<TFrmSweep*>(widget); found && found->isVisible()) sweep = found;
  ASSERT_NE(sweep, nullptr);
  QTest::keyClick(sweep, Qt::Key_Escape);
  EXPECT_FALSE(sweep->isVisible());

  // Ctrl+O asks for a file, Ctrl+N starts a new project, Ctrl+Q closes the window.
  Answer = QMessageBox::No;  // do not save the differences
  int asked = 0;
  ZymraUi().OpenFileName = [&](QWidget*, const QString&, const QString&, const QString&) {
    ++asked;
    return QString();
  };
  Key(Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(asked, 1);
  Key(Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(Project->RunCount(), 1);
  Key(Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(Window->isVisible());
}

}  // namespace
