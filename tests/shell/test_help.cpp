// The help window shows the guide from the program's resources, follows topics
// and links, and every link of the guide leads somewhere. The white paper is found
// where it is installed (its contents: test_white_paper).
#include "ZymraHelp.h"

#include "QtTestApp.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTreeWidget>

namespace {

QString PageText(const QString& page) {
  QFile file(HelpResourceFolder() + page);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The guide tells what the program does today: no temporary file in the current folder,
// the settings in the configuration folder, the sweep window and every command-line
// subcommand explained, no text left garbled.
TEST(HelpPages, DescribeTheProgramAsItIs) {
  QString all;
  for (const char* page : {"index.html", "firstrun.html", "mainwindow.html", "startpage.html", "process.html",
                           "charts.html", "files.html", "model.html", "cli.html"}) {
    const QString text = PageText(QString::fromLatin1(page));
    ASSERT_FALSE(text.isEmpty()) << page;
    // An entity that lost its "&" or its ";".
    EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[a-z](deg|micro|times|minus);|&[a-z]+[^a-z;]"))))
        << page;
    all += text;
  }
  EXPECT_FALSE(all.contains(QStringLiteral("clip.tmp")));
  EXPECT_FALSE(all.contains(QStringLiteral("beside the program")));
  EXPECT_TRUE(all.contains(QStringLiteral("~/.config/zymra/zymra-USER@COMPUTER.ini")));
  const QString main = PageText(QStringLiteral("mainwindow.html"));
  EXPECT_TRUE(main.contains(QStringLiteral("Runs &gt; Parameter Sweep...")));
  EXPECT_TRUE(main.contains(QStringLiteral("id=\"sweep\"")));
  const QString cli = PageText(QStringLiteral("cli.html"));
  for (const char* command : {"simulate", "run", "info", "export", "sweep", "sweep-merge", "chart"})
    EXPECT_TRUE(cli.contains(QStringLiteral("zymra-cli ") + QString::fromLatin1(command) + QLatin1Char(' ')))
        << command;
  EXPECT_TRUE(PageText(QStringLiteral("charts.html")).contains(QStringLiteral("Compare Runs")));
}

}  // namespace

TEST(HelpWindow, OpensOnTheGuidesFirstHeadingWithContents) {
  TFrmHelp help;
  help.show();
  EXPECT_EQ(help.CurrentTopic(), QStringLiteral("index.html"));
  EXPECT_TRUE(help.Browser->toPlainText().startsWith(QStringLiteral("Zymra Simulation Help")));
  ASSERT_EQ(help.TvwContents->topLevelItemCount(), HelpPages().size());
  EXPECT_EQ(help.TvwContents->topLevelItem(0)->text(0), QStringLiteral("Zymra Simulation Help"));
  EXPECT_EQ(help.TvwContents->topLevelItem(1)->text(0), QStringLiteral("A First Fed Batch, Step by Step"));
  // Sections appear under their page.
  QTreeWidgetItem* process = help.TvwContents->topLevelItem(4);
  ASSERT_GT(process->childCount(), 3);
  EXPECT_EQ(process->child(0)->text(0), QStringLiteral("Start, pause, stop, reset"));
  help.resize(900, 600);
  help.grab().save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/help.png"));
}

TEST(HelpWindow, FollowsTopicsAnchorsAndHistory) {
  TFrmHelp help;
  help.resize(700, 400);
  help.show();
  EXPECT_TRUE(help.ShowTopic(QStringLiteral("refill")));
  EXPECT_EQ(help.CurrentTopic(), QStringLiteral("process.html#refill"));
  EXPECT_TRUE(help.Browser->toPlainText().contains(QStringLiteral("Adds medium without substrate")));
  // The anchor lies below the first screen, so the page is scrolled to it.
  EXPECT_GT(help.Browser->verticalScrollBar()->value(), 0);
  // The contents tree follows the page.
  ASSERT_NE(help.TvwContents->currentItem(), nullptr);
  EXPECT_EQ(help.TvwContents->currentItem()->text(0), QStringLiteral("Refill medium"));

  EXPECT_TRUE(help.ShowTopic(QStringLiteral("startpage.html#checks")));
  EXPECT_TRUE(help.Browser->toPlainText().contains(QStringLiteral("SimInterval is out of bounds")));
  EXPECT_TRUE(help.ShowTopic(QStringLiteral("charts")));
  EXPECT_EQ(help.CurrentTopic(), QStringLiteral("charts.html"));

  ASSERT_TRUE(help.ActBack->isEnabled());
  EXPECT_FALSE(help.ActForward->isEnabled());
  help.ActBack->trigger();
  EXPECT_EQ(help.CurrentTopic(), QStringLiteral("startpage.html#checks"));
  ASSERT_TRUE(help.ActForward->isEnabled());
  help.ActForward->trigger();
  EXPECT_EQ(help.CurrentTopic(), QStringLiteral("charts.html"));

  // Unknown topics fall back to the start page and say so.
  EXPECT_FALSE(help.ShowTopic(QStringLiteral("no-such-topic")));
  EXPECT_EQ(help.CurrentTopic(), QStringLiteral("index.html"));
  EXPECT_FALSE(help.ShowTopic(QStringLiteral("process.html#checks")));
  help.ActHome->trigger();
  EXPECT_EQ(help.CurrentTopic(), QStringLiteral("index.html"));
}

TEST(HelpWindow, ShowHelpReusesOneWindow) {
  TFrmHelp* first = ShowHelp(nullptr, QStringLiteral("adapt-feed"));
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->CurrentTopic(), QStringLiteral("process.html#adapt-feed"));
  TFrmHelp* second = ShowHelp(nullptr);
  EXPECT_EQ(second, first);
  EXPECT_EQ(second->CurrentTopic(), QStringLiteral("index.html"));
  second->close();  // deletes itself
}

TEST(HelpPages, EveryInternalLinkLeadsToAPageAndAnchor) {
  TFrmHelp help;
  const QRegularExpression href(QStringLiteral("href=\"([^\"]+)\""));
  int links = 0;
  for (const QString& page : HelpPages()) {
    const QString html = PageText(page);
    ASSERT_FALSE(html.isEmpty()) << page.toStdString();
    for (auto it = href.globalMatch(html); it.hasNext();) {
      const QString target = it.next().captured(1);
      if (target.startsWith(QStringLiteral("http")) || target.endsWith(QStringLiteral(".css"))) continue;
      ++links;
      EXPECT_TRUE(help.ShowTopic(target)) << page.toStdString() << " links to " << target.toStdString();
    }
  }
  EXPECT_GT(links, 10);
}

TEST(WhitePaper, IsFoundInTheDataFolders) {
  QTemporaryDir data;
  ASSERT_TRUE(data.isValid());
  const QByteArray saved = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
  EXPECT_EQ(WhitePaperPath(), QString());
  ASSERT_TRUE(QDir(data.path()).mkpath(QStringLiteral("zymra")));
  const QString target = data.path() + QStringLiteral("/zymra/Zymra Simulation.pdf");
  QFile file(target);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("%PDF-1.4\n");
  file.close();
  EXPECT_EQ(WhitePaperPath(), QDir::cleanPath(target));
  if (saved.isEmpty()) qunsetenv("XDG_DATA_HOME"); else qputenv("XDG_DATA_HOME", saved);
}
