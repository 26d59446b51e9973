// A monkey at the main window: a seeded random sequence of what a user can do there
// (tree clicks, every reachable menu, tool-bar and page action, clicks on the pages'
// controls, digits, commas and letters typed into the focused edit, Return and Escape
// on every message box and modal dialog, pages switched while runs step), with the
// program's own message boxes and dialogs, offscreen. File and print dialogs answer
// Return (a file in a temporary folder) or Escape (cancel); the home, config, state and
// current folders point into that folder, so nothing outside it is written.
//
// It fails on a crash, on a sanitizer report, on a modal dialog that neither Return
// nor Escape closes, and on a hang: a watchdog thread aborts when the event loop has
// served nothing for 5 s.
//
//   ZYMRA_MONKEY_SEED=N        the seed (default: from the clock; printed)
//   ZYMRA_MONKEY_EVENTS=N      events to make (default 400; 0: no limit)
//   ZYMRA_MONKEY_SECONDS=S     stop after S seconds as well (default: none)
//   ZYMRA_MONKEY_HANG_SECONDS  the watchdog's limit (default 5)
//   ZYMRA_MONKEY_TRACE=1       print every event
// A long run: ZYMRA_MONKEY_EVENTS=0 ZYMRA_MONKEY_SECONDS=600 ./test_monkey
#include "QtTestApp.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QSet>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "KelCmpShell.h"
#include "KelFrmFile.h"
#include "LibZymra.h"
#include "UntZymraMain.h"
#include "ZymraQtSync.h"
#include "ZymraUi.h"

namespace {

long long EnvNumber(const char* name, long long fallback) {
  const QByteArray text = qgetenv(name);
  if (text.isEmpty()) return fallback;
  bool ok = false;
  const long long value = text.toLongLong(&ok);
  return ok ? value : fallback;
}

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Aborts the program when the event loop has not been served for `limit` seconds: a
// test that waits forever tells nothing, an abort with the seed tells where to look.
class TWatchdog {
 public:
  TWatchdog(unsigned long long seed, long long limitSeconds) : Seed_(seed), LimitMs_(limitSeconds * 1000) {
    Beat("start");
    Thread_ = std::thread([this] {
      while (!Stop_.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const long long quiet = NowMs() - Last_.load();
        if (quiet > LimitMs_) {
          std::fprintf(stderr,
                       "monkey: HANG: no event served for %lld s after event %lld (%s); replay with "
                       "ZYMRA_MONKEY_SEED=%llu\n",
                       quiet / 1000, Event_.load(), What_.load(), Seed_);
          std::fflush(stderr);
          std::abort();
        }
      }
    });
  }
  ~TWatchdog() {
    Stop_ = true;
    Thread_.join();
  }
  // `what` is a string literal: the watchdog thread reads it after this returns.
  void Beat(const char* what, long long event = -1) {
    Last_ = NowMs();
    if (what) What_ = what;
    if (event >= 0) Event_ = event;
  }
  void Beat() { Last_ = NowMs(); }

 private:
  unsigned long long Seed_;
  long long LimitMs_;
  std::atomic<long long> Last_{0}, Event_{0};
  std::atomic<const char*> What_{""};
  std::atomic<bool> Stop_{false};
  std::thread Thread_;
};

// Takes what the desktop would open (help links, the white paper, the update page).
class TUrlSink : public QObject {
  Q_OBJECT
 public slots:
  void Open(const QUrl&) { ++Opened; }

 public:
  int Opened = 0;
};

class TMonkey {
 public:
  TMonkey(TFrmZymraMain& window, TZymra& project, const QString& folder, unsigned long long seed, TWatchdog& dog)
      : W_(window), P_(project), Folder_(folder), Rng_(seed), Dog_(dog) {}

  long long Limit = 400;
  long long SecondsLimit = 0;
  bool Trace = false;

  // Runs the events, then ends as a user ends: finish the runs, Exit, answer the questions.
  void Run() {
    Clock_.start();
    Schedule();
    Loop_.exec();
    Ending_ = true;
    if (W_.ActStop->isEnabled()) W_.ActStop->trigger();
    for (int attempt = 0; attempt < 50 && W_.isVisible(); ++attempt) {
      Schedule();
      if (W_.ActStop->isEnabled()) W_.ActStop->trigger();
      W_.ActExit->trigger();
      Loop_.exec();  // until no dialog is left
    }
    EXPECT_FALSE(W_.isVisible()) << "the window cannot be closed by Exit and its questions answered";
  }

