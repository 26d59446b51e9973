#pragma once
// Full-screen view of a page: the page is borrowed from its place in the main
// window for as long as the window is open, and always put back.
#include <QDialog>
#include <QPointer>

#include <functional>

class QAction;

class TFrmFullScreen : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmFullScreen(QWidget* owner = nullptr);

  QWidget* PnlFullScreen;
  QAction* ActClose;
  // Where the borrowed page came from.
  QPointer<QWidget> FormerParent;
};

// Shows control maximised in a TFrmFullScreen owned by owner and returns it to
// its former parent (same layout slot, geometry and visibility) when the window
// closes or anything on the way fails. showModal replaces the modal loop (tests).
void ShowControlFullScreen(QWidget* control, QWidget* owner = nullptr,
                           const std::function<int(TFrmFullScreen&)>& showModal = {});
