#include "UntZymraChart.h"

#include <QAction>
#include <QApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPalette>
#include <QPointer>
#include <QPrinter>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "LibZymra.h"
#include "PaxChart.h"
#include "ZymraChartImages.h"
#include "ZymraRunChart.h"
#include "ZymraUi.h"

TFrmZymraChart::TFrmZymraChart(TZymra& project, QWidget* parent) : QWidget(parent), FProject(project) {
  setObjectName(QStringLiteral("FrmZymraChart"));

  PnlHeader = new QWidget(this);
  PnlHeader->setObjectName(QStringLiteral("PnlHeader"));
  PnlHeader->setFixedHeight(40);
  PnlHeader->setAutoFillBackground(true);
  QPalette headerPalette = PnlHeader->palette();
  headerPalette.setColor(QPalette::Window, QColor(226, 230, 240));
  PnlHeader->setPalette(headerPalette);
  LblCharts = new QLabel(QStringLiteral("Charts"), PnlHeader);
  QFont headerFont(QStringLiteral("Verdana"));
  headerFont.setPixelSize(19);
  headerFont.setBold(true);
  LblCharts->setFont(headerFont);
  LblCaption = new QLabel(PnlHeader);
  LblCaption->setObjectName(QStringLiteral("LblCaption"));
  QFont captionFont = LblCaption->font();
  captionFont.setBold(true);
  LblCaption->setFont(captionFont);
  QPalette captionPalette = LblCaption->palette();
  captionPalette.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::Highlight));
  LblCaption->setPalette(captionPalette);
  auto* header = new QHBoxLayout(PnlHeader);
  header->setContentsMargins(10, 0, 10, 0);
  header->setSpacing(16);
  header->addWidget(LblCharts);
  header->addWidget(LblCaption, 1);

  auto makeAction = [this](const char* name, const QString& caption, const QString& hint, int image) {
    auto* action = new QAction(ZymraChartIcon(image), caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setToolTip(hint);
    action->setStatusTip(hint);
    ActChart.append(action);
    return action;
  };
  Act3D = makeAction("Act3D", QStringLiteral("&3D"), QStringLiteral("Show 3D Chart"), ciView3D);
  Act3D->setCheckable(true);
  ActShowEqualCf = makeAction("ActShowEqualCf", QStringLiteral("Show Equal &Cf"),
                              QStringLiteral("Show Data As If Cf Would Have Been Set Correctly"), ciEqualCf);
  ActShowEqualCf->setCheckable(true);
  ActRotationLeft = makeAction("ActRotationLeft", QStringLiteral("&h Left Rotation"),
                               QStringLiteral("Rotates Chart Left"), ciRotateLeft);
  ActRotationRight = makeAction("ActRotationRight", QStringLiteral("&kRight Rotation"),
                                QStringLiteral("Rotates Chart Right"), ciRotateRight);
  ActElevationUp = makeAction("ActElevationUp", QStringLiteral("&u Up Elevation "), QStringLiteral("Elevates Chart Up"),
                              ciElevateUp);
  ActElevationDown = makeAction("ActElevationDown", QStringLiteral("&j Down Elevation"),
                                QStringLiteral("Elevates Chart Down"), ciElevateDown);
  ActSetDefault = makeAction("ActSetDefault", QStringLiteral("Rese&t"), QStringLiteral("Reset Chart Movements"), ciReset);
  ActPrint = makeAction("ActPrint", QStringLiteral("&Print"), QStringLiteral("Prints Chart"), ciPrint);
  connect(Act3D, &QAction::triggered, this, &TFrmZymraChart::Act3DExecute);
  connect(ActShowEqualCf, &QAction::triggered, this, &TFrmZymraChart::ActShowEqualCfExecute);
  connect(ActRotationLeft, &QAction::triggered, this, &TFrmZymraChart::ActRotationLeftExecute);
  connect(ActRotationRight, &QAction::triggered, this, &TFrmZymraChart::ActRotationRightExecute);
  connect(ActElevationUp, &QAction::triggered, this, &TFrmZymraChart::ActElevationUpExecute);
  connect(ActElevationDown, &QAction::triggered, this, &TFrmZymraChart::ActElevationDownExecute);
  connect(ActSetDefault, &QAction::triggered, this, &TFrmZymraChart::ActSetDefaultExecute);
  connect(ActPrint, &QAction::triggered, this, &TFrmZymraChart::ActPrintExecute);

  ToolBar = new QToolBar(this);
  ToolBar->setObjectName(QStringLiteral("ToolBar"));
  ToolBar->setMovable(false);
  ToolBar->setFloatable(false);
  ToolBar->setIconSize(QSize(16, 16));
  ToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  ToolBar->addAction(Act3D);
  ToolBar->addAction(ActShowEqualCf);
  ToolBar->addSeparator();
  ToolBar->addAction(ActRotationLeft);
  ToolBar->addAction(ActElevationUp);
  ToolBar->addAction(ActElevationDown);
  ToolBar->addAction(ActRotationRight);
  ToolBar->addAction(ActSetDefault);
  ToolBar->addSeparator();
  ToolBar->addAction(ActPrint);

  CrtChart = new TPaxChart(this);
  CrtChart->setObjectName(QStringLiteral("CrtChart"));
  CrtChart->SetBottomAxisTitle(QStringLiteral("Fermentation Time /h"));
  CrtChart->SetBottomMinorTicks(false);
  CrtChart->SetLegendVisible(true);
  CrtChart->SetAnimatedZoom(true);
  CrtChart->Plot().BottomAxis.GridStyle = Qt::SolidLine;
  CrtChart->Plot().LeftAxis.GridStyle = Qt::SolidLine;
  CrtChart->Plot().BackColor = Qt::white;
  CrtChart->Plot().BackWallColor = Qt::white;
  CrtChart->Plot().Walls3D = false;
  CrtChart->Plot().TitleColor = Qt::blue;
  CrtChart->SetOrthogonal(false);
  PopChart = CrtChart->PopupMenu();
  PopChart->addAction(Act3D);
  PopChart->addAction(ActShowEqualCf);
  PopChart->addSeparator();
  PopChart->addAction(ActRotationLeft);
  PopChart->addAction(ActRotationRight);
  PopChart->addAction(ActElevationDown);
  PopChart->addAction(ActElevationUp);
  PopChart->addAction(ActSetDefault);
  PopChart->addSeparator();
  PopChart->addAction(ActPrint);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(PnlHeader);
  layout->addWidget(ToolBar);
  layout->addWidget(CrtChart, 1);

  ActShowEqualCf->setEnabled(false);
  SetView3D(true);
}

