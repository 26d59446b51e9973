#include "UntZymraPnlStart.h"

#include <cstring>

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

#include "KelCmpStandard.h"
#include "LibZymra.h"
#include "ZymraUi.h"

namespace {

const QColor kBatchColor(240, 202, 166);
const QColor kCriticalColor(240, 251, 255);
const QColor kRealColor(192, 220, 192);  // money green
const QColor kHeaderColor(226, 230, 240);
constexpr int kEditWidth = 96;

QFont PageFont(int pixels, bool bold = false) {
  QFont font(QStringLiteral("Verdana"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

void SetBackground(QWidget* w, const QColor& color) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::Base, color);
  w->setPalette(pal);
}

// A framed group whose first row is its bold title.
QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& title, QLabel** titleLabel = nullptr) {
  auto* group = new QGroupBox(parent);
  group->setObjectName(QLatin1String(name));
  auto* grid = new QGridLayout(group);
  grid->setContentsMargins(10, 6, 10, 8);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(4);
  auto* label = new QLabel(title, group);
  label->setFont(PageFont(11, true));
  grid->addWidget(label, 0, 0, 1, -1);
  if (titleLabel) *titleLabel = label;
  return group;
}

QGridLayout* Grid(QWidget* group) { return static_cast<QGridLayout*>(group->layout()); }

// Messages of the engine's checks are record text.
}  // namespace