  long long Events() const { return Events_; }
  long long WhileRunning() const { return WhileRunning_; }
  // The reachable actions the monkey has not triggered (by click or shortcut).
  QStringList NotTriggered() const {
    QStringList names = (Seen_ - Triggered_).values();
    names.sort();
    return names;
  }
  const std::map<std::string, long long>& Counts() const { return Counts_; }
  std::string Trap;  // a modal dialog that Return and Escape did not close

  // File dialogs: Return takes a file in the temporary folder, Escape cancels.
  QString SaveName(const QString& suffix) {
    Count("file dialog");
    if (Chance(30)) return {};
    return Folder_ + QStringLiteral("/save%1.%2").arg(Pick(4)).arg(suffix.isEmpty() ? QStringLiteral("zym") : suffix);
  }
  QString OpenName() {
    Count("file dialog");
    if (Chance(30)) return {};
    const QStringList files = QDir(Folder_).entryList({QStringLiteral("*.zym")}, QDir::Files);
    if (files.isEmpty() || Chance(20)) {
      // A file that is no project at all.
      const QString junk = Folder_ + QStringLiteral("/junk.zym");
      QFile f(junk);
      if (f.open(QIODevice::WriteOnly)) f.write(RandomText(40).toLatin1());
      return junk;
    }
    return Folder_ + QLatin1Char('/') + files[Pick(static_cast<int>(files.size()))];
  }
  bool Printer(QPrinter& printer) {
    Count("print dialog");
    if (Chance(40)) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(Folder_ + QStringLiteral("/print.pdf"));
    return true;
  }
  bool Chance(int percent) { return Pick(100) < percent; }

 private:
  int Pick(int n) { return n <= 1 ? 0 : static_cast<int>(Rng_() % static_cast<unsigned long long>(n)); }
  template <class T>
  T* PickOf(const QList<T*>& list) {
    return list.isEmpty() ? nullptr : list[Pick(static_cast<int>(list.size()))];
  }

  void Count(const char* what, const QString& detail = {}) {
    const std::string key = detail.isEmpty() ? std::string(what) : std::string(what) + " " + detail.toStdString();
    ++Counts_[key];
    if (P_.AnyInStates({rsRunning})) ++WhileRunning_;
    Dog_.Beat(what, Events_);
    if (Trace) {
      std::printf("monkey %lld: %s\n", Events_, key.c_str());
      std::fflush(stdout);
    }
  }

  QString RandomText(int max) {
    static const char kKeys[] = "0123456789,,,..-abcdefghijklmnopqrstuvwxyzXYZ ";
    QString text;
    const int n = 1 + Pick(max);
    for (int i = 0; i < n; ++i) text += QLatin1Char(kKeys[Pick(static_cast<int>(sizeof kKeys) - 1)]);
    return text;
  }

  void Schedule() {
    // A fresh timer each time: a modal loop opened by one event is served by the next.
    const int pause = Chance(5) ? 100 + Pick(600) : Pick(25);
    QTimer::singleShot(pause, [this] { Tick(); });
  }

  bool Finished() const {
    return Ending_ || (Limit > 0 && Events_ >= Limit) || (SecondsLimit > 0 && Clock_.elapsed() > SecondsLimit * 1000);
  }

  void Tick() {
    Dog_.Beat();
    if (QWidget* popup = QApplication::activePopupWidget()) {
      Schedule();
      ++Events_;
      AnswerPopup(popup);
      return;
    }
    if (QWidget* modal = QApplication::activeModalWidget()) {
      Schedule();
      ++Events_;
      AnswerModal(modal);
      return;
    }
    SameModal_ = 0;
    if (Finished()) {
      // Only the monkey's own loop ends here; inside anything else the ticks go on.
      if (Depth_ == 0 && Loop_.isRunning())
        Loop_.quit();
      else
        Schedule();
      return;
    }
    Schedule();
    ++Events_;
    ++Depth_;
    Act();
    --Depth_;
  }

  void AnswerPopup(QWidget* popup) {
    const int what = Pick(10);
    if (what < 3) {
      Count("popup: down");
      QTest::keyClick(popup, Qt::Key_Down);
    } else if (what < 6) {
      Count("popup: return");
      QTest::keyClick(popup, Qt::Key_Return);
    } else {
      Count("popup: escape");
      QTest::keyClick(popup, Qt::Key_Escape);
    }
  }

