#include "UntZymraFit.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QKeyEvent>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "KelCmpStandard.h"
#include "LibZymra.h"
#include "PaxChart.h"
#include "UntZymraPnlStart.h"
#include "ZymraBackgroundJob.h"
#include "ZymraChartHelpers.h"
#include "ZymraPageHeader.h"
#include "ZymraUi.h"

namespace {

// In kFitConstantNames order: the start page's caption and decimals of each constant;
// estimates are applied at the precision its input holds, so what the page shows and
// stores is what was applied.
struct TConstantInput {
  const char* Caption;  // UTF-8
  int Decimals;
};
constexpr TConstantInput kInputs[kFitConstantCount] = {
    {"Yield Yx/s /g/g (real)", 4},
    {"Maintenance m  /1/h (real)", 4},
    {"Dry Mass per OD /g/l (real)", 4},
    {"Substrate Conc. /g/l (real)", 2},
    {"Max. Growth \xC2\xB5 / 1/h (batch)", 3},
    {"Optical Density OD/- (batch)", 5},
    {"Optical Density OD/- (batch end)", 1},
};

double RoundTo(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::round(value * scale) / scale;
}

// Estimates carry more digits than an input: shown with six significant ones.
QString Number(double value) {
  if (!std::isfinite(value)) return QStringLiteral("\u2013");
  return QString::number(value, 'g', 6).replace(u'.', u',');
}

QString Utf8(const std::string& text) { return QString::fromStdString(text); }

const char* const kColumnCaption[kMeasuredColumnCount] = {"OD", "Volume", "Substrate", "OTR"};

// The run's records as a fresh start would see them, and its measured data.
TFitProblem ProblemOf(const TZymra_Run& run) {
  TFitProblem problem = FitProblemFromRun(run);
  problem.Data.clear();
  if (run.HasMeasured()) problem.Data.push_back(run.Measured());
  return problem;
}

}  // namespace

// --- measured data on a run ------------------------------------------------------------

bool ImportMeasuredData(TZymra_Run& run, QWidget* parent) {
  const QString name =
      ZymraUi().OpenFileName(parent, QStringLiteral("Import Measured Data"), QString(),
                             QStringLiteral("Measured data (*.tsv *.csv *.txt);;All files (*)"));
  if (name.isEmpty()) return false;
  TMeasuredData data;
  std::string error;
  if (!ReadMeasuredData(QFile::encodeName(name).toStdString(), data, error)) {
    ZymraUi().Warning(parent, QStringLiteral("The measured data could not be imported:\n") + Utf8(error));
    return false;
  }
  // Kept for display: the folder means nothing once the project has moved.
  data.Source = QFileInfo(name).fileName().toStdString();
  run.SetMeasured(data);
  return true;
}

bool RemoveMeasuredData(TZymra_Run& run, QWidget* parent) {
  if (!run.HasMeasured()) return false;
  const QString text = QStringLiteral("Remove the measured data (%1, %2 values) from %3?")
                           .arg(Utf8(run.Measured().Source))
                           .arg(run.Measured().ValueCount())
                           .arg(FromCp1252(run.RunCaption()));
  if (ZymraUi().Question(parent, text, false) != QMessageBox::Yes) return false;
  run.SetMeasured(TMeasuredData{});
  return true;
}

// --- the fit window --------------------------------------------------------------------

struct TFrmFit::TJob : TBackgroundJob {
  TFitProblem Problem;
  TFitOptions Options;
  std::atomic<long long> Evaluations{0};
  long long Budget = 1;
  TFitResult Result;  // written by the thread before Ended
};

