// Zymra, the desktop program: the settings store, the project, the splash, the
// main window with its three page forms, and the message loop. An optional
// argument names a project file to open once the window is shown.
//
// ZYMRA_NO_SPLASH=1 (or --no-splash) skips the splash's three seconds, for tests
// and scripted runs.
#include <QApplication>
#include <QSocketNotifier>
#include <QStringList>

#include <csignal>
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

#if __has_include("KelStreamWrapper.h")
#include "KelStreamWrapper.h"
#endif

namespace {

// SIGTERM and SIGINT end the message loop through this pipe, so that the program
// leaves the way it leaves after its window closed: workers stopped, settings kept.
int SignalPipe[2] = {-1, -1};

void OnQuitSignal(int) {
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

bool SplashWanted(const QStringList& args) {
  if (qEnvironmentVariableIntValue("ZYMRA_NO_SPLASH") != 0) return false;
  return !args.contains(QStringLiteral("--no-splash"));
}

}  // namespace

int main(int argc, char** argv) {
#ifdef ZYMRA_HAS_FILE_SIZE_SIGNAL
  IgnoreFileSizeSignal();
#endif
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Zymra"));
  QStringList args = QCoreApplication::arguments().mid(1);
  const bool splash = SplashWanted(args);
  args.removeAll(QStringLiteral("--no-splash"));

  OpenUserSettings();
  TQtSynchronizer sync;
  auto project = std::make_unique<TZymra>(&sync);
  if (splash)
    ShowSplash(QStringLiteral("Zymra Simulation"), QString::fromStdString(TZymra::VersionText()), 3000);

  auto window = std::make_unique<TFrmZymraMain>(*project);
  window->CommandLine = args;
  // The start, process and chart page forms, in this order; they must exist
  // before the first run is added (when the window shows).
  window->CreatePages();

  std::unique_ptr<QSocketNotifier> quitNotifier;
  if (InstallQuitSignals()) {
    quitNotifier = std::make_unique<QSocketNotifier>(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(quitNotifier.get(), &QSocketNotifier::activated, &app, [] {
      char byte;
      [[maybe_unused]] const ssize_t got = ::read(SignalPipe[0], &byte, 1);
      QCoreApplication::quit();
    });
  }

  window->show();
  const int result = app.exec();

  // The same way out after a closed window and after a signal: the placement is
  // kept, the workers stop while the synchroniser they post to still exists, and
  // the windows go before the project they show.
  quitNotifier.reset();
  if (window->isVisible()) window->hide();
  project->ClearRuns();
  window.reset();
  project.reset();
  SetUserSettings(nullptr);
  return result;
}
