#include "UntZymraSweep.h"
#include "ZymraBackgroundJob.h"
#include "ZymraPageHeader.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QKeyEvent>
#include <QSaveFile>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <thread>

#include "KelCmpStandard.h"
#include "LibZymra.h"
#include "ZymraBandChart.h"
#include "ZymraRunChart.h"
#include "ZymraSweep.h"
#include "ZymraUi.h"

// ---------------------------------------------------------------------------

void TSweepBandChart::paintEvent(QPaintEvent* event) {
  TPaxPlot& plot = Plot();
  if (Bands.empty() || plot.View3D()) {
    TPaxChart::paintEvent(event);
    return;
  }
  // Background and bands first; the chart then paints its grid, lines and zoom frame
  // over them on a see-through background.
  {
    QPainter painter(this);
    PaxPaintBandBackground(plot, Bands, painter, QRectF(rect()));
  }
  const TPaxSeeThrough seeThrough(plot);
  TPaxChart::paintEvent(event);
}

// ---------------------------------------------------------------------------

const std::vector<TSweepInput>& SweepInputs() {
  static const std::vector<TSweepInput> inputs = {
      {"DryMassPerOD_Real", "Dry Mass per OD /g/l (real)", 4},
      {"Yield_Real", "Yield Yx/s /g/g (real)", 4},
      {"Maintenance_Real", "Maintenance m  /1/h (real)", 4},
      {"CSubstr_Real", "Substrate Conc. /g/l (real)", 2},
      {"Uset", "Growth Rate \xC2\xB5set", 3},
      {"TargetOD", "Target OD", 1},
      {"uCritical", "Critical \xC2\xB5 / 1/h", 3},
      {"ODCritical", "Critical OD /-", 1},
      {"DryMassPerOD", "Dry Mass per OD /g/l (feed)", 4},
      {"Yield", "Yield Yx/s /g/g (feed)", 4},
      {"Maintenance", "Maintenance m  /1/h (feed)", 4},
      {"CSubstr", "Substrate Conc. /g/l (feed)", 2},
      {"Yxo", "Yield Yx/o /g/g", 3},
      {"ReactorSize", "Reactor Size /l", 1},
      {"ReactorVol", "Reactor Volume /l (batch end)", 1},
      {"FedBatchOD", "Optical Density OD/- (batch end)", 1},
      {"BatchStartVol", "Reactor Volume /l (batch)", 1},
      {"BatchOD", "Optical Density OD/- (batch)", 4},
      {"Batchumax", "Max. Growth \xC2\xB5 / 1/h", 3},
      {"BatchSubConc", "Substrate Conc. /g/l (batch)", 3},
      {"SimInterval", "Simulation Interval dt /h", 3},
  };
  return inputs;
}

namespace {
constexpr int kBandKinds = 5;

const TSweepInput* InputOf(const QString& name) {
  for (const TSweepInput& input : SweepInputs())
    if (name == QLatin1String(input.Name)) return &input;
  return nullptr;
}

double FieldValue(const TRunParameters& params, const TRunBatchParameters& batch, const char* name) {
  const TRunField* field = FindRunField(name);
  if (field == nullptr || field->Type != TRunField::Double) return 0;
  double value = 0;
  const auto* base = field->InBatchRecord ? reinterpret_cast<const std::uint8_t*>(&batch)
                                          : reinterpret_cast<const std::uint8_t*>(&params);
  std::memcpy(&value, base + field->Offset, sizeof value);
  return value;
}

double RoundTo(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::round(value * scale) / scale;
}

// The shortest text that reads back as v: the reasons quote these numbers.
std::string Shortest(double v) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, end) : std::string("nan");
}

// Numbers on screen carry the program's decimal comma.
QString Number(double value, int decimals) {
  if (!std::isfinite(value)) return QStringLiteral("\u2013");
  return QString::number(value, 'f', decimals).replace(u'.', u',');
}

// The sweep's own reasons name the command-line option; the page has none.
QString Reason(const std::string& error) {
  return QString::fromStdString(error).replace(QLatin1String("--vary "), QString());
}