TFrmPnlStart::TFrmPnlStart(TZymra& project, QWidget* parent) : QWidget(parent), Project(project) {
  setObjectName(QStringLiteral("PnlStart"));
  setFont(PageFont(11));
  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(0, 0, 0, 0);
  page->setSpacing(0);

  // Header strip.
  PnlHeader = new QWidget(this);
  PnlHeader->setObjectName(QStringLiteral("PnlHeader"));
  PnlHeader->setAutoFillBackground(true);
  QPalette lavender = PnlHeader->palette();
  lavender.setColor(QPalette::Window, kHeaderColor);
  PnlHeader->setPalette(lavender);
  auto* header = new QHBoxLayout(PnlHeader);
  header->setContentsMargins(12, 6, 12, 6);
  header->setSpacing(16);
  LblHeader = new QLabel(QStringLiteral("Process Constants"), PnlHeader);
  LblHeader->setObjectName(QStringLiteral("LblHeader"));
  LblHeader->setFont(PageFont(19, true));
  LblCaption = new QLabel(PnlHeader);
  LblCaption->setObjectName(QStringLiteral("LblCaption"));
  LblCaption->setFont(PageFont(15, true));
  QPalette highlight = LblCaption->palette();
  highlight.setColor(QPalette::WindowText, highlight.color(QPalette::Highlight));
  LblCaption->setPalette(highlight);
  header->addWidget(LblHeader);
  header->addWidget(LblCaption, 1);
  page->addWidget(PnlHeader);

  // The groups, in a scroll area so that a small window still reaches every input.
  ScbStart = new QScrollArea(this);
  ScbStart->setObjectName(QStringLiteral("ScbStart"));
  ScbStart->setWidgetResizable(true);
  ScbStart->setFrameShape(QFrame::NoFrame);
  auto* content = new QWidget;
  auto* columns = new QGridLayout(content);
  columns->setContentsMargins(10, 10, 10, 10);
  columns->setSpacing(10);
  ScbStart->setWidget(content);
  page->addWidget(ScbStart, 1);

  const QColor tip = palette().color(QPalette::ToolTipBase);

  QGroupBox* grpRun = MakeGroup(content, "GrpRun", QStringLiteral("Run"));
  auto* lblTitle = new QLabel(QStringLiteral("Title"), grpRun);
  EdtTitle = new QLineEdit(grpRun);
  EdtTitle->setObjectName(QStringLiteral("EdtTitle"));
  EdtTitle->setMaxLength(255);
  SetBackground(EdtTitle, tip);
  lblTitle->setBuddy(EdtTitle);
  auto* lblComment = new QLabel(QStringLiteral("Comment"), grpRun);
  MmoComment = new QPlainTextEdit(grpRun);
  MmoComment->setObjectName(QStringLiteral("MmoComment"));
  MmoComment->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MmoComment->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  MmoComment->setTabChangesFocus(true);
  MmoComment->setMinimumHeight(64);
  MmoComment->setMaximumHeight(96);
  SetBackground(MmoComment, tip);
  lblComment->setBuddy(MmoComment);
  Grid(grpRun)->addWidget(lblTitle, 1, 0);
  Grid(grpRun)->addWidget(EdtTitle, 1, 1);
  Grid(grpRun)->addWidget(lblComment, 2, 0, Qt::AlignTop);
  Grid(grpRun)->addWidget(MmoComment, 2, 1);
  Grid(grpRun)->setColumnStretch(1, 1);

  QGroupBox* grpGlobal = MakeGroup(content, "GrpGlobal", QStringLiteral("Global Simulation Conditions"));
  EdtReactorSize = AddNumber(grpGlobal, 1, "EdtReactorSize", QStringLiteral("Reactor Size /l"), 1, false);
  EdtSimInerval = AddNumber(grpGlobal, 2, "EdtSimInerval", QStringLiteral("Simulation Interval dt /h"), 3, true);

  QGroupBox* grpBatch = MakeGroup(content, "GrpBatch", QStringLiteral("Batch Parameters"), &lblBatch);
  lblBatch->setObjectName(QStringLiteral("lblBatch"));
  ChbIsBatch = new QCheckBox(QStringLiteral("Simulate Batch"), grpBatch);
  ChbIsBatch->setObjectName(QStringLiteral("ChbIsBatch"));
  Grid(grpBatch)->addWidget(ChbIsBatch, 1, 0, 1, 2);
  edtBatchStartVol = AddNumber(grpBatch, 2, "edtBatchStartVol", QStringLiteral("Reactor Volume /l"), 1, true, &kBatchColor);
  edtBatchOD = AddNumber(grpBatch, 3, "edtBatchOD", QStringLiteral("Optical Density OD/-"), 5, true, &kBatchColor);
  EdtBatchumax = AddNumber(grpBatch, 4, "EdtBatchumax", QString::fromUtf8("Max. Growth \u00B5 / 1/h"), 3, true, &kBatchColor);
  EdtBatchSubConc = AddNumber(grpBatch, 5, "EdtBatchSubConc", QStringLiteral("Substrate Conc. /g/l"), 3, true, &kBatchColor);

  QGroupBox* grpFeedStart =
      MakeGroup(content, "GrpFeedStart", QStringLiteral("Parameters at Batch End / Feed Correction"));
  EdtReactorVol = AddNumber(grpFeedStart, 1, "EdtReactorVol", QStringLiteral("Reactor Volume /l"), 1, true, &kBatchColor);
  EdtOD = AddNumber(grpFeedStart, 2, "EdtOD", QStringLiteral("Optical Density OD/-"), 1, true, &kBatchColor);

  // Calculated and real constants side by side, sharing their labels.
  QGroupBox* grpFeed = MakeGroup(content, "GrpFeed", QStringLiteral("Constants for Substrate Feeding and Consumption"));
  QGridLayout* feed = Grid(grpFeed);
  auto* lblCalc = new QLabel(QStringLiteral("Calcul. Values (Feed)"), grpFeed);
  auto* lblReal = new QLabel(QStringLiteral("Real Values (Consmp.)"), grpFeed);
  lblCalc->setFont(PageFont(11, true));
  lblReal->setFont(PageFont(11, true));
  feed->addWidget(lblCalc, 1, 1);
  feed->addWidget(lblReal, 1, 3);
  const struct {
    const char* Calc;
    const char* Real;
    const char* Label;
    int Decimals;
    bool EmptyOnZero;
  } feedRows[] = {
      {"EdtDryMassPerOD", "EdtDryMassPerOD_Real", "Dry Mass per OD /g/l", 4, true},
      {"EdtYield", "EdtYield_Real", "Yield Yx/s /g/g", 4, true},
      {"EdtMaintenance", "EdtMaintenance_Real", "Maintenance m  /1/h", 4, true},
      {"EdtCSubstr", "EdtCSubstr_Real", "Substrate Conc. /g/l", 2, false},
  };
  TPaxDecimalEdit** calc[] = {&EdtDryMassPerOD, &EdtYield, &EdtMaintenance, &EdtCSubstr};
  TPaxDecimalEdit** real[] = {&EdtDryMassPerOD_Real, &EdtYield_Real, &EdtMaintenance_Real, &EdtCSubstr_Real};
  for (int i = 0; i < 4; ++i) {
    const auto& r = feedRows[i];
    *calc[i] = AddNumber(grpFeed, i + 2, r.Calc, QString::fromLatin1(r.Label), r.Decimals, r.EmptyOnZero);
    *real[i] = AddNumber(grpFeed, i + 2, r.Real, QString(), r.Decimals, r.EmptyOnZero, &kRealColor);
    feed->addWidget(*real[i], i + 2, 3);
  }
  BtnAssignReal = MakeButton("BtnAssignReal", QStringLiteral("&>"), QStringLiteral("Assign Real From Calculated Values"));
  BtnAssignCalc = MakeButton("BtnAssignCalc", QStringLiteral("&<"), QStringLiteral("Assign Calculated From Real Values"));
  for (QPushButton* b : {BtnAssignReal, BtnAssignCalc}) b->setFixedWidth(36);
  feed->addWidget(BtnAssignReal, 2, 2, 2, 1, Qt::AlignCenter);
  feed->addWidget(BtnAssignCalc, 4, 2, 2, 1, Qt::AlignCenter);
  feed->setColumnStretch(4, 1);

  QGroupBox* grpFedBatch = MakeGroup(content, "GrpFedBatch", QStringLiteral("Fed Batch Parameters"));
  EdtUset = AddNumber(grpFedBatch, 1, "EdtUset", QString::fromUtf8("Growth Rate \u00B5set"), 3, true);
  EdtTargetOD = AddNumber(grpFedBatch, 2, "EdtTargetOD", QStringLiteral("Target OD"), 1, true);

  QGroupBox* grpToxic = MakeGroup(content, "GrpToxic", QStringLiteral("[optional]"));
  auto* lblToxic = new QLabel(QStringLiteral("Toxic Inhbition (irreversible)"), grpToxic);
  lblToxic->setFont(PageFont(11, true));
  Grid(grpToxic)->addWidget(lblToxic, 1, 0, 1, 2);
  EdtuCritical = AddNumber(grpToxic, 2, "EdtuCritical", QString::fromUtf8("Critical \u00B5 / 1/h"), 3, true, &kCriticalColor);
  EdtODCritical = AddNumber(grpToxic, 3, "EdtODCritical", QStringLiteral("Critical OD /-"), 0, true, &kCriticalColor);
  ChbStopbyucrit = new QCheckBox(QStringLiteral("Stop if acetat production is critical"), grpToxic);
  ChbStopbyucrit->setObjectName(QStringLiteral("ChbStopbyucrit"));
  Grid(grpToxic)->addWidget(ChbStopbyucrit, 4, 0, 1, 2);
  EdtYxo = AddNumber(grpToxic, 5, "EdtYxo", QStringLiteral("Yield Yx/o /g/g"), 3, true);

  // Left: the run and its start; right: the organism and the fed batch. Each column packs its
  // groups to the top, so a taller window leaves the spare room at the bottom.
  auto* left = new QVBoxLayout;
  auto* right = new QVBoxLayout;
  for (QWidget* g : {static_cast<QWidget*>(grpRun), static_cast<QWidget*>(grpGlobal), static_cast<QWidget*>(grpBatch),
                     static_cast<QWidget*>(grpFeedStart)})
    left->addWidget(g);
  for (QWidget* g : {static_cast<QWidget*>(grpFeed), static_cast<QWidget*>(grpFedBatch), static_cast<QWidget*>(grpToxic)})
    right->addWidget(g);
  left->addStretch(1);
  right->addStretch(1);
  columns->addLayout(left, 0, 0);
  columns->addLayout(right, 0, 1);
  columns->setColumnStretch(0, 5);
  columns->setColumnStretch(1, 6);

  // Buttons: Reset on its own at the left, the value sources at the bottom right.
  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(10, 6, 10, 10);
  buttons->setSpacing(8);
  BtnReset = MakeButton("BtnReset", QStringLiteral("&Reset"), QStringLiteral("Resets Finished Run For New Settings"));
  BtnSetFefaultValues = MakeButton("BtnSetFefaultValues", QStringLiteral("&Default"), QStringLiteral("Set Default Values"));
  BtnUndo = MakeButton("BtnUndo", QStringLiteral("&Undo"),
                       QStringLiteral("Set Values Back To Last Process Constants Session"));
  BtnAssignFromLastRun =
      MakeButton("BtnAssignFromLastRun", QStringLiteral("&From Prev. Run"), QStringLiteral("Get Values From Previous Run"));
  BtnImport = MakeButton("BtnImport", QStringLiteral("&Import"),
                         QStringLiteral("Get Values From First Run of File Imported Zymra Project"));
  buttons->addWidget(BtnReset);
  buttons->addStretch(1);
  for (QPushButton* b : {BtnSetFefaultValues, BtnUndo, BtnAssignFromLastRun, BtnImport}) buttons->addWidget(b);
  page->addLayout(buttons);
  FButtons = buttons;

  connect(BtnReset, &QPushButton::clicked, this, &TFrmPnlStart::BtnResetClick);
  connect(BtnSetFefaultValues, &QPushButton::clicked, this, &TFrmPnlStart::BtnSetFefaultValuesClick);
  connect(BtnUndo, &QPushButton::clicked, this, &TFrmPnlStart::BtnUndoClick);
  connect(BtnAssignFromLastRun, &QPushButton::clicked, this, &TFrmPnlStart::BtnAssignFromLastRunClick);
  connect(BtnImport, &QPushButton::clicked, this, &TFrmPnlStart::BtnImportClick);
  connect(BtnAssignReal, &QPushButton::clicked, this, &TFrmPnlStart::BtnAssignRealClick);
  connect(BtnAssignCalc, &QPushButton::clicked, this, &TFrmPnlStart::BtnAssignCalcClick);
  connect(ChbIsBatch, &QCheckBox::clicked, this, &TFrmPnlStart::ChbIsBatchClick);

  BtnReset->setEnabled(false);
}

