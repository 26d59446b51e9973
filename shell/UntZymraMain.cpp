#include "UntZymraMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStyle>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include <string>
#include <vector>

#include "KelCompViews.h"
#include "KelFiles.h"
#include "KelFrmAbout.h"
#include "KelCmpShell.h"
#include "KelSettings.h"
#include "LibNavigation.h"
#include "LibZymra.h"
#include "UntZymraChart.h"
#include "UntZymraPnlProcess.h"
#include "UntZymraPnlStart.h"
#include "UntZymraFit.h"
#include "UntZymraSweep.h"
#include "ZymraHelp.h"
#include "ZymraPictures.h"
#include "ZymraUi.h"

namespace {

const char* const kGroupCaptions[] = {"1. Process Data", "2. Fermentation", "3. Monitoring/Results"};
const char* const kChartCaptions[] = {"3.1. Optical Density", "3.2. Growth Rate", "3.3. Oxygen Transfer Rate",
                                      "3.4. Reactor Volume", "3.5. Substrate Conc."};

QAction* NewAction(QObject* owner, const QString& caption, const QString& hint, const QKeySequence& shortcut,
                   int image) {
  auto* action = new QAction(caption, owner);
  action->setToolTip(hint);
  action->setStatusTip(hint);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  if (image >= 0) action->setIcon(ZymraToolIcon(image));
  return action;
}

// A band of the welcome page: a frame of fixed height filled with one colour.
QFrame* Band(QWidget* parent, int height, const QColor& colour) {
  auto* band = new QFrame(parent);
  band->setFixedHeight(height);
  band->setAutoFillBackground(true);
  QPalette palette = band->palette();
  palette.setColor(QPalette::Window, colour);
  band->setPalette(palette);
  return band;
}

// Workers hold still while the UI thread reads their runs (a save from the
// question before another file replaces the project, runs still going).
class TWorkersHeld {
 public:
  explicit TWorkersHeld(TZymra& project) {
    for (int i = 0; i < project.RunCount(); ++i) {
      TZymra_Thread* worker = project.Run(i)->Worker();
      if (!worker || worker->Ended() || worker->Suspended()) continue;
      worker->Suspend();
      Held_.push_back(worker);
    }
    for (TZymra_Thread* worker : Held_) worker->WaitIdle();
  }
  ~TWorkersHeld() {
    for (TZymra_Thread* worker : Held_) worker->Resume();
  }
  TWorkersHeld(const TWorkersHeld&) = delete;
  TWorkersHeld& operator=(const TWorkersHeld&) = delete;

 private:
  std::vector<TZymra_Thread*> Held_;
};

}  // namespace

QString ZymraUpdatePage() { return MakerHomepage() + QStringLiteral("/zymra/update.html"); }

TFrmZymraMain::TFrmZymraMain(TZymra& project, QWidget* parent) : TFrmFile(parent), FProject(project) {
  setObjectName(QStringLiteral("FrmZymraMain"));
  setFont(FormFont(11));
  setWindowIcon(ZymraProgramIcon());
  resize(980, 680);
  setMinimumSize(980, 680);

  FUpdateTimer = new QTimer(this);
  FUpdateTimer->setSingleShot(true);
  FUpdateTimer->setInterval(0);
  connect(FUpdateTimer, &QTimer::timeout, this, &TFrmZymraMain::UpdateActions);

  CreateLayout();
  CreateActions();
  CreateMenus();
  // The frame's constructor could not reach this window's reader yet.
  LoadRecentFiles(RecentFiles);
}

TFrmZymraMain::~TFrmZymraMain() {
  // The project outlives the window: no callback may reach a freed window.
  if (FInstalledCallbacks) {
    FProject.OnRunAdded = nullptr;
    FProject.OnStateChange = nullptr;
  }
  FNavigations.reset();
}