  void AnswerModal(QWidget* modal) {
    // A dialog that stays after many answers traps the user.
    SameModal_ = modal == LastModal_ ? SameModal_ + 1 : 0;
    LastModal_ = modal;
    if (SameModal_ > 60 && Trap.empty()) {
      Trap = std::string(modal->metaObject()->className()) + " \"" + modal->windowTitle().toStdString() + "\"";
      ADD_FAILURE() << "a modal dialog that neither Return nor Escape closes: " << Trap;
    }
    if (SameModal_ > 60) {
      static_cast<void>(modal->close());
      return;
    }
    if (Trace) {
      const auto* box = qobject_cast<QMessageBox*>(modal);
      std::printf("monkey: modal %s \"%s\"%s\n", modal->metaObject()->className(), qPrintable(modal->windowTitle()),
                  box ? qPrintable(" says \"" + box->text().left(80) + "\"") : "");
    }
    QWidget* focus = QApplication::focusWidget();
    if (!focus || !modal->isAncestorOf(focus)) focus = modal;
    const int what = Finished() ? 5 + Pick(5) : Pick(10);
    if (what < 2) {
      Count("modal: type");
      QTest::keyClicks(focus, RandomText(6));
    } else if (what < 3) {
      Count("modal: tab");
      QTest::keyClick(focus, Qt::Key_Tab);
    } else if (auto* box = qobject_cast<QMessageBox*>(modal);
               Ending_ && box && box->button(QMessageBox::No) && Chance(30)) {
      // Values on a page that refuses them keep a save from happening: a user who wants to
      // go answers the question to save with No.
      Count("modal: no");
      box->button(QMessageBox::No)->click();
    } else if (what < 6 || Ending_) {
      // Towards the end mostly Return: a question whose Escape cancels the Exit comes back.
      const bool escape = Ending_ && Chance(50);
      Count(escape ? "modal: escape" : "modal: return");
      QTest::keyClick(focus, escape ? Qt::Key_Escape : Qt::Key_Return);
    } else {
      Count("modal: escape");
      QTest::keyClick(focus, Qt::Key_Escape);
    }
  }

  // The actions a user can reach: the menu bar's (with their sub-menus), the tree's
  // pop-up menu, every tool bar and tool button on screen.
  QList<QAction*> ReachableActions() {
    QList<QAction*> out;
    std::vector<QMenu*> menus;
    for (QAction* a : W_.menuBar()->actions())
      if (a->menu()) menus.push_back(a->menu());
    if (W_.PopRuns) menus.push_back(W_.PopRuns);
    for (std::size_t i = 0; i < menus.size(); ++i)
      for (QAction* a : menus[i]->actions()) {
        if (a->menu())
          menus.push_back(a->menu());
        else
          out.push_back(a);
      }
    for (QToolBar* bar : W_.findChildren<QToolBar*>())
      if (bar->isVisible()) out += bar->actions();
    for (QAbstractButton* b : W_.findChildren<QAbstractButton*>())
      if (auto* tool = qobject_cast<QToolButton*>(b); tool && tool->isVisible() && tool->defaultAction())
        out.push_back(tool->defaultAction());
    QList<QAction*> usable;
    for (QAction* a : out)
      if (a && !a->isSeparator() && a->isVisible() && a != W_.ActExit && a != W_.MnuExit) usable.push_back(a);
    return usable;
  }

