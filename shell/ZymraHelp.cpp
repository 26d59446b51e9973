#include "ZymraHelp.h"

#include "ZymraPictures.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeySequence>
#include <QPointer>
#include <QSplitter>
#include <QStandardPaths>
#include <QStyle>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolBar>
#include <QTreeWidget>

// Resources of a static library are only linked in when something refers to them.
static void InitHelpResources() { Q_INIT_RESOURCE(zymra_help); }

namespace {

QUrl PageUrl(const QString& page, const QString& anchor = {}) {
  QUrl url(QStringLiteral("qrc") + HelpResourceFolder() + page);
  if (!anchor.isEmpty()) url.setFragment(anchor);
  return url;
}

QString ReadPage(const QString& page) {
  QFile file(HelpResourceFolder() + page);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

struct THeading {
  int Level;
  QString Text;
  QString Anchor;
};

// The h1/h2 headings of a page and every anchor name it defines.
void ScanPage(const QString& html, QList<THeading>& headings, QStringList& anchors) {
  QTextDocument doc;
  doc.setHtml(html);
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    QString first;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QStringList names = it.fragment().charFormat().anchorNames();
      if (first.isEmpty() && !names.isEmpty()) first = names.first();
      anchors += names;
    }
    const int level = block.blockFormat().headingLevel();
    if (level == 1 || level == 2) headings.append({level, block.text().trimmed(), first});
  }
}

}  // namespace

QString HelpResourceFolder() { return QStringLiteral(":/zymra/help/"); }

QStringList HelpPages() {
  return {QStringLiteral("index.html"),  QStringLiteral("firstrun.html"),
          QStringLiteral("mainwindow.html"), QStringLiteral("startpage.html"),
          QStringLiteral("process.html"), QStringLiteral("charts.html"),
          QStringLiteral("files.html"),   QStringLiteral("model.html"),
          QStringLiteral("fitting.html"), QStringLiteral("cli.html")};
}

TFrmHelp::TFrmHelp(QWidget* parent) : QMainWindow(parent) {
  InitHelpResources();
  setObjectName(QStringLiteral("FrmHelp"));
  setWindowTitle(QStringLiteral("Zymra Simulation Help"));
  setWindowIcon(ZymraProgramIcon());
  resize(960, 680);

  auto* splitter = new QSplitter(this);
  TvwContents = new QTreeWidget(splitter);
  TvwContents->setObjectName(QStringLiteral("TvwContents"));
  TvwContents->setHeaderHidden(true);
  TvwContents->setColumnCount(1);
  Browser = new QTextBrowser(splitter);
  Browser->setObjectName(QStringLiteral("Browser"));
  Browser->setOpenExternalLinks(true);
  Browser->setSearchPaths({HelpResourceFolder()});
  splitter->addWidget(TvwContents);
  splitter->addWidget(Browser);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({250, 710});
  setCentralWidget(splitter);

  auto* bar = addToolBar(QStringLiteral("Help"));
  bar->setObjectName(QStringLiteral("ToolBar"));
  bar->setMovable(false);
  bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  ActBack = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("&Back"));
  ActBack->setShortcut(QKeySequence::Back);
  ActBack->setEnabled(false);
  ActForward = bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("&Forward"));
  ActForward->setShortcut(QKeySequence::Forward);
  ActForward->setEnabled(false);
  ActHome = bar->addAction(ZymraToolIcon(tiHelp), QStringLiteral("&Contents"));
  ActHome->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
  auto* close = new QAction(QStringLiteral("Close"), this);
  close->setShortcut(QKeySequence(Qt::Key_Escape));
  addAction(close);

  connect(ActBack, &QAction::triggered, Browser, &QTextBrowser::backward);
  connect(ActForward, &QAction::triggered, Browser, &QTextBrowser::forward);
  connect(ActHome, &QAction::triggered, this, [this] { ShowTopic({}); });
  connect(close, &QAction::triggered, this, &QWidget::close);
  connect(Browser, &QTextBrowser::backwardAvailable, ActBack, &QAction::setEnabled);
  connect(Browser, &QTextBrowser::forwardAvailable, ActForward, &QAction::setEnabled);
  connect(Browser, &QTextBrowser::sourceChanged, this, &TFrmHelp::SelectContentsOf);
  connect(TvwContents, &QTreeWidget::itemClicked, this,
          [this](QTreeWidgetItem* item) { TvwContentsClick(item); });
  connect(TvwContents, &QTreeWidget::itemActivated, this,
          [this](QTreeWidgetItem* item) { TvwContentsClick(item); });

  BuildContents();
  ShowTopic({});
}

