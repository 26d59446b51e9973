#include "UntZymraPnlProcess.h"

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QSplitter>
#include <QTextCursor>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <exception>
#include <vector>

#include "KelCmpStandard.h"
#include "KelReactor.h"
#include "LibZymra.h"
#include "PaxChart.h"
#include "UntDataExport.h"
#include "ZymraChartHelpers.h"
#include "ZymraPrint.h"
#include "ZymraReport.h"
#include "ZymraFitChart.h"
#include "ZymraProcessImages.h"
#include "ZymraUi.h"

namespace {
const QColor kPageColor(226, 230, 240);
const QColor kActiveCaption(0, 51, 153);

// A series follows its run's rows: only the rows it lacks are appended; a run that was
// reset under it starts the series over.
void FollowSeries(TPaxChartSeries* series, const tDoubleMatrix& xs, const tDoubleMatrix& ys) {
  if (!series) return;
  if (series->Count() > static_cast<std::size_t>(xs.Rows())) series->Clear();
  FillSeries(series, &xs, &ys);
}

// The panel holding the two charts gives the left one half its width on every resize.
class THalfSplitter : public QSplitter {
 public:
  using QSplitter::QSplitter;

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QSplitter::resizeEvent(event);
    if (count() != 2) return;
    const int w = width();
    const int left = static_cast<int>(std::nearbyint(w / 2.0));
    setSizes({left, std::max(0, w - left - handleWidth())});
  }
};

void SetupChart(TPaxChart* chart, const QString& leftTitle) {
  chart->SetTitleVisible(false);
  chart->SetBottomAxisTitle(QStringLiteral("Fed Batch Time /h"));
  chart->SetLeftAxisTitle(leftTitle);
  chart->SetBottomMinorTicks(false);
  chart->SetLegendVisible(true);
  chart->SetView3D(false);
  chart->SetAnimatedZoom(true);
  TPaxPlot& plot = chart->Plot();
  plot.BackColor = Qt::white;
  plot.BackWallColor = Qt::white;
  plot.GradientColor = QApplication::palette().color(QPalette::Button);
  plot.BottomAxis.GridStyle = Qt::SolidLine;
  plot.LeftAxis.GridStyle = Qt::SolidLine;
  chart->setCursor(Qt::CrossCursor);
  chart->setMinimumSize(160, 120);
}

QLabel* NewLabel(const QString& text, QWidget* parent = nullptr) { return new QLabel(text, parent); }

// The colour of an enabled control; disabled it looks as every disabled control does.
void SetTextColor(QWidget* w, const QColor& color) {
  QPalette pal = w->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    pal.setColor(group, QPalette::WindowText, color);
    pal.setColor(group, QPalette::Text, color);
    pal.setColor(group, QPalette::ButtonText, color);
  }
  w->setPalette(pal);
}

// Decimals for a live OD: two significant digits below 10 (0,050 - 0,50 - 5,0), none above.
int OdDecimals(double od) {
  const double a = std::fabs(od);
  if (!(a > 0) || a >= 9.95 || !std::isfinite(a)) return 0;
  return std::clamp(1 - static_cast<int>(std::floor(std::log10(a * (1 + 1e-12)))), 1, 6);
}

void ShowOd(TPaxDecimalEdit* edit, double od) {
  edit->SetDecimals(OdDecimals(od));
  edit->SetAsFloat(od);
}

void SetBold(QWidget* w, int pixelSize = 0) {
  QFont f = w->font();
  f.setBold(true);
  if (pixelSize > 0) f.setPixelSize(pixelSize);
  w->setFont(f);
}

QPushButton* NewButton(const QString& caption, const QString& hint = QString()) {
  auto* b = new QPushButton(caption);
  if (!hint.isEmpty()) b->setToolTip(hint);
  return b;
}
}  // namespace

// ---------------------------------------------------------------------------
// Building

TFrmPnlProcess::TFrmPnlProcess(TZymra& project, QWidget* parent)
    : QWidget(parent), FProject(project), FAlive(std::make_shared<char>(0)) {
  setObjectName(QStringLiteral("PnlProcess"));
  QFont pageFont(QStringLiteral("Verdana"));
  pageFont.setPixelSize(11);
  setFont(pageFont);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kPageColor);
  setPalette(pal);

  BuildActions();
  FCatchUp = new QTimer(this);
  FCatchUp->setSingleShot(true);
  connect(FCatchUp, &QTimer::timeout, this, &TFrmPnlProcess::RefreshDisplay);

  auto* top = new QHBoxLayout;
  top->setSpacing(8);
  QWidget* left = BuildLeftBlock();
  // The controls keep their natural size; a small window scrolls instead of
  // squeezing the groups until their labels are cut.
  left->setMinimumSize(left->sizeHint());
  top->addWidget(left, 0);
  top->addWidget(BuildRightBlock(), 1);

  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(0, 0, 0, 0);
  page->setSpacing(4);
  page->addWidget(BuildHeader());
  auto* content = new QWidget;
  content->setAutoFillBackground(false);
  auto* body = new QVBoxLayout(content);
  body->setContentsMargins(8, 0, 8, 6);
  body->setSpacing(6);
  body->addLayout(top, 0);
  body->addWidget(BuildBottomBlock(), 1);
  FScroll = new QScrollArea;
  FScroll->setFrameShape(QFrame::NoFrame);
  FScroll->setWidgetResizable(true);
  FScroll->setWidget(content);
  FScroll->viewport()->setAutoFillBackground(false);
  page->addWidget(FScroll, 1);

  UpdateRunActions();
}