QSize TFrmPnlStart::sizeHint() const {
  // Everything in view: the groups at their own size between the header and the buttons.
  const QSize content = ScbStart->widget()->sizeHint(), head = PnlHeader->sizeHint(), foot = FButtons->sizeHint();
  return QSize(std::max({content.width(), head.width(), foot.width()}),
               head.height() + content.height() + foot.height());
}

TPaxDecimalEdit* TFrmPnlStart::AddNumber(QWidget* group, int row, const char* name, const QString& label,
                                         int decimals, bool emptyOnZero, const QColor* background) {
  auto* edit = new TPaxDecimalEdit(group);
  edit->setObjectName(QLatin1String(name));
  edit->SetDecSep(',');
  edit->SetNegativeAllowed(false);
  edit->SetMaxLength(12);
  edit->SetDecimals(decimals);
  edit->SetEmptyOnZero(emptyOnZero);
  edit->setFixedWidth(kEditWidth);
  edit->setAlignment(Qt::AlignRight);
  if (background) SetBackground(edit, *background);
  if (!label.isEmpty()) {
    auto* caption = new QLabel(label, group);
    caption->setBuddy(edit);
    Grid(group)->addWidget(caption, row, 0);
    Grid(group)->addWidget(edit, row, 1);
    Grid(group)->setColumnStretch(2, 1);
  }
  return edit;
}

