// The start page on real projects: checks, the batch rule, states, the value sources and import.
#include "QtTestApp.h"
#include "UntZymraPnlStart.h"

#include "KelCmpStandard.h"
#include "LibZymra.h"
#include "ZymraHeadless.h"
#include "ZymraUi.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class StartPage : public ::testing::Test {
 protected:
  void SetUp() override {
    ZymraUi().Warning = [this](QWidget*, const QString& text) { Warnings << text; };
    first = project.AddRun();
    second = project.AddRun();
  }
  void TearDown() override { ResetZymraUi(); }

  // Every input's text and check state, to see whether anything on the page changed.
  QStringList Snapshot() const {
    QStringList texts;
    for (const auto* edit : page.findChildren<QLineEdit*>()) texts << edit->objectName() + "=" + edit->text();
    for (const auto* box : page.findChildren<QCheckBox*>()) texts << box->objectName() + (box->isChecked() ? "+" : "-");
    texts << page.MmoComment->toPlainText();
    return texts;
  }
  // Checks the page and returns the warning it showed ("" when the values passed).
  QString Check() {
    Warnings.clear();
    const bool passed = page.CheckValues();
    EXPECT_EQ(passed, Warnings.isEmpty());
    return Warnings.isEmpty() ? QString() : Warnings.join("|");
  }

  TQueueSynchronizer sync;
  TZymra project{&sync};
  TFrmPnlStart page{project};
  TZymra_Run* first = nullptr;
  TZymra_Run* second = nullptr;
  QStringList Warnings;
};

const QString kHead = QString::fromUtf8("Values Couldn\u00B4t Be Applied To Run!\r\n==================================\r\n");

TEST_F(StartPage, ShowsTheRunWithTheInputsFormats) {
  first->Comment = "first \xB5 comment";
  page.ShowRun(second);
  page.ShowRun(first);
  EXPECT_EQ(project.CurrentRun, first);
  EXPECT_EQ(page.LblCaption->text(), "Run1 default [Prepare Fermentation]");
  EXPECT_EQ(page.EdtTitle->text(), "default");
  EXPECT_EQ(page.EdtReactorSize->text(), "4,0");
  EXPECT_EQ(page.EdtSimInerval->text(), "0,250");
  EXPECT_EQ(page.edtBatchOD->text(), "0,05000");
  EXPECT_EQ(page.EdtCSubstr_Real->text(), "750,00");
  EXPECT_EQ(page.EdtODCritical->text(), "28");
  EXPECT_EQ(page.EdtMaintenance->text(), "0,0250");
  EXPECT_TRUE(page.ChbIsBatch->isChecked());
  EXPECT_TRUE(page.ChbStopbyucrit->isChecked());
  EXPECT_EQ(page.MmoComment->toPlainText(), QString::fromUtf8("first \u00B5 comment"));
  EXPECT_EQ(page.BtnImport->text(), "&Import");
  EXPECT_EQ(page.BtnAssignFromLastRun->toolTip(), "Get Values From Previous Run");
  EXPECT_EQ(Check(), QString());  // the defaults pass every check

  page.ShowRun(nullptr);
  EXPECT_EQ(project.CurrentRun, first);
}

TEST_F(StartPage, SeveralFailuresGiveOneMessageInTableOrder) {
  page.ShowRun(first);
  page.EdtYxo->setText("5,000");
  page.EdtUset->setText("0,200");
  page.EdtYield->setText("0,9500");
  page.EdtSimInerval->clear();
  page.EdtCSubstr_Real->setText("9,99");
  EXPECT_EQ(Check(), kHead + QString::fromUtf8("- SimInterval is out of bounds\r\n"
                                               "- Calculated Substrate Yield is out of bounds\r\n"
                                               "- Real Substrate Feed Conc. is out of bounds\r\n"
                                               "- \u00B5" "critical is too high\r\n"
                                               "- Oxygen Yield is too high"));
  // After the warning the first value that failed has the focus, whichever it is.
  EXPECT_EQ(page.focusWidget(), page.EdtSimInerval);
  page.EdtSimInerval->setText("0,250");
  Check();
  EXPECT_EQ(page.focusWidget(), page.EdtYield);
  page.EdtYield->setText("0,5000");
  page.EdtCSubstr_Real->setText("750,00");
  Check();
  EXPECT_EQ(page.focusWidget(), page.EdtuCritical);
}