QSize TFrmPnlProcess::sizeHint() const {
  // Everything in view: the scrolled content at its own size, under the header.
  // The protocol gets room for its entries' time, event and text columns side by side.
  constexpr int kProtocolWidth = 420;
  const QSize content = FScroll->widget()->sizeHint();
  const int wider = std::max(0, kProtocolWidth - MmoEventProtocol->sizeHint().width());
  return QSize(content.width() + wider, 40 + layout()->spacing() + content.height());
}

TFrmPnlProcess::~TFrmPnlProcess() {
  // Workers live on after the page; none may call into it any more.
  if (FRun && FProject.IndexOf(FRun) >= 0) ClearCallbacks(FRun);
  FRun = nullptr;
  FAlive.reset();
  // Children going away (an edit losing the focus) must not call back into the page.
  for (QObject* sender : {static_cast<QObject*>(EdtRefillAmount), static_cast<QObject*>(EdtRefillEachh),
                          static_cast<QObject*>(EdtDischargeAmount), static_cast<QObject*>(EdtDischargeEachh),
                          static_cast<QObject*>(BarSpeed), static_cast<QObject*>(FCatchUp)})
    sender->disconnect(this);
}

void TFrmPnlProcess::BuildActions() {
  auto make = [this](const QString& caption, const QString& hint, int image, bool checkable) {
    auto* a = new QAction(caption, this);
    a->setToolTip(hint);
    a->setStatusTip(hint);
    if (image >= 0) a->setIcon(ZymraProcessIcon(image));
    a->setCheckable(checkable);
    return a;
  };
  ActStart = make(QStringLiteral("&1 Start Run "), QStringLiteral("Starts/Continues Run"), piStart, true);
  ActPause = make(QStringLiteral("&2 Pause Run "), QStringLiteral("Pauses Run"), piPause, true);
  ActStop = make(QStringLiteral("&3 Stop Run "), QStringLiteral("Stopps Run"), piStop, true);
  ActReset = make(QStringLiteral("&4 Reset Run "), QStringLiteral("Resets Run"), piReset, false);
  ActPrintGLP = make(QStringLiteral("&Print GLP"), QStringLiteral("Prints GLP Report"), piPrint, false);
  ActExport = make(QStringLiteral("Export Data"), QStringLiteral("Exports Data to CSV-File"), -1, false);
  ActStart->setObjectName(QStringLiteral("ActStart"));
  ActPause->setObjectName(QStringLiteral("ActPause"));
  ActStop->setObjectName(QStringLiteral("ActStop"));
  ActReset->setObjectName(QStringLiteral("ActReset"));
  ActPrintGLP->setObjectName(QStringLiteral("ActPrintGLP"));
  ActExport->setObjectName(QStringLiteral("ActExport"));
  connect(ActStart, &QAction::triggered, this, &TFrmPnlProcess::ActStartExecute);
  connect(ActPause, &QAction::triggered, this, &TFrmPnlProcess::ActPauseExecute);
  connect(ActStop, &QAction::triggered, this, &TFrmPnlProcess::ActStopExecute);
  connect(ActReset, &QAction::triggered, this, &TFrmPnlProcess::ActResetExecute);
  connect(ActPrintGLP, &QAction::triggered, this, &TFrmPnlProcess::ActPrintGLPExecute);
  connect(ActExport, &QAction::triggered, this, &TFrmPnlProcess::ActExportExecute);

  PopAction = new QMenu(this);
  PopAction->addAction(ActStart);
  PopAction->addAction(ActPause);
  PopAction->addAction(ActStop);
  PopAction->addAction(ActReset);
  PopAction->addSeparator();
  PopAction->addAction(ActPrintGLP);
  PopAction->addAction(ActExport);
  PopGLP = new QMenu(this);
  PopGLP->addAction(ActPrintGLP);
}

QWidget* TFrmPnlProcess::BuildHeader() {
  auto* strip = new QWidget;
  strip->setFixedHeight(40);
  strip->setAutoFillBackground(true);
  QPalette pal = strip->palette();
  pal.setColor(QPalette::Window, kPageColor);
  strip->setPalette(pal);
  auto* row = new QHBoxLayout(strip);
  row->setContentsMargins(8, 0, 8, 0);
  row->setSpacing(16);
  LblTitle = NewLabel(QStringLiteral("Fermentation"));
  QFont titleFont(QStringLiteral("Verdana"));
  titleFont.setPixelSize(19);
  titleFont.setBold(true);
  LblTitle->setFont(titleFont);
  LblCaption = NewLabel(QString());
  SetBold(LblCaption);
  SetTextColor(LblCaption, QApplication::palette().color(QPalette::Highlight));
  row->addWidget(LblTitle);
  row->addWidget(LblCaption, 1);
  return strip;
}

