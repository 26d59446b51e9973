#include "UntZymraChart.h"
#include "ZymraPageHeader.h"

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
#include "ZymraChartHelpers.h"
#include "ZymraChartImages.h"
#include "ZymraCompareChart.h"
#include "ZymraRunChart.h"
#include "ZymraUi.h"


TFrmZymraChart::TFrmZymraChart(TZymra& project, QWidget* parent) : QWidget(parent), FProject(project) {
  setObjectName(QStringLiteral("FrmZymraChart"));

  const TPageHeader header = MakePageHeader(QStringLiteral("Charts"), this);
  PnlHeader = header.Panel;
  LblCharts = header.Title;
  LblCaption = header.Caption;

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
  ActCompareRuns = makeAction("ActCompareRuns", QStringLiteral("Compare &Runs"),
                              QStringLiteral("Shows This Quantity Of Every Run Of The Project"), ciCompareRuns);
  ActCompareRuns->setCheckable(true);
  connect(Act3D, &QAction::triggered, this, &TFrmZymraChart::Act3DExecute);
  connect(ActShowEqualCf, &QAction::triggered, this, &TFrmZymraChart::ActShowEqualCfExecute);
  connect(ActRotationLeft, &QAction::triggered, this, &TFrmZymraChart::ActRotationLeftExecute);
  connect(ActRotationRight, &QAction::triggered, this, &TFrmZymraChart::ActRotationRightExecute);
  connect(ActElevationUp, &QAction::triggered, this, &TFrmZymraChart::ActElevationUpExecute);
  connect(ActElevationDown, &QAction::triggered, this, &TFrmZymraChart::ActElevationDownExecute);
  connect(ActSetDefault, &QAction::triggered, this, &TFrmZymraChart::ActSetDefaultExecute);
  connect(ActPrint, &QAction::triggered, this, &TFrmZymraChart::ActPrintExecute);
  connect(ActCompareRuns, &QAction::triggered, this, &TFrmZymraChart::ActCompareRunsExecute);

  ToolBar = new QToolBar(this);
  ToolBar->setObjectName(QStringLiteral("ToolBar"));
  ToolBar->setMovable(false);
  ToolBar->setFloatable(false);
  ToolBar->setIconSize(QSize(16, 16));
  ToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  ToolBar->addAction(Act3D);
  ToolBar->addAction(ActShowEqualCf);
  ToolBar->addAction(ActCompareRuns);
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
  PopChart->addAction(ActCompareRuns);
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
  ActCompareRuns->setEnabled(false);  // until a run is shown
  SetView3D(true);
}

TFrmZymraChart::~TFrmZymraChart() {
  DetachCompareWorkers();
  DetachWorker();
}

void TFrmZymraChart::SetTag(int kind) { FTag = std::clamp(kind, 0, kRunChartKinds - 1); }

bool TFrmZymraChart::EqualCfAvailable() const { return FRun != nullptr && FRun->ShowsEqualCf(FTag); }

