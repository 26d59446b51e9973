#include "KelCmpShell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMouseEvent>
#include <QUrl>

namespace {

bool DesktopOpen(const QString& target) {
  const QFileInfo file(target);
  if (file.exists()) return QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath()));
  return QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

TShellOpenHandler& Handler() {
  static TShellOpenHandler handler;
  return handler;
}

}  // namespace

bool ShellOpen(const QString& target) {
  if (Handler()) return Handler()(target);
  return DesktopOpen(target);
}

TShellOpenHandler SetShellOpenHandler(TShellOpenHandler handler) {
  TShellOpenHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

TPaxHyperlinkLabel::TPaxHyperlinkLabel(QWidget* parent) : QLabel(parent) {
  QFont linkFont;  // only the underline is own; face and size come from the form
  linkFont.setUnderline(true);
  setFont(linkFont);
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, Qt::blue);
  setPalette(colours);
  setCursor(Qt::PointingHandCursor);
}

void TPaxHyperlinkLabel::SetURL(const QString& value) {
  if (value == FURL) return;
  if (toolTip().isEmpty() || toolTip() == FURL) setToolTip(value);
  FURL = value;
}

void TPaxHyperlinkLabel::Click() {
  if (OnClick) {
    OnClick();
    return;
  }
  if (!FURL.isEmpty()) ShellOpen(FURL);
}

void TPaxHyperlinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    event->accept();
    Click();
    return;
  }
  QLabel::mouseReleaseEvent(event);
}