TPaxDecimalEdit* TFrmPnlProcess::NewEdit(int decimals, bool display) {
  auto* e = new TPaxDecimalEdit;
  e->SetDecSep(',');
  e->SetEmptyOnZero(false);
  e->SetNegativeAllowed(false);
  e->SetDecimals(decimals);
  e->SetAsFloat(0);
  e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  e->setFixedWidth(72);
  // Live values are read, not typed: read-only, but in the full contrast of an enabled field.
  if (display) e->setReadOnly(true);
  return e;
}

QWidget* TFrmPnlProcess::BuildLeftBlock() {
  auto* block = new QWidget;
  auto* col = new QVBoxLayout(block);
  col->setContentsMargins(0, 0, 0, 0);
  col->setSpacing(4);

  // Tool bar: Start, Pause, Stop | Reset | speed | Print GLP | Export.
  TlbProcess = new QToolBar;
  TlbProcess->setIconSize(QSize(18, 18));
  TlbProcess->setToolButtonStyle(Qt::ToolButtonIconOnly);
  TlbProcess->setStyleSheet(QStringLiteral("QToolBar { border: 0px; background: transparent; }"));
  auto addButton = [this](QAction* action) {
    TlbProcess->addAction(action);
    if (QWidget* b = TlbProcess->widgetForAction(action)) b->setFixedSize(25, 25);
  };
  addButton(ActStart);
  addButton(ActPause);
  addButton(ActStop);
  TlbProcess->addSeparator();
  addButton(ActReset);
  TlbProcess->addSeparator();
  auto* speed = new QWidget;
  auto* speedRow = new QHBoxLayout(speed);
  speedRow->setContentsMargins(4, 0, 4, 0);
  speedRow->setSpacing(4);
  BarSpeed = new QSlider(Qt::Horizontal);
  BarSpeed->setRange(0, 10);
  BarSpeed->setTickPosition(QSlider::NoTicks);
  BarSpeed->setPageStep(1);
  BarSpeed->setToolTip(QStringLiteral("Simulation Frequency"));
  BarSpeed->setFixedWidth(110);
  BarSpeed->setValue(8);
  speedRow->addWidget(NewLabel(QStringLiteral("slow")));
  speedRow->addWidget(BarSpeed);
  speedRow->addWidget(NewLabel(QStringLiteral("fast")));
  TlbProcess->addWidget(speed);
  TlbProcess->addSeparator();
  addButton(ActPrintGLP);
  TlbProcess->addSeparator();
  BtnExport = new QToolButton;
  BtnExport->setDefaultAction(ActExport);
  BtnExport->setToolButtonStyle(Qt::ToolButtonTextOnly);
  BtnExport->setAutoRaise(true);
  BtnExport->setFixedHeight(25);
  SetBold(BtnExport);
  SetTextColor(BtnExport, kActiveCaption);
  TlbProcess->addWidget(BtnExport);
  connect(BarSpeed, &QSlider::valueChanged, this, &TFrmPnlProcess::BarSpeedChange);
  col->addWidget(TlbProcess);

  auto* phaseRow = new QHBoxLayout;
  lblPhase = NewLabel(QStringLiteral("Fed Batch"));
  SetBold(lblPhase, 13);
  SetTextColor(lblPhase, QApplication::palette().color(QPalette::Highlight));
  lblBatchEnd = NewLabel(QStringLiteral("Batch Finished - Continue for Fed Batch "));
  SetBold(lblBatchEnd);
  SetTextColor(lblBatchEnd, QColor(0, 128, 0));
  QSizePolicy keep = lblBatchEnd->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  lblBatchEnd->setSizePolicy(keep);
  lblBatchEnd->hide();
  phaseRow->addWidget(lblPhase);
  phaseRow->addSpacing(12);
  phaseRow->addWidget(lblBatchEnd);
  phaseRow->addStretch(1);
  col->addLayout(phaseRow);

  // Values on the left, the gauge on the right.
  auto* middle = new QHBoxLayout;
  auto* values = new QVBoxLayout;
  values->setSpacing(4);

  auto* feed = new QGroupBox(QStringLiteral("Feed"));
  auto* feedGrid = new QGridLayout(feed);
  EdtFeedRate = NewEdit(0, true);
  EdtFeedTotal = NewEdit(3, true);
  BtnAdaptFeed = NewButton(QStringLiteral("&Adapt Feed Now"));
  feedGrid->addWidget(NewLabel(QStringLiteral("Rate / ml/h")), 0, 0);
  feedGrid->addWidget(EdtFeedRate, 0, 1);
  feedGrid->addWidget(NewLabel(QStringLiteral("Total / l")), 1, 0);
  feedGrid->addWidget(EdtFeedTotal, 1, 1);
  feedGrid->addWidget(BtnAdaptFeed, 2, 0, 1, 2);
  values->addWidget(feed);

  auto* time = new QGroupBox(QStringLiteral("Fermentation Time"));
  auto* timeRow = new QHBoxLayout(time);
  EdtProcessTime = new QLineEdit;
  EdtProcessTime->setReadOnly(true);
  EdtProcessTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  EdtProcessTime->setFixedWidth(90);
  SetTextColor(EdtProcessTime, QColor(0, 0, 128));
  timeRow->addWidget(EdtProcessTime);
  timeRow->addWidget(NewLabel(QStringLiteral("h:min:sec")));
  timeRow->addStretch(1);
  values->addWidget(time);

  auto* gas = new QGroupBox(QStringLiteral("Exhaust Gas"));
  auto* gasGrid = new QGridLayout(gas);
  EdtOTRVt = NewEdit(0, true);
  EdtSubstrate = NewEdit(1, true);
  gasGrid->addWidget(NewLabel(QStringLiteral("OTR V(t) / mmol/l/h")), 0, 0);
  gasGrid->addWidget(EdtOTRVt, 0, 1);
  gasGrid->addWidget(NewLabel(QStringLiteral("cSubstr. / g/l")), 1, 0);
  gasGrid->addWidget(EdtSubstrate, 1, 1);
  values->addWidget(gas);
  values->addStretch(1);
  middle->addLayout(values);

  auto* gauge = new QWidget;
  RctZymra = new TPaxReactor(gauge);
  RctZymra->ApplyVesselLayout();
  RctZymra->SetBgrColor(kPageColor);
  RctZymra->SetPopupMenu(PopAction);
  // The warning goes under the vessel, on the page's light colour: red over the vessel's
  // dark lid could not be read.
  lblOverflowing = new QLabel(QStringLiteral("Overfloating! Discharge - Then Continue "));
  lblOverflowing->setObjectName(QStringLiteral("lblOverflowing"));
  SetBold(lblOverflowing);
  SetTextColor(lblOverflowing, QColor(200, 0, 0));
  lblOverflowing->setWordWrap(true);
  lblOverflowing->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  lblOverflowing->setFixedWidth(RctZymra->width());
  QSizePolicy keepOverflow = lblOverflowing->sizePolicy();
  keepOverflow.setRetainSizeWhenHidden(true);
  lblOverflowing->setSizePolicy(keepOverflow);
  lblOverflowing->hide();
  gauge->setFixedSize(RctZymra->size());
  auto* gaugeColumn = new QVBoxLayout;
  gaugeColumn->setSpacing(2);
  gaugeColumn->addWidget(gauge);
  gaugeColumn->addWidget(lblOverflowing);
  gaugeColumn->addStretch(1);
  middle->addLayout(gaugeColumn);

  // Refill above discharge, beside the gauge: the page stays low enough for a laptop screen.
  auto* actions = new QVBoxLayout;
  actions->setSpacing(4);
  auto* refill = new QGroupBox(QStringLiteral("Refill Medium"));
  auto* refillGrid = new QGridLayout(refill);
  EdtRefillAmount = NewEdit(3, false);
  EdtRefillEachh = NewEdit(2, false);
  BtnRefill = NewButton(QStringLiteral("&Refill Now"), QStringLiteral("Refilling Medium Without Substrate"));
  refillGrid->addWidget(NewLabel(QStringLiteral("Amount / l")), 0, 0);
  refillGrid->addWidget(EdtRefillAmount, 0, 1);
  refillGrid->addWidget(NewLabel(QStringLiteral("each h")), 1, 0);
  refillGrid->addWidget(EdtRefillEachh, 1, 1);
  refillGrid->addWidget(BtnRefill, 2, 0, 1, 2);
  auto* discharge = new QGroupBox(QStringLiteral("Sample Discharge"));
  auto* dischargeGrid = new QGridLayout(discharge);
  EdtDischargeAmount = NewEdit(3, false);
  EdtDischargeEachh = NewEdit(2, false);
  BtnDischarge = NewButton(QStringLiteral("&Discharge Now"), QStringLiteral("Discharging e.g. Samples"));
  dischargeGrid->addWidget(NewLabel(QStringLiteral("Amount / l")), 0, 0);
  dischargeGrid->addWidget(EdtDischargeAmount, 0, 1);
  dischargeGrid->addWidget(NewLabel(QStringLiteral("each h")), 1, 0);
  dischargeGrid->addWidget(EdtDischargeEachh, 1, 1);
  dischargeGrid->addWidget(BtnDischarge, 2, 0, 1, 2);
  actions->addWidget(refill);
  actions->addWidget(discharge);
  actions->addStretch(1);
  middle->addLayout(actions);
  for (TPaxDecimalEdit* e : {EdtRefillAmount, EdtRefillEachh, EdtDischargeAmount, EdtDischargeEachh}) {
    connect(e, &QLineEdit::textEdited, this, &TFrmPnlProcess::InputsChanged);
    connect(e, &QLineEdit::editingFinished, this, &TFrmPnlProcess::InputsChanged);
  }
  col->addLayout(middle);
  connect(BtnRefill, &QPushButton::clicked, this, &TFrmPnlProcess::BtnRefillClick);
  connect(BtnDischarge, &QPushButton::clicked, this, &TFrmPnlProcess::BtnDischargeClick);
  connect(BtnAdaptFeed, &QPushButton::clicked, this, &TFrmPnlProcess::BtnAdaptFeedClick);

  LblCrititcalGrowth = NewLabel(QStringLiteral("Critical Growth Rate Has Been Exceeded!"));
  SetBold(LblCrititcalGrowth, 16);
  SetTextColor(LblCrititcalGrowth, Qt::red);
  QSizePolicy keepCritical = LblCrititcalGrowth->sizePolicy();
  keepCritical.setRetainSizeWhenHidden(true);
  LblCrititcalGrowth->setSizePolicy(keepCritical);
  LblCrititcalGrowth->hide();
  col->addWidget(LblCrititcalGrowth);
  return block;
}

