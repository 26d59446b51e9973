// Navigation of tree entries to pages, with a real project's runs and plain
// widgets as pages whose hooks record what happened to them.
#include "QtTestApp.h"

#include <QListWidget>
#include <QStackedWidget>
#include <QTreeWidget>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "KelCompViews.h"
#include "KelFrmFile.h"
#include "LibNavigation.h"
#include "LibZymra.h"
#include "libNavFullScreen.h"

namespace {

class NavigationTest : public ::testing::Test {
 protected:
  TZymra Project;
  QStackedWidget Host;
  QWidget* Welcome = new QWidget;
  QWidget* StartPage = new QWidget;
  QWidget* ProcessPage = new QWidget;
  QWidget* ChartPage = new QWidget;
  QTreeWidget Widget;
  TQtCompTreeView Tree{&Widget};
  std::unique_ptr<TNavigations> Nav;
  std::vector<std::string> Log;
  bool StartMayBeLeft = true;
  TNavigationTree* ProcessGroup = nullptr;
  std::vector<TNavigationTree*> ChartGroups;
  std::vector<QString> Messages;

  void SetUp() override {
    Host.addWidget(Welcome);
    for (int i = 0; i < 2; ++i) Project.AddRun()->Params.Title.Assign("");
    SetShowMessageText([this](const QString& text, int) {
      Messages.push_back(text);
      return int(QMessageBox::Ok);
    });
    Nav = std::make_unique<TNavigations>("Zymra Simulation", 8, 8, &Host);
    Build();
  }
  void TearDown() override {
    Nav.reset();
    for (QWidget* page : {StartPage, ProcessPage, ChartPage})
      if (Host.indexOf(page) < 0) delete page;
    SetShowMessageText({});
  }

  static std::string NameOf(TZymra_Run* run) { return run ? run->RunCaption() : "none"; }

  // Groups "1. Process Data" and "2. Fermentation" with one entry per run, and
  // two chart groups below "3. Monitoring/Results".
  void Build() {
    Nav->Clear();
    auto group = [this](TCompDataList& parent, const std::string& caption) {
      TNavigationTree* entry = Nav->AddEntry(parent);
      entry->SetAppearance(caption, 9, 9, -1, -1);
      return entry;
    };
    TNavigationTree* start = group(*Nav, "1. Process Data");
    ProcessGroup = group(*Nav, "2. Fermentation");
    TNavigationTree* charts = group(*Nav, "3. Monitoring/Results");
    ChartGroups = {group(*charts, "3.1. Optical Density"), group(*charts, "3.2. Growth Rate")};
    for (int i = 0; i < Project.RunCount(); ++i) {
      TZymra_Run* run = Project.Run(i);
      TNavigationTree* s = Nav->AddEntry(*start, StartPage, run);
      s->OnCanLeave = [this] {
        Log.push_back("canleave start");
        return StartMayBeLeft;
      };
      s->OnShow = [this](TZymra_Run* r) { Log.push_back("show start " + NameOf(r)); };
      s->OnHide = [this] { Log.push_back("hide start"); };
      TNavigationTree* p = Nav->AddEntry(*ProcessGroup, ProcessPage, run);
      p->OnShow = [this](TZymra_Run* r) { Log.push_back("show process " + NameOf(r)); };
      p->OnHide = [this] { Log.push_back("hide process"); };
      for (int tag = 0; tag < 2; ++tag) {
        TNavigationTree* c = Nav->AddEntry(*ChartGroups[tag], ChartPage, run, tag);
        c->OnPageTag = [this](int t) { Log.push_back("tag " + std::to_string(t)); };
        c->OnShow = [this](TZymra_Run* r) { Log.push_back("show chart " + NameOf(r)); };
        c->OnHide = [this] { Log.push_back("hide chart"); };
      }
    }
    Nav->Refill(Tree, true);
  }