void TFrmZymraMain::CreateLayout() {
  SplHorz = new QSplitter(Qt::Horizontal, this);
  SplHorz->setObjectName(QStringLiteral("SplHorz"));
  SplHorz->setHandleWidth(4);
  SplHorz->setChildrenCollapsible(false);

  PnlTree = new QWidget(SplHorz);
  auto* treeLayout = new QVBoxLayout(PnlTree);
  treeLayout->setContentsMargins(0, 0, 0, 0);
  TvwNavigation = new QTreeWidget(PnlTree);
  TvwNavigation->setObjectName(QStringLiteral("TvwNavigation"));
  TvwNavigation->setHeaderHidden(true);
  TvwNavigation->setColumnCount(1);
  TvwNavigation->setFrameShape(QFrame::NoFrame);
  TvwNavigation->setIndentation(19);
  TvwNavigation->setIconSize(QSize(16, 16));
  TvwNavigation->setEditTriggers(QAbstractItemView::NoEditTriggers);
  TvwNavigation->setSelectionMode(QAbstractItemView::SingleSelection);
  TvwNavigation->setContextMenuPolicy(Qt::CustomContextMenu);
  TvwNavigation->installEventFilter(this);
  treeLayout->addWidget(TvwNavigation);
  FTreeView = std::make_unique<TQtCompTreeView>(TvwNavigation);
  for (int i = 0; i < ZymraTreeImageCount; ++i) FTreeView->Images.push_back(ZymraTreeImage(i));
  // The click is handled once the tree has finished with it: activating a node
  // rebuilds every item of the tree.
  connect(TvwNavigation, &QTreeWidget::itemClicked, this,
          [this] { QMetaObject::invokeMethod(this, &TFrmZymraMain::TvwNavigationClick, Qt::QueuedConnection); });

  PnlNavigation = new QStackedWidget(SplHorz);
  PnlNavigation->setObjectName(QStringLiteral("PnlNavigation"));

  // Welcome page.
  Panel4 = new QWidget;
  Panel4->setObjectName(QStringLiteral("Panel4"));
  Panel4->setAutoFillBackground(true);
  QPalette white = Panel4->palette();
  white.setColor(QPalette::Window, Qt::white);
  Panel4->setPalette(white);
  Panel4->installEventFilter(this);

  const QColor bandColour(226, 230, 240);
  Panel5 = Band(Panel4, 40, bandColour);
  Panel5->setObjectName(QStringLiteral("Panel5"));
  lblWelcome = new QLabel(QStringLiteral("Welcome To Quenvar Zymra Simulation"), Panel5);
  lblWelcome->setObjectName(QStringLiteral("lblWelcome"));
  lblWelcome->setFont(FormFont(19, true));
  lblWelcome->move(16, 8);
  lblWelcome->adjustSize();

  Panel2 = Band(Panel4, 65, Qt::white);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Image1 = new QLabel(Panel2);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setPixmap(MakerLogo());
  Image1->setFixedSize(193, 34);

  Panel6 = Band(Panel4, 8, bandColour);
  Panel6->setObjectName(QStringLiteral("Panel6"));

  QPalette tip = palette();
  tip.setColor(QPalette::Base, tip.color(QPalette::ToolTipBase));
  tip.setColor(QPalette::Text, tip.color(QPalette::ToolTipText));

  Label3 = new QLabel(QStringLiteral("Project"), Panel4);
  Label3->setFont(FormFont(11, true));
  lblTitle = new QLabel(QStringLiteral("Title"), Panel4);
  EdtTitle = new QLineEdit(Panel4);
  EdtTitle->setObjectName(QStringLiteral("EdtTitle"));
  EdtTitle->setPalette(tip);
  EdtTitle->setMaxLength(255);
  lblTitle->setBuddy(EdtTitle);
  Label1 = new QLabel(QStringLiteral("Culture/Stock"), Panel4);
  EdtStock = new QLineEdit(Panel4);
  EdtStock->setObjectName(QStringLiteral("EdtStock"));
  QFont italic = FormFont(11);
  italic.setItalic(true);
  EdtStock->setFont(italic);
  EdtStock->setMaxLength(255);
  Label1->setBuddy(EdtStock);
  Label2 = new QLabel(QStringLiteral("Comment"), Panel4);
  MmoComment = new QPlainTextEdit(Panel4);
  MmoComment->setObjectName(QStringLiteral("MmoComment"));
  MmoComment->setPalette(tip);
  MmoComment->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Label2->setBuddy(MmoComment);
  Image2 = new QLabel(Panel4);
  Image2->setObjectName(QStringLiteral("Image2"));
  Image2->setPixmap(ZymraWelcomePicture());
  Image2->setFixedSize(ZymraWelcomeWidth, ZymraWelcomeHeight);
  Image2->setAttribute(Qt::WA_TransparentForMouseEvents);
  PnlNavigation->addWidget(Panel4);

  SplHorz->addWidget(PnlTree);
  SplHorz->addWidget(PnlNavigation);
  SplHorz->setStretchFactor(0, 0);
  SplHorz->setStretchFactor(1, 1);
  SplHorz->setSizes({313, 980 - 313 - 4});
  setCentralWidget(SplHorz);
  Panel4Resize();
}

void TFrmZymraMain::Panel4Resize() {
  // The fields keep the left column; the picture sits to their right, the comment
  // below both, ending 8 pixels before the right edge.
  const int width = Panel4->width();
  const int height = Panel4->height();
  Panel5->setGeometry(0, 0, width, 40);
  Panel2->setGeometry(0, 40, width, 65);
  Image1->move(std::max(8, width - 193 - 24), 16);
  Panel6->setGeometry(0, 105, width, 8);

  const int left = 24;
  const int pictureLeft = std::max(left + 200, width - ZymraWelcomeWidth - 16);
  const int fieldWidth = pictureLeft - left - 24;
  Label3->setGeometry(left, 129, fieldWidth, 18);
  lblTitle->setGeometry(left, 155, fieldWidth, 16);
  EdtTitle->setGeometry(left, 172, fieldWidth, 22);
  Label1->setGeometry(left, 206, fieldWidth, 16);
  EdtStock->setGeometry(left, 223, fieldWidth, 22);
  Image2->move(pictureLeft, 121);
  const int commentTop = 121 + ZymraWelcomeHeight + 8;
  Label2->setGeometry(left, commentTop, fieldWidth, 16);
  MmoComment->move(left, commentTop + 17);
  MmoComment->resize(width - MmoComment->x() - 8, std::max(48, height - MmoComment->y() - 8));
}