QWidget* TFrmPnlProcess::BuildRightBlock() {
  auto* block = new QWidget;
  auto* col = new QVBoxLayout(block);
  col->setContentsMargins(0, 4, 0, 0);
  col->setSpacing(2);
  auto* title = NewLabel(QStringLiteral("GLP Report"));
  SetBold(title);
  col->addWidget(title);
  MmoEventProtocol = new QPlainTextEdit;
  MmoEventProtocol->setReadOnly(true);
  MmoEventProtocol->setLineWrapMode(QPlainTextEdit::NoWrap);
  MmoEventProtocol->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MmoEventProtocol->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont memoFont;
  memoFont.setFamilies({QStringLiteral("Small Fonts"), QStringLiteral("DejaVu Sans"), QStringLiteral("Verdana")});
  memoFont.setPixelSize(9);
  MmoEventProtocol->setFont(memoFont);
  // Entries are tab-separated: keep the columns close together at this size.
  MmoEventProtocol->setTabStopDistance(QFontMetricsF(memoFont).horizontalAdvance(QLatin1Char(' ')) * 4);
  QPalette pal = MmoEventProtocol->palette();
  pal.setColor(QPalette::Base, QApplication::palette().color(QPalette::ToolTipBase));
  pal.setColor(QPalette::Text, QApplication::palette().color(QPalette::ToolTipText));
  MmoEventProtocol->setPalette(pal);
  MmoEventProtocol->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(MmoEventProtocol, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopGLP->popup(MmoEventProtocol->viewport()->mapToGlobal(at)); });
  // The protocol's own menu stands in for the memo's standard one: Copy stays on it.
  PopGLP->addSeparator();
  QAction* copy = PopGLP->addAction(QStringLiteral("&Copy"), MmoEventProtocol, &QPlainTextEdit::copy);
  copy->setEnabled(false);
  connect(MmoEventProtocol, &QPlainTextEdit::copyAvailable, copy, &QAction::setEnabled);
  PopGLP->addAction(QStringLiteral("Select &All"), MmoEventProtocol, &QPlainTextEdit::selectAll);
  col->addWidget(MmoEventProtocol, 1);
  return block;
}