TFrmFit::TFrmFit(TZymra& project, QWidget* parent) : QWidget(parent), FProject(project) {
  setObjectName(QStringLiteral("FrmFit"));
  const TPageHeader header = MakePageHeader(QStringLiteral("Fit to Measured Data"), this);
  LblCaption = header.Caption;

  LblData = new QLabel(this);
  LblData->setObjectName(QStringLiteral("LblData"));
  LblData->setWordWrap(true);

  auto* grpConstants = new QGroupBox(QStringLiteral("Constants to Estimate"), this);
  auto* grid = new QGridLayout(grpConstants);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(3);
  grid->addWidget(new QLabel(QStringLiteral("Low"), grpConstants), 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("High"), grpConstants), 0, 2);
  for (int k = 0; k < kFitConstantCount; ++k) {
    TConstantRow& row = Rows[k];
    row.ChbEstimate = new QCheckBox(QString::fromUtf8(kInputs[k].Caption), grpConstants);
    row.ChbEstimate->setObjectName(QStringLiteral("Chb") + QLatin1String(kFitConstantNames[k]));
    row.ChbEstimate->setToolTip(QLatin1String(kFitConstantNames[k]));
    row.EdtLow = new TPaxDecimalEdit(grpConstants);
    row.EdtHigh = new TPaxDecimalEdit(grpConstants);
    for (TPaxDecimalEdit* edit : {row.EdtLow, row.EdtHigh}) {
      edit->SetDecSep(',');
      edit->SetEmptyOnZero(false);
      edit->SetNegativeAllowed(false);
      edit->SetMaxLength(12);
      edit->SetDecimals(kInputs[k].Decimals + 1);
      edit->setAlignment(Qt::AlignRight);
      edit->setFixedWidth(76);
    }
    grid->addWidget(row.ChbEstimate, k + 1, 0);
    grid->addWidget(row.EdtLow, k + 1, 1);
    grid->addWidget(row.EdtHigh, k + 1, 2);
    // Yield and maintenance: what OD data tell best about a culture fed on a known feed.
    row.ChbEstimate->setChecked(k <= 1);
    connect(row.ChbEstimate, &QCheckBox::toggled, this, &TFrmFit::UpdateControls);
  }
  grid->setColumnStretch(0, 1);

  auto* grpOptions = new QGroupBox(QStringLiteral("Fit"), this);
  auto* form = new QFormLayout(grpOptions);
  SpnSeed = new QSpinBox(grpOptions);
  SpnSeed->setObjectName(QStringLiteral("SpnSeed"));
  SpnSeed->setRange(0, 2147483647);
  SpnSeed->setValue(1);
  SpnSeed->setToolTip(QStringLiteral("The same seed gives the same starts and the same result"));
  SpnThreads = new QSpinBox(grpOptions);
  SpnThreads->setObjectName(QStringLiteral("SpnThreads"));
  SpnThreads->setRange(1, 256);
  SpnThreads->setValue(static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
  for (QSpinBox* spin : {SpnSeed, SpnThreads}) spin->setAlignment(Qt::AlignRight);
  ChbProfile = new QCheckBox(QStringLiteral("Profile-likelihood intervals"), grpOptions);
  ChbProfile->setObjectName(QStringLiteral("ChbProfile"));
  ChbProfile->setToolTip(QStringLiteral("Intervals that follow the objective itself; they take longer"));
  form->addRow(QStringLiteral("Seed"), SpnSeed);
  form->addRow(QStringLiteral("Threads"), SpnThreads);
  form->addRow(ChbProfile);

  BtnStart = new QPushButton(QStringLiteral("&Start"), this);
  BtnStart->setObjectName(QStringLiteral("BtnStart"));
  BtnStart->setDefault(true);
  BtnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
  BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
  connect(BtnStart, &QPushButton::clicked, this, [this] { Start(); });
  connect(BtnCancel, &QPushButton::clicked, this, &TFrmFit::Cancel);
  PrgFit = new QProgressBar(this);
  PrgFit->setObjectName(QStringLiteral("PrgFit"));
  PrgFit->setRange(0, 1000);
  PrgFit->setValue(0);
  PrgFit->setFormat(QString());
  LblStatus = new QLabel(this);
  LblStatus->setObjectName(QStringLiteral("LblStatus"));
  LblStatus->setWordWrap(true);
  LblStatus->setMinimumHeight(2 * LblStatus->fontMetrics().height());
  LblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  auto* runButtons = new QHBoxLayout;
  runButtons->addWidget(BtnStart);
  runButtons->addWidget(BtnCancel);
  runButtons->addStretch(1);

  auto* left = new QWidget(this);
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->addWidget(LblData);
  leftLayout->addWidget(grpConstants);
  leftLayout->addWidget(grpOptions);
  leftLayout->addLayout(runButtons);
  leftLayout->addWidget(PrgFit);
  leftLayout->addWidget(LblStatus);
  leftLayout->addStretch(1);
  left->setFixedWidth(440);

  TblEstimates = new QTableWidget(0, 6, this);
  TblEstimates->setObjectName(QStringLiteral("TblEstimates"));
  TblEstimates->setHorizontalHeaderLabels({QStringLiteral("Estimate"), QStringLiteral("Std. Error"),
                                           QStringLiteral("95 % Low"), QStringLiteral("95 % High"),
                                           QStringLiteral("Profile Low"), QStringLiteral("Profile High")});
  TblEstimates->setEditTriggers(QAbstractItemView::NoEditTriggers);
  TblEstimates->setSelectionMode(QAbstractItemView::ContiguousSelection);
  TblEstimates->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  TblEstimates->verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  TblEstimates->verticalHeader()->setDefaultSectionSize(TblEstimates->fontMetrics().height() + 6);
  TblEstimates->setFixedHeight(TblEstimates->horizontalHeader()->sizeHint().height() +
                               kFitConstantCount * TblEstimates->verticalHeader()->defaultSectionSize() +
                               2 * TblEstimates->frameWidth() + 4);

  MmoWarnings = new QPlainTextEdit(this);
  MmoWarnings->setObjectName(QStringLiteral("MmoWarnings"));
  MmoWarnings->setReadOnly(true);
  MmoWarnings->setPlaceholderText(QStringLiteral("Warnings about the estimates appear here."));
  MmoWarnings->setFixedHeight(4 * MmoWarnings->fontMetrics().height() + 12);

  CrtResiduals = new TPaxChart(this);
  CrtResiduals->setObjectName(QStringLiteral("CrtResiduals"));
  CrtResiduals->SetAnimatedZoom(false);
  CrtResiduals->SetTitleVisible(false);
  CrtResiduals->SetLegendVisible(true);
  CrtResiduals->SetBottomAxisTitle(QStringLiteral("Fermentation Time /h"));
  CrtResiduals->SetLeftAxisTitle(QStringLiteral("Weighted Residual /-"));
  CrtResiduals->SetBottomMinorTicks(false);
  CrtResiduals->Plot().BottomAxis.GridStyle = Qt::SolidLine;
  CrtResiduals->Plot().LeftAxis.GridStyle = Qt::SolidLine;
  CrtResiduals->setMinimumSize(360, 200);

  BtnApply = new QPushButton(QStringLiteral("Apply as real constants"), this);
  BtnApply->setObjectName(QStringLiteral("BtnApply"));
  BtnApply->setToolTip(QStringLiteral("Writes the estimates into the run's real constants (Undo on the start page "
                                      "brings the values back)"));
  BtnDesign = new QPushButton(QStringLiteral("Design the next run"), this);
  BtnDesign->setObjectName(QStringLiteral("BtnDesign"));
  BtnDesign->setToolTip(QStringLiteral("Adds a run whose feed is designed with the estimates"));
  connect(BtnApply, &QPushButton::clicked, this, [this] { ApplyEstimates(); });
  connect(BtnDesign, &QPushButton::clicked, this, [this] { DesignNextRun(); });
  auto* resultButtons = new QHBoxLayout;
  resultButtons->addStretch(1);
  resultButtons->addWidget(BtnApply);
  resultButtons->addWidget(BtnDesign);

  auto* right = new QVBoxLayout;
  right->addWidget(TblEstimates);
  right->addWidget(MmoWarnings);
  right->addWidget(CrtResiduals, 1);
  right->addLayout(resultButtons);

  auto* body = new QHBoxLayout;
  body->setContentsMargins(10, 10, 10, 10);
  body->setSpacing(12);
  body->addWidget(left);
  body->addLayout(right, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(header.Panel);
  layout->addLayout(body, 1);

  FPoll = new QTimer(this);
  FPoll->setInterval(25);
  connect(FPoll, &QTimer::timeout, this, &TFrmFit::PollFit);
  ShowResult();
  UpdateControls();
}

TFrmFit::~TFrmFit() { StopAndJoin(); }

void TFrmFit::keyPressEvent(QKeyEvent* event) {
  // Escape closes the window as it closes a dialog; a fit going on is cancelled with it.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TFrmFit::StopAndJoin() {
  if (FJob) FJob->StopAndJoin();
}

TZymra_Run* TFrmFit::LiveRun() const {
  if (FRun == nullptr || FProject.IndexOf(FRun) < 0 || FRun->GetID() != FRunID) return nullptr;
  return FRun;
}

void TFrmFit::ShowRun(TZymra_Run* run) {
  if (run == nullptr) return;
  FRun = run;
  FRunID = run->GetID();
  run->BetweenSteps([&] { FShown = ProblemOf(*run); });
  LblCaption->setText(FromCp1252(run->RunCaption()));
  const TMeasuredData& data = run->Measured();
  if (data.Empty()) {
    LblData->setText(QStringLiteral("The run has no measured data: import them from the Runs menu."));
  } else {
    QStringList columns;
    for (int c = 0; c < kMeasuredColumnCount; ++c)
      if (data.Has(static_cast<TMeasuredColumn>(c))) columns << QLatin1String(kColumnCaption[c]);
    LblData->setText(QStringLiteral("Measured data: %1, %2 values of %3 in %4 replicate(s).")
                         .arg(Utf8(data.Source))
                         .arg(data.ValueCount())
                         .arg(columns.join(QStringLiteral(", ")))
                         .arg(data.Replicates().size()));
  }
  FillBounds();
  UpdateControls();
}

void TFrmFit::FillBounds() {
  for (int k = 0; k < kFitConstantCount; ++k) {
    double low = 0, high = 0;
    DefaultFitBounds(FShown.Params, FShown.Batch, k, low, high);
    Rows[k].EdtLow->SetAsFloat(low);
    Rows[k].EdtHigh->SetAsFloat(high);
  }
}

bool TFrmFit::Running() const { return FJob && FJob->Running(); }

const TFitResult* TFrmFit::Result() const {
  if (!FJob || Running() || !FJob->Ok || FJob->Result.Cancelled) return nullptr;
  return &FJob->Result;
}

void TFrmFit::UpdateControls() {
  const bool running = Running();
  for (const TConstantRow& row : Rows) {
    row.ChbEstimate->setEnabled(!running);
    row.EdtLow->setEnabled(!running && row.ChbEstimate->isChecked());
    row.EdtHigh->setEnabled(!running && row.ChbEstimate->isChecked());
  }
  for (QWidget* w : std::initializer_list<QWidget*>{SpnSeed, SpnThreads, ChbProfile, BtnStart}) w->setEnabled(!running);
  BtnCancel->setEnabled(running && !FJob->CancelFlag.load());
  const TZymra_Run* run = LiveRun();
  const bool result = Result() != nullptr;
  BtnApply->setEnabled(result && run != nullptr && run->State() == rsPrepare);
  BtnApply->setToolTip(run != nullptr && run->State() != rsPrepare
                           ? QStringLiteral("The run has started: reset it to change its real constants")
                           : QStringLiteral("Writes the estimates into the run's real constants (Undo on the start "
                                            "page brings the values back)"));
  BtnDesign->setEnabled(result && run != nullptr);
}

bool TFrmFit::Start() {
  if (Running()) return false;
  auto refuse = [this](const QString& reason) {
    ZymraUi().Warning(this, QStringLiteral("The fit cannot start: ") + reason);
    LblStatus->setText(reason);
    return false;
  };
  // The run's values and data as they are now; a run removed since keeps its last copy.
  if (TZymra_Run* run = LiveRun()) run->BetweenSteps([&] { FShown = ProblemOf(*run); });
  if (FShown.Data.empty() || FShown.Data.front().Empty()) return refuse(QStringLiteral("the run has no measured data."));

  auto job = std::make_unique<TJob>();
  job->Problem = FShown;
  job->Problem.Estimate.clear();
  for (int k = 0; k < kFitConstantCount; ++k) {
    if (!Rows[k].ChbEstimate->isChecked()) continue;
    TFitParameter parameter;
    parameter.Name = kFitConstantNames[k];
    parameter.Low = Rows[k].EdtLow->AsFloat();
    parameter.High = Rows[k].EdtHigh->AsFloat();
    job->Problem.Estimate.push_back(parameter);
  }
  std::string error;
  if (!CheckFitProblem(job->Problem, error)) return refuse(Utf8(error));
  job->Options.Seed = static_cast<std::uint64_t>(SpnSeed->value());
  job->Options.Threads = SpnThreads->value();
  job->Options.Profile = ChbProfile->isChecked();
  job->Options.Cancel = &job->CancelFlag;
  job->Options.Evaluations = &job->Evaluations;
  job->Budget = std::max<long long>(1, FitEvaluationBudget(job->Problem, job->Options));

  // The previous result goes: the window shows one fit at a time.
  FJob = std::move(job);
  FCancelMs = -1;
  ShowResult();
  TJob* raw = FJob.get();
  raw->Launch([raw] { return RunFit(raw->Problem, raw->Options, raw->Result, raw->Error); });
  PrgFit->setValue(0);
  LblStatus->setText(QStringLiteral("Fitting on %1 threads...").arg(raw->Options.Threads));
  FPoll->start();
  UpdateControls();
  return true;
}

void TFrmFit::Cancel() {
  if (!FJob || !FJob->Cancel()) return;
  LblStatus->setText(QStringLiteral("Cancelling..."));
  UpdateControls();
}

void TFrmFit::PollFit() {
  if (!Running()) {
    FPoll->stop();
    return;
  }
  if (FJob->HasEnded()) {
    FinishFit();
    return;
  }
  const long long done = FJob->Evaluations.load(std::memory_order_relaxed);
  PrgFit->setValue(static_cast<int>(std::min(1000.0, 1000.0 * static_cast<double>(done) / FJob->Budget)));
  PrgFit->setFormat(QStringLiteral("%1 evaluations").arg(done));
}

void TFrmFit::FinishFit() {
  FPoll->stop();
  FCancelMs = FJob->Finish();
  const TJob& job = *FJob;
  const double seconds = job.Seconds();
  PrgFit->setFormat(QStringLiteral("%1 evaluations").arg(job.Result.Evaluations));
  if (job.Result.Cancelled) {
    PrgFit->setValue(0);
    LblStatus->setText(QStringLiteral("Cancelled (stopped %1 ms after Cancel); the run is as it was.")
                           .arg(FCancelMs, 0, 'f', 0));
  } else if (!job.Ok) {
    PrgFit->setValue(0);
    LblStatus->setText(QStringLiteral("The fit failed."));
    ZymraUi().Warning(this, QStringLiteral("The fit failed: ") + Utf8(job.Error));
  } else {
    PrgFit->setValue(1000);
    LblStatus->setText(QStringLiteral("%1 points, SSE %2, %3 evaluations in %4 s, seed %5.")
                           .arg(job.Result.Points)
                           .arg(Number(job.Result.SSE))
                           .arg(job.Result.Evaluations)
                           .arg(QString::number(seconds, 'f', 1).replace(u'.', u','))
                           .arg(job.Options.Seed));
  }
  ShowResult();
  UpdateControls();
}

void TFrmFit::ShowResult() {
  TblEstimates->clearContents();
  MmoWarnings->clear();
  RemoveAllSeries(CrtResiduals);
  const TFitResult* r = Result();
  const bool profile = r && !r->ProfileLow.empty();
  TblEstimates->setColumnHidden(4, !profile);
  TblEstimates->setColumnHidden(5, !profile);
  TblEstimates->setRowCount(r ? static_cast<int>(r->Names.size()) : 0);
  if (r == nullptr) {
    CrtResiduals->update();
    return;
  }
  for (std::size_t i = 0; i < r->Names.size(); ++i) {
    const int row = static_cast<int>(i);
    const int k = FitConstantIndex(r->Names[i]);
    auto* head = new QTableWidgetItem(k >= 0 ? QString::fromUtf8(kInputs[k].Caption) : Utf8(r->Names[i]));
    head->setToolTip(Utf8(r->Names[i]));
    TblEstimates->setVerticalHeaderItem(row, head);
    const double values[6] = {r->Estimate[i], r->StdError[i], r->CILow[i], r->CIHigh[i],
                              profile ? r->ProfileLow[i] : NAN, profile ? r->ProfileHigh[i] : NAN};
    for (int c = 0; c < 6; ++c) {
      auto* item = new QTableWidgetItem(Number(values[c]));
      item->setData(Qt::UserRole, values[c]);
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      TblEstimates->setItem(row, c, item);
    }
  }
  QStringList lines;
  for (const std::string& w : r->Warnings) lines << Utf8(w);
  MmoWarnings->setPlainText(lines.join(QLatin1Char('\n')));

  // Weighted residuals over time, one marker series per measured column.
  for (int c = 0; c < kMeasuredColumnCount; ++c) {
    TPaxChartSeries* series = nullptr;
    for (const TFitResidual& res : r->Residuals) {
      if (static_cast<int>(res.Column) != c) continue;
      if (!series) series = AddPointSeries(QLatin1String(kColumnCaption[c]), CrtResiduals->Plot());
      series->Append(res.Time, res.Weighted);
    }
  }
  CrtResiduals->update();
}

bool TFrmFit::ApplyEstimates() {
  const TFitResult* r = Result();
  TZymra_Run* run = LiveRun();
  if (r == nullptr || run == nullptr || run->State() != rsPrepare) return false;
  TRunParameters params = run->Params;
  TRunBatchParameters batch = run->BatchParams;
  for (std::size_t i = 0; i < r->Names.size(); ++i) {
    const int k = FitConstantIndex(r->Names[i]);
    if (k >= 0) SetFitConstantValue(params, batch, k, RoundTo(r->Estimate[i], kInputs[k].Decimals));
  }
  if (StartPage) {
    if (!StartPage->ApplyValues(*run, params, batch)) return false;
  } else {
    run->Params = params;
    run->BatchParams = batch;
  }
  LblStatus->setText(QStringLiteral("Applied to %1; Undo on its start page brings the values back.")
                         .arg(FromCp1252(run->RunCaption())));
  if (FProject.OnStateChange) FProject.OnStateChange();
  UpdateControls();
  return true;
}

TZymra_Run* TFrmFit::DesignNextRun() {
  const TFitResult* r = Result();
  TZymra_Run* source = LiveRun();
  if (r == nullptr || source == nullptr) return nullptr;
  // The fit's copy of the records: a fresh start of the source run, status cleared.
  TRunParameters params = FJob->Problem.Params;
  TRunBatchParameters batch = FJob->Problem.Batch;
  for (std::size_t i = 0; i < r->Names.size(); ++i) {
    const int k = FitConstantIndex(r->Names[i]);
    if (k >= 0) SetFitConstantValue(params, batch, k, RoundTo(r->Estimate[i], kInputs[k].Decimals));
  }
  // The feed designed with what is now known of the culture: design equals real.
  params.DryMassPerOD = params.DryMassPerOD_Real;
  params.Yield = params.Yield_Real;
  params.Maintenance = params.Maintenance_Real;
  params.CSubstr = params.CSubstr_Real;
  const std::string caption = source->RunCaption();
  TZymra_Run* run = AddRunAfter ? AddRunAfter(*source) : FProject.AddRun(source);
  if (run == nullptr) return nullptr;
  run->Params = params;
  run->BatchParams = batch;
  ClearRunStatus(run->Params, run->BatchParams);
  run->Comment = "Feed designed with the constants fitted to the measured data of " + caption + ".";
  LblStatus->setText(QStringLiteral("Added %1, its feed designed with the estimates.").arg(FromCp1252(run->RunCaption())));
  if (FProject.OnStateChange) FProject.OnStateChange();
  UpdateControls();
  return run;
}

TFrmFit* ShowFitWindow(TZymra& project, TZymra_Run& run, TFrmPnlStart* startPage,
                       std::function<TZymra_Run*(TZymra_Run&)> addRunAfter, QWidget* parent) {
  auto* page = new TFrmFit(project, parent);
  page->setWindowFlag(Qt::Window);
  page->setAttribute(Qt::WA_DeleteOnClose);
  page->StartPage = startPage;
  page->AddRunAfter = std::move(addRunAfter);
  page->ShowRun(&run);
  page->setWindowTitle(QStringLiteral("Fit - ") + FromCp1252(run.RunCaption()));
  page->resize(1180, 720);
  page->show();
  return page;
}