void TFrmZymraMain::CreateActions() {
  // The frame's file actions speak the program's language.
  ActNew->setText(QStringLiteral("&New"));
  ActNew->setToolTip(QStringLiteral("Starts New Project"));
  ActNew->setIcon(ZymraToolIcon(tiNew));
  ActOpen->setText(QStringLiteral("&Open..."));
  ActOpen->setToolTip(QStringLiteral("Opens Project"));
  ActOpen->setIcon(ZymraToolIcon(tiOpen));
  ActSave->setText(QStringLiteral("&Save"));
  ActSave->setToolTip(QStringLiteral("Saves Project"));
  ActSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  ActSave->setIcon(ZymraToolIcon(tiSave));
  ActSaveAs->setText(QStringLiteral("Save &As..."));
  ActSaveAs->setToolTip(QStringLiteral("Save Project As New Name"));
  ActExit->setText(QStringLiteral("&Exit"));
  ActExit->setToolTip(QStringLiteral("Closes Application"));
  for (QAction* action : {ActNew, ActOpen, ActSave, ActSaveAs, ActExit}) action->setStatusTip(action->toolTip());
  // The keys every desktop program has, besides the program's own.
  ActNew->setShortcut(QKeySequence::New);
  ActOpen->setShortcut(QKeySequence::Open);
  // Some key schemes have no Quit key; Ctrl+Q is the one people expect.
  const QList<QKeySequence> quit = QKeySequence::keyBindings(QKeySequence::Quit);
  ActExit->setShortcuts(quit.isEmpty() ? QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Q)} : quit);

  ActAddRun = NewAction(this, QStringLiteral("A&dd Run"), QStringLiteral("Adds New Run"), {}, tiAddRun);
  ActRemoveRun = NewAction(this, QStringLiteral("&Remove Run"), QStringLiteral("Removes Selected Run"),
                           QKeySequence(Qt::Key_Delete), tiRemoveRun);
  ActStart = NewAction(this, QStringLiteral("Starts/Con&tinues All Runs"),
                       QStringLiteral("Starts All Runs Simultaneously"), QKeySequence(Qt::Key_F9), tiStart);
  ActPause = NewAction(this, QStringLiteral("&Pauses All Runs"), QStringLiteral("Pauses All Runs Simultaneously"),
                       QKeySequence(Qt::Key_F10), tiPause);
  ActStop = NewAction(this, QStringLiteral("&Finishes All Runs"),
                      QStringLiteral("Finishes All Runs Simultaneously"), QKeySequence(Qt::Key_F11), tiFinish);
  ActReset = NewAction(this, QStringLiteral("R&esets All Runs"), QStringLiteral("Resets All Runs"),
                       QKeySequence(Qt::CTRL | Qt::Key_F2), tiReset);
  ActAssignSettings = NewAction(
      this, QStringLiteral("E&quates Settings"),
      QStringLiteral("Equates Simulation Settings From Selected Run To All Runs (Except Of Feed Parameters)"),
      QKeySequence(Qt::Key_F2), tiEquatesSettings);
  ActAssignChart = NewAction(this, QStringLiteral("Equates &Charts/Sim.Speed"),
                             QStringLiteral("Equates Charts And Sim.Speed Properties From Selected Run To All Runs "),
                             QKeySequence(Qt::Key_F3), tiEquatesCharts);
  ActSweep = NewAction(this, QStringLiteral("Parameter &Sweep..."),
                       QStringLiteral("Varies Constants Of The Current Run And Shows The Spread Of The Results"), {},
                       -1);
  ActImportMeasured = NewAction(this, QStringLiteral("&Import Measured Data..."),
                                QStringLiteral("Keeps Values Measured In A Real Cultivation With The Current Run"), {}, -1);
  ActRemoveMeasured = NewAction(this, QStringLiteral("Remo&ve Measured Data"),
                                QStringLiteral("Removes The Measured Values From The Current Run"), {}, -1);
  ActFit = NewAction(this, QStringLiteral("Fi&t To Measured Data..."),
                     QStringLiteral("Estimates The Real Constants Of The Current Run From Its Measured Data"), {}, -1);
  ActFullScreen = NewAction(this, QStringLiteral("Full Screen"), QStringLiteral("Shows Run Panel In Full Screen"),
                            QKeySequence(Qt::CTRL | Qt::Key_F11), tiFullScreen);
  ActHelp = NewAction(this, QStringLiteral("&Help "), QStringLiteral("Help contents"), QKeySequence(Qt::Key_F1),
                      tiHelp);
  ActInfo = NewAction(this, QStringLiteral("&Info"), QStringLiteral("About Quenvar"),
                      QKeySequence(Qt::SHIFT | Qt::Key_F1), tiInfo);
  ActWhitePaper = NewAction(this, QStringLiteral("&White Paper"), QStringLiteral("PDF File"),
                            QKeySequence(Qt::CTRL | Qt::Key_F1), -1);
  // Shift+F1 opens the about box; giving it here too would make the key ambiguous.
  ActUpdate = NewAction(this, QStringLiteral("&Check Update Version"), {}, {}, -1);

  const std::vector<QAction*> own = {ActAddRun, ActRemoveRun, ActStart, ActPause, ActStop, ActReset,
                                     ActAssignSettings, ActAssignChart, ActSweep, ActImportMeasured,
                                     ActRemoveMeasured, ActFit, ActFullScreen, ActHelp, ActInfo,
                                     ActWhitePaper, ActUpdate};
  for (QAction* action : own) addAction(action);  // shortcuts work wherever the focus is

  connect(ActAddRun, &QAction::triggered, this, &TFrmZymraMain::ActAddRunExecute);
  connect(ActRemoveRun, &QAction::triggered, this, &TFrmZymraMain::ActRemoveRunExecute);
  connect(ActStart, &QAction::triggered, this, &TFrmZymraMain::ActStartExecute);
  connect(ActPause, &QAction::triggered, this, &TFrmZymraMain::ActPauseExecute);
  connect(ActStop, &QAction::triggered, this, &TFrmZymraMain::ActStopExecute);
  connect(ActReset, &QAction::triggered, this, &TFrmZymraMain::ActResetExecute);
  connect(ActAssignSettings, &QAction::triggered, this, &TFrmZymraMain::ActAssignSettingsExecute);
  connect(ActAssignChart, &QAction::triggered, this, &TFrmZymraMain::ActAssignChartExecute);
  connect(ActSweep, &QAction::triggered, this, &TFrmZymraMain::ActSweepExecute);
  connect(ActImportMeasured, &QAction::triggered, this, &TFrmZymraMain::ActImportMeasuredExecute);
  connect(ActRemoveMeasured, &QAction::triggered, this, &TFrmZymraMain::ActRemoveMeasuredExecute);
  connect(ActFit, &QAction::triggered, this, &TFrmZymraMain::ActFitExecute);
  connect(ActFullScreen, &QAction::triggered, this, &TFrmZymraMain::ActFullScreenExecute);
  connect(ActHelp, &QAction::triggered, this, &TFrmZymraMain::ActHelpExecute);
  connect(ActInfo, &QAction::triggered, this, &TFrmZymraMain::ActInfoExecute);
  connect(ActWhitePaper, &QAction::triggered, this, &TFrmZymraMain::ActWhitePaperExecute);
  connect(ActUpdate, &QAction::triggered, this, &TFrmZymraMain::ActUpdateExecute);
}