QWidget* TFrmPnlProcess::BuildBottomBlock() {
  auto* block = new QWidget;
  auto* row = new QHBoxLayout(block);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(6);

  GrpGrowth = new QGroupBox(QStringLiteral("Current Growth"));
  auto* grid = new QGridLayout(GrpGrowth);
  EdtuCell = NewEdit(3, false);
  EdtuOD = NewEdit(3, false);
  EdtODreal = NewEdit(0, false);
  EdtODideal = NewEdit(0, false);
  for (TPaxDecimalEdit* e : {EdtuCell, EdtuOD, EdtODreal, EdtODideal}) e->setReadOnly(true);
  GrpGrowth->setObjectName(QStringLiteral("GrpGrowth"));
  grid->addWidget(NewLabel(QStringLiteral("\u00B5 Cell")), 0, 0);
  grid->addWidget(EdtuCell, 0, 1);
  grid->addWidget(NewLabel(QStringLiteral("\u00B5 OD / 1/h")), 1, 0);
  grid->addWidget(EdtuOD, 1, 1);
  grid->addWidget(NewLabel(QStringLiteral("OD real")), 2, 0);
  grid->addWidget(EdtODreal, 2, 1);
  grid->addWidget(NewLabel(QStringLiteral("OD ideal")), 3, 0);
  grid->addWidget(EdtODideal, 3, 1);
  grid->setRowStretch(4, 1);
  row->addWidget(GrpGrowth, 0);

  PnlCharts = new THalfSplitter(Qt::Horizontal);
  PnlCharts->setObjectName(QStringLiteral("PnlCharts"));
  PnlCharts->setHandleWidth(3);
  PnlCharts->setChildrenCollapsible(false);
  crtu = new TPaxChart;
  CrtOD = new TPaxChart;
  SetupChart(crtu, QStringLiteral("Growth Rate / 1/h"));
  crtu->SetLeftAxisFormat(QStringLiteral("#,###0.000"));
  SetupChart(CrtOD, QStringLiteral("OD /-"));
  for (TPaxChart* chart : {crtu, CrtOD}) {
    chart->PopupMenu()->addAction(ActExport);
    // The chart undoes its zoom on a double click itself.
    PnlCharts->addWidget(chart);
  }
  AddLineSeries(QStringLiteral("\u00B5 Cell"), crtu);
  AddLineSeries(QStringLiteral("\u00B5 OD"), crtu);
  AddLineSeries(QStringLiteral("OD_real"), CrtOD);
  AddLineSeries(QStringLiteral("OD_ideal"), CrtOD);
  row->addWidget(PnlCharts, 1);
  block->setMinimumHeight(200);
  return block;
}

