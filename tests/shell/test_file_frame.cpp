// The document frame: recent files and their INI section, placement, the save
// question, failed loads and saves, dropped files and the command line.
#include "QtTestApp.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <functional>
#include <memory>
#include <stdexcept>

#include "KelFrmFile.h"
#include "KelSettings.h"
#include "ZymraUi.h"

namespace {

// A document window whose hooks only record what they were asked.
class TRecordingFrame : public TFrmFile {
 public:
  explicit TRecordingFrame(TSettings* settings) : Settings(settings) { setObjectName("FrmTest"); }
  void LoadRecentFiles(QStringList& list) override {
    if (Settings) ReadFileHistory(*Settings, list);
  }
  void SaveRecentFiles(const QStringList& list) override {
    if (Settings) WriteFileHistory(*Settings, list);
  }
  void NewDocument() override { Calls << "New"; }
  bool LoadDocument(const QString& name) override {
    Calls << "Load " + QFileInfo(name).fileName();
    if (ThrowOnLoad) throw std::runtime_error("damaged file");
    return LoadResult;
  }
  bool SaveDocument(const QString& name) override {
    Calls << "Save " + QFileInfo(name).fileName();
    return SaveResult;
  }
  TSettings* Settings;
  QStringList Calls;
  bool LoadResult = true;
  bool SaveResult = true;
  bool ThrowOnLoad = false;
};

// Runs the event loop until the condition holds (at most a second).
bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 100 && !condition(); ++i) QTest::qWait(10);
  return condition();
}

struct TMessage {
  QString Text;
  int Flags;
};

class FileFrameTest : public ::testing::Test {
 protected:
  QTemporaryDir Dir;
  std::unique_ptr<TIniSettings> Ini;
  std::unique_ptr<TRecordingFrame> Frame;
  std::vector<TMessage> Messages;
  int Answer = QMessageBox::Yes;
  QStringList OpenDialogFolders;
  QString OpenDialogAnswer;
  QString SaveDialogAnswer;
  int SaveDialogCalls = 0;

  void SetUp() override {
    SetApplicationTitle("Zymra Test");
    SetShowMessageText([this](const QString& text, int flags) {
      Messages.push_back({text, flags});
      return Answer;
    });
    ZymraUi().OpenFileName = [this](QWidget*, const QString&, const QString& folder, const QString&) {
      OpenDialogFolders << folder;
      return OpenDialogAnswer;
    };
    ZymraUi().SaveFileName = [this](QWidget*, const QString&, const QString&, const QString&, const QString&) {
      ++SaveDialogCalls;
      return SaveDialogAnswer;
    };
    Ini = std::make_unique<TIniSettings>(IniPath().toStdString());
    MakeFrame();
  }
  void TearDown() override {
    Frame.reset();
    SetShowMessageText({});
    ResetZymraUi();
  }
  void MakeFrame() {
    Frame = std::make_unique<TRecordingFrame>(Ini.get());
    Frame->CommandLine.clear();
  }
  QString IniPath() const { return Dir.filePath("user.ini"); }
  // An existing file in the temporary folder.
  QString File(const QString& name) const {
    const QString path = Dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    return QFileInfo(path).canonicalFilePath();
  }
  QString IniText() {
    Ini->Flush();
    QFile file(IniPath());
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
  }
  void ShowFrame() {
    Frame->show();
    QCoreApplication::processEvents();
  }
};

TEST_F(FileFrameTest, RecentFilesKeepFiveDistinctNamesMostRecentFirst) {
  ShowFrame();
  EXPECT_FALSE(Frame->MnuMru1->isVisible());
  EXPECT_FALSE(Frame->MnuSepMru->isVisible());

  const QString a = File("a.zym");
  ASSERT_TRUE(Frame->OpenFile(a));
  ASSERT_TRUE(Frame->OpenFile(Dir.path() + "/./a.zym"));
  EXPECT_EQ(Frame->RecentFiles, QStringList{a});
  // Names that differ in case are different files here.
  const QString upper = File("A.zym");
  ASSERT_TRUE(Frame->OpenFile(upper));
  EXPECT_EQ(Frame->RecentFiles, (QStringList{upper, a}));

  QStringList six;
  for (int n = 1; n <= 6; ++n) {
    six << File(QString("f%1.zym").arg(n));
    ASSERT_TRUE(Frame->OpenFile(six.last()));
  }
  EXPECT_EQ(Frame->RecentFiles, (QStringList{six[5], six[4], six[3], six[2], six[1]}));
  EXPECT_EQ(Frame->MnuMru1->text(), "&1  " + six[5]);
  EXPECT_EQ(Frame->MnuMru5->text(), "&5  " + six[1]);
  EXPECT_TRUE(Frame->MnuMru5->isVisible());
  EXPECT_TRUE(Frame->MnuSepMru->isVisible());

  const QString ini = IniText();
  EXPECT_TRUE(ini.contains("[File History]")) << ini.toStdString();
  EXPECT_TRUE(ini.contains("Count=5")) << ini.toStdString();
  EXPECT_TRUE(ini.contains("1='" + six[5] + "'")) << ini.toStdString();
  EXPECT_TRUE(ini.contains("5='" + six[1] + "'")) << ini.toStdString();
  EXPECT_FALSE(ini.contains("6=")) << ini.toStdString();
}