TEST_F(StartPage, BoundariesOfTheChecks) {
  page.ShowRun(first);
  for (const char* dt : {"0,001", "1,000"}) {
    page.EdtSimInerval->setText(dt);
    EXPECT_EQ(Check(), QString()) << dt;
  }
  page.EdtSimInerval->clear();
  EXPECT_EQ(Check(), kHead + "- SimInterval is out of bounds");
  page.EdtSimInerval->setText("0,250");

  page.EdtUset->setText("0,150");  // equal to the critical µ
  EXPECT_EQ(Check(), kHead + QString::fromUtf8("- \u00B5" "critical is too high"));
  page.EdtUset->setText("0,100");
  page.EdtuCritical->clear();
  EXPECT_EQ(Check(), kHead + QString::fromUtf8("- \u00B5" "critical is too high"));
  page.EdtuCritical->setText("0,150");

  page.EdtYxo->setText("4,999");
  EXPECT_EQ(Check(), QString());
}

TEST_F(StartPage, EngineWrittenFeedStartValuesNeverLockThePage) {
  first->Params.FedBatchOD = 97.25;  // where a batch on 100 g/l substrate ends
  // Prepared again (a Reset) with the batch on, the greyed feed start is the batch's result.
  page.ShowRun(first);
  EXPECT_FALSE(page.EdtOD->isEnabled());
  EXPECT_EQ(Check(), QString());
  // Without the batch it is the user's input, and checked.
  page.ChbIsBatch->click();
  EXPECT_TRUE(page.EdtOD->isEnabled());
  EXPECT_EQ(Check(), kHead + "- OD Is Too High");
  first->Params.State = rsRunning;
  page.ShowRun(first);
  EXPECT_EQ(Check(), QString());
}

TEST_F(StartPage, VolumeChecksFollowTheBatchPhase) {
  page.ShowRun(first);
  // Batch on: the feed-start volume is the batch's result and is not checked.
  page.EdtReactorVol->setText("3,9");
  page.edtBatchStartVol->setText("3,5");
  EXPECT_EQ(Check(), QString());
  page.edtBatchStartVol->setText("3,6");  // exactly 0.9 × 4 l
  EXPECT_EQ(Check(), kHead + "- Batch Volume is too high");

  page.ChbIsBatch->click();
  EXPECT_EQ(Check(), kHead + "- Reactor Volume is too high");
  page.EdtReactorVol->setText("3,5");
  EXPECT_EQ(Check(), QString());
}

TEST_F(StartPage, BatchCheckBoxSwapsTheBatchAndFeedStartInputs) {
  page.ShowRun(first);
  auto batchInputs = [this] {
    return QList<bool>{page.edtBatchStartVol->isEnabled(), page.edtBatchOD->isEnabled(),
                       page.EdtBatchumax->isEnabled(),     page.EdtBatchSubConc->isEnabled(),
                       page.EdtReactorVol->isEnabled(),    page.EdtOD->isEnabled()};
  };
  EXPECT_EQ(batchInputs(), QList<bool>({true, true, true, true, false, false}));
  page.ChbIsBatch->click();
  EXPECT_EQ(batchInputs(), QList<bool>({false, false, false, false, true, true}));
  page.ChbIsBatch->click();
  EXPECT_EQ(batchInputs(), QList<bool>({true, true, true, true, false, false}));
}