// ---------------------------------------------------------------------------
// Run binding

TZymra_Run* TFrmPnlProcess::ShownRun() {
  if (FRun && FProject.IndexOf(FRun) < 0) FRun = nullptr;
  return FRun;
}

void TFrmPnlProcess::InstallCallbacks(TZymra_Run* run) {
  TZymra_Thread* worker = run ? run->Worker() : nullptr;
  if (!worker) return;
  // Bound to the worker's own run: a refresh still queued for a run the page no
  // longer shows does nothing.
  std::weak_ptr<char> alive = FAlive;
  worker->SetOnChartUpdate([this, alive, run] {
    if (alive.expired() || FRun != run) return;
    // At full speed steps come far faster than anyone can look: the display follows
    // at most every kRefreshMs, and a run that stops, pauses or slows down is shown at
    // once (state change) or by the catch-up timer.
    const qint64 since = FLastRefresh.isValid() ? FLastRefresh.elapsed() : kRefreshMs;
    if (run->State() == rsRunning && since < kRefreshMs) {
      if (!FCatchUp->isActive()) FCatchUp->start(static_cast<int>(kRefreshMs - since));
    } else {
      Refresh(*run);
    }
    CheckRunState();
  });
}

// The worker takes the page's inputs before a step only when there is something to
// take: a changed input, or the amount of the edit that must come back after an
// ordered refill or discharge took its own. So a worker does not wait for this
// thread before every step just to be told that nothing changed. The hand-over
// carries the values, not the page: it writes into its own run only, and removes
// itself once nothing is pending.
void TFrmPnlProcess::ArmTransfer(TZymra_Run* run, const TInputs& inputs) {
  TZymra_Thread* worker = run->Worker();
  if (!worker || worker->Terminated()) return;
  std::shared_ptr<unsigned>& latest = FTransferGeneration[run];
  if (!latest) latest = std::make_shared<unsigned>(0);
  const unsigned generation = ++*latest;
  worker->SetOnProcessUpdate([run, inputs, counter = latest, generation] {
    ApplyInputs(*run, inputs);
    if (*counter == generation && !run->Params.RefillNow && !run->Params.DischargeNow)
      run->Worker()->SetOnProcessUpdate(nullptr);
  });
}

void TFrmPnlProcess::ClearCallbacks(TZymra_Run* run) {
  if (TZymra_Thread* worker = run ? run->Worker() : nullptr) {
    worker->SetOnChartUpdate(nullptr);
    worker->SetOnProcessUpdate(nullptr);
  }
}

TFrmPnlProcess::TInputs TFrmPnlProcess::ReadInputs() const {
  return {BarSpeed->value(), EdtRefillAmount->AsFloat(), EdtRefillEachh->AsFloat(), EdtDischargeAmount->AsFloat(),
          EdtDischargeEachh->AsFloat()};
}

void TFrmPnlProcess::ApplyInputs(TZymra_Run& run, const TInputs& in) {
  run.Params.Speed = in.Speed;
  // An amount ordered by Refill Now / Discharge Now stays until the step has taken it.
  if (!run.Params.RefillNow) run.Params.RefillAmount = in.RefillAmount;
  run.Params.RefillEachh = in.RefillEachh;
  if (!run.Params.DischargeNow) run.Params.DischargeAmount = in.DischargeAmount;
  run.Params.DischargeEachh = in.DischargeEachh;
}

void TFrmPnlProcess::ShowRun(TZymra_Run* run) {
  if (!run) return;
  if (ShownRun() && FRun != run) LeaveRun();
  FRun = run;
  FProject.CurrentRun = run;
  UpdateRunActions();
  LblCaption->setText(FromCp1252(run->DisplayName()));
  run->BetweenSteps([&] {
    {
      const QSignalBlocker block(BarSpeed);
      BarSpeed->setValue(std::clamp(static_cast<int>(run->Params.Speed), 0, 10));
    }
    const double size = run->Params.ReactorSize;
    RctZymra->SetAxisMax(size);
    RctZymra->SetAxisStep(std::nearbyint(size / 4));  // 0 keeps the previous step
    RctZymra->SetAxisDecimals(size > 100 ? 0 : 1);
    RctZymra->SetVolume(run->Params.ReactorVol);
    SetLiquidColor(run->Params.FedBatchOD);

    RemoveAllSeries(crtu);
    AddLineSeries(QStringLiteral("\u00B5 Cell"), crtu);
    AddLineSeries(QStringLiteral("\u00B5 OD"), crtu);
    RemoveAllSeries(CrtOD);
    AddLineSeries(QStringLiteral("OD_real"), CrtOD);
    AddLineSeries(QStringLiteral("OD_ideal"), CrtOD);
    if (run->HasMeasured()) AddMeasuredSeries(CrtOD->Plot(), {run->Measured()}, 0);

    EdtDischargeAmount->SetAsFloat(run->Params.DischargeAmount);
    EdtDischargeEachh->SetAsFloat(run->Params.DischargeEachh);
    EdtRefillAmount->SetAsFloat(run->Params.RefillAmount);
    EdtRefillEachh->SetAsFloat(run->Params.RefillEachh);

    InstallCallbacks(run);
    if (run->Params.RefillNow || run->Params.DischargeNow) ArmTransfer(run, ReadInputs());
    ShowProtocol(*run, true);
    Refresh(*run);
  });
  CheckRunState();
}