void TFrmZymraMain::CreateMenus() {
  MnuDatei->setTitle(QStringLiteral("&Project"));

  MnuRuns = menuBar()->addMenu(QStringLiteral("&Runs"));
  MnuRuns->addActions({ActAddRun, ActRemoveRun});
  MnuRuns->addSeparator();
  MnuRuns->addActions({ActStart, ActPause, ActStop, ActReset});
  MnuRuns->addSeparator();
  MnuRuns->addActions({ActAssignSettings, ActAssignChart});
  MnuRuns->addSeparator();
  MnuRuns->addAction(ActSweep);
  MnuRuns->addActions({ActImportMeasured, ActRemoveMeasured, ActFit});
  MnuRuns->addSeparator();
  MnuRuns->addAction(ActFullScreen);

  MnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
  MnuHelp->addActions({ActHelp, ActInfo});
  MnuHelp->addSeparator();
  MnuHelp->addActions({ActWhitePaper, ActUpdate});

  PopRuns = new QMenu(this);
  PopRuns->setObjectName(QStringLiteral("PopRuns"));
  PopRuns->addActions({ActAddRun, ActRemoveRun});
  PopRuns->addSeparator();
  PopRuns->addActions({ActStart, ActPause, ActStop, ActReset});
  PopRuns->addSeparator();
  PopRuns->addActions({ActAssignSettings, ActAssignChart});
  PopRuns->addSeparator();
  PopRuns->addActions({ActHelp, ActInfo, ActWhitePaper, ActUpdate});
  connect(TvwNavigation, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopRuns->popup(TvwNavigation->viewport()->mapToGlobal(at)); });

  ToolBar->setIconSize(QSize(16, 16));
  ToolBar->addSeparator();
  ToolBar->addActions({ActAddRun, ActRemoveRun});
  ToolBar->addSeparator();
  ToolBar->addActions({ActStart, ActPause, ActStop});
  ToolBar->addSeparator();
  ToolBar->addAction(ActReset);
  ToolBar->addSeparator();
  ToolBar->addActions({ActAssignSettings, ActAssignChart});
  ToolBar->addSeparator();
  ToolBar->addAction(ActFullScreen);
  ToolBar->addSeparator();
  ToolBar->addActions({ActHelp, ActInfo});
}

void TFrmZymraMain::SetPages(TFrmPnlStart* start, TFrmPnlProcess* process, TFrmZymraChart* chart) {
  FrmPnlStart = start;
  FrmPnlProcess = process;
  FrmZymraChart = chart;
  // Owned by the window; the navigation moves them into the host when shown.
  for (QWidget* page : {static_cast<QWidget*>(start), static_cast<QWidget*>(process),
                        static_cast<QWidget*>(chart)}) {
    if (!page) continue;
    page->setParent(this, page->windowFlags() & ~Qt::Window);
    page->hide();
  }
}

void TFrmZymraMain::CreatePages() {
  auto* start = new TFrmPnlStart(FProject);
  auto* process = new TFrmPnlProcess(FProject);
  auto* chart = new TFrmZymraChart(FProject);
  SetPages(start, process, chart);
}

// --- start and end ----------------------------------------------------------------

