#pragma once
// The program's help: a window inside the program that shows the user guide
// (HTML pages compiled into the program), with a contents tree, back, forward
// and home. Also finds the white paper.
#include <QHash>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QUrl>

class QAction;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

class TFrmHelp : public QMainWindow {
  Q_OBJECT
 public:
  explicit TFrmHelp(QWidget* parent = nullptr);

  // Shows a topic: empty for the start page, "page.html", "page.html#anchor",
  // or a bare anchor name ("refill" or "#refill"), looked up in every page.
  // Returns false (and shows the start page) when the topic is unknown.
  bool ShowTopic(const QString& topic);
  // The page file and anchor shown ("process.html#refill").
  QString CurrentTopic() const;

  QTextBrowser* Browser;
  QTreeWidget* TvwContents;
  QAction* ActBack;
  QAction* ActForward;
  QAction* ActHome;

 private:
  void BuildContents();
  void SelectContentsOf(const QUrl& url);
  void TvwContentsClick(QTreeWidgetItem* item);

  QHash<QString, QString> FAnchorPage;  // anchor name -> page file
};

// Opens the help window (one per program, created on first use, raised on
// later calls) on `anchor` (see TFrmHelp::ShowTopic). The window is a
// top-level window owned by `parent`, or by no one when parent is null.
TFrmHelp* ShowHelp(QWidget* parent, const QString& anchor = {});

// The help pages in the program's resources, in contents order: file names
// ("index.html", ...) and the resource folder they live in.
QStringList HelpPages();
QString HelpResourceFolder();

// Full path of the white paper "Zymra Simulation.pdf": beside the program
// first, then the installed data folder (<prefix>/share/zymra beside the
// program's bin folder, then the system's data folders). Empty when none exists.
QString WhitePaperPath();
inline constexpr const char* WhitePaperFileName = "Zymra Simulation.pdf";