TEST_F(FileFrameTest, HistoryReadBackDropsKeysOfALongerOldList) {
  TSettingsStrings old;
  for (int n = 1; n <= 7; ++n) old.push_back("/old/it's " + std::to_string(n) + ".zym");
  Ini->WriteStrings("File History", old, true, true);
  MakeFrame();
  ShowFrame();
  ASSERT_EQ(Frame->RecentFiles.size(), 7);
  EXPECT_EQ(Frame->RecentFiles[0], "/old/it's 1.zym");  // quotes inside come back single
  const QString fresh = File("fresh.zym");
  ASSERT_TRUE(Frame->OpenFile(fresh));
  const QString ini = IniText();
  EXPECT_TRUE(ini.contains("Count=5")) << ini.toStdString();
  EXPECT_TRUE(ini.contains("2='/old/it''s 1.zym'")) << ini.toStdString();
  EXPECT_FALSE(ini.contains("6=")) << ini.toStdString();
  EXPECT_FALSE(ini.contains("7=")) << ini.toStdString();
}

TEST_F(FileFrameTest, MissingRecentFileWarnsThenOffersTheOpenDialog) {
  ShowFrame();
  const QString a = File("a.zym");
  ASSERT_TRUE(Frame->OpenFile(a));
  const QString gone = Dir.filePath("gone.zym");
  Frame->AddRecentFile(gone);
  Frame->UpdateRecentMenu();
  Frame->Calls.clear();

  Frame->MnuMru1->trigger();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, "Die Datei \"" + gone + "\" kann nicht gefunden werden.");
  EXPECT_EQ(Messages[0].Flags & MessageIconMask, int(QMessageBox::Warning));
  ASSERT_EQ(OpenDialogFolders.size(), 1);
  EXPECT_EQ(OpenDialogFolders[0], Dir.path());
  // Cancelled: the document and its name are the ones from before.
  EXPECT_EQ(Frame->FileName, a);
  EXPECT_TRUE(Frame->Calls.isEmpty()) << Frame->Calls.join(",").toStdString();
  EXPECT_EQ(Frame->RecentFiles, (QStringList{gone, a}));

  // Picked elsewhere in the dialog: that file opens.
  OpenDialogAnswer = File("found.zym");
  Frame->MnuMru1->trigger();
  EXPECT_EQ(Frame->FileName, OpenDialogAnswer);
  EXPECT_EQ(Frame->Calls, QStringList{"Load found.zym"});
}