QPushButton* TFrmPnlStart::MakeButton(const char* name, const QString& caption, const QString& hint) {
  auto* button = new QPushButton(caption, this);
  button->setObjectName(QLatin1String(name));
  button->setToolTip(hint);
  button->setAutoDefault(false);
  button->setMinimumWidth(std::max(90, button->sizeHint().width() + 16));
  return button;
}

void TFrmPnlStart::ShowRun(TZymra_Run* run) {
  if (!run) return;
  Project.CurrentRun = run;
  // A running run's worker writes the feed-start values: read between its steps.
  run->BetweenSteps([&] {
    LblCaption->setText(FromCp1252(run->DisplayName()));
    ShowValues(run->Params, run->BatchParams, &run->Comment);
    const bool prepare = run->State() == rsPrepare;
    EnableEditing(prepare);
    BtnReset->setEnabled(run->State() == rsFinished);
    if (prepare) EnableBatchInputs(run->BatchParams.IsBatch != 0);
  });
}

void TFrmPnlStart::ShowRunState(TZymra_Run* run) {
  if (!run) return;
  run->BetweenSteps([&] {
    LblCaption->setText(FromCp1252(run->DisplayName()));
    BtnReset->setEnabled(run->State() == rsFinished);
  });
}

void TFrmPnlStart::ReadValues(TRunParameters& p, TRunBatchParameters& b) const {
  p.Title.Assign(ToCp1252(EdtTitle->text()));
  p.ReactorSize = EdtReactorSize->AsFloat();
  p.SimInterval = EdtSimInerval->AsFloat();
  b.BatchStartVol = edtBatchStartVol->AsFloat();
  b.BatchOD = edtBatchOD->AsFloat();
  b.Batchumax = EdtBatchumax->AsFloat();
  b.BatchSubConc = EdtBatchSubConc->AsFloat();
  p.ReactorVol = EdtReactorVol->AsFloat();
  p.FedBatchOD = EdtOD->AsFloat();
  p.DryMassPerOD = EdtDryMassPerOD->AsFloat();
  p.Yield = EdtYield->AsFloat();
  p.Maintenance = EdtMaintenance->AsFloat();
  p.CSubstr = EdtCSubstr->AsFloat();
  p.DryMassPerOD_Real = EdtDryMassPerOD_Real->AsFloat();
  p.Yield_Real = EdtYield_Real->AsFloat();
  p.Maintenance_Real = EdtMaintenance_Real->AsFloat();
  p.CSubstr_Real = EdtCSubstr_Real->AsFloat();
  p.Uset = EdtUset->AsFloat();
  p.TargetOD = EdtTargetOD->AsFloat();
  p.uCritical = EdtuCritical->AsFloat();
  b.ODCritical = EdtODCritical->AsFloat();
  p.StopByuCrit = ChbStopbyucrit->isChecked() ? 1 : 0;
  p.Yxo = EdtYxo->AsFloat();
  b.IsBatch = ChbIsBatch->isChecked() ? 1 : 0;
}