void TFrmPnlProcess::LeaveRun() {
  TZymra_Run* run = ShownRun();
  if (!run) return;
  ClearCallbacks(run);
  StoreInputs();
  FRun = nullptr;
  // Without its run nothing on the page may look as if it could act.
  UpdateActionStates();
}

void TFrmPnlProcess::StoreInputs() {
  TZymra_Run* run = ShownRun();
  if (!run) return;
  const TInputs inputs = ReadInputs();
  bool ordered = false;
  run->BetweenSteps([&] {
    ApplyInputs(*run, inputs);
    ordered = run->Params.RefillNow || run->Params.DischargeNow;
  });
  if (ordered) ArmTransfer(run, inputs);
}

// ---------------------------------------------------------------------------
// Display

void TFrmPnlProcess::SetLiquidColor(double od) {
  const double capped = std::min(std::max(od, 0.0), 200.0);
  const int c = std::clamp(static_cast<int>(std::nearbyint(255 - 1.275 * capped)), 0, 255);
  RctZymra->SetDensity(QColor(c, c, 0));
}

void TFrmPnlProcess::RefreshDisplay() {
  TZymra_Run* run = ShownRun();
  if (!run) return;
  run->BetweenSteps([&] { Refresh(*run); });
  CheckRunState();
}

void TFrmPnlProcess::ShowProtocol(TZymra_Run& run, bool force) {
  if (!force && run.EventLog.size() == FLogSize) return;
  MmoEventProtocol->setPlainText(FromCp1252(run.EventLog));
  // The newest entry is on top: show the top.
  MmoEventProtocol->moveCursor(QTextCursor::Start);
  FLogSize = run.EventLog.size();
}

// Called after every step of a running run: its cost stays the same however long
// the run grows (only new rows go to the charts, the protocol only when it changed),
// and it paints nothing itself; the controls repaint later, coalesced by Qt.
void TFrmPnlProcess::Refresh(TZymra_Run& run) {
  FLastRefresh.start();
  FCatchUp->stop();
  const TRunParameters& p = run.Params;
  EdtFeedRate->SetAsFloat(run.FeedRate.LastOr0() * 1000);
  EdtProcessTime->setText(QString::fromStdString(run.ProcessTimeText()));

  LblCrititcalGrowth->setVisible(run.CriticalReached());
  lblOverflowing->setVisible(p.Overflowing != 0);
  lblBatchEnd->setVisible(run.PauseRequest != 0);

  EdtuOD->SetAsFloat(run.uOD.LastOr0());
  EdtuCell->SetAsFloat(run.uCell.LastOr0());
  ShowOd(EdtODreal, run.ODreal.LastOr0());
  ShowOd(EdtODideal, run.ODideal.LastOr0());
  EdtFeedTotal->SetAsFloat(run.FedTotal());
  EdtSubstrate->SetAsFloat(run.Substrate.LastOr0());
  EdtOTRVt->SetAsFloat(run.OTRVt.LastOr0());

  lblPhase->setText(IsBatchPhase(run.BatchParams.Phase) ? QStringLiteral("Batch") : QStringLiteral("Fed Batch"));

  if (run.Worker()) {
    RctZymra->SetVolume(run.Volume.LastOr0());
    SetLiquidColor(run.ODreal.LastOr0());
  }
  ShowProtocol(run, false);

  FollowSeries(crtu->Series(0), run.Time, run.uCell);
  FollowSeries(crtu->Series(1), run.Time, run.uOD);
  FollowSeries(CrtOD->Series(0), run.Time, run.ODreal);
  FollowSeries(CrtOD->Series(1), run.Time, run.ODideal);

  UpdateActionStates();
  LblCaption->setText(FromCp1252(run.DisplayName()));
}

void TFrmPnlProcess::UpdateRunActions() {
  UpdateActionStates();
  CheckRunState();
}

// The main window hears of a state it has not seen yet. Never called while a worker
// is held: the handler may do anything, resetting the run among it.
void TFrmPnlProcess::CheckRunState() {
  TZymra_Run* run = ShownRun();
  if (run && run->Worker()) run->Worker()->CheckState();
}