TEST_F(StartPage, EditingOnlyWhilePreparingAndResetOnlyWhenFinished) {
  for (std::uint8_t state : {rsPrepare, rsRunning, rsPaused, rsFinished}) {
    first->Params.State = state;
    page.ShowRun(first);
    const bool prepare = state == rsPrepare;
    for (QWidget* w : std::initializer_list<QWidget*>{page.EdtReactorSize, page.EdtUset, page.EdtYxo, page.EdtuCritical,
                                                      page.ChbIsBatch, page.ChbStopbyucrit, page.BtnSetFefaultValues,
                                                      page.BtnUndo, page.BtnAssignFromLastRun, page.BtnImport,
                                                      page.BtnAssignReal, page.BtnAssignCalc})
      EXPECT_EQ(w->isEnabled(), prepare) << w->objectName().toStdString() << " in state " << int(state);
    for (QWidget* w : std::initializer_list<QWidget*>{page.EdtTitle, page.MmoComment, page.EdtODCritical})
      EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString() << " in state " << int(state);
    EXPECT_EQ(page.BtnReset->isEnabled(), state == rsFinished) << int(state);
  }
}

TEST_F(StartPage, ResetRestartsOnlyAFinishedRun) {
  int stateChanges = 0;
  project.OnStateChange = [&stateChanges] { ++stateChanges; };
  page.ShowRun(first);
  page.BtnResetClick();  // a prepared run: nothing happens
  EXPECT_EQ(stateChanges, 0);

  first->Params.TargetOD = 30;
  THeadlessOptions options;
  options.MaxSteps = 400;
  RunHeadless(sync, {first}, options);
  ASSERT_EQ(first->State(), rsFinished);
  ASSERT_GT(first->Time.Rows(), 2);
  stateChanges = 0;  // the worker told of its own finish
  page.ShowRun(first);
  EXPECT_EQ(page.LblCaption->text(), "Run1 default [Finished]");

  // Leaving the finished page stores the editable fields only; the engine's feed start stays exact.
  const double feedStartOD = first->Params.FedBatchOD;
  page.EdtTitle->setText("done");
  page.EdtODCritical->setText("35");
  page.EdtUset->setText("0,500");
  page.StoreValues();
  EXPECT_EQ(first->Params.Title.Str(), "done");
  EXPECT_EQ(Copy(first->BatchParams.ODCritical), 35);
  EXPECT_EQ(Copy(first->Params.Uset), 0.1);
  EXPECT_EQ(Copy(first->Params.FedBatchOD), feedStartOD);

  page.BtnReset->click();
  EXPECT_EQ(first->State(), rsPrepare);
  EXPECT_EQ(first->Time.Rows(), 0);
  EXPECT_EQ(stateChanges, 1);
  EXPECT_EQ(page.LblCaption->text(), "Run1 done [Prepare Fermentation]");
  EXPECT_TRUE(page.EdtUset->isEnabled());
  EXPECT_FALSE(page.BtnReset->isEnabled());
}

TEST_F(StartPage, ValueSourcesFillThePageButOnlyStoreWritesTheRun) {
  first->Params.Title.Assign("alpha");
  first->Params.Uset = 0.2;
  first->Comment = "from the first";
  page.ShowRun(first);
  page.EdtTitle->setText("edited");
  page.BtnAssignFromLastRun->click();  // the first run has none before it
  EXPECT_EQ(page.EdtTitle->text(), "edited");
  page.BtnUndo->click();
  EXPECT_EQ(page.EdtTitle->text(), "alpha");

  page.ShowRun(second);
  page.BtnAssignFromLastRun->click();
  EXPECT_EQ(page.EdtTitle->text(), "alpha");
  EXPECT_EQ(page.EdtUset->text(), "0,200");
  EXPECT_EQ(page.MmoComment->toPlainText(), "from the first");
  EXPECT_EQ(second->Params.Title.Str(), "default");

  page.EdtYield_Real->setText("0,4000");
  page.BtnAssignCalc->click();
  EXPECT_EQ(page.EdtYield->text(), "0,4000");
  page.EdtCSubstr->setText("600,00");
  page.BtnAssignReal->click();
  EXPECT_EQ(page.EdtCSubstr_Real->text(), "600,00");
  EXPECT_EQ(page.EdtYield_Real->text(), "0,4000");

  page.ChbIsBatch->click();
  page.BtnSetFefaultValues->click();
  EXPECT_EQ(page.EdtTitle->text(), "default");
  EXPECT_EQ(page.EdtUset->text(), "0,100");
  EXPECT_EQ(page.EdtYield->text(), "0,5060");
  EXPECT_TRUE(page.ChbIsBatch->isChecked());
  EXPECT_TRUE(page.MmoComment->toPlainText().isEmpty());
  EXPECT_FALSE(page.EdtOD->isEnabled());

  page.EdtTitle->setText(QString::fromUtf8("Versuch \u00E4"));
  page.EdtUset->setText("0,120");
  page.ChbIsBatch->click();
  page.MmoComment->setPlainText("two\nlines");
  page.StoreValues();
  EXPECT_EQ(second->Params.Title.Str(), "Versuch \xE4");
  EXPECT_EQ(Copy(second->Params.Uset), 0.12);
  EXPECT_EQ(Copy(second->BatchParams.IsBatch), 0);
  EXPECT_EQ(second->Comment, "two\nlines");
}

