#include "LibSplash.h"

#include "KelCmpAnimation.h"
#include "KelCmpGradient.h"
#include "KelFrmAbout.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include <memory>

namespace {

QLabel* SplashLabel(QWidget* parent, const QString& name, const QString& text, int x, int y,
                    const QFont& font) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setFont(font);
  label->move(x, y);
  label->resize(380, QFontMetrics(font).height() + 2);
  return label;
}

}  // namespace

TFrmSpalsh::TFrmSpalsh(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("FrmSpalsh"));
  setFixedSize(456, 247);
  setFont(FormFont(11));

  Image1 = AddLogoBand(this, 456, 248);

  PaxGradient = new TPaxGradient(this);
  PaxGradient->setObjectName(QStringLiteral("PaxGradient"));
  PaxGradient->SetAlign(TAlign::alNone);
  PaxGradient->setGeometry(0, 65, 456, 247 - 65);
  PaxGradient->SetStyle(TGradStyle::grPyramid);
  PaxGradient->SetStartColor(QColor(240, 202, 166));
  PaxGradient->SetEndColor(QColor(128, 0, 0));
  PaxGradient->SetSteps(17);

  LblAppTitle = SplashLabel(this, QStringLiteral("LblAppTitle"), QString(), 64, 113, FormFont(21, true));
  Label5 = SplashLabel(this, QStringLiteral("Label5"), QStringLiteral("Version"), 64, 149, FormFont(11, true));
  Label5->resize(54, Label5->height());
  LblVersion = SplashLabel(this, QStringLiteral("LblVersion"), QString(), 120, 149, FormFont(11));
  Label1 = SplashLabel(this, QStringLiteral("Label1"), QStringLiteral("Quenvar"), 64, 185, FormFont(11));
  Label4 = SplashLabel(this, QStringLiteral("Label4"), QStringLiteral("Software Engineering"), 64, 217,
                       FormFont(11));
  PaxAnim = new TPaxFormAnimation(this);
  PaxAnim->setObjectName(QStringLiteral("PaxAnim"));
}

void WaitHandlingEvents(int ms) {
  if (ms <= 0) return;
  QEventLoop loop;
  QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

void ShowSplash(const QString& title, const QString& version, int durationMs,
                const TSplashWait& wait) {
  auto form = std::make_unique<TFrmSpalsh>();
  form->LblAppTitle->setText(title);
  form->LblVersion->setText(version);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    form->move(screen->availableGeometry().center() - form->rect().center());
  // However the wait ends, the splash vanishes and is freed.
  struct TEnd {
    TFrmSpalsh* Form;
    ~TEnd() {
      Form->PaxAnim->DisappearTelevision();
      Form->hide();
    }
  } end{form.get()};
  form->show();
  form->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  if (wait) wait(durationMs);
}
