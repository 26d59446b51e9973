#pragma once
// The main window: the project as the document of the file frame, the navigation
// tree of every run's seven pages, the welcome page, and the commands that act
// on all runs at once.
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "KelFrmFile.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QStackedWidget;
class QTimer;
class QTreeWidget;
class QWidget;
class TFrmPnlStart;
class TFrmPnlProcess;
class TFrmZymraChart;
class TFrmAbout;
class TFrmFullScreen;
class TNavigation;
class TNavigations;
class TQtCompTreeView;
class TZymra;
class TZymra_Run;

// The maker's page announcing newer versions of the program.
QString ZymraUpdatePage();

class TFrmZymraMain : public TFrmFile {
  Q_OBJECT
 public:
  explicit TFrmZymraMain(TZymra& project, QWidget* parent = nullptr);
  ~TFrmZymraMain() override;

  // The three page forms, created after the window; the window owns them from
  // here on. They must be in place before the window is first shown.
  void SetPages(TFrmPnlStart* start, TFrmPnlProcess* process, TFrmZymraChart* chart);
  // Creates the three page forms in their order and hands them to SetPages.
  void CreatePages();

  TZymra& Project() { return FProject; }
  TNavigations* Navigations() const { return FNavigations.get(); }

  // Document hooks of the frame.
  void NewDocument() override;
  bool LoadDocument(const QString& fileName) override;
  bool SaveDocument(const QString& fileName) override;
  void LoadRecentFiles(QStringList& list) override;
  void SaveRecentFiles(const QStringList& list) override;
  // The shown page is checked as for leaving it and its values go into its run; false
  // when it refused (it showed why). Every command on the runs or the project asks first.
  bool CommitEdits() override;
  // The project's title as a file name, ".zym" appended.
  QString ProposedFileName() const override;

  // Recomputes the enabled actions, refills the tree and marks the project modified.
  // The only place that enables or disables the actions below.
  void UpdateActions();
  // Runs UpdateActions once, from the event loop, however often it is asked for
  // before then (many workers reporting in the same moment).
  void RequestUpdateActions();
  void BuildNavigation();
  void RunAdded(TZymra_Run* run);
  TZymra_Run* AddRun(bool afterCurrent);
  // Add Run as the user gives it: the shown page's values stored first (nullptr when the
  // page refuses them), the new run after `after` (else after the current run), the
  // shown page shown again.
  TZymra_Run* AddRunAfter(TZymra_Run* after);
  TNavigation* SelectedNavigation();
  void NavigateSelected(bool forward);
  void StoreProjectFields();
  void ShowProjectFields();
  void MarkModified();
  // The window's size at its first start: the tree and the largest page whole, at least
  // 980 x 680 where the screen's available area has room for it, never more.
  QSize FirstStartSize() const;
  // That size, centred on the available area.
  void FirstStartPlacement();

  // Handlers.
  void FormShow() override;
  void FormHide() override;
  bool FormCloseQuery() override;
  void FormClose();
  void TvwNavigationClick();
  bool TvwNavigationKeyDown(int key);
  void Panel4Resize();
  void ActAddRunExecute();
  void ActRemoveRunExecute();
  void ActStartExecute();
  void ActPauseExecute();
  void ActStopExecute();
  void ActResetExecute();
  void ActAssignSettingsExecute();
  void ActAssignChartExecute();
  void ActSweepExecute();
  void ActImportMeasuredExecute();
  void ActRemoveMeasuredExecute();
  void ActFitExecute();
  void ActFullScreenExecute();
  void ActHelpExecute();
  void ActInfoExecute();
  void ActWhitePaperExecute();
  void ActUpdateExecute();

  // Layout.
  QSplitter* SplHorz;
  QWidget* PnlTree;
  QTreeWidget* TvwNavigation;
  QStackedWidget* PnlNavigation;
  QWidget* Panel4;
  QFrame* Panel5;
  QLabel* lblWelcome;
  QFrame* Panel2;
  QLabel* Image1;
  QFrame* Panel6;
  QLabel* Label3;
  QLabel* lblTitle;
  QLineEdit* EdtTitle;
  QLabel* Label1;
  QLineEdit* EdtStock;
  QLabel* Label2;
  QPlainTextEdit* MmoComment;
  QLabel* Image2;

  // Menus.
  QMenu* MnuRuns;
  QMenu* MnuHelp;
  QMenu* PopRuns;

  // Actions beyond the frame's file actions.
  QAction* ActAddRun;
  QAction* ActRemoveRun;
  QAction* ActStart;
  QAction* ActPause;
  QAction* ActStop;
  QAction* ActReset;
  QAction* ActAssignSettings;
  QAction* ActAssignChart;
  QAction* ActSweep;
  QAction* ActImportMeasured;
  QAction* ActRemoveMeasured;
  QAction* ActFit;
  QAction* ActFullScreen;
  QAction* ActHelp;
  QAction* ActInfo;
  QAction* ActWhitePaper;
  QAction* ActUpdate;

  TFrmPnlStart* FrmPnlStart = nullptr;
  TFrmPnlProcess* FrmPnlProcess = nullptr;
  TFrmZymraChart* FrmZymraChart = nullptr;

  // Replace the modal loops of the about box and the full-screen window (tests).
  std::function<int(TFrmAbout&)> AboutModal;
  std::function<int(TFrmFullScreen&)> FullScreenModal;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // What the content area shows, to show it again after the entries were rebuilt.
  struct TShownPage {
    QWidget* Page = nullptr;
    TZymra_Run* Run = nullptr;
    int Tag = 0;
  };
  TShownPage ShownPage() const;
  // Shows the rebuilt entry of that page and run again; the welcome page when it is gone.
  void ShowAgain(const TShownPage& shown);
  // A command on all runs: the page's values first, then the command, then the page again.
  void ForAllRuns(void (TZymra::*command)());
  void CreateLayout();
  void CreateActions();
  void CreateMenus();
  void Refill();
  // Copies a loaded project's fields and runs into the program's project.
  void TakeOver(TZymra& loaded);
  // Opens a file or web address through the desktop; says so when nothing opened it.
  void OpenDocument(const QString& target);

  TZymra& FProject;
  std::unique_ptr<TNavigations> FNavigations;
  std::unique_ptr<TQtCompTreeView> FTreeView;
  QTimer* FUpdateTimer;
  bool FWhitePaperFound = false;
  bool FInstalledCallbacks = false;
};