void TFrmZymraMain::FormShow() {
  const QString version = QString::fromStdString(TZymra::VersionText());
  if (!ApplicationTitle().endsWith(version))
    SetApplicationTitle(QCoreApplication::applicationName() + QLatin1Char(' ') + version);
  TFrmFile::FormShow();
  // The window's minimum of 980 x 680 only where the screen has room for it.
  setMinimumSize(QSize(980, 680).boundedTo(AvailableArea().size().expandedTo(QSize(400, 300))));
  if (!RestoreFormPlacement()) FirstStartPlacement();

  FNavigations = std::make_unique<TNavigations>("Zymra Simulation", niRoot, niRoot, PnlNavigation);
  BuildNavigation();
  FProject.OnRunAdded = [this](TZymra_Run* run) { RunAdded(run); };
  FProject.OnStateChange = [this] { RequestUpdateActions(); };
  FInstalledCallbacks = true;
  FProject.ClearRuns();
  SetupOpenDialog(DlgOpen, FProject);
  SetupSaveDialog(DlgSave, FProject);
  AddRun(false);
  Refill();
  NewDocument();
  FWhitePaperFound = !WhitePaperPath().isEmpty();
  UpdateActions();
  EdtTitle->setFocus();
}

QSize TFrmZymraMain::FirstStartSize() const {
  // Room for the tree and for the largest page at the size that shows it whole.
  QSize pages(0, 0);
  for (const QWidget* page : {static_cast<const QWidget*>(FrmPnlStart), static_cast<const QWidget*>(FrmPnlProcess),
                              static_cast<const QWidget*>(FrmZymraChart)})
    if (page) pages = pages.expandedTo(page->sizeHint());
  const int treeWidth = SplHorz->sizes().value(0, 313);
  const QSize want(treeWidth + SplHorz->handleWidth() + pages.width(),
                   menuBar()->sizeHint().height() + ToolBar->sizeHint().height() + pages.height());
  // 980 x 680 at least, and never more than the screen holds.
  const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight);
  const QRect area = AvailableArea();
  const QSize room = area.isValid() ? QSize(area.width(), area.height() - titleBar) : want;
  return want.expandedTo(QSize(980, 680)).boundedTo(room).expandedTo(minimumSize());
}

void TFrmZymraMain::FirstStartPlacement() {
  const QSize size = FirstStartSize();
  resize(size);
  const QRect area = AvailableArea();
  if (area.isValid()) {
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    move(area.left() + std::max(0, (area.width() - size.width()) / 2),
         area.top() + std::max(0, (area.height() - size.height() - titleBar) / 2));
  }
}

void TFrmZymraMain::FormHide() {
  TFrmFile::FormHide();
  SaveFormPlacement();
}

bool TFrmZymraMain::FormCloseQuery() {
  if (FProject.AnyActive()) {
    ShowMessageText(QStringLiteral("A run is still active! Please finish all runs."),
                    MessageFlags(QMessageBox::Ok, QMessageBox::Warning));
    return false;
  }
  return TFrmFile::FormCloseQuery();
}

void TFrmZymraMain::closeEvent(QCloseEvent* event) {
  TFrmFile::closeEvent(event);
  if (event->isAccepted()) FormClose();
}

void TFrmZymraMain::FormClose() {
  FUpdateTimer->stop();
  FNavigations.reset();
}

// --- document hooks ---------------------------------------------------------------

void TFrmZymraMain::NewDocument() {
  if (!FNavigations) return;
  FProject.CurrentRun = nullptr;
  // The project is discarded (the frame asked whether to save it): its page's values too.
  FNavigations->Deactivate(true);
  BuildNavigation();
  FProject.ClearProject();
  AddRun(false);
  ShowProjectFields();
  UpdateActions();
  EdtTitle->setFocus();
}

bool TFrmZymraMain::LoadDocument(const QString& fileName) {
  if (fileName.isEmpty()) return false;
  TBusy busy;
  // The file goes into a project of its own first: a file that fails to load
  // leaves the open project, its runs and their workers as they are.
  TZymra loaded;
  if (!loaded.LoadFromFile(fileName.toStdString())) {
    ShowMessageText(QStringLiteral("The project \"%1\" could not be opened.\n%2")
                        .arg(fileName, FromCp1252(loaded.LastError)),
                    MessageFlags(QMessageBox::Ok, QMessageBox::Warning));
    return false;
  }
  FProject.CurrentRun = nullptr;
  if (FNavigations) FNavigations->Deactivate(true);
  BuildNavigation();
  FProject.ClearProject();
  TakeOver(loaded);
  FProject.NotifyRuns();
  ShowProjectFields();
  FProject.CurrentRun = nullptr;
  if (FNavigations) FNavigations->Deactivate();
  UpdateActions();
  TvwNavigation->setFocus();
  return true;
}

void TFrmZymraMain::TakeOver(TZymra& loaded) {
  FProject.Titles = loaded.Titles;
  FProject.Comment = loaded.Comment;
  // Entries are made for all runs at once afterwards.
  auto onRunAdded = std::move(FProject.OnRunAdded);
  FProject.OnRunAdded = nullptr;
  for (int i = 0; i < loaded.RunCount(); ++i) FProject.AddRun()->CopyStoredFrom(*loaded.Run(i));
  FProject.OnRunAdded = std::move(onRunAdded);
}

bool TFrmZymraMain::SaveDocument(const QString& fileName) {
  if (fileName.isEmpty()) return false;
  TBusy busy;
  if (!CommitEdits()) return false;
  StoreProjectFields();
  bool saved;
  {
    TWorkersHeld held(FProject);
    saved = FProject.SaveToFile(fileName.toStdString());
  }
  if (!saved) {
    ShowMessageText(QStringLiteral("The project could not be saved to \"%1\".\n%2")
                        .arg(fileName, FromCp1252(FProject.LastError)),
                    MessageFlags(QMessageBox::Ok, QMessageBox::Warning));
  }
  return saved;
}