TEST_F(StartPage, ImportShowsTheFirstRunOrTheReasonItFailed) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  TZymra other;
  TZymra_Run* source = other.AddRun();
  source->Params.Title.Assign("imported");
  source->Params.Uset = 0.25;
  source->BatchParams.IsBatch = 0;
  source->Comment = "from file";
  const QString good = dir.filePath("good.zym");
  ASSERT_TRUE(other.SaveToFile(QFile::encodeName(good).toStdString())) << other.LastError;
  const QString damaged = dir.filePath("damaged.zym");
  {
    QFile f(damaged);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("not a project at all").repeated(20));
  }
  TZymra probe;
  ASSERT_FALSE(probe.LoadFromFile(QFile::encodeName(damaged).toStdString()));
  const QString reason = FromCp1252(probe.LastError);
  ASSERT_FALSE(reason.isEmpty());

  QString answer = damaged;
  QString askedFilter;
  ZymraUi().OpenFileName = [&](QWidget*, const QString&, const QString&, const QString& filter) {
    askedFilter = filter;
    return answer;
  };
  page.ShowRun(first);
  page.EdtTitle->setText("typed");
  const QStringList before = Snapshot();
  page.BtnImport->click();
  EXPECT_EQ(askedFilter, "Zymra Simulation Files (*.zym)");
  ASSERT_EQ(Warnings.size(), 1);
  EXPECT_TRUE(Warnings[0].contains("damaged.zym")) << Warnings[0].toStdString();
  EXPECT_TRUE(Warnings[0].endsWith(reason)) << Warnings[0].toStdString();
  EXPECT_EQ(Snapshot(), before);

  answer.clear();  // cancelled
  page.BtnImport->click();
  EXPECT_EQ(Snapshot(), before);

  answer = good;
  page.BtnImport->click();
  EXPECT_EQ(Warnings.size(), 1);
  EXPECT_EQ(page.EdtTitle->text(), "imported");
  EXPECT_EQ(page.EdtUset->text(), "0,250");
  EXPECT_FALSE(page.ChbIsBatch->isChecked());
  EXPECT_TRUE(page.EdtOD->isEnabled());
  EXPECT_EQ(page.MmoComment->toPlainText(), "from file");
  EXPECT_EQ(first->Params.Title.Str(), "default");
}

TEST_F(StartPage, Screenshot) {
  first->Comment = "Strain BL21, glucose feed";
  page.ShowRun(first);
  page.resize(900, 650);
  page.show();
  // Every group fits the window without scrolling.
  EXPECT_EQ(page.ScbStart->verticalScrollBar()->maximum(), 0);
  EXPECT_EQ(page.ScbStart->horizontalScrollBar()->maximum(), 0);
  const QImage shot = page.grab().toImage();
  EXPECT_EQ(shot.pixelColor(page.PnlHeader->width() - 3, 3), QColor(226, 230, 240));
  EXPECT_TRUE(shot.save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/start_page.png")));
}

}  // namespace