  QTreeWidgetItem* Node(const QString& caption) {
    const auto found = Widget.findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
  }
  QTreeWidgetItem* RunNode(const QString& group, int run) { return Node(group)->child(run); }
  bool Click(QTreeWidgetItem* node) {
    Tree.SelectNode(node);
    return Nav->Navigate(Tree, true, false);
  }
  TNavigation* Entry(QTreeWidgetItem* node) { return dynamic_cast<TNavigation*>(Tree.NodeData(node)); }
};

TEST_F(NavigationTest, TreeShowsCaptionsAndImagesOfEntriesAndRuns) {
  QTreeWidgetItem* root = Widget.topLevelItem(0);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->text(0), "Zymra Simulation");
  EXPECT_EQ(Tree.NodeImage(root), 8);
  EXPECT_EQ(Tree.NodeImage(Node("2. Fermentation")), 9);
  EXPECT_EQ(RunNode("2. Fermentation", 1)->text(0), "Run2 ");
  Project.Run(1)->Params.State = 3;
  Nav->Refill(Tree, true);
  EXPECT_EQ(Tree.NodeImage(RunNode("2. Fermentation", 1)), 6);
  EXPECT_EQ(Tree.NodeSelectedImage(RunNode("2. Fermentation", 1)), 7);
  EXPECT_EQ(Tree.NodeImage(RunNode("2. Fermentation", 0)), 0);
  // A disabled group shows its disabled images.
  ProcessGroup->Enabled = false;
  Nav->Refill(Tree, true);
  EXPECT_EQ(Tree.NodeImage(Node("2. Fermentation")), -1);
  EXPECT_EQ(Tree.SelectedNode(), Widget.topLevelItem(0));
}

TEST_F(NavigationTest, GroupClickShowsTheFirstEntryWithAPageAndRootShowsWelcome) {
  EXPECT_TRUE(Click(Node("1. Process Data")));
  EXPECT_EQ(Nav->Current, Entry(RunNode("1. Process Data", 0)));
  EXPECT_EQ(Host.currentWidget(), StartPage);
  EXPECT_EQ(Tree.SelectedNode(), RunNode("1. Process Data", 0));
  EXPECT_EQ(Log, (std::vector<std::string>{"show start Run1 "}));

  Log.clear();
  EXPECT_TRUE(Click(RunNode("2. Fermentation", 1)));
  EXPECT_EQ(Host.currentWidget(), ProcessPage);
  EXPECT_EQ(Log, (std::vector<std::string>{"canleave start", "hide start", "show process Run2 "}));
  EXPECT_TRUE(Nav->HasPage());
  EXPECT_EQ(Host.count(), 3);  // each page placed once
  EXPECT_TRUE(Click(RunNode("2. Fermentation", 0)));
  EXPECT_EQ(Host.count(), 3);

  Log.clear();
  EXPECT_TRUE(Click(Widget.topLevelItem(0)));
  EXPECT_EQ(Nav->Current, nullptr);
  EXPECT_FALSE(Nav->HasPage());
  EXPECT_EQ(Host.currentWidget(), Welcome);
  EXPECT_EQ(Log, (std::vector<std::string>{"hide process"}));
  EXPECT_EQ(Tree.SelectedNode(), Widget.topLevelItem(0));

  // The last node has nothing after it: nothing happens, the selection goes back.
  EXPECT_TRUE(Click(RunNode("1. Process Data", 1)));
  Log.clear();
  Entry(RunNode("3.2. Growth Rate", 1))->Page = nullptr;
  EXPECT_FALSE(Click(RunNode("3.2. Growth Rate", 1)));
  EXPECT_EQ(Tree.SelectedNode(), RunNode("1. Process Data", 1));
  EXPECT_TRUE(Log.empty());
}

TEST_F(NavigationTest, PageTagReachesThePageBeforeItsShowHook) {
  ASSERT_TRUE(Click(RunNode("3.2. Growth Rate", 0)));
  EXPECT_EQ(Log, (std::vector<std::string>{"tag 1", "show chart Run1 "}));
  Log.clear();
  ASSERT_TRUE(Click(Node("3.1. Optical Density")));
  EXPECT_EQ(Log, (std::vector<std::string>{"hide chart", "tag 0", "show chart Run1 "}));
  EXPECT_EQ(Nav->NodeOfRun(Tree, Project.Run(1)), RunNode("1. Process Data", 1));
  EXPECT_EQ(Nav->NodeOfRun(Tree, nullptr), nullptr);
}