void TFrmPnlProcess::UpdateActionStates() {
  struct TRow {
    bool StartOn, StartChecked, PauseOn, PauseChecked, StopOn, StopChecked, ResetOn, ExportOn;
  };
  static constexpr TRow kTable[4] = {
      {true, false, false, false, false, false, false, false},  // Prepare Fermentation
      {false, true, true, false, true, false, false, false},    // Running
      {true, false, false, true, true, false, true, true},      // Paused
      {false, false, false, false, false, true, true, true},    // Finished
  };
  static constexpr TRow kNoRun = {false, false, false, false, false, false, false, false};
  TZymra_Run* run = ShownRun();
  const int state = run ? run->State() : -1;
  const TRow& row = state >= 0 && state < 4 ? kTable[state] : kNoRun;
  ActStart->setEnabled(row.StartOn);
  ActStart->setChecked(row.StartChecked);
  ActPause->setEnabled(row.PauseOn);
  ActPause->setChecked(row.PauseChecked);
  ActStop->setEnabled(row.StopOn);
  ActStop->setChecked(row.StopChecked);
  ActReset->setEnabled(row.ResetOn);
  ActReset->setChecked(false);
  ActExport->setEnabled(row.ExportOn);

  const bool paused = state == rsPaused;
  BtnRefill->setEnabled(paused);
  BtnDischarge->setEnabled(paused);
  // The phase is the worker's while it steps: read only when paused.
  BtnAdaptFeed->setEnabled(paused && !IsBatchPhase(run->BatchParams.Phase));
  ActPrintGLP->setEnabled(run && !MmoEventProtocol->document()->isEmpty());
  // The caption carries the state: it changes with every run command, not only with a step.
  if (run) LblCaption->setText(FromCp1252(run->DisplayName()));
}

// ---------------------------------------------------------------------------
// Handlers

void TFrmPnlProcess::ActStartExecute() {
  TZymra_Run* run = ShownRun();
  if (!run) return;
  if (!run->Worker()) {
    try {
      run->StartThread();
    } catch (const std::exception& e) {
      ZymraUi().Warning(this, QString::fromLocal8Bit(e.what()));
    }
    InstallCallbacks(run);
  }
  // The first step of the start or continuation takes the page's inputs.
  ArmTransfer(run, ReadInputs());
  run->Resume();
  UpdateRunActions();
}

void TFrmPnlProcess::ActPauseExecute() {
  TZymra_Run* run = ShownRun();
  if (!run) return;
  run->Pause();
  // The step that was under way has completed: show it now rather than when its
  // queued refresh comes round.
  RefreshDisplay();
  UpdateRunActions();
}

void TFrmPnlProcess::ActStopExecute() {
  TZymra_Run* run = ShownRun();
  if (!run) return;
  // Entry and finish without a step in between, and no step after.
  run->FinishByUser();
  RefreshDisplay();
  UpdateRunActions();
}

void TFrmPnlProcess::ActResetExecute() {
  TZymra_Run* run = ShownRun();
  if (!run || !run->IsInStates({rsPaused, rsFinished})) return;
  run->Reset();
  ShowRun(run);
  if (FProject.OnStateChange) FProject.OnStateChange();
}

void TFrmPnlProcess::ActPrintGLPExecute() {
  TZymra_Run* run = ShownRun();
  if (!run) return;
  QPrinter printer;
  if (!ZymraUi().SetupPrinter || !ZymraUi().SetupPrinter(this, printer)) return;
  QString error;
  bool ok = false;
  // Printed from the run as it stands between two steps.
  run->BetweenSteps([&] { ok = PrintGlp(printer, *run, TZymra::VersionText(), error); });
  if (!ok && ZymraUi().Warning) ZymraUi().Warning(this, error);
}

void TFrmPnlProcess::ActExportExecute() {
  TZymra_Run* run = ShownRun();
  // The dialog reads the run: never while it steps.
  if (!run || !run->IsInStates({rsPaused, rsFinished})) return;
  ShowDataExport(*run, this);
}

void TFrmPnlProcess::BtnRefillClick() {
  TZymra_Run* run = ShownRun();
  if (!run || run->State() != rsPaused) return;
  const double stored = run->Params.RefillAmount;
  run->Params.RefillNow = 1;
  run->Params.RefillAmount = EdtRefillAmount->AsFloat();
  EdtRefillAmount->SetAsFloat(stored);
  BtnRefill->setEnabled(false);
  ArmTransfer(run, ReadInputs());
}

void TFrmPnlProcess::BtnDischargeClick() {
  TZymra_Run* run = ShownRun();
  if (!run || run->State() != rsPaused) return;
  const double stored = run->Params.DischargeAmount;
  run->Params.DischargeNow = 1;
  run->Params.DischargeAmount = EdtDischargeAmount->AsFloat();
  EdtDischargeAmount->SetAsFloat(stored);
  BtnDischarge->setEnabled(false);
  ArmTransfer(run, ReadInputs());
}

void TFrmPnlProcess::BtnAdaptFeedClick() {
  TZymra_Run* run = ShownRun();
  if (!run || run->State() != rsPaused) return;
  run->BatchParams.FeedCorrection = 1;
  BtnAdaptFeed->setEnabled(false);
}

void TFrmPnlProcess::BarSpeedChange(int position) {
  TZymra_Run* run = ShownRun();
  if (!run) return;
  run->BetweenSteps([&] { run->Params.Speed = position; });
  // A hand-over already waiting must not bring the old speed back.
  ArmTransfer(run, ReadInputs());
}

// Typed amounts and periods reach the run before its next step, as the speed does;
// while the run is paused they wait, so Refill Now and Discharge Now still find the
// amounts of the last step in the run.
void TFrmPnlProcess::InputsChanged() {
  if (TZymra_Run* run = ShownRun()) ArmTransfer(run, ReadInputs());
}