void TFrmZymraChart::AttachWorker() {
  if (FRun == nullptr || FRun->Worker() == nullptr) return;
  QPointer<TFrmZymraChart> self(this);
  TZymra_Run* run = FRun;
  FRun->Worker()->SetOnChartUpdate([self, run] {
    // A callback already on its way when the page moved on finds another run shown.
    if (!self || self->FRun != run || self->FCompare) return;
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
  // Shown again for its own run (after a command on the runs): the comparison goes on,
  // over the project's runs as they are now. Only the user or another page ends it.
  if (FCompare && run == FRun) {
    FProject.CurrentRun = run;
    BuildCompareSeries();
    return;
  }
  if (FRun != nullptr && FRun != run) LeaveRun();
  EndCompare();
  FRun = run;
  ActCompareRuns->setEnabled(true);
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
  if (FCompare) {
    BuildCompareSeries();
    return;
  }
  FRun->BetweenSteps([this] { RebuildRunSeries(CrtChart->Plot(), *FRun, FTag); });
}

void TFrmZymraChart::RefreshChart() {
  if (FRun == nullptr) return;
  if (FCompare) {
    for (std::size_t i = 0; i < FCompareRuns.size(); ++i) RefreshCompareRun(i);
    AttachCompareWorkers();
    return;
  }
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
  // The comparison's flat view is not the run's: its own was kept when it began.
  const bool comparing = FCompare;
  EndCompare();
  DetachWorker();
  if (!comparing) StoreView();
  FRun = nullptr;
  ActCompareRuns->setEnabled(false);
}

void TFrmZymraChart::StoreView() {
  if (FRun == nullptr || FCompare || FProject.IndexOf(FRun) < 0) return;
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

void TFrmZymraChart::ActCompareRunsExecute() {
  if (FRun == nullptr) {
    ActCompareRuns->setChecked(false);
    return;
  }
  if (ActCompareRuns->isChecked() == FCompare) return;
  if (ActCompareRuns->isChecked()) {
    StoreView();  // the shown run's view, taken up again when the comparison ends
    DetachWorker();
    FCompare = true;
    // 2D only: the turn, tilt and equal-Cf actions belong to the run's own view.
    SetView3D(false);
    Act3D->setEnabled(false);
    ActShowEqualCf->setEnabled(false);
    BuildCompareSeries();
  } else {
    EndCompare();
    ShowRun(FRun);
  }
}

void TFrmZymraChart::BuildCompareSeries() {
  DetachCompareWorkers();
  FCompareRuns.clear();
  for (int i = 0; i < FProject.RunCount(); ++i) FCompareRuns.push_back(FProject.Run(i));
  TPaxPlot& plot = CrtChart->Plot();
  plot.ClearZoom();
  // Title, axes and no series; the lines are added here and filled run by run between
  // their steps, since some of the runs may be going on.
  SetupCompareChart(plot, {}, FTag, FromCp1252(TZymra::VersionText()));
  for (TZymra_Run* run : FCompareRuns) plot.AddSeries(FromCp1252(run->RunCaption()));
  CrtChart->update();
  RefreshChart();
}

void TFrmZymraChart::RefreshCompareRun(std::size_t index) {
  if (index >= FCompareRuns.size()) return;
  TZymra_Run* run = FCompareRuns[index];
  TPaxChartSeries* series = CrtChart->Series(static_cast<int>(index));
  if (series == nullptr || FProject.IndexOf(run) < 0) return;
  run->BetweenSteps([&] {
    const int rows = run->Time.Rows();
    // A run reset meanwhile has fewer rows than its line: it starts again.
    if (series->Count() > static_cast<std::size_t>(rows)) series->Clear();
    FillSeries(series, &run->Time, &CompareSeries(*run, FTag));
    if (run == FRun) {
      const QString caption = FromCp1252(run->DisplayName());
      if (LblCaption->text() != caption) LblCaption->setText(caption);
    }
  });
}

void TFrmZymraChart::AttachCompareWorkers() {
  QPointer<TFrmZymraChart> self(this);
  for (TZymra_Run* run : FCompareRuns) {
    if (FProject.IndexOf(run) < 0 || run->Worker() == nullptr) continue;
    // Each worker refreshes only its own run's line: it waits for the callback, so that
    // run may be read; the other runs are left to their own workers.
    run->Worker()->SetOnChartUpdate([self, run] {
      if (!self || !self->FCompare) return;
      const auto& runs = self->FCompareRuns;
      const auto at = std::find(runs.begin(), runs.end(), run);
      if (at != runs.end()) self->RefreshCompareRun(static_cast<std::size_t>(at - runs.begin()));
    });
  }
}

void TFrmZymraChart::DetachCompareWorkers() {
  for (TZymra_Run* run : FCompareRuns)
    if (FProject.IndexOf(run) >= 0)
      if (TZymra_Thread* worker = run->Worker()) worker->SetOnChartUpdate(nullptr);
}

void TFrmZymraChart::EndCompare() {
  if (!FCompare) return;
  DetachCompareWorkers();
  FCompareRuns.clear();
  FCompare = false;
  ActCompareRuns->setChecked(false);
  Act3D->setEnabled(true);
}