TEST_F(NavigationTest, UpGoesBackwardsAndLeftForwardsOverGroupNodes) {
  ASSERT_TRUE(Click(RunNode("3.2. Growth Rate", 1)));
  EXPECT_TRUE(Nav->HandleKey(&Tree, Qt::Key_Up, {}));
  EXPECT_EQ(Nav->Current, Entry(RunNode("3.2. Growth Rate", 0)));
  EXPECT_EQ(Tree.SelectedNode(), RunNode("3.2. Growth Rate", 0));
  // From the first run in a group, back over the group node to the group before.
  int called = 0;
  EXPECT_TRUE(Nav->HandleKey(&Tree, Qt::Key_Up, [&called] { ++called; }));
  EXPECT_EQ(Nav->Current, Entry(RunNode("3.1. Optical Density", 1)));
  EXPECT_EQ(Tree.SelectedNode(), RunNode("3.1. Optical Density", 1));
  EXPECT_EQ(called, 1);
  EXPECT_TRUE(Nav->HandleKey(&Tree, Qt::Key_Left, {}));
  EXPECT_EQ(Nav->Current, Entry(RunNode("3.2. Growth Rate", 0)));
  // Down is the tree's own business; and only a tree view counts as sender.
  EXPECT_FALSE(Nav->HandleKey(&Tree, Qt::Key_Down, {}));
  EXPECT_FALSE(Nav->HandleKey(nullptr, Qt::Key_Up, {}));
  EXPECT_EQ(Nav->Current, Entry(RunNode("3.2. Growth Rate", 0)));
}

TEST_F(NavigationTest, PageThatRefusesToBeLeftStaysShownAndSelected) {
  ASSERT_TRUE(Click(RunNode("1. Process Data", 1)));
  TNavigation* start = Nav->Current;
  StartMayBeLeft = false;
  Log.clear();
  EXPECT_FALSE(Click(RunNode("2. Fermentation", 0)));
  EXPECT_FALSE(Click(Node("2. Fermentation")));  // does not walk on to later entries
  EXPECT_FALSE(Click(Widget.topLevelItem(0)));
  Nav->HandleKey(&Tree, Qt::Key_Up, {});
  EXPECT_FALSE(Nav->ShowEntry(Entry(RunNode("3.1. Optical Density", 0)), false));
  EXPECT_EQ(Nav->Current, start);
  EXPECT_EQ(Host.currentWidget(), StartPage);
  EXPECT_EQ(Tree.SelectedNode(), RunNode("1. Process Data", 1));
  for (const std::string& line : Log) EXPECT_TRUE(line == "canleave start") << line;
  // Nor does leaving in place run the leave hook.
  Nav->LeaveCurrent();
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "hide start"), 0);

  StartMayBeLeft = true;
  EXPECT_TRUE(Click(RunNode("2. Fermentation", 0)));
  EXPECT_EQ(Host.currentWidget(), ProcessPage);
}

TEST_F(NavigationTest, RefillAfterRebuildSelectsTheRoot) {
  ASSERT_TRUE(Click(RunNode("2. Fermentation", 1)));
  Build();  // the structure is discarded and built anew
  EXPECT_EQ(Nav->Current, nullptr);
  EXPECT_EQ(Tree.SelectedNode(), Widget.topLevelItem(0));
  EXPECT_FALSE(Nav->HasPage());
  Log.clear();
  EXPECT_TRUE(Click(RunNode("2. Fermentation", 0)));
  EXPECT_EQ(Log, (std::vector<std::string>{"show process Run1 "}));  // no leave hook of a freed entry
}

TEST_F(NavigationTest, RetryingGivesUpAfterItsBoundAndShowsTheError) {
  Nav->RetryDelayMs = 1;
  int shows = 0;
  Entry(RunNode("2. Fermentation", 0))->OnShow = [&shows](TZymra_Run*) {
    ++shows;
    throw std::runtime_error("page not ready");
  };
  int callbacks = 0;
  Tree.SelectNode(RunNode("2. Fermentation", 0));
  EXPECT_FALSE(Nav->NavigateRetrying(Tree, true, [&callbacks] { ++callbacks; }));
  EXPECT_EQ(shows, 5);
  EXPECT_EQ(callbacks, 0);
  EXPECT_EQ(Messages, std::vector<QString>{"page not ready"});

  // One failure, then it works.
  shows = 0;
  Entry(RunNode("2. Fermentation", 1))->OnShow = [&shows](TZymra_Run*) {
    if (++shows == 1) throw std::runtime_error("busy");
  };
  Tree.SelectNode(RunNode("2. Fermentation", 1));
  EXPECT_TRUE(Nav->NavigateRetrying(Tree, true, [&callbacks] { ++callbacks; }));
  EXPECT_EQ(shows, 2);
  EXPECT_EQ(callbacks, 1);
  EXPECT_EQ(Nav->Current, Entry(RunNode("2. Fermentation", 1)));
  EXPECT_EQ(Messages.size(), 1u);
}