  // Visible, enabled controls of the window (or of another top-level window).
  QList<QWidget*> Controls(QWidget* root) {
    QList<QWidget*> out;
    for (QWidget* w : root->findChildren<QWidget*>()) {
      if (!w->isVisible() || !w->isEnabled() || w->width() < 2 || w->height() < 2) continue;
      if (W_.TvwNavigation->isAncestorOf(w) || w == W_.TvwNavigation) continue;
      if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
          qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w) ||
          qobject_cast<QSlider*>(w) || w->focusPolicy() & Qt::ClickFocus)
        out.push_back(w);
    }
    return out;
  }

  void Click(QWidget* w) {
    const QPoint at(1 + Pick(w->width() - 2), 1 + Pick(w->height() - 2));
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at);
  }

  void Act() {
    const int what = Pick(100);
    if (what < 20) {
      ClickTree();
    } else if (what < 40) {
      TriggerAction();
    } else if (what < 55) {
      if (QWidget* w = PickOf(Controls(&W_))) {
        Count("click control");
        Click(w);
      }
    } else if (what < 75) {
      TypeKeys();
    } else if (what < 82) {
      Count(Chance(50) ? "return" : "escape");
      QWidget* focus = QApplication::focusWidget();
      QTest::keyClick(focus ? focus : &W_, Chance(50) ? Qt::Key_Return : Qt::Key_Escape);
    } else if (what < 90) {
      OtherWindow();
    } else if (what < 93) {
      Count("resize");
      W_.resize(640 + Pick(800), 480 + Pick(500));
    } else {
      Count("wait");
      QEventLoop wait;
      QTimer::singleShot(50 + Pick(300), &wait, &QEventLoop::quit);
      wait.exec();
    }
  }

  void ClickTree() {
    QTreeWidget* tree = W_.TvwNavigation;
    if (Chance(20)) {
      Count("tree: keys");
      tree->setFocus();
      static const Qt::Key kKeys[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right, Qt::Key_Return};
      QTest::keyClick(tree, kKeys[Pick(5)]);
      return;
    }
    QList<QTreeWidgetItem*> items;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
      std::vector<QTreeWidgetItem*> stack{tree->topLevelItem(i)};
      while (!stack.empty()) {
        QTreeWidgetItem* item = stack.back();
        stack.pop_back();
        items.push_back(item);
        for (int c = 0; c < item->childCount(); ++c) stack.push_back(item->child(c));
      }
    }
    QTreeWidgetItem* item = PickOf(items);
    if (!item) return;
    Count("tree: click");
    tree->scrollToItem(item);
    const QRect rect = tree->visualItemRect(item);
    if (rect.isEmpty()) return;
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
  }

  QString Name(QAction* action) const {
    const QString text = action->text().remove(QLatin1Char('&'));
    if (text.contains(Folder_)) return QStringLiteral("(a recent file)");
    return text.isEmpty() ? action->objectName() : text;
  }

  void TriggerAction() {
    // Greyed entries do nothing; Start comes more often, so that runs step while the
    // rest goes on.
    QList<QAction*> actions;
    for (QAction* a : ReachableActions()) {
      Seen_.insert(Name(a));
      if (a->isEnabled()) actions.push_back(a);
    }
    QAction* action = W_.ActStart->isEnabled() && Chance(15) ? W_.ActStart : PickOf(actions);
    if (!action) return;
    if (!action->shortcut().isEmpty() && Chance(40)) {
      Count("action: shortcut", action->shortcut().toString());
      Triggered_.insert(Name(action));
      QWidget* focus = QApplication::focusWidget();
      QTest::keySequence(focus ? focus : &W_, action->shortcut());
      return;
    }
    Count("action", Name(action));
    Triggered_.insert(Name(action));
    action->trigger();
  }

  void TypeKeys() {
    QWidget* focus = QApplication::focusWidget();
    if (!focus || !focus->isVisible()) {
      // Focus an edit first, as a user clicks into a field.
      QList<QWidget*> edits;
      for (QWidget* w : Controls(&W_))
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QPlainTextEdit*>(w))
          edits.push_back(w);
      focus = PickOf(edits);
      if (!focus) return;
      Click(focus);
    }
    if (Chance(15)) {
      Count("type: select all");
      QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
    }
    if (Chance(15)) {
      Count("type: tab");
      QTest::keyClick(focus, Chance(70) ? Qt::Key_Tab : Qt::Key_Backtab);
      return;
    }
    if (Chance(35)) {
      // A number as a user enters one: the whole field replaced, decimal comma.
      Count("type: number");
      QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
      QString number = QString::number(Pick(Chance(50) ? 10 : 300));
      if (Chance(60)) number += QLatin1Char(',') + QString::number(Pick(1000));
      QTest::keyClicks(focus, number);
      if (Chance(50)) QTest::keyClick(focus, Chance(50) ? Qt::Key_Tab : Qt::Key_Return);
      return;
    }
    Count("type");
    QTest::keyClicks(focus, RandomText(6));
  }

  // The sweep window, the help window: click in them, type there, or close them.
  void OtherWindow() {
    QList<QWidget*> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w != &W_ && w->isVisible() && w->isWindow() && !qobject_cast<QMenu*>(w)) windows.push_back(w);
    QWidget* window = PickOf(windows);
    if (!window) return;
    const int what = Pick(10);
    if (what < 3) {
      Count("other window: close");
      if (Chance(50))
        QTest::keyClick(window, Qt::Key_Escape);
      else
        window->close();
    } else if (what < 8) {
      if (QWidget* w = PickOf(Controls(window))) {
        Count("other window: click");
        Click(w);
      }
    } else {
      Count("other window: type");
      QWidget* focus = QApplication::focusWidget();
      QTest::keyClicks(focus && window->isAncestorOf(focus) ? focus : window, RandomText(6));
    }
  }

  TFrmZymraMain& W_;
  TZymra& P_;
  QString Folder_;
  std::mt19937_64 Rng_;
  TWatchdog& Dog_;
  QEventLoop Loop_;
  QElapsedTimer Clock_;
  long long Events_ = 0, WhileRunning_ = 0;
  int Depth_ = 0;
  bool Ending_ = false;
  QPointer<QWidget> LastModal_;
  int SameModal_ = 0;
  std::map<std::string, long long> Counts_;
  QSet<QString> Seen_, Triggered_;
};

}  // namespace