bool TFrmPnlStart::CheckValues() {
  // Once a run has started the checked inputs are read-only and show what the engine made of them
  // (a rich batch may end above the feed-start OD limit); checking them would lock the user on
  // this page, and StoreValues does not take them over anyway.
  if (Project.CurrentRun && Project.CurrentRun->State() != rsPrepare) return true;
  TRunParameters p = Project.CurrentRun ? Project.CurrentRun->Params : DefaultRunParameters();
  TRunBatchParameters b = Project.CurrentRun ? Project.CurrentRun->BatchParams : DefaultRunBatchParameters();
  ReadValues(p, b);
  std::vector<int> checks;
  const std::vector<std::string> failed = CheckRunValues(p, b, &checks);
  if (failed.empty()) return true;
  ZymraUi().Warning(this, FromCp1252(ValuesNotAppliedText(failed)));
  // The user goes on where the first value that failed is.
  TPaxDecimalEdit* const checked[] = {EdtSimInerval,  EdtReactorSize,       EdtReactorVol, edtBatchStartVol,
                                      EdtOD,          EdtDryMassPerOD,      EdtYield,      EdtMaintenance,
                                      EdtCSubstr,     EdtDryMassPerOD_Real, EdtYield_Real, EdtMaintenance_Real,
                                      EdtCSubstr_Real, EdtUset,             EdtuCritical,  EdtYxo};
  for (int number : checks) {
    TPaxDecimalEdit* field = number >= 0 && number < static_cast<int>(std::size(checked)) ? checked[number] : nullptr;
    if (!field || !field->isEnabled()) continue;
    ScbStart->ensureWidgetVisible(field);
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    break;
  }
  return false;
}

void TFrmPnlStart::StoreValues() {
  TZymra_Run* run = Project.CurrentRun;
  if (!run) return;
  run->BetweenSteps([&] { StoreValuesInto(run); });
}

void TFrmPnlStart::StoreValuesInto(TZymra_Run* runPtr) {
  // The title's unused bytes are not significant.
  constexpr std::size_t kAfterTitle = offsetof(TRunParameters, ReactorSize);
  TZymra_Run* run = runPtr;
  TRunParameters p = run->Params;
  TRunBatchParameters b = run->BatchParams;
  ReadValues(p, b);
  if (run->State() == rsPrepare) {
    // Values of the user's own replace applied ones: Undo goes back to them from now on.
    if (FBeforeApply.RunID == run->GetID() &&
        (std::memcmp(reinterpret_cast<const char*>(&p) + kAfterTitle,
                     reinterpret_cast<const char*>(&run->Params) + kAfterTitle, sizeof p - kAfterTitle) != 0 ||
         std::memcmp(&b, &run->BatchParams, sizeof b) != 0))
      FBeforeApply.RunID.clear();
    run->Params = p;
    run->BatchParams = b;
  } else {
    // Only title, comment and critical OD can be edited now. The other inputs show values the
    // engine may have written with more decimals than an input holds (the feed start after a
    // batch); storing them back would cut those values. Unchanged fields are not written at all,
    // so leaving the page never touches a running run's records needlessly.
    if (p.Title.Str() != run->Params.Title.Str()) run->Params.Title = p.Title;
    if (b.ODCritical != run->BatchParams.ODCritical) run->BatchParams.ODCritical = b.ODCritical;
  }
  const std::string comment = ToCp1252(MmoComment->toPlainText());
  if (comment != run->Comment) run->Comment = comment;
}