TEST_F(NavigationTest, FullScreenBorrowsThePageAndPutsItBack) {
  Host.resize(400, 300);
  ASSERT_TRUE(Click(RunNode("2. Fermentation", 0)));
  QWidget* seenParent = nullptr;
  Nav->ShowFullScreen(nullptr, [&seenParent, this](TFrmFullScreen&) {
    seenParent = ProcessPage->parentWidget();
    return 0;
  });
  EXPECT_NE(seenParent, nullptr);
  EXPECT_NE(seenParent, &Host);
  EXPECT_EQ(Host.currentWidget(), ProcessPage);
  EXPECT_EQ(EntryOfSelected(Tree), Nav->Current);
}

}  // namespace

namespace {

// A row with columns for the list views.
class TRow : public TCompDataList {
 public:
  TRow(std::string caption, std::vector<std::string> values, int image)
      : Caption(std::move(caption)), Values(std::move(values)), Image(image) {}
  std::string GetCaption() const override { return Caption; }
  std::vector<std::string> GetColumnCaptions() const override { return {"caption", "Size", "Kind"}; }
  std::vector<std::string> GetColumnValues() const override { return Values; }
  int GetImageIndex() const override { return Image; }
  std::string Caption;
  std::vector<std::string> Values;
  int Image;
};

TEST(CompListViews, RowsFillColumnsAndCarryTheirObjects) {
  TRow table("table", {"", ""}, -1);
  auto* first = new TRow("\xB5max", {"12", "node"}, 1);  // Windows-1252 µ
  table.Append(first);
  first->Append(new TRow("child", {"3", "leaf"}, 0));
  auto* hidden = new TRow("hidden", {"0", "x"}, 0);
  hidden->ShowInTree = false;
  table.Append(hidden);

  QTreeWidget columns;
  columns.setColumnCount(3);
  TQtCompListView list(&columns);
  list.Images = {QIcon(QPixmap(16, 16)), QIcon(QPixmap(16, 16))};
  table.FillListView(list);
  ASSERT_EQ(columns.topLevelItemCount(), 2);  // depth first, the hidden row left out
  EXPECT_EQ(columns.topLevelItem(0)->text(0), QString::fromUtf8("\xC2\xB5max"));
  EXPECT_EQ(columns.topLevelItem(0)->text(1), "12");
  EXPECT_EQ(columns.topLevelItem(0)->text(2), "node");
  EXPECT_EQ(columns.topLevelItem(1)->text(0), "child");
  EXPECT_EQ(list.ItemData(columns.topLevelItem(0)), first);
  EXPECT_FALSE(columns.topLevelItem(0)->icon(0).isNull());

  // A list of captions only: one column, no values.
  class TName : public TCompDataList {
   public:
    explicit TName(std::string caption) : Caption(std::move(caption)) {}
    std::string GetCaption() const override { return Caption; }
    std::vector<std::string> GetColumnCaptions() const override { return {"caption"}; }
    std::string Caption;
  };
  TName names("names");
  auto* one = new TName("one");
  names.Append(one);
  names.Append(new TName("two"));
  one->Selected = true;
  QListWidget captions;
  TQtCompListWidget plain(&captions);
  names.FillListView(plain);
  ASSERT_EQ(captions.count(), 2);
  EXPECT_EQ(captions.item(1)->text(), "two");
  EXPECT_EQ(plain.ItemData(captions.item(0)), one);
  EXPECT_TRUE(captions.item(0)->isSelected());
  EXPECT_FALSE(captions.item(1)->isSelected());
}

}  // namespace
