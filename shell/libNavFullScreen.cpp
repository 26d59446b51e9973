#include "libNavFullScreen.h"

#include <QAction>
#include <QBoxLayout>
#include <QGridLayout>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <memory>

namespace {

// Everything needed to put a widget back where it was.
struct TPlacement {
  QPointer<QWidget> Control;
  QPointer<QWidget> Parent;
  QRect Geometry;
  bool Hidden = false;
  QPointer<QLayout> Layout;
  int Index = -1;
  int Stretch = 0;
  Qt::Alignment Alignment;
  int Row = 0, Column = 0, RowSpan = 1, ColumnSpan = 1;
  bool WasCurrent = false;

  explicit TPlacement(QWidget* control)
      : Control(control), Parent(control->parentWidget()), Geometry(control->geometry()),
        Hidden(control->isHidden()) {
    if (!Parent || !Parent->layout()) return;
    Layout = Parent->layout();
    Index = Layout->indexOf(control);
    if (Index < 0) {
      Layout = nullptr;
      return;
    }
    if (auto* box = qobject_cast<QBoxLayout*>(Layout.data())) {
      Stretch = box->stretch(Index);
      Alignment = box->itemAt(Index)->alignment();
    } else if (auto* grid = qobject_cast<QGridLayout*>(Layout.data())) {
      grid->getItemPosition(Index, &Row, &Column, &RowSpan, &ColumnSpan);
      Alignment = grid->itemAt(Index)->alignment();
    } else if (auto* stack = qobject_cast<QStackedLayout*>(Layout.data())) {
      WasCurrent = stack->currentWidget() == control;
    }
  }

  void PutBack() const noexcept {
    if (!Control) return;
    Control->setParent(Parent);
    if (Layout) {
      if (auto* box = qobject_cast<QBoxLayout*>(Layout.data())) {
        box->insertWidget(Index, Control, Stretch, Alignment);
      } else if (auto* grid = qobject_cast<QGridLayout*>(Layout.data())) {
        grid->addWidget(Control, Row, Column, RowSpan, ColumnSpan, Alignment);
      } else if (auto* stack = qobject_cast<QStackedLayout*>(Layout.data())) {
        stack->insertWidget(Index, Control);
        if (WasCurrent) stack->setCurrentWidget(Control);
      } else {
        Layout->addWidget(Control);
      }
    } else {
      Control->setGeometry(Geometry);
    }
    Control->setVisible(!Hidden);
  }
};

}  // namespace

TFrmFullScreen::TFrmFullScreen(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("FrmFullScreen"));
  setWindowTitle(QStringLiteral("Current Variation In Full Screen"));
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setWindowState(Qt::WindowMaximized);
  PnlFullScreen = new QWidget(this);
  PnlFullScreen->setObjectName(QStringLiteral("PnlFullScreen"));
  auto* panelLayout = new QVBoxLayout(PnlFullScreen);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  auto* formLayout = new QVBoxLayout(this);
  formLayout->setContentsMargins(0, 0, 0, 0);
  formLayout->addWidget(PnlFullScreen);
  ActClose = new QAction(QStringLiteral("Current Variation In Full Screen"), this);
  ActClose->setObjectName(QStringLiteral("ActClose"));
  ActClose->setShortcut(QKeySequence(Qt::Key_F11));
  ActClose->setShortcutContext(Qt::WindowShortcut);
  connect(ActClose, &QAction::triggered, this, &QDialog::close);
  addAction(ActClose);
}

void ShowControlFullScreen(QWidget* control, QWidget* owner,
                           const std::function<int(TFrmFullScreen&)>& showModal) {
  if (!control) return;
  auto form = std::make_unique<TFrmFullScreen>(owner);
  form->setMinimumSize(control->width(), control->height());
  form->FormerParent = control->parentWidget();
  // Put the page back however the window ends, before the window goes away.
  struct TGiveBack {
    TPlacement Placement;
    ~TGiveBack() { Placement.PutBack(); }
  } giveBack{TPlacement(control)};
  form->PnlFullScreen->layout()->addWidget(control);
  control->show();
  if (showModal)
    showModal(*form);
  else
    form->exec();
}