void TFrmPnlStart::ShowValues(const TRunParameters& p, const TRunBatchParameters& b, const std::string* comment) {
  EdtTitle->setText(FromCp1252(p.Title.Str()));
  EdtReactorSize->SetAsFloat(p.ReactorSize);
  EdtSimInerval->SetAsFloat(p.SimInterval);
  EdtReactorVol->SetAsFloat(p.ReactorVol);
  EdtOD->SetAsFloat(p.FedBatchOD);
  EdtDryMassPerOD->SetAsFloat(p.DryMassPerOD);
  EdtYield->SetAsFloat(p.Yield);
  EdtMaintenance->SetAsFloat(p.Maintenance);
  EdtCSubstr->SetAsFloat(p.CSubstr);
  EdtDryMassPerOD_Real->SetAsFloat(p.DryMassPerOD_Real);
  EdtYield_Real->SetAsFloat(p.Yield_Real);
  EdtMaintenance_Real->SetAsFloat(p.Maintenance_Real);
  EdtCSubstr_Real->SetAsFloat(p.CSubstr_Real);
  EdtUset->SetAsFloat(p.Uset);
  EdtTargetOD->SetAsFloat(p.TargetOD);
  EdtuCritical->SetAsFloat(p.uCritical);
  EdtYxo->SetAsFloat(p.Yxo);
  ChbStopbyucrit->setChecked(p.StopByuCrit != 0);
  edtBatchStartVol->SetAsFloat(b.BatchStartVol);
  edtBatchOD->SetAsFloat(b.BatchOD);
  EdtBatchumax->SetAsFloat(b.Batchumax);
  EdtBatchSubConc->SetAsFloat(b.BatchSubConc);
  ChbIsBatch->setChecked(b.IsBatch != 0);
  EdtODCritical->SetAsFloat(b.ODCritical);
  EnableBatchInputs(b.IsBatch != 0);
  MmoComment->setPlainText(comment ? FromCp1252(*comment) : QString());
}

void TFrmPnlStart::EnableEditing(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{
           EdtReactorSize, EdtSimInerval, edtBatchStartVol, edtBatchOD, EdtBatchumax, EdtBatchSubConc, EdtReactorVol,
           EdtOD, EdtDryMassPerOD, EdtYield, EdtMaintenance, EdtCSubstr, EdtDryMassPerOD_Real, EdtYield_Real,
           EdtMaintenance_Real, EdtCSubstr_Real, EdtUset, EdtTargetOD, EdtuCritical, EdtYxo, ChbStopbyucrit, ChbIsBatch,
           BtnSetFefaultValues, BtnAssignFromLastRun, BtnImport, BtnUndo, BtnAssignReal, BtnAssignCalc})
    w->setEnabled(enabled);
}

void TFrmPnlStart::EnableBatchInputs(bool batchOn) {
  for (QWidget* w : {edtBatchStartVol, edtBatchOD, EdtBatchumax, EdtBatchSubConc}) w->setEnabled(batchOn);
  // With a batch phase the feed start is its result, not an input.
  for (QWidget* w : {EdtReactorVol, EdtOD}) w->setEnabled(!batchOn);
}

void TFrmPnlStart::BtnResetClick() {
  TZymra_Run* run = Project.CurrentRun;
  if (!run || run->State() != rsFinished) return;
  run->Reset();
  ShowRun(run);
  if (Project.OnStateChange) Project.OnStateChange();
}

void TFrmPnlStart::BtnSetFefaultValuesClick() {
  TRunBatchParameters batch = DefaultRunBatchParameters();
  batch.IsBatch = 1;
  ShowValues(DefaultRunParameters(), batch, nullptr);
}