bool TFrmZymraMain::CommitEdits() { return !FNavigations || FNavigations->StoreCurrent(); }

QString TFrmZymraMain::ProposedFileName() const {
  // The title as typed on the welcome page, which the project takes over when saving.
  QString name = EdtTitle->text().trimmed();
  if (name.isEmpty()) name = FromCp1252(FProject.Titles.Title.Str()).trimmed();
  // A slash would point into another folder; a leading dot would hide the file.
  name.replace(QLatin1Char('/'), QLatin1Char('_'));
  name.replace(QLatin1Char('\\'), QLatin1Char('_'));
  while (name.startsWith(QLatin1Char('.'))) name.remove(0, 1);
  if (name.isEmpty()) name = QStringLiteral("Zymra Project");
  return name + QStringLiteral(".zym");
}

void TFrmZymraMain::LoadRecentFiles(QStringList& list) {
  if (TSettings* settings = UserSettings()) ReadFileHistory(*settings, list);
}

void TFrmZymraMain::SaveRecentFiles(const QStringList& list) {
  if (TSettings* settings = UserSettings()) WriteFileHistory(*settings, list);
}

// --- welcome page -----------------------------------------------------------------

void TFrmZymraMain::ShowProjectFields() {
  EdtTitle->setText(FromCp1252(FProject.Titles.Title.Str()));
  EdtStock->setText(FromCp1252(FProject.Titles.Stock.Str()));
  MmoComment->setPlainText(FromCp1252(FProject.Comment));
  EdtTitle->setFocus();
}

void TFrmZymraMain::StoreProjectFields() {
  FProject.Titles.Title.Assign(ToCp1252(EdtTitle->text()).substr(0, 255));
  FProject.Titles.Stock.Assign(ToCp1252(EdtStock->text()).substr(0, 255));
  FProject.Comment = ToCp1252(MmoComment->toPlainText());
}

// --- navigation -------------------------------------------------------------------

void TFrmZymraMain::BuildNavigation() {
  if (!FNavigations) return;
  FNavigations->Clear();
  TNavigationTree* charts = nullptr;
  for (const char* caption : kGroupCaptions) {
    TNavigationTree* group = FNavigations->AddEntry(*FNavigations);
    group->SetAppearance(caption, niGroup, niGroup, -1, -1);
    charts = group;
  }
  for (const char* caption : kChartCaptions) {
    TNavigationTree* group = FNavigations->AddEntry(*charts);
    group->SetAppearance(caption, niGroup, niGroup, -1, -1);
  }
}

void TFrmZymraMain::RunAdded(TZymra_Run* run) {
  if (!FNavigations || !run) return;
  auto* processGroup = static_cast<TNavigationTree*>(FNavigations->GetItem(0));
  auto* fermentationGroup = static_cast<TNavigationTree*>(FNavigations->GetItem(1));
  auto* resultsGroup = static_cast<TNavigationTree*>(FNavigations->GetItem(2));
  if (!processGroup || !fermentationGroup || !resultsGroup) return;

  TNavigationTree* start = FNavigations->AddEntry(*processGroup, FrmPnlStart, run, 0);
  start->SetAppearance("", -1, -1, -1, -1);
  if (TFrmPnlStart* page = FrmPnlStart) {
    start->OnCanLeave = [page] { return page->CheckValues(); };
    start->OnShow = [page](TZymra_Run* shown) { page->ShowRun(shown); };
    start->OnHide = [page] { page->StoreValues(); };
    start->OnStore = [page] { page->StoreValues(); };
  }

  TNavigationTree* process = FNavigations->AddEntry(*fermentationGroup, FrmPnlProcess, run, 0);
  process->SetAppearance("", -1, -1, -1, -1);
  if (TFrmPnlProcess* page = FrmPnlProcess) {
    process->OnShow = [page](TZymra_Run* shown) { page->ShowRun(shown); };
    process->OnHide = [page] { page->LeaveRun(); };
    process->OnStore = [page] { page->StoreInputs(); };
  }

  for (int kind = 0; kind < 5; ++kind) {
    auto* group = static_cast<TNavigationTree*>(resultsGroup->GetItem(kind));
    if (!group) continue;
    TNavigationTree* chart = FNavigations->AddEntry(*group, FrmZymraChart, run, kind);
    chart->SetAppearance("", -1, -1, -1, -1);
    if (TFrmZymraChart* page = FrmZymraChart) {
      chart->OnPageTag = [page](int tag) { page->SetTag(tag); };
      chart->OnShow = [page](TZymra_Run* shown) { page->ShowRun(shown); };
      chart->OnHide = [page] { page->LeaveRun(); };
      chart->OnStore = [page] { page->StoreView(); };
    }
  }
}

TZymra_Run* TFrmZymraMain::AddRun(bool afterCurrent) {
  TZymra_Run* after = nullptr;
  if (afterCurrent && FProject.CurrentRun && FProject.IndexOf(FProject.CurrentRun) >= 0) after = FProject.CurrentRun;
  // The entries of every run are made afresh below.
  auto onRunAdded = std::move(FProject.OnRunAdded);
  FProject.OnRunAdded = nullptr;
  TZymra_Run* run = FProject.AddRun(after);
  FProject.OnRunAdded = std::move(onRunAdded);
  BuildNavigation();
  FProject.NotifyRuns();
  return run;
}