TFrmZymraChart::~TFrmZymraChart() { DetachWorker(); }

void TFrmZymraChart::SetTag(int kind) { FTag = std::clamp(kind, 0, kRunChartKinds - 1); }

bool TFrmZymraChart::EqualCfAvailable() const { return FRun != nullptr && FRun->ShowsEqualCf(FTag); }

void TFrmZymraChart::AttachWorker() {
  if (FRun == nullptr || FRun->Worker() == nullptr) return;
  QPointer<TFrmZymraChart> self(this);
  TZymra_Run* run = FRun;
  FRun->Worker()->SetOnChartUpdate([self, run] {
    // A callback already on its way when the page moved on finds another run shown.
    if (!self || self->FRun != run) return;
    self->RefreshChart();
  });
}

void TFrmZymraChart::DetachWorker() {
  // A run removed from the project while shown is gone: leave it alone.
  if (FRun == nullptr || FProject.IndexOf(FRun) < 0) return;
  if (TZymra_Thread* worker = FRun->Worker()) worker->SetOnChartUpdate(nullptr);
}

void TFrmZymraChart::ShowRun(TZymra_Run* run) {
  if (run == nullptr) return;
  if (FRun != nullptr && FRun != run) LeaveRun();
  FRun = run;
  FProject.CurrentRun = run;
  run->BetweenSteps([&] {
    LblCaption->setText(FromCp1252(run->DisplayName()));
    CrtChart->Plot().ClearZoom();
    // Title, axes and series; the title carries the program's version text.
    SetupRunChart(CrtChart->Plot(), *run, FTag, FromCp1252(TZymra::VersionText()));
    CrtChart->update();
    SetView3D(run->Params.View3D != 0);
    ActShowEqualCf->setChecked(run->Params.ShowEqualCf != 0);
    ActShowEqualCf->setEnabled(EqualCfAvailable());
    RefreshChart();
  });
}