// A placement from a larger screen is shrunk to the available area and moved onto it.
TEST_F(FileFrameTest, PlacementOnASmallScreenAndTheWindowStates) {
  Frame->ScreenArea = [] { return QRect(0, 0, 1280, 1024); };
  EXPECT_FALSE(Frame->RestoreFormPlacement(Ini.get()));

  const std::string key = MakeSettingsKey("Forms", "FrmTest");
  const struct {
    const char* Stored;
    QRect Area, Placed;
  } moved[] = {
      {"0,0,3000,2000,0", QRect(0, 0, 1280, 1024), QRect(0, 0, 1280, 1024)},
      // A laptop with a panel at the top, after a monitor to its right and one to its left.
      {"1700,300,1200,900,0", QRect(0, 28, 1366, 740), QRect(166, 28, 1200, 740)},
      {"-1800,-50,800,600,0", QRect(0, 28, 1366, 740), QRect(0, 28, 800, 600)},
      {"600,500,700,400,0", QRect(0, 28, 1366, 740), QRect(600, 368, 700, 400)},
  };
  for (const auto& c : moved) {
    Frame->ScreenArea = [&c] { return c.Area; };
    Ini->WriteString(key, c.Stored);
    ASSERT_TRUE(Frame->RestoreFormPlacement(Ini.get()));
    EXPECT_EQ(QRect(Frame->pos(), Frame->size()), c.Placed) << c.Stored;
  }
  Frame->ScreenArea = [] { return QRect(0, 0, 1280, 1024); };

  Ini->WriteString(key, "10,20,600,500,7");
  ASSERT_TRUE(Frame->RestoreFormPlacement(Ini.get()));
  EXPECT_EQ(Frame->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized), Qt::WindowNoState);
  EXPECT_EQ(Frame->pos(), QPoint(10, 20));
  EXPECT_EQ(Frame->size(), QSize(600, 500));

  Frame->SaveFormPlacement(Ini.get());
  EXPECT_EQ(Ini->ReadString(key), "10,20,600,500,0");

  Ini->WriteString(key, "50,60,700,650,1");
  ASSERT_TRUE(Frame->RestoreFormPlacement(Ini.get()));
  EXPECT_TRUE(Frame->windowState() & Qt::WindowMinimized);
  EXPECT_EQ(Frame->pos(), QPoint(10, 20));  // position and size not applied

  Ini->WriteString(key, "50,60,700,650,2");
  ASSERT_TRUE(Frame->RestoreFormPlacement(Ini.get()));
  EXPECT_TRUE(Frame->windowState() & Qt::WindowMaximized);
  EXPECT_FALSE(Frame->windowState() & Qt::WindowMinimized);

  // A window of fixed size keeps its size.
  Ini->WriteString(key, "5,5,300,200,0");
  Frame->setFixedSize(640, 480);
  ASSERT_TRUE(Frame->RestoreFormPlacement(Ini.get()));
  EXPECT_EQ(Frame->size(), QSize(640, 480));
}

TEST_F(FileFrameTest, SaveQuestionAnswers) {
  ShowFrame();
  const QString a = File("a.zym");
  ASSERT_TRUE(Frame->OpenFile(a));
  EXPECT_TRUE(Frame->QuerySave());  // not modified: no question
  EXPECT_TRUE(Messages.empty());

  Frame->SetModified(true);
  Frame->Calls.clear();
  Answer = QMessageBox::No;
  EXPECT_TRUE(Frame->QuerySave());
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, "Do you want to save differences?");
  EXPECT_EQ(Messages[0].Flags & ~MessageIconMask,
            int((QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel).toInt()));
  EXPECT_TRUE(Frame->Calls.isEmpty());

  Answer = QMessageBox::Cancel;
  EXPECT_FALSE(Frame->QuerySave());
  EXPECT_FALSE(Frame->close());  // Exit answered with Cancel keeps the window
  EXPECT_TRUE(Frame->isVisible());

  // Yes saves; a save that fails does not let the document go.
  Answer = QMessageBox::Yes;
  Frame->SaveResult = false;
  EXPECT_FALSE(Frame->QuerySave());
  EXPECT_TRUE(Frame->Modified);
  Frame->SaveResult = true;
  EXPECT_TRUE(Frame->QuerySave());
  EXPECT_FALSE(Frame->Modified);
  EXPECT_EQ(Frame->Calls, (QStringList{"Save a.zym", "Save a.zym"}));
  EXPECT_EQ(Frame->windowTitle(), "Zymra Test - " + a);
}

TEST_F(FileFrameTest, FailedLoadKeepsNameCaptionMarkAndList) {
  ShowFrame();
  const QString a = File("a.zym");
  ASSERT_TRUE(Frame->OpenFile(a));
  Frame->SetModified(true);
  const QString caption = Frame->windowTitle();
  EXPECT_EQ(caption, "Zymra Test - " + a + " *");

  Frame->LoadResult = false;
  EXPECT_FALSE(Frame->OpenFile(File("b.zym")));
  Frame->ThrowOnLoad = true;
  EXPECT_FALSE(Frame->OpenFile(File("c.zym")));
  ASSERT_EQ(Messages.size(), 1u);  // the error that escaped the hook
  EXPECT_EQ(Messages[0].Text, "damaged file");
  EXPECT_EQ(BusyCount(), 0);

  EXPECT_EQ(Frame->FileName, a);
  EXPECT_TRUE(Frame->Modified);
  EXPECT_EQ(Frame->windowTitle(), caption);
  EXPECT_EQ(Frame->RecentFiles, QStringList{a});
  // Saving afterwards writes the document's own file, not the one that failed.
  Frame->Calls.clear();
  EXPECT_TRUE(Frame->FileSave());
  EXPECT_EQ(Frame->Calls, QStringList{"Save a.zym"});
}