TFrmZymraMain::TShownPage TFrmZymraMain::ShownPage() const {
  TNavigation* current = FNavigations ? FNavigations->Current : nullptr;
  if (!current) return {};
  return {current->Page, current->Run, current->PageTag};
}

void TFrmZymraMain::ShowAgain(const TShownPage& shown) {
  if (!FNavigations || !shown.Page || FProject.IndexOf(shown.Run) < 0) return;
  if (TNavigation* entry = FNavigations->FindEntry(shown.Page, shown.Run, shown.Tag))
    FNavigations->ShowEntry(entry, true);
}

void TFrmZymraMain::Refill() {
  if (FNavigations) FNavigations->Refill(*FTreeView, false);
}

TNavigation* TFrmZymraMain::SelectedNavigation() {
  if (!FNavigations) return nullptr;
  if (TNavigation* entry = EntryOfSelected(*FTreeView)) return entry;
  TZymra_Run* current = FProject.CurrentRun;
  if (!current || FProject.IndexOf(current) < 0) return nullptr;
  TViewNode node = TNavigations::NodeOfRun(*FTreeView, current);
  if (!node) return nullptr;
  FTreeView->SelectNode(node);
  return dynamic_cast<TNavigation*>(FTreeView->NodeData(node));
}

void TFrmZymraMain::NavigateSelected(bool forward) {
  if (!FNavigations) return;
  FNavigations->NavigateRetrying(*FTreeView, forward, [this] { UpdateActions(); });
}

void TFrmZymraMain::TvwNavigationClick() { NavigateSelected(true); }

bool TFrmZymraMain::TvwNavigationKeyDown(int key) {
  if (!FNavigations) return false;
  return FNavigations->HandleKey(FTreeView.get(), key, [this] { UpdateActions(); });
}

bool TFrmZymraMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == TvwNavigation && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Up || key == Qt::Key_Left) && TvwNavigationKeyDown(key)) return true;
    // Return shows the page of the entry the keyboard selected, as a click does.
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      TvwNavigationClick();
      return true;
    }
  } else if (watched == Panel4 && event->type() == QEvent::Resize) {
    Panel4Resize();
  }
  return TFrmFile::eventFilter(watched, event);
}

// --- actions ----------------------------------------------------------------------

void TFrmZymraMain::MarkModified() { SetModified(true); }

void TFrmZymraMain::RequestUpdateActions() {
  if (!FUpdateTimer->isActive()) FUpdateTimer->start();
}

void TFrmZymraMain::UpdateActions() {
  FUpdateTimer->stop();
  const bool idle = !FProject.AnyActive();
  for (QAction* action : {ActNew, ActOpen, ActSave, ActSaveAs, ActExit}) action->setEnabled(idle);
  ActAddRun->setEnabled(true);
  ActRemoveRun->setEnabled(FProject.AnyInStates({rsPrepare, rsFinished}));
  ActStart->setEnabled(FProject.AnyInStates({rsPrepare, rsPaused}));
  ActPause->setEnabled(FProject.AnyInStates({rsRunning}));
  ActStop->setEnabled(FProject.AnyInStates({rsRunning, rsPaused}));
  ActReset->setEnabled(FProject.AnyInStates({rsPaused, rsFinished}));
  ActHelp->setEnabled(true);
  ActInfo->setEnabled(true);
  ActUpdate->setEnabled(true);
  ActWhitePaper->setEnabled(FWhitePaperFound);
  const bool several = FProject.RunCount() > 1 && TvwNavigation->currentItem() != nullptr;
  ActAssignSettings->setEnabled(several && FProject.AnyInStates({rsPrepare}));
  ActAssignChart->setEnabled(several);
  ActSweep->setEnabled(FProject.CurrentRun != nullptr && FProject.IndexOf(FProject.CurrentRun) >= 0);
  const bool measured = ActSweep->isEnabled() && FProject.CurrentRun->HasMeasured();
  ActImportMeasured->setEnabled(ActSweep->isEnabled());
  ActRemoveMeasured->setEnabled(measured);
  ActFit->setEnabled(measured);
  ActFullScreen->setEnabled(FNavigations && FNavigations->HasPage());
  // A run that finished or paused on its own: the start page's caption and Reset follow.
  if (TNavigation* current = FNavigations ? FNavigations->Current : nullptr)
    if (FrmPnlStart && current->Page == FrmPnlStart && FProject.IndexOf(current->Run) >= 0)
      FrmPnlStart->ShowRunState(current->Run);
  Refill();
  MarkModified();
}

void TFrmZymraMain::ActAddRunExecute() { AddRunAfter(nullptr); }

TZymra_Run* TFrmZymraMain::AddRunAfter(TZymra_Run* after) {
  if (!CommitEdits()) return nullptr;
  const TShownPage shown = ShownPage();
  if (after != nullptr) FProject.CurrentRun = after;
  TZymra_Run* run = AddRun(true);
  ShowAgain(shown);
  UpdateActions();
  return run;
}