TEST(Monkey, SurvivesARandomUserAtTheMainWindow) {
  const unsigned long long seed = static_cast<unsigned long long>(
      EnvNumber("ZYMRA_MONKEY_SEED", static_cast<long long>(std::random_device{}() ^ (NowMs() & 0xFFFFFFF))));
  const long long events = EnvNumber("ZYMRA_MONKEY_EVENTS", 400);
  const long long seconds = EnvNumber("ZYMRA_MONKEY_SECONDS", 0);
  std::printf("monkey: seed %llu (ZYMRA_MONKEY_SEED=%llu), events %lld, seconds %lld\n", seed, seed, events,
              seconds);
  std::fflush(stdout);

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString folder = dir.path();
  // Whatever the program writes by itself lands in the temporary folder.
  const QString previousFolder = QDir::currentPath();
  QDir::setCurrent(folder);
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
    qputenv(name, folder.toLocal8Bit());
  QApplication::setQuitOnLastWindowClosed(false);
  // The offscreen platform says per window what it cannot do; that is no finding.
  static QtMessageHandler previousHandler = nullptr;
  previousHandler = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QLatin1String("This plugin does not support"))) return;
    previousHandler(type, context, text);
  });

  TWatchdog dog(seed, EnvNumber("ZYMRA_MONKEY_HANG_SECONDS", 5));
  TUrlSink sink;
  for (const char* scheme : {"http", "https", "file", "mailto"})
    QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &sink, "Open");
  int shellOpened = 0;
  const TShellOpenHandler previousShell = SetShellOpenHandler([&](const QString&) { return ++shellOpened % 2 == 0; });

  {
    TQtSynchronizer sync;
    sync.SetBeepEnabled(false);
    TZymra project(&sync);
    TFrmZymraMain window(project);
    TMonkey monkey(window, project, folder, seed, dog);
    monkey.Limit = events;
    monkey.SecondsLimit = seconds;
    monkey.Trace = EnvNumber("ZYMRA_MONKEY_TRACE", 0) != 0;
    ZymraUi().OpenFileName = [&](QWidget*, const QString&, const QString&, const QString&) {
      return monkey.OpenName();
    };
    ZymraUi().SaveFileName = [&](QWidget*, const QString&, const QString&, const QString&, const QString& suffix) {
      return monkey.SaveName(suffix);
    };
    ZymraUi().SetupPrinter = [&](QWidget*, QPrinter& printer) { return monkey.Printer(printer); };

    window.CommandLine.clear();
    window.CreatePages();
    window.show();
    QCoreApplication::processEvents();
    // The first run steps quickly, so runs end, pause and reset while the monkey is at it.
    if (project.RunCount() > 0) project.Run(0)->Params.Speed = 10;

    QElapsedTimer clock;
    clock.start();
    monkey.Run();
    std::printf("monkey: survived %lld events in %.1f s (seed %llu), %lld of them while runs stepped; %d run(s) "
                "at the end\n",
                monkey.Events(), clock.elapsed() / 1000.0, seed, monkey.WhileRunning(), project.RunCount());
    for (const auto& [what, count] : monkey.Counts()) std::printf("  %-22s %lld\n", what.c_str(), count);
    std::printf("  not triggered: %s\n", monkey.NotTriggered().join(QStringLiteral(", ")).toStdString().c_str());
    std::fflush(stdout);
    EXPECT_EQ(monkey.Trap, "");
    EXPECT_GE(monkey.Events(), events > 0 ? events : 1);

    project.ClearRuns();  // workers stop while the synchroniser exists
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w != &window && w->isVisible()) w->close();
    QCoreApplication::processEvents();
  }
  SetShellOpenHandler(previousShell);
  for (const char* scheme : {"http", "https", "file", "mailto"})
    QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
  ResetZymraUi();
  QDir::setCurrent(previousFolder);
  qInstallMessageHandler(previousHandler);
}

#include "test_monkey.moc"