void TFrmZymraChart::RebuildSeries() {
  if (FRun == nullptr) return;
  FRun->BetweenSteps([this] { RebuildRunSeries(CrtChart->Plot(), *FRun, FTag); });
}

void TFrmZymraChart::RefreshChart() {
  if (FRun == nullptr) return;
  FRun->BetweenSteps([&] {
    const QString caption = FromCp1252(FRun->DisplayName());
    if (LblCaption->text() != caption) LblCaption->setText(caption);
    // Appends only what each series lacks; the chart repaints later, coalesced.
    RefreshRunChart(CrtChart->Plot(), *FRun, FTag);
  });
  AttachWorker();
}

void TFrmZymraChart::SetView3D(bool on) {
  CrtChart->SetView3D(on);
  Act3D->setChecked(on);
  for (QAction* action : {ActRotationLeft, ActRotationRight, ActElevationUp, ActElevationDown, ActSetDefault})
    action->setEnabled(on);
}

void TFrmZymraChart::LeaveRun() {
  if (FRun == nullptr) return;
  DetachWorker();
  StoreView();
  FRun = nullptr;
}

void TFrmZymraChart::StoreView() {
  if (FRun == nullptr || FProject.IndexOf(FRun) < 0) return;
  FRun->BetweenSteps([this] {
    FRun->Params.ChartRotation = static_cast<std::int32_t>(std::lround(CrtChart->Rotation()));
    FRun->Params.ChartElevation = static_cast<std::int32_t>(std::lround(CrtChart->Elevation()));
    FRun->Params.View3D = CrtChart->View3D() ? 1 : 0;
  });
}

void TFrmZymraChart::Act3DExecute() {
  SetView3D(Act3D->isChecked());  // the action has toggled itself
  StoreView();
}

void TFrmZymraChart::ActShowEqualCfExecute() {
  if (FRun != nullptr) {
    const std::uint8_t show = ActShowEqualCf->isChecked() ? 1 : 0;
    FRun->BetweenSteps([&] { FRun->Params.ShowEqualCf = show; });
    RebuildSeries();
    RefreshChart();
  }
  StoreView();
}

void TFrmZymraChart::Turn(double rotationDelta, double elevationDelta) {
  CrtChart->SetRotation(CrtChart->Rotation() + rotationDelta);
  CrtChart->SetElevation(CrtChart->Elevation() + elevationDelta);
  StoreView();
}

void TFrmZymraChart::ActRotationLeftExecute() { Turn(-10, 0); }
void TFrmZymraChart::ActRotationRightExecute() { Turn(10, 0); }
void TFrmZymraChart::ActElevationUpExecute() { Turn(0, -5); }
void TFrmZymraChart::ActElevationDownExecute() { Turn(0, 5); }

void TFrmZymraChart::ActSetDefaultExecute() {
  CrtChart->SetElevation(355);
  CrtChart->SetRotation(340);
  CrtChart->UndoZoom();
  StoreView();
}

void TFrmZymraChart::ActPrintExecute() {
  QPrinter printer(QPrinter::HighResolution);
  if (ZymraUi().SetupPrinter && ZymraUi().SetupPrinter(this, printer)) {
    TPaxPrintOptions options;
    options.MarginLeft = options.MarginTop = options.MarginRight = options.MarginBottom = 5;
    options.Proportional = false;
    options.Resolution = -100;
    QString error;
    if (!CrtChart->Print(printer, options, error) && ZymraUi().Warning) ZymraUi().Warning(this, error);
  }
  StoreView();
}
