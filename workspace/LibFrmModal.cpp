#include "LibFrmModal.h"

#include <QPushButton>
#include <QShowEvent>

#include "KelCmpAnimation.h"
#include "KelCmpGradient.h"
#include "ZymraUi.h"

std::function<int(TFrmModal&)> TFrmModal::ShowModal;

QFont ModalFormFont(int pixels, bool bold) {
  QFont font(QStringLiteral("Verdana"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

TFrmModal::TFrmModal(QWidget* parent) : QDialog(parent) {
  setFont(ModalFormFont(11));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setSizeGripEnabled(false);

  PaxGradient = new TPaxGradient(this);
  PaxGradient->setObjectName(QStringLiteral("PaxGradient"));
  PaxGradient->resize(width(), 50);
  PaxGradient->SetAlign(TAlign::alTop);
  PaxGradient->SetStyle(TGradStyle::grVertical);
  PaxGradient->SetStartColor(palette().color(QPalette::Dark));
  PaxGradient->SetEndColor(palette().color(QPalette::Button));
  PaxGradient->SetSteps(17);
  PaxGradient->lower();

  BtnOK = new QPushButton(QStringLiteral("&OK"), this);
  BtnOK->setObjectName(QStringLiteral("BtnOK"));
  BtnOK->setAutoDefault(false);
  BtnOK->resize(77, 25);
  connect(BtnOK, &QPushButton::clicked, this, [this] { done(mrOk); });

  BtnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
  BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
  BtnCancel->setAutoDefault(false);
  BtnCancel->resize(77, 25);
  connect(BtnCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });

  PaxFormAnimation1 = new TPaxFormAnimation(this);
  // Short enough that closing never feels slow.
  PaxFormAnimation1->SetFrameDelay(1);
  PlaceButtons();
}

TFrmModal::~TFrmModal() = default;

QString TFrmModal::ErrorText() const { return QStringLiteral("Eingaben sind nicht Plausibel."); }

void TFrmModal::ShowErrors() {
  ZymraUi().Warning(this, ErrorText() + QStringLiteral("\r\r") + Errors.join(QStringLiteral("\r\n")));
  Errors.clear();
}

int TFrmModal::Execute() {
  try {
    PrepareDialog();
    InitControls();
    BeforeShow();
    const int result = ShowModal ? ShowModal(*this) : exec();
    // done() ends the loop with mrAbort when a hook threw inside it.
    return result;
  } catch (...) {
    return mrAbort;
  }
}

void TFrmModal::done(int result) {
  if (FClosing) return;
  FClosing = true;
  struct TClosed {
    bool& Flag;
    ~TClosed() { Flag = false; }
  } closed{FClosing};
  if (result == mrOk) {
    bool applied = false;
    try {
      applied = ApplyValues();
      if (applied) AfterApply();
    } catch (...) {
      // Exceptions must not unwind through Qt's event loop: end the dialog as aborted instead.
      QDialog::done(mrAbort);
      return;
    }
    if (!applied) {
      setResult(mrRetry);
      ShowErrors();
      return;
    }
  } else if (AnimateOnCancel && isVisible()) {
    PaxFormAnimation1->DisappearTelevision();
  }
  QDialog::done(result);
  PaxFormAnimation1->Restore();
}

void TFrmModal::showEvent(QShowEvent* event) {
  if (FullGradient) {
    PaxGradient->SetAlign(TAlign::alClient);
    PaxGradient->setGeometry(rect());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, PaxGradient->StartColor());
    setPalette(pal);
  }
  QDialog::showEvent(event);
  BtnCancel->setFocus();
}

void TFrmModal::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  PlaceButtons();
}

void TFrmModal::PlaceButtons() {
  // Anchored to the bottom right corner.
  BtnCancel->move(width() - 83, height() - 31);
  BtnOK->move(width() - 163, height() - 31);
}
