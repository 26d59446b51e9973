#pragma once
// Splash window shown while the program starts.
#include <QWidget>

#include <functional>

class QLabel;
class TPaxFormAnimation;
class TPaxGradient;

class TFrmSpalsh : public QWidget {
  Q_OBJECT
 public:
  explicit TFrmSpalsh(QWidget* parent = nullptr);

  QLabel* Image1;
  TPaxGradient* PaxGradient;
  QLabel* LblAppTitle;
  QLabel* Label5;
  QLabel* LblVersion;
  QLabel* Label1;
  QLabel* Label4;
  TPaxFormAnimation* PaxAnim;
};

// Waits the given milliseconds; the default keeps the event loop turning so the
// splash repaints when uncovered.
using TSplashWait = std::function<void(int ms)>;
void WaitHandlingEvents(int ms);

// Shows the splash centred and on top for durationMs, then lets it vanish with the
// television effect and frees it, also when the wait fails.
void ShowSplash(const QString& title, const QString& version, int durationMs,
                const TSplashWait& wait = WaitHandlingEvents);
