#pragma once
// Small shell-side components of the maker's set: the link label and the
// platform's "open" verb for files and web addresses.
#include <QLabel>
#include <QString>

#include <functional>

// Opens a file or web address with the program the desktop associates with it.
// Returns false when nothing could be started.
bool ShellOpen(const QString& target);
// Replaces what ShellOpen does (tests, desktops without a browser); an empty
// handler restores the desktop's. Returns the handler that was in place.
using TShellOpenHandler = std::function<bool(const QString& target)>;
TShellOpenHandler SetShellOpenHandler(TShellOpenHandler handler);

// A label that opens its URL when clicked: blue, underlined, hand cursor.
class TPaxHyperlinkLabel : public QLabel {
  Q_OBJECT
 public:
  explicit TPaxHyperlinkLabel(QWidget* parent = nullptr);

  const QString& URL() const { return FURL; }
  // The hint follows the URL for as long as nobody gave it a text of its own.
  void SetURL(const QString& value);

  // Runs OnClick when assigned, otherwise opens URL (when not empty).
  void Click();
  std::function<void()> OnClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QString FURL;
};
