// Zymra, the desktop program: the settings store, the project, the splash, the
// main window with its three page forms, and the message loop. An optional
// argument names a project file to open once the window is shown.
//
// ZYMRA_NO_SPLASH=1 (or --no-splash) skips the splash's three seconds, for tests
// and scripted runs. ZYMRA_TIMING=1 writes to standard error when the main window
// was first painted and when the command-line file was open, in milliseconds since
// the program started (the splash's time left out). ZYMRA_AUTOSAVE_SECONDS sets
// the time between two autosaves into the recovery folder (default 120).
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QSocketNotifier>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "KelFrmFile.h"
#include "KelSettings.h"
#include "LibSplash.h"
#include "LibZymra.h"
#include "UntZymraMain.h"
#include "ZymraQtSync.h"
#include "ZymraRecovery.h"

#include "KelStreamWrapper.h"

namespace {

// SIGTERM and SIGINT (a logout, a shutdown, Ctrl+C) reach the UI thread through
// this pipe; it stops the runs, writes an unsaved project to the recovery folder
// and leaves without a question. A UI thread that cannot get there in time is cut
// short by the alarm: the session manager waits only a few seconds before it kills.
int SignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t QuitRequested = 0;
constexpr unsigned kQuitDeadlineSeconds = 4;

void OnQuitSignal(int) {
  if (!QuitRequested) {
    QuitRequested = 1;
    ::alarm(kQuitDeadlineSeconds);
  }
  const char byte = 1;
  // Nothing else is safe in a signal handler; a full pipe already holds the request.
  [[maybe_unused]] const ssize_t written = ::write(SignalPipe[1], &byte, 1);
}

bool InstallQuitSignals() {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, SignalPipe) != 0) return false;
  for (int fd : SignalPipe) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  ::fcntl(SignalPipe[1], F_SETFL, O_NONBLOCK);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

// Notes the first paint of the main window for the timing log.
class TPaintClock : public QObject {
 public:
  TPaintClock(QElapsedTimer& clock, qint64& splashMs) : Clock_(clock), SplashMs_(splashMs) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !Painted_) {
      Painted_ = true;
      std::fprintf(stderr, "zymra timing: main window painted %lld ms\n",
                   static_cast<long long>(Clock_.elapsed() - SplashMs_));
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QElapsedTimer& Clock_;
  qint64& SplashMs_;
  bool Painted_ = false;
};

bool SplashWanted(const QStringList& args) {
  if (qEnvironmentVariableIntValue("ZYMRA_NO_SPLASH") != 0) return false;
  return !args.contains(QStringLiteral("--no-splash"));
}

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer clock;
  clock.start();
  qint64 splashMs = 0;
  // A save that meets the file-size limit fails with its reason instead of killing the program.
  IgnoreFileSizeSignal();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Zymra"));
  QStringList args = QCoreApplication::arguments().mid(1);
  const bool splash = SplashWanted(args);
  args.removeAll(QStringLiteral("--no-splash"));

  OpenUserSettings();
  TQtSynchronizer sync;
  auto project = std::make_unique<TZymra>(&sync);
  if (splash) {
    const qint64 before = clock.elapsed();
    ShowSplash(QStringLiteral("Zymra Simulation"), QString::fromStdString(TZymra::VersionText()), 3000);
    splashMs = clock.elapsed() - before;
  }

  auto window = std::make_unique<TFrmZymraMain>(*project);
  window->CommandLine = args;
  // The start, process and chart page forms, in this order; they must exist
  // before the first run is added (when the window shows).
  window->CreatePages();

  auto recovery = std::make_unique<TZymraRecovery>(*window);
  std::unique_ptr<QSocketNotifier> quitNotifier;
  if (InstallQuitSignals()) {
    quitNotifier = std::make_unique<QSocketNotifier>(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(quitNotifier.get(), &QSocketNotifier::activated, &app, [&recovery] {
      char byte;
      [[maybe_unused]] const ssize_t got = ::read(SignalPipe[0], &byte, 1);
      recovery->EndNow();
    });
  }

  const bool timing = qEnvironmentVariableIntValue("ZYMRA_TIMING") != 0;
  TPaintClock paintClock(clock, splashMs);
  if (timing) window->installEventFilter(&paintClock);
  window->show();
  recovery->Start();
  // After the window's own command-line step, which the show has posted.
  QTimer::singleShot(0, recovery.get(), &TZymraRecovery::OfferRecovered);
  if (timing) {
    // Posted after the window's own command-line step, so it runs once the file is open.
    const qint64 shown = clock.elapsed();
    QTimer::singleShot(0, window.get(), [&clock, shown, &splashMs, &project] {
      std::fprintf(stderr, "zymra timing: command line done %lld ms (%lld ms after show, %d runs)\n",
                   static_cast<long long>(clock.elapsed() - splashMs), static_cast<long long>(clock.elapsed() - shown),
                   project->RunCount());
    });
  }
  const int result = app.exec();

  // The same way out after a closed window and after a signal: the placement is
  // kept, the workers stop while the synchroniser they post to still exists, and
  // the windows go before the project they show.
  if (timing) window->removeEventFilter(&paintClock);
  quitNotifier.reset();
  // A closed window is a clean end; after a signal the recovery file stays.
  if (!recovery->Ended()) recovery->CleanEnd();
  recovery.reset();
  if (window->isVisible()) window->hide();
  project->ClearRuns();
  window.reset();
  project.reset();
  SetUserSettings(nullptr);
  return result;
}