void TFrmZymraMain::ActRemoveRunExecute() {
  TNavigation* entry = SelectedNavigation();
  if (!entry || !entry->Run) return;
  TZymra_Run* run = entry->Run;
  if (run->IsInStates({rsRunning, rsPaused})) {
    ShowMessageText(QStringLiteral("Run is still active. You couldn\u00B4t delete this run now!"),
                    MessageFlags(QMessageBox::Ok, QMessageBox::Warning));
    return;
  }
  // The page of the run to go need not pass its checks: on No it stays as typed, on Yes
  // its values go with the run. Any other run's page keeps its values through the rebuild.
  const TShownPage shown = ShownPage();
  const bool showsRun = shown.Run == run;
  if (!showsRun && !CommitEdits()) return;
  const QString question =
      QStringLiteral("Do you really want to delete \"") + FromCp1252(run->RunCaption()) + QStringLiteral("\"");
  if (ShowMessageText(question, MessageFlags(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                             QMessageBox::Question)) != QMessageBox::Yes)
    return;
  FProject.CurrentRun = nullptr;
  FNavigations->Deactivate(true);
  FProject.RemoveRun(run);
  BuildNavigation();
  FProject.NotifyRuns();
  if (!showsRun) ShowAgain(shown);
  UpdateActions();
}

// The shown page's values go into its run before the command (a run started with what
// was typed, or not at all when the page refuses them); afterwards the same page shows
// the new states, still bound to its run.
void TFrmZymraMain::ForAllRuns(void (TZymra::*command)()) {
  if (!CommitEdits()) return;
  (FProject.*command)();
  if (FNavigations) FNavigations->ReshowCurrent();
  UpdateActions();
}

void TFrmZymraMain::ActStartExecute() { ForAllRuns(&TZymra::StartAll); }
void TFrmZymraMain::ActPauseExecute() { ForAllRuns(&TZymra::PauseAll); }
void TFrmZymraMain::ActStopExecute() { ForAllRuns(&TZymra::FinishAll); }
void TFrmZymraMain::ActResetExecute() { ForAllRuns(&TZymra::ResetAll); }

void TFrmZymraMain::ActAssignSettingsExecute() {
  TNavigation* entry = SelectedNavigation();
  if (!entry || !entry->Run || !CommitEdits()) return;
  TRunParameters source{};
  entry->Run->BetweenSteps([&] { source = entry->Run->Params; });
  FProject.EquateSettings(source);
  if (FNavigations) FNavigations->ReshowCurrent();
  UpdateActions();
}

void TFrmZymraMain::ActAssignChartExecute() {
  TNavigation* entry = SelectedNavigation();
  if (!entry || !entry->Run || !CommitEdits()) return;
  TRunParameters source{};
  entry->Run->BetweenSteps([&] { source = entry->Run->Params; });
  FProject.EquateCharts(source);
  if (FNavigations) FNavigations->ReshowCurrent();
  UpdateActions();
}

void TFrmZymraMain::ActSweepExecute() {
  TZymra_Run* run = FProject.CurrentRun;
  // A run removed since the actions were last updated is gone.
  if (run == nullptr || FProject.IndexOf(run) < 0 || !CommitEdits()) return;
  ShowSweepWindow(FProject, *run, this);
}

void TFrmZymraMain::ActImportMeasuredExecute() {
  TZymra_Run* run = FProject.CurrentRun;
  if (run == nullptr || FProject.IndexOf(run) < 0 || !ImportMeasuredData(*run, this)) return;
  // The shown page draws the points; a start page with refused values keeps them.
  if (FNavigations && FNavigations->CanLeaveCurrent()) FNavigations->RefreshCurrent();
  UpdateActions();
}

void TFrmZymraMain::ActRemoveMeasuredExecute() {
  TZymra_Run* run = FProject.CurrentRun;
  if (run == nullptr || FProject.IndexOf(run) < 0 || !RemoveMeasuredData(*run, this)) return;
  if (FNavigations && FNavigations->CanLeaveCurrent()) FNavigations->RefreshCurrent();
  UpdateActions();
}

void TFrmZymraMain::ActFitExecute() {
  TZymra_Run* run = FProject.CurrentRun;
  // The fit starts from the values on screen.
  if (run == nullptr || FProject.IndexOf(run) < 0 || !run->HasMeasured() || !CommitEdits()) return;
  ShowFitWindow(FProject, *run, FrmPnlStart, [this](TZymra_Run& after) { return AddRunAfter(&after); }, this);
}

void TFrmZymraMain::ActFullScreenExecute() {
  if (FNavigations) FNavigations->ShowFullScreen(this, FullScreenModal);
}

void TFrmZymraMain::ActHelpExecute() { ShowHelp(this); }

void TFrmZymraMain::ActInfoExecute() {
  ShowAbout(QStringLiteral("Zymra Simulation"), QString::fromStdString(TZymra::VersionText()), QString(), this,
            AboutModal);
}

void TFrmZymraMain::OpenDocument(const QString& target) {
  if (!ShellOpen(target))
    ShowMessageText(QStringLiteral("\"%1\" could not be opened.").arg(target),
                    MessageFlags(QMessageBox::Ok, QMessageBox::Warning));
}

void TFrmZymraMain::ActWhitePaperExecute() {
  const QString path = WhitePaperPath();
  OpenDocument(path.isEmpty() ? ProgramDir() + QLatin1String(WhitePaperFileName) : path);
}

void TFrmZymraMain::ActUpdateExecute() { OpenDocument(ZymraUpdatePage()); }