void TFrmPnlStart::BtnUndoClick() {
  TZymra_Run* run = Project.CurrentRun;
  if (!run) return;
  if (!FBeforeApply.RunID.empty() && FBeforeApply.RunID == run->GetID()) {
    // The values before the last apply; they reach the run when the page is left.
    ShowValues(FBeforeApply.Params, FBeforeApply.Batch, &run->Comment);
    return;
  }
  run->BetweenSteps([&] { ShowValues(run->Params, run->BatchParams, &run->Comment); });
}

bool TFrmPnlStart::ApplyValues(TZymra_Run& run, const TRunParameters& params, const TRunBatchParameters& batch) {
  if (run.State() != rsPrepare) return false;  // a prepared run has no worker stepping
  const TRunParameters oldParams = run.Params;
  const TRunBatchParameters oldBatch = run.BatchParams;
  FBeforeApply = {run.GetID(), oldParams, oldBatch};
  run.Params = params;
  run.BatchParams = batch;
  if (Project.CurrentRun == &run) {
    // Leaving the page stores what it shows: it must show the applied values, and only
    // those, so the user's typing in the other inputs stays.
    const struct {
      TPaxDecimalEdit* Edit;
      double Old, New;
    } changed[] = {
        {EdtYield_Real, oldParams.Yield_Real, params.Yield_Real},
        {EdtMaintenance_Real, oldParams.Maintenance_Real, params.Maintenance_Real},
        {EdtDryMassPerOD_Real, oldParams.DryMassPerOD_Real, params.DryMassPerOD_Real},
        {EdtCSubstr_Real, oldParams.CSubstr_Real, params.CSubstr_Real},
        {EdtOD, oldParams.FedBatchOD, params.FedBatchOD},
        {EdtBatchumax, oldBatch.Batchumax, batch.Batchumax},
        {edtBatchOD, oldBatch.BatchOD, batch.BatchOD},
    };
    for (const auto& c : changed)
      if (c.Old != c.New) c.Edit->SetAsFloat(c.New);
    LblCaption->setText(FromCp1252(run.DisplayName()));
  }
  return true;
}

void TFrmPnlStart::BtnAssignFromLastRunClick() {
  if (!Project.CurrentRun) return;
  const int index = Project.IndexOf(Project.CurrentRun);
  if (index < 1) return;
  TZymra_Run* previous = Project.Run(index - 1);
  previous->BetweenSteps([&] { ShowValues(previous->Params, previous->BatchParams, &previous->Comment); });
}

void TFrmPnlStart::BtnImportClick() {
  const QString filter = FromCp1252(Project.Profile.FilterText.Str()) + QStringLiteral(" (") +
                         FromCp1252(Project.Profile.DefaultExt.Str()) + QLatin1Char(')');
  const QString name = ZymraUi().OpenFileName(this, QStringLiteral("Import"), ProjectDialogFolder(), filter);
  if (name.isEmpty()) return;
  NoteProjectFolder(name);
  TZymra imported;
  if (!imported.LoadFromFile(QFile::encodeName(name).toStdString())) {
    ZymraUi().Warning(this, QString::fromUtf8("Values couldn\u00B4t be imported from \"%1\":\r\n%2")
                                .arg(QFileInfo(name).fileName(), FromCp1252(imported.LastError)));
    return;
  }
  const auto* first = dynamic_cast<const TZymra_Run*>(imported.GetItem(0));
  if (!first) return;
  ShowValues(first->Params, first->BatchParams, &first->Comment);
}

void TFrmPnlStart::BtnAssignRealClick() {
  EdtDryMassPerOD_Real->SetAsFloat(EdtDryMassPerOD->AsFloat());
  EdtYield_Real->SetAsFloat(EdtYield->AsFloat());
  EdtMaintenance_Real->SetAsFloat(EdtMaintenance->AsFloat());
  EdtCSubstr_Real->SetAsFloat(EdtCSubstr->AsFloat());
}

void TFrmPnlStart::BtnAssignCalcClick() {
  EdtDryMassPerOD->SetAsFloat(EdtDryMassPerOD_Real->AsFloat());
  EdtYield->SetAsFloat(EdtYield_Real->AsFloat());
  EdtMaintenance->SetAsFloat(EdtMaintenance_Real->AsFloat());
  EdtCSubstr->SetAsFloat(EdtCSubstr_Real->AsFloat());
}

void TFrmPnlStart::ChbIsBatchClick() { EnableBatchInputs(ChbIsBatch->isChecked()); }