void TFrmHelp::BuildContents() {
  TvwContents->clear();
  FAnchorPage.clear();
  for (const QString& page : HelpPages()) {
    QList<THeading> headings;
    QStringList anchors;
    ScanPage(ReadPage(page), headings, anchors);
    for (const QString& anchor : anchors)
      if (!FAnchorPage.contains(anchor)) FAnchorPage.insert(anchor, page);
    QTreeWidgetItem* top = nullptr;
    for (const THeading& h : headings) {
      if (h.Level == 1 && !top) {
        top = new QTreeWidgetItem(TvwContents, {h.Text});
        top->setData(0, Qt::UserRole, page);
      } else if (h.Level == 2 && top) {
        auto* item = new QTreeWidgetItem(top, {h.Text});
        item->setData(0, Qt::UserRole, h.Anchor.isEmpty() ? page : page + u'#' + h.Anchor);
      }
    }
  }
  // The guide's pages stay collapsed but for the start page, so the tree reads
  // as a table of contents.
  if (TvwContents->topLevelItemCount() > 0) TvwContents->topLevelItem(0)->setExpanded(true);
}

bool TFrmHelp::ShowTopic(const QString& topic) {
  QString page = topic;
  QString anchor;
  if (const qsizetype hash = topic.indexOf(u'#'); hash >= 0) {
    page = topic.left(hash);
    anchor = topic.mid(hash + 1);
  }
  if (page.isEmpty() && !anchor.isEmpty()) page = FAnchorPage.value(anchor);
  if (!page.isEmpty() && !page.endsWith(QStringLiteral(".html"))) {
    // A bare name: an anchor somewhere, or a page without its extension.
    anchor = page;
    page = FAnchorPage.value(anchor);
    if (page.isEmpty() && HelpPages().contains(anchor + QStringLiteral(".html"))) {
      page = anchor + QStringLiteral(".html");
      anchor.clear();
    }
  }
  bool known = true;
  if (topic.isEmpty()) {
    page = HelpPages().constFirst();
  } else if (page.isEmpty() || !HelpPages().contains(page) ||
             (!anchor.isEmpty() && FAnchorPage.value(anchor) != page)) {
    known = false;
    page = HelpPages().constFirst();
    anchor.clear();
  }
  Browser->setSource(PageUrl(page, anchor));
  if (!anchor.isEmpty()) Browser->scrollToAnchor(anchor);
  return known;
}

QString TFrmHelp::CurrentTopic() const {
  const QUrl url = Browser->source();
  const QString page = QFileInfo(url.path()).fileName();
  return url.hasFragment() ? page + u'#' + url.fragment() : page;
}

void TFrmHelp::TvwContentsClick(QTreeWidgetItem* item) {
  if (!item) return;
  ShowTopic(item->data(0, Qt::UserRole).toString());
}

void TFrmHelp::SelectContentsOf(const QUrl& url) {
  const QString page = QFileInfo(url.path()).fileName();
  const QString topic = url.hasFragment() ? page + u'#' + url.fragment() : page;
  QTreeWidgetItem* best = nullptr;
  for (int i = 0; i < TvwContents->topLevelItemCount() && !best; ++i) {
    QTreeWidgetItem* top = TvwContents->topLevelItem(i);
    if (top->data(0, Qt::UserRole).toString() != page) continue;
    best = top;
    for (int k = 0; k < top->childCount(); ++k)
      if (top->child(k)->data(0, Qt::UserRole).toString() == topic) best = top->child(k);
  }
  if (!best) return;
  const QSignalBlocker block(TvwContents);
  TvwContents->setCurrentItem(best);
  if (best->parent()) best->parent()->setExpanded(true);
}

TFrmHelp* ShowHelp(QWidget* parent, const QString& anchor) {
  static QPointer<TFrmHelp> window;
  if (!window) {
    window = new TFrmHelp(parent);
    window->setWindowFlag(Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
  }
  window->ShowTopic(anchor);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

QString WhitePaperPath() {
  const QString name = QString::fromLatin1(WhitePaperFileName);
  const QString programDir = QCoreApplication::applicationDirPath();
  QStringList candidates{programDir + u'/' + name,
                         QDir(programDir + QStringLiteral("/../share/zymra")).absoluteFilePath(name)};
  for (const QString& dataDir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
    candidates += dataDir + QStringLiteral("/zymra/") + name;
  for (const QString& path : candidates)
    if (QFileInfo(path).isFile()) return QDir::cleanPath(path);
  return {};
}