struct TOutcomeRow {
  int Column;  // of TSweepSummary::Quantile
  const char* Caption;
  int Decimals;
};
constexpr TOutcomeRow kOutcomeRows[] = {
    {0, "Process Time /h", 2}, {1, "OD real", 2},      {2, "OD ideal", 2},
    {3, "Volume /l", 3},       {4, "Fed Total /l", 3}, {5, "Steps", 0},
};
}  // namespace

struct TFrmSweep::TJob : TBackgroundJob {
  TSweepSpec Plan;
  std::vector<std::string> Names;
  std::vector<std::string> VaryTexts;
  QString Caption;
  int Threads = 0;
  std::atomic<long long> Done{0};
  TSweepResult Result;  // written by the thread before Ended
  // The header and one line per run, in index order: in a temporary file, so that a
  // sweep of millions of runs does not hold its lines in memory.
  std::FILE* Lines = std::tmpfile();
  bool LinesFailed = false;
  ~TJob() {
    if (Lines) std::fclose(Lines);
  }
};

// ---------------------------------------------------------------------------

TFrmSweep::TFrmSweep(TZymra& project, QWidget* parent)
    : QWidget(parent), FProject(project), FParams(DefaultRunParameters()), FBatch(DefaultRunBatchParameters()) {
  setObjectName(QStringLiteral("FrmSweep"));

  // Header in the look of the run pages.
  const TPageHeader header = MakePageHeader(QStringLiteral("Sweep"), this);
  QWidget* pnlHeader = header.Panel;
  LblCaption = header.Caption;

  // Values to vary: one row of controls per value.
  auto* grpVary = new QGroupBox(QStringLiteral("Values to Vary"), this);
  auto* varyGrid = new QGridLayout(grpVary);
  varyGrid->setHorizontalSpacing(6);
  varyGrid->setVerticalSpacing(4);
  ChbSecond = new QCheckBox(QStringLiteral("Vary a second value"), grpVary);
  ChbSecond->setObjectName(QStringLiteral("ChbSecond"));
  for (int row = 0; row < 2; ++row) {
    TVaryRow& v = Vary[row];
    v.CmbValue = new QComboBox(grpVary);
    v.CmbValue->setObjectName(QStringLiteral("CmbValue%1").arg(row + 1));
    for (const TSweepInput& input : SweepInputs())
      v.CmbValue->addItem(QString::fromUtf8(input.Caption), QString::fromLatin1(input.Name));
    v.CmbValue->setMaxVisibleItems(static_cast<int>(SweepInputs().size()));
    v.CmbKind = new QComboBox(grpVary);
    v.CmbKind->setObjectName(QStringLiteral("CmbKind%1").arg(row + 1));
    v.CmbKind->addItems({QStringLiteral("Grid"), QStringLiteral("Normal"), QStringLiteral("Uniform")});
    v.LblA = new QLabel(grpVary);
    v.LblB = new QLabel(grpVary);
    v.LblN = new QLabel(QStringLiteral("Count"), grpVary);
    v.EdtA = new TPaxDecimalEdit(grpVary);
    v.EdtB = new TPaxDecimalEdit(grpVary);
    for (TPaxDecimalEdit* edit : {v.EdtA, v.EdtB}) {
      edit->SetDecSep(',');
      edit->SetEmptyOnZero(false);
      edit->SetNegativeAllowed(false);
      edit->SetMaxLength(12);
      edit->setAlignment(Qt::AlignRight);
      edit->setMinimumWidth(70);
    }
    v.SpnN = new QSpinBox(grpVary);
    v.SpnN->setRange(1, 100000);
    v.SpnN->setAlignment(Qt::AlignRight);
    v.SpnN->setMinimumWidth(64);

    const int top = row == 0 ? 0 : 4;
    if (row == 1) varyGrid->addWidget(ChbSecond, top - 1, 0, 1, 3);
    varyGrid->addWidget(v.CmbValue, top, 0, 1, 2);
    varyGrid->addWidget(v.CmbKind, top, 2);
    varyGrid->addWidget(v.LblA, top + 1, 0);
    varyGrid->addWidget(v.LblB, top + 1, 1);
    varyGrid->addWidget(v.LblN, top + 1, 2);
    varyGrid->addWidget(v.EdtA, top + 2, 0);
    varyGrid->addWidget(v.EdtB, top + 2, 1);
    varyGrid->addWidget(v.SpnN, top + 2, 2);
    connect(v.CmbValue, &QComboBox::currentIndexChanged, this, [this, row] { FillRange(row); });
    connect(v.CmbKind, &QComboBox::currentIndexChanged, this, [this, row] { FillRange(row); });
  }
  varyGrid->setRowMinimumHeight(3, 10);
  varyGrid->setColumnStretch(0, 1);
  varyGrid->setColumnStretch(1, 1);
  // Most often asked: how the organism's real yield moves the outcome, and at which µset.
  Vary[0].CmbValue->setCurrentIndex(1);
  Vary[0].CmbKind->setCurrentIndex(1);
  Vary[1].CmbValue->setCurrentIndex(4);
  Vary[1].CmbKind->setCurrentIndex(0);
  connect(ChbSecond, &QCheckBox::toggled, this, &TFrmSweep::UpdateControls);

  auto* grpRuns = new QGroupBox(QStringLiteral("Runs"), this);
  auto* runsForm = new QFormLayout(grpRuns);
  SpnSamples = new QSpinBox(grpRuns);
  SpnSamples->setObjectName(QStringLiteral("SpnSamples"));
  SpnSamples->setRange(0, 10000000);
  SpnSamples->setSpecialValueText(QStringLiteral("auto"));
  SpnSamples->setToolTip(QStringLiteral("Runs per grid point; auto: 100 when a value is drawn at random, else 1"));
  SpnSeed = new QSpinBox(grpRuns);
  SpnSeed->setObjectName(QStringLiteral("SpnSeed"));
  SpnSeed->setRange(0, 2147483647);
  SpnSeed->setValue(1);
  SpnSeed->setToolTip(QStringLiteral("The same seed draws the same runs"));
  SpnThreads = new QSpinBox(grpRuns);
  SpnThreads->setObjectName(QStringLiteral("SpnThreads"));
  SpnThreads->setRange(1, 256);
  SpnThreads->setValue(static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
  for (QSpinBox* spin : {SpnSamples, SpnSeed, SpnThreads}) spin->setAlignment(Qt::AlignRight);
  runsForm->addRow(QStringLiteral("Samples per point"), SpnSamples);
  runsForm->addRow(QStringLiteral("Seed"), SpnSeed);
  runsForm->addRow(QStringLiteral("Threads"), SpnThreads);

  BtnStart = new QPushButton(QStringLiteral("&Start"), this);
  BtnStart->setObjectName(QStringLiteral("BtnStart"));
  BtnStart->setDefault(true);
  BtnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
  BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
  BtnExport = new QPushButton(QStringLiteral("&Export..."), this);
  BtnExport->setObjectName(QStringLiteral("BtnExport"));
  BtnExport->setToolTip(QStringLiteral("Writes every run's line and the summary to files"));
  connect(BtnStart, &QPushButton::clicked, this, [this] { Start(); });
  connect(BtnCancel, &QPushButton::clicked, this, &TFrmSweep::Cancel);
  connect(BtnExport, &QPushButton::clicked, this, [this] { Export(); });
  PrgSweep = new QProgressBar(this);
  PrgSweep->setObjectName(QStringLiteral("PrgSweep"));
  PrgSweep->setRange(0, 1000);
  PrgSweep->setValue(0);
  PrgSweep->setTextVisible(true);
  PrgSweep->setFormat(QString());
  LblStatus = new QLabel(this);
  LblStatus->setObjectName(QStringLiteral("LblStatus"));
  LblStatus->setWordWrap(true);
  LblStatus->setMinimumHeight(2 * LblStatus->fontMetrics().height());
  LblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(BtnStart);
  buttons->addWidget(BtnCancel);
  buttons->addStretch(1);
  buttons->addWidget(BtnExport);

  auto* left = new QWidget(this);
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->addWidget(grpVary);
  leftLayout->addWidget(grpRuns);
  leftLayout->addLayout(buttons);
  leftLayout->addWidget(PrgSweep);
  leftLayout->addWidget(LblStatus);
  leftLayout->addStretch(1);
  auto* lblNote = new QLabel(
      QStringLiteral("Every run starts from the values of the shown run; only the values above change. "
                     "The band shows, at each time, the median and the 5 % to 95 % range of the runs still "
                     "going."),
      this);
  lblNote->setWordWrap(true);
  QPalette notePalette = lblNote->palette();
  notePalette.setColor(QPalette::WindowText, QColor(96, 96, 96));
  lblNote->setPalette(notePalette);
  leftLayout->addWidget(lblNote);
  left->setFixedWidth(340);

  // Results: the band of one chart kind over the summary table.
  CmbBand = new QComboBox(this);
  CmbBand->setObjectName(QStringLiteral("CmbBand"));
  for (int kind = 0; kind < kBandKinds; ++kind) CmbBand->addItem(QString::fromUtf8(RunChartKind(kind).Name));
  connect(CmbBand, &QComboBox::currentIndexChanged, this, &TFrmSweep::ShowBand);
  CrtBand = new TSweepBandChart(this);
  CrtBand->setObjectName(QStringLiteral("CrtBand"));
  CrtBand->SetAnimatedZoom(false);
  CrtBand->Plot().BottomAxis.GridStyle = Qt::SolidLine;
  CrtBand->Plot().LeftAxis.GridStyle = Qt::SolidLine;
  CrtBand->SetBottomAxisTitle(QStringLiteral("Fermentation Time /h"));
  CrtBand->SetTitleVisible(false);
  CrtBand->setMinimumSize(360, 240);

  TblSummary = new QTableWidget(0, 3, this);
  TblSummary->setObjectName(QStringLiteral("TblSummary"));
  TblSummary->setHorizontalHeaderLabels({QStringLiteral("Median"), QStringLiteral("5 %"), QStringLiteral("95 %")});
  TblSummary->setEditTriggers(QAbstractItemView::NoEditTriggers);
  TblSummary->setSelectionMode(QAbstractItemView::ContiguousSelection);
  TblSummary->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  TblSummary->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  TblSummary->verticalHeader()->setDefaultSectionSize(TblSummary->fontMetrics().height() + 6);
  TblSummary->verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  TblSummary->setAlternatingRowColors(true);
  // Room for every row of the summary without a scroll bar.
  TblSummary->setFixedHeight(TblSummary->horizontalHeader()->sizeHint().height() +
                               (4 + static_cast<int>(std::size(kOutcomeRows))) *
                                   TblSummary->verticalHeader()->defaultSectionSize() +
                               2 * TblSummary->frameWidth() + 4);

  auto* bandBar = new QHBoxLayout;
  bandBar->addWidget(new QLabel(QStringLiteral("Band of"), this));
  bandBar->addWidget(CmbBand);
  bandBar->addStretch(1);
  auto* chartPane = new QWidget(this);
  auto* chartLayout = new QVBoxLayout(chartPane);
  chartLayout->setContentsMargins(0, 0, 0, 0);
  chartLayout->addLayout(bandBar);
  chartLayout->addWidget(CrtBand, 1);
  chartLayout->addSpacing(6);
  chartLayout->addWidget(TblSummary);

  auto* body = new QHBoxLayout;
  body->setContentsMargins(10, 10, 10, 10);
  body->setSpacing(12);
  body->addWidget(left);
  body->addWidget(chartPane, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pnlHeader);
  layout->addLayout(body, 1);

  FPoll = new QTimer(this);
  FPoll->setInterval(50);
  connect(FPoll, &QTimer::timeout, this, &TFrmSweep::PollSweep);

  FillRange(0);
  FillRange(1);
  ShowSummary();
  ShowBand(0);
  UpdateControls();
}

TFrmSweep::~TFrmSweep() { StopAndJoin(); }

void TFrmSweep::StopAndJoin() {
  if (FJob) FJob->StopAndJoin();
}

bool TFrmSweep::TakeValues(QString& reason, bool runAlive) {
  // A run that was removed from the project since is not read again: its last copy serves.
  if (FRun != nullptr && (runAlive || FProject.IndexOf(FRun) >= 0)) {
    const TZymra_Thread* worker = FRun->Worker();
    if (worker == nullptr || worker->Ended() || FRun->State() != rsRunning) {
      FParams = FRun->Params;
      FBatch = FRun->BatchParams;
      // A sweep's runs start afresh: no finished flag, feed correction or refill of the run.
      ClearRunStatus(FParams, FBatch);
      FHaveValues = true;
      return true;
    }
    if (!FHaveValues) {
      reason = QStringLiteral("The run is running: pause or finish it to sweep from its values.");
      return false;
    }
    return true;
  }
  if (!FHaveValues) reason = QStringLiteral("No run is shown.");
  return FHaveValues;
}

void TFrmSweep::ShowRun(TZymra_Run* run) {
  if (run == nullptr) return;
  FRun = run;
  LblCaption->setText(FromCp1252(run->RunCaption()));
  QString reason;
  const bool taken = TakeValues(reason, true);
  FillRange(0);
  FillRange(1);
  if (!Running()) LblStatus->setText(taken ? QString() : reason);
}

void TFrmSweep::FillRange(int row) {
  TVaryRow& v = Vary[row];
  const TSweepInput* input = InputOf(v.CmbValue->currentData().toString());
  if (input == nullptr) return;
  const double value = FieldValue(FParams, FBatch, input->Name);
  const int decimals = input->Decimals;
  double a = value, b = value;
  switch (v.CmbKind->currentIndex()) {
    case TSweepVary::Grid:
      a = 0.8 * value;
      b = 1.2 * value;
      v.SpnN->setValue(5);
      break;
    case TSweepVary::Normal:
      b = 0.1 * value;  // 10 % scatter around the estimate
      break;
    default:
      a = 0.9 * value;
      b = 1.1 * value;
      break;
  }
  const int decimalsB = v.CmbKind->currentIndex() == TSweepVary::Normal ? std::min(4, decimals + 1) : decimals;
  v.EdtA->SetDecimals(decimals);
  v.EdtB->SetDecimals(decimalsB);
  v.EdtA->SetAsFloat(RoundTo(a, decimals));
  v.EdtB->SetAsFloat(RoundTo(b, decimalsB));
  UpdateRangeLabels(row);
}

void TFrmSweep::UpdateRangeLabels(int row) {
  TVaryRow& v = Vary[row];
  const int kind = v.CmbKind->currentIndex();
  static const char* const captions[3][2] = {{"From", "To"}, {"Mean", "SD"}, {"Low", "High"}};
  v.LblA->setText(QString::fromLatin1(captions[std::clamp(kind, 0, 2)][0]));
  v.LblB->setText(QString::fromLatin1(captions[std::clamp(kind, 0, 2)][1]));
  v.LblN->setVisible(kind == TSweepVary::Grid);
  v.SpnN->setVisible(kind == TSweepVary::Grid);
}

void TFrmSweep::UpdateControls() {
  const bool running = Running();
  for (int row = 0; row < 2; ++row) {
    const bool on = !running && (row == 0 || ChbSecond->isChecked());
    const TVaryRow& v = Vary[row];
    for (QWidget* w : std::initializer_list<QWidget*>{v.CmbValue, v.CmbKind, v.LblA, v.LblB, v.LblN, v.EdtA, v.EdtB,
                                                      v.SpnN})
      w->setEnabled(on);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{ChbSecond, SpnSamples, SpnSeed, SpnThreads, BtnStart})
    w->setEnabled(!running);
  BtnCancel->setEnabled(running && !FJob->CancelFlag.load());
  BtnExport->setEnabled(!running && ResultRuns() > 0);
}

bool TFrmSweep::Running() const { return FJob && FJob->Running(); }

long long TFrmSweep::DoneRuns() const { return FJob ? FJob->Done.load(std::memory_order_relaxed) : 0; }

long long TFrmSweep::ResultRuns() const {
  if (!FJob || Running() || !FJob->Ok) return 0;
  return FJob->Result.Summary.Runs();
}

bool TFrmSweep::Start() {
  if (Running()) return false;
  auto refuse = [this](const QString& reason) {
    if (ZymraUi().Warning) ZymraUi().Warning(this, QStringLiteral("The sweep cannot start: ") + reason);
    LblStatus->setText(reason);
    return false;
  };
  QString reason;
  if (!TakeValues(reason, false)) return refuse(reason);

  auto job = std::make_unique<TJob>();
  job->Plan.Params = FParams;
  job->Plan.Batch = FBatch;
  for (int row = 0; row < (ChbSecond->isChecked() ? 2 : 1); ++row) {
    const TVaryRow& v = Vary[row];
    const std::string name = v.CmbValue->currentData().toString().toStdString();
    const double a = v.EdtA->AsFloat(), b = v.EdtB->AsFloat();
    std::string text = name + "=";
    switch (v.CmbKind->currentIndex()) {
      case TSweepVary::Grid: text += Shortest(a) + ":" + Shortest(b) + ":" + std::to_string(v.SpnN->value()); break;
      case TSweepVary::Normal: text += "normal:" + Shortest(a) + ":" + Shortest(b); break;
      default: text += "uniform:" + Shortest(a) + ":" + Shortest(b); break;
    }
    TSweepVary vary;
    std::string error;
    if (!ParseSweepVary(text, vary, error)) return refuse(Reason(error));
    if (!job->Names.empty() && job->Names.front() == name)
      return refuse(v.CmbValue->currentText() + QStringLiteral(" is varied twice."));
    job->Names.push_back(name);
    job->VaryTexts.push_back(text);
    job->Plan.Varies.push_back(vary);
  }
  job->Plan.Samples = SpnSamples->value();
  job->Plan.Seed = static_cast<std::uint64_t>(SpnSeed->value());
  const long long count = job->Plan.RunCount();
  if (count < 0) return refuse(QStringLiteral("the sweep has more than %1 runs").arg(kSweepMaxRuns));
  job->Caption = LblCaption->text();
  job->Threads = SpnThreads->value();
  if (job->Lines == nullptr || std::fputs(SweepTsvHeader(job->Names).c_str(), job->Lines) < 0)
    job->LinesFailed = true;

  // The previous result goes: the page shows one sweep at a time.
  FJob = std::move(job);
  FTotal = count;
  FCancelMs = -1;
  ShowSummary();
  ShowBand(CmbBand->currentIndex());
  TJob* raw = FJob.get();
  raw->Launch([raw] {
    TSweepOptions options;
    options.Threads = raw->Threads;
    for (int kind = 0; kind < kBandKinds; ++kind) options.BandKinds.push_back(kind);
    options.Cancel = &raw->CancelFlag;
    options.Done = &raw->Done;
    options.OnOutcome = [raw](const TSweepOutcome& o) {
      if (!raw->LinesFailed && std::fputs(SweepTsvRow(o).c_str(), raw->Lines) < 0) raw->LinesFailed = true;
    };
    const bool ok = RunSweep(raw->Plan, options, raw->Result, raw->Error);
    if (raw->Lines && std::fflush(raw->Lines) != 0) raw->LinesFailed = true;
    return ok;
  });
  PrgSweep->setValue(0);
  PollSweep();
  FPoll->start();
  UpdateControls();
  return true;
}

void TFrmSweep::Cancel() {
  if (!FJob || !FJob->Cancel()) return;
  LblStatus->setText(QStringLiteral("Cancelling..."));
  UpdateControls();
}

void TFrmSweep::PollSweep() {
  if (!Running()) {
    FPoll->stop();
    return;
  }
  if (FJob->HasEnded()) {
    FinishSweep();
    return;
  }
  const long long done = DoneRuns();
  PrgSweep->setValue(FTotal > 0 ? static_cast<int>(1000.0 * static_cast<double>(done) / static_cast<double>(FTotal))
                                : 0);
  PrgSweep->setFormat(QStringLiteral("%1 of %2 runs").arg(done).arg(FTotal));
  if (!FJob->CancelFlag.load()) LblStatus->setText(QStringLiteral("Running on %1 threads...").arg(FJob->Threads));
}

void TFrmSweep::FinishSweep() {
  FPoll->stop();
  FCancelMs = FJob->Finish();
  const TJob& job = *FJob;
  const double seconds = job.Seconds();
  if (!job.Ok) {
    PrgSweep->setValue(0);
    PrgSweep->setFormat(QString());
    LblStatus->setText(QStringLiteral("The sweep failed."));
    if (ZymraUi().Warning) ZymraUi().Warning(this, QStringLiteral("The sweep failed: ") + Reason(job.Error));
  } else {
    const long long runs = job.Result.Summary.Runs();
    PrgSweep->setValue(FTotal > 0 ? static_cast<int>(1000.0 * static_cast<double>(runs) / static_cast<double>(FTotal))
                                  : 0);
    PrgSweep->setFormat(QStringLiteral("%1 of %2 runs").arg(runs).arg(FTotal));
    if (job.Result.Cancelled)
      LblStatus->setText(QStringLiteral("Cancelled: %1 of %2 runs ended, kept below (stopped %3 ms after Cancel).")
                             .arg(runs)
                             .arg(FTotal)
                             .arg(FCancelMs, 0, 'f', 0));
    else
      LblStatus->setText(QStringLiteral("%1 runs in %2 s on %3 threads, seed %4.")
                             .arg(runs)
                             .arg(Number(seconds, 1))
                             .arg(job.Result.Threads)
                             .arg(job.Plan.Seed));
  }
  ShowSummary();
  ShowBand(CmbBand->currentIndex());
  UpdateControls();
}

void TFrmSweep::ShowSummary() {
  TblSummary->clearContents();
  TblSummary->clearSpans();
  const bool have = ResultRuns() > 0;
  TblSummary->setRowCount(have ? 4 + static_cast<int>(std::size(kOutcomeRows)) : 0);
  if (!have) return;
  const TSweepSummary& s = FJob->Result.Summary;
  auto setRow = [this](int row, const char* caption) {
    TblSummary->setVerticalHeaderItem(row, new QTableWidgetItem(QString::fromUtf8(caption)));
  };
  int row = 0;
  for (const TOutcomeRow& o : kOutcomeRows) {
    setRow(row, o.Caption);
    const double values[3] = {s.Quantile(o.Column, 0.5), s.Quantile(o.Column, 0.05), s.Quantile(o.Column, 0.95)};
    for (int c = 0; c < 3; ++c) {
      auto* item = new QTableWidgetItem(Number(values[c], o.Decimals));
      item->setData(Qt::UserRole, values[c]);
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      TblSummary->setItem(row, c, item);
    }
    ++row;
  }
  const long long runs = s.Runs();
  auto cell = [this](int at, const QString& text, long long count) {
    auto* item = new QTableWidgetItem(text);
    item->setData(Qt::UserRole, count);
    item->setTextAlignment(Qt::AlignCenter);
    TblSummary->setItem(at, 0, item);
    TblSummary->setSpan(at, 0, 1, 3);
  };
  setRow(row, "Runs");
  cell(row++, FJob->Result.Cancelled ? QStringLiteral("%1 of %2 (cancelled)").arg(runs).arg(FTotal) : QString::number(runs),
       runs);
  const struct {
    const char* Caption;
    long long Count;
  } shares[] = {{"Reached the target OD", s.ReachedTarget()},
                {"Overflowed", s.Overflowed()},
                {"Exceeded the critical \xC2\xB5", s.CriticalExceeded()}};
  for (const auto& share : shares) {
    setRow(row, share.Caption);
    cell(row++, QStringLiteral("%1 of %2 (%3 %)")
                    .arg(share.Count)
                    .arg(runs)
                    .arg(Number(100.0 * static_cast<double>(share.Count) / static_cast<double>(runs), 1)),
         share.Count);
  }
}

void TFrmSweep::ShowBand(int kind) {
  kind = std::clamp(kind, 0, kBandKinds - 1);
  TPaxPlot& plot = CrtBand->Plot();
  plot.ClearZoom();
  const TSweepBandCurve* curve = nullptr;
  if (ResultRuns() > 0)
    for (const TSweepBandCurve& c : FJob->Result.Curves)
      if (c.Kind == kind) curve = &c;
  if (curve == nullptr) {
    // An empty chart of the kind, so the page does not jump when the result comes.
    TSweepBandCurve empty;
    empty.Kind = kind;
    SetupBandChart(plot, CrtBand->Bands, empty, 0, QString::fromStdString(TZymra::VersionText()));
    plot.TitleVisible = false;
    plot.LegendVisible = false;
    CrtBand->Bands.clear();
    plot.RemoveAllSeries();
  } else {
    SetupBandChart(plot, CrtBand->Bands, *curve, FJob->Result.Summary.Runs(),
                   QString::fromStdString(TZymra::VersionText()));
    plot.LegendVisible = true;
  }
  CrtBand->update();
}

bool TFrmSweep::Export() {
  if (ResultRuns() == 0 || !ZymraUi().SaveFileName) return false;
  const QString fileName =
      ZymraUi().SaveFileName(this, QStringLiteral("Export Sweep"), QStringLiteral("sweep.tsv"),
                             QStringLiteral("Tab-separated text (*.tsv *.txt);;All files (*)"), QStringLiteral("tsv"));
  if (fileName.isEmpty()) return false;
  const TJob& job = *FJob;
  std::ostringstream summary;
  summary << "Sweep of " << job.Caption.toStdString() << "\n";
  for (const std::string& text : job.VaryTexts) summary << "Varied:                      " << text << "\n";
  summary << "Sweep:                       " << FTotal << " runs, seed " << job.Plan.Seed << "\n";
  if (job.Result.Cancelled) summary << "Cancelled after:             " << job.Result.Summary.Runs() << " runs\n";
  job.Result.Summary.Write(summary);

  const QFileInfo info(fileName);
  const QString summaryName = info.dir().filePath(info.completeBaseName() + QStringLiteral(".summary.txt"));
  if (job.Lines == nullptr || job.LinesFailed) {
    if (ZymraUi().Warning)
      ZymraUi().Warning(this, QStringLiteral("The lines of the runs could not be kept: the temporary folder is not "
                                             "writable or full."));
    return false;
  }
  auto write = [this](const QString& name, const std::function<bool(QSaveFile&)>& fill) {
    QSaveFile file(name);
    if (file.open(QIODevice::WriteOnly) && fill(file) && file.commit()) return true;
    if (ZymraUi().Warning)
      ZymraUi().Warning(this, QStringLiteral("Cannot write '%1': %2").arg(name, file.errorString()));
    return false;
  };
  auto copyLines = [&job](QSaveFile& file) {
    if (std::fseek(job.Lines, 0, SEEK_SET) != 0) return false;
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, job.Lines)) > 0;)
      if (file.write(buffer, static_cast<qint64>(n)) != static_cast<qint64>(n)) return false;
    return std::ferror(job.Lines) == 0;
  };
  const std::string summaryText = summary.str();
  auto writeSummary = [&summaryText](QSaveFile& file) {
    return file.write(summaryText.data(), static_cast<qint64>(summaryText.size())) ==
           static_cast<qint64>(summaryText.size());
  };
  if (!write(fileName, copyLines) || !write(summaryName, writeSummary)) return false;
  LblStatus->setText(QStringLiteral("Exported to %1 and %2.").arg(info.fileName(), QFileInfo(summaryName).fileName()));
  return true;
}

void TFrmSweep::keyPressEvent(QKeyEvent* event) {
  if (isWindow() && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void ShowSweepWindow(TZymra& project, TZymra_Run& run, QWidget* parent) {
  auto* page = new TFrmSweep(project, parent);
  page->setWindowFlag(Qt::Window);
  page->setAttribute(Qt::WA_DeleteOnClose);
  page->ShowRun(&run);
  page->setWindowTitle(QStringLiteral("Sweep - ") + FromCp1252(run.RunCaption()));
  page->resize(1080, 700);
  page->show();
}