TEST_F(FileFrameTest, SaveOfAnUnsavedDocumentAsksForANameAndKeepsTheMarkWhenNothingWasWritten) {
  ShowFrame();
  Frame->SetModified(true);
  EXPECT_FALSE(Frame->FileSave());  // dialog cancelled
  EXPECT_EQ(SaveDialogCalls, 1);
  EXPECT_TRUE(Frame->Calls.filter("Save").isEmpty());
  EXPECT_EQ(Frame->windowTitle(), "Zymra Test *");

  SaveDialogAnswer = Dir.filePath("new.zym");
  Frame->SaveResult = false;
  EXPECT_FALSE(Frame->FileSave());
  EXPECT_TRUE(Frame->Modified);
  EXPECT_TRUE(Frame->FileName.isEmpty());
  EXPECT_TRUE(Frame->RecentFiles.isEmpty());

  Frame->SaveResult = true;
  EXPECT_TRUE(Frame->FileSave());
  EXPECT_FALSE(Frame->Modified);
  EXPECT_EQ(QFileInfo(Frame->FileName).fileName(), "new.zym");
  EXPECT_EQ(Frame->RecentFiles, QStringList{Frame->FileName});
}

TEST_F(FileFrameTest, ThreeDroppedFilesOpenOnlyTheFirst) {
  ShowFrame();
  EXPECT_TRUE(Frame->acceptDrops());
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(File("one.zym")), QUrl::fromLocalFile(File("two.zym")),
                QUrl::fromLocalFile(File("three.zym"))});
  Frame->Calls.clear();
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Frame.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Frame.get(), &drop);
  EXPECT_TRUE(drop.isAccepted());
  ASSERT_TRUE(WaitFor([this] { return !Frame->Calls.isEmpty(); }));
  QCoreApplication::processEvents();
  EXPECT_EQ(Frame->Calls, QStringList{"Load one.zym"});
  EXPECT_EQ(QFileInfo(Frame->FileName).fileName(), "one.zym");
}

TEST_F(FileFrameTest, CommandLineFileOpensOnceTheWindowIsShown) {
  Frame->CommandLine = {File("start.zym"), "ignored"};
  Frame->show();
  EXPECT_EQ(Frame->Calls, QStringList{"New"});  // not yet: the window shows first
  ASSERT_TRUE(WaitFor([this] { return Frame->Calls.size() == 2; }));
  EXPECT_EQ(Frame->Calls[1], "Load start.zym");
  EXPECT_FALSE(Frame->Modified);
  // Once only.
  Frame->ProcessCommandLine(Frame->CommandLine);
  EXPECT_EQ(Frame->Calls.size(), 2);

  MakeFrame();
  Frame->CommandLine = {Dir.filePath("missing.zym")};
  Frame->show();
  QCoreApplication::processEvents();
  EXPECT_EQ(Frame->Calls, QStringList{"New"});
  EXPECT_TRUE(Frame->FileName.isEmpty());
  EXPECT_EQ(Frame->windowTitle(), "Zymra Test");
}

TEST(FileFrameServices, PathsAndBusyCursor) {
  QTemporaryDir dir;
  QDir(dir.path()).mkpath("sub/deeper");
  const QString real = QFileInfo(dir.path()).canonicalFilePath();
  EXPECT_EQ(NormalizePath(dir.path() + "/sub/../sub/deeper"), real + "/sub/deeper");
  EXPECT_EQ(NormalizePath(dir.path() + "/sub/"), real + "/sub/");
  QFile::link(real + "/sub", real + "/link");
  EXPECT_EQ(NormalizePath(real + "/link/deeper"), real + "/sub/deeper");
  EXPECT_EQ(NormalizePath(real + "/sub/not there/../x"), real + "/sub/x");
  EXPECT_TRUE(ProgramDir().endsWith('/'));
  EXPECT_TRUE(QFileInfo(ProgramDir()).isDir());

  BeginBusy();
  BeginBusy();
  EndBusy();
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EndBusy();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EndBusy();
  EXPECT_EQ(BusyCount(), 0);
  BeginBusy();
  EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
  EndBusy();
}

}  // namespace
