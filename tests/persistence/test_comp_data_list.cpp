#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "KelCompDataList.h"
#include "stream_fixtures.h"

using namespace fixtures;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// --- recording fakes of the two views -------------------------------------------------

struct FakeNode {
  std::string caption;
  FakeNode* parent = nullptr;
  int image = -99, selectedImage = -99;
  TCompDataList* data = nullptr;
  bool selected = false, focused = false, expanded = false;
};

class FakeTree : public ICompTreeView {
 public:
  void BeginUpdate() override { ++updates; }
  void EndUpdate() override { --updates; }
  void ClearNodes() override { nodes.clear(); }
  TViewNode AddNode(TViewNode parent, const std::string& caption) override {
    EXPECT_EQ(updates, 1) << "nodes must be added while updates are suspended";
    auto node = std::make_unique<FakeNode>();
    node->caption = caption;
    node->parent = static_cast<FakeNode*>(parent);
    // Keep display order: after the parent's last descendant.
    auto pos = nodes.end();
    if (parent) {
      auto it = std::find_if(nodes.begin(), nodes.end(), [&](auto& n) { return n.get() == parent; });
      pos = std::next(it);
      while (pos != nodes.end() && IsBelow(pos->get(), node->parent)) ++pos;
    }
    return nodes.insert(pos, std::move(node))->get();
  }
  void SetNodeImages(TViewNode n, int image, int selected) override {
    N(n)->image = image;
    N(n)->selectedImage = selected;
  }
  void SetNodeData(TViewNode n, TCompDataList* data) override { N(n)->data = data; }
  TCompDataList* NodeData(TViewNode n) const override { return N(n)->data; }
  void SetNodeSelected(TViewNode n, bool on) override {
    if (on)
      for (auto& x : nodes) x->selected = false;
    N(n)->selected = on;
  }
  void SetNodeFocused(TViewNode n, bool on) override { N(n)->focused = on; }
  void MakeNodeVisible(TViewNode n) override {
    for (FakeNode* p = N(n)->parent; p; p = p->parent) p->expanded = true;
  }
  bool NodeExpanded(TViewNode n) const override { return N(n)->expanded; }
  bool NodeSelected(TViewNode n) const override { return N(n)->selected; }
  bool NodeFocused(TViewNode n) const override { return N(n)->focused; }
  TViewNode SelectedNode() const override {
    for (auto& x : nodes)
      if (x->selected) return x.get();
    return nullptr;
  }
  std::vector<TViewNode> AllNodes() const override {
    std::vector<TViewNode> out;
    for (auto& x : nodes) out.push_back(x.get());
    return out;
  }
  void FullExpand() override {
    for (auto& x : nodes) x->expanded = true;
  }

  // Each node as its indented caption, for comparing whole trees.
  std::vector<std::string> Outline() const {
    std::vector<std::string> out;
    for (auto& x : nodes) {
      int depth = 0;
      for (FakeNode* p = x->parent; p; p = p->parent) ++depth;
      out.push_back(std::string(2 * depth, ' ') + x->caption);
    }
    return out;
  }
  FakeNode* ByCaption(const std::string& c) const {
    for (auto& x : nodes)
      if (x->caption == c) return x.get();
    return nullptr;
  }
  std::vector<std::unique_ptr<FakeNode>> nodes;
  int updates = 0;

 private:
  static FakeNode* N(TViewNode n) { return static_cast<FakeNode*>(n); }
  static bool IsBelow(const FakeNode* n, const FakeNode* ancestor) {
    for (const FakeNode* p = n->parent; p; p = p->parent)
      if (p == ancestor) return true;
    return false;
  }
};

struct FakeItem {
  std::string caption;
  std::vector<std::string> sub;
  int image = -99;
  TCompDataList* data = nullptr;
  bool selected = false, focused = false;
};

class FakeList : public ICompListView {
 public:
  explicit FakeList(int columns) : columns(columns) {}
  int ColumnCount() const override { return columns; }
  TViewNode AddItem(const std::string& caption) override {
    items.push_back(std::make_unique<FakeItem>());
    items.back()->caption = caption;
    return items.back().get();
  }
  void AddSubItem(TViewNode i, const std::string& text) override { I(i)->sub.push_back(text); }
  void SetItemImage(TViewNode i, int image) override { I(i)->image = image; }
  void SetItemData(TViewNode i, TCompDataList* d) override { I(i)->data = d; }
  TCompDataList* ItemData(TViewNode i) const override { return I(i)->data; }
  void SetItemSelected(TViewNode i, bool on) override { I(i)->selected = on; }
  void SetItemFocused(TViewNode i, bool on) override { I(i)->focused = on; }
  bool ItemSelected(TViewNode i) const override { return I(i)->selected; }
  bool ItemFocused(TViewNode i) const override { return I(i)->focused; }
  std::vector<TViewNode> AllItems() const override {
    std::vector<TViewNode> out;
    for (auto& x : items) out.push_back(x.get());
    return out;
  }
  int columns;
  std::vector<std::unique_ptr<FakeItem>> items;

 private:
  static FakeItem* I(TViewNode i) { return static_cast<FakeItem*>(i); }
};

// A displayable object with settable caption, image and columns.
struct TEntry : TCompDataList {
  explicit TEntry(std::string caption, int image = -1) : Caption(std::move(caption)), Image(image) {}
  std::string GetCaption() const override { return Caption; }
  int GetImageIndex() const override { return Image; }
  std::vector<std::string> GetColumnCaptions() const override { return Captions; }
  std::vector<std::string> GetColumnValues() const override { return Values; }
  TEntry* Add(TEntry* child) {
    Append(child);
    return child;
  }
  std::string Caption;
  int Image;
  std::vector<std::string> Captions{"caption", "Size"};
  std::vector<std::string> Values{"0"};
};

// --- tree view ----------------------------------------------------------------------------

TEST(CompDataListTree, FillTreeShowsVisibleChildrenWithImagesAndData) {
  TEntry root("Project");
  TEntry* run1 = root.Add(new TEntry("Run 1", 2));
  run1->Add(new TEntry("Series", 4));
  TEntry* hidden = root.Add(new TEntry("Hidden"));
  hidden->ShowInTree = false;
  hidden->Add(new TEntry("Below hidden"));
  TEntry* run2 = root.Add(new TEntry("Run 2", 6));
  // A node shown as expanded makes its own tree node visible, so its parent opens.
  run2->Add(new TEntry("Collapsed child"))->Expanded = false;

  FakeTree tree;
  root.FillTree(tree, false);
  EXPECT_EQ(tree.updates, 0);
  EXPECT_THAT(tree.Outline(), ElementsAre("Project", "  Run 1", "    Series", "  Run 2", "    Collapsed child"));
  FakeNode* n1 = tree.ByCaption("Run 1");
  EXPECT_EQ(n1->data, run1);
  EXPECT_EQ(n1->image, 2);
  EXPECT_EQ(n1->selectedImage, 2);  // the selected image follows the image unless overridden
  EXPECT_TRUE(n1->expanded);        // made visible because Series is expanded
  EXPECT_FALSE(tree.ByCaption("Run 2")->expanded);
  // Nothing was selected before: the first node is.
  EXPECT_TRUE(tree.ByCaption("Project")->selected);
  EXPECT_TRUE(tree.ByCaption("Project")->focused);
  EXPECT_EQ(TCompDataList::FindTreeNode(tree, run2), tree.ByCaption("Run 2"));
  EXPECT_EQ(TCompDataList::FindTreeNode(tree, hidden), nullptr);

  tree.nodes.front()->selected = false;
  root.FillTree(tree, true);
  for (auto& n : tree.nodes) EXPECT_TRUE(n->expanded) << n->caption;  // full expand
}

TEST(CompDataListTree, RefillKeepsTheSelectedObjectOrFallsBackToTheFirstNode) {
  TEntry root("Project");
  root.Add(new TEntry("Run 1"));
  TEntry* run2 = root.Add(new TEntry("Run 2"));
  FakeTree tree;
  root.FillTree(tree, false);
  tree.SetNodeSelected(tree.ByCaption("Run 2"), true);
  root.Add(new TEntry("Run 3"));
  root.FillTree(tree, false);
  EXPECT_TRUE(tree.ByCaption("Run 2")->selected);
  EXPECT_FALSE(tree.ByCaption("Project")->selected);
  EXPECT_EQ(tree.SelectedNode(), TCompDataList::FindTreeNode(tree, run2));

  root.Delete(run2);
  root.FillTree(tree, false);
  EXPECT_TRUE(tree.ByCaption("Project")->selected);
}

TEST(CompDataListTree, AddTreeNodePrefixAndDisplayStateRoundTrip) {
  TEntry root("Project");
  TEntry* run = root.Add(new TEntry("Run 1"));
  run->Add(new TEntry("Series"));
  run->Selected = true;
  FakeTree tree;
  tree.BeginUpdate();
  const TViewNode plain = run->AddTreeNode(tree, nullptr, false, "> ");
  const TViewNode deep = run->AddTreeNode(tree, nullptr, true, "> ");
  tree.EndUpdate();
  EXPECT_EQ(static_cast<FakeNode*>(plain)->caption, "> Run 1");  // prefix only when not recursing
  EXPECT_EQ(static_cast<FakeNode*>(deep)->caption, "Run 1");
  EXPECT_THAT(tree.Outline(), ElementsAre("> Run 1", "Run 1", "  Series"));
  EXPECT_EQ(run->TreeView, nullptr);

  // Reading the state back from the view.
  TEntry* series = static_cast<TEntry*>(run->Head);
  FakeNode* seriesNode = tree.ByCaption("Series");
  seriesNode->expanded = false;
  seriesNode->selected = true;
  seriesNode->focused = true;
  series->TreeView = &tree;
  series->SaveDisplayState();
  EXPECT_FALSE(series->Expanded);
  EXPECT_TRUE(series->Selected);
  EXPECT_TRUE(series->Focused);
  TEntry copy("copy");
  copy.ShowInTree = false;
  copy.AssignDisplayState(*series);
  EXPECT_FALSE(copy.Expanded);
  EXPECT_TRUE(copy.Selected);
  EXPECT_TRUE(copy.ShowInTree);
}

// --- list view -----------------------------------------------------------------------------

TEST(CompDataListListView, ChildrenFollowTheirParentsDepthFirst) {
  TEntry root("Project");
  TEntry* a = root.Add(new TEntry("A", 3));
  a->Values = {"10"};
  a->Selected = true;
  TEntry* a1 = a->Add(new TEntry("A.1"));
  a1->Values = {"11"};
  root.Add(new TEntry("hidden"))->ShowInTree = false;
  TEntry* b = root.Add(new TEntry("B"));
  b->Values = {"20"};
  FakeList list(2);
  root.FillListView(list);
  ASSERT_EQ(list.items.size(), 3u);
  EXPECT_EQ(list.items[0]->caption, "A");
  EXPECT_EQ(list.items[1]->caption, "A.1");
  EXPECT_EQ(list.items[2]->caption, "B");
  EXPECT_THAT(list.items[0]->sub, ElementsAre("10"));
  EXPECT_THAT(list.items[1]->sub, ElementsAre("11"));
  EXPECT_EQ(list.items[0]->image, 3);
  EXPECT_EQ(list.items[0]->data, a);
  EXPECT_TRUE(list.items[0]->selected);
  EXPECT_EQ(a->ListView, nullptr);

  list.items[2]->focused = true;
  b->ListView = &list;
  b->SaveDisplayState();
  EXPECT_TRUE(b->Focused);
}

TEST(CompDataListListView, ColumnChecks) {
  TEntry root("Project");
  TEntry* a = root.Add(new TEntry("A"));
  TEntry* other = root.Add(new TEntry("Other"));
  other->Captions = {"caption", "Mass"};  // different columns: the list stops there
  root.Add(new TEntry("C"));
  FakeList list(2);
  root.FillListView(list);
  ASSERT_EQ(list.items.size(), 1u);
  EXPECT_EQ(list.items[0]->caption, "A");

  EXPECT_TRUE(root.SameColumns(*a));
  EXPECT_FALSE(root.SameColumns(*other));
  root.Values = {"1", "2"};  // two values for one value column
  try {
    root.SameColumns(*a);
    FAIL() << "no exception";
  } catch (const EKelCompDataListListViewCreate& e) {
    EXPECT_STREQ(e.what(), "_coding error: unequal captions and subitems count");
  }
  root.Values = {"1"};
  FakeList wide(5);
  try {
    root.FillListView(wide);
    FAIL() << "no exception";
  } catch (const EKelCompDataListListViewCreate& e) {
    EXPECT_STREQ(e.what(), "_FillListView: column counts are different");
  }
}

TEST(CompDataListInfo, WriteInfoPadsNamesToThirtyColumns) {
  TEntry run("Run 1");
  run.Add(new TEntry("a"));
  run.Add(new TEntry("b"));
  run.Add(new TEntry("c"));
  std::vector<std::string> lines{"existing"};
  run.WriteInfo(lines);
  EXPECT_THAT(lines, ElementsAre("existing", "Caption                       \t: Run 1",
                                 "Count                         \t: 3"));
  EXPECT_EQ(FormatInfoLine(std::string(30, 'n'), "v"), std::string(30, 'n') + "\t: v");
  EXPECT_EQ(FormatInfoLine(std::string(31, 'n'), "v"), std::string(29, 'n') + ".\t: v");
}

// --- stream inspection ------------------------------------------------------------------------

class StreamInspection : public ::testing::Test {
 protected:
  void SetUp() override {
    project.TitleRecord.Title.Assign("Inspected");
    AddItem(project, 1, "Run 1", {1.0});
    auto* ref = new TStreamNodeRef(&project);
    project.Add(ref);
    ASSERT_TRUE(project.SaveToFile(name));
  }
  TScratchDir dir{"inspect"};
  std::string name = dir.File("i.tst");
  TTestProject project;
};

TEST_F(StreamInspection, SpyCollectsTheStreamHeaderAndEveryBlockInReadingOrder) {
  TStreamSpy spy;
  spy.ShowKind = true;
  TTestProject loaded;
  loaded.SetFileName(name);
  ASSERT_TRUE(loaded.Inspect(spy)) << loaded.LastError;
  ASSERT_EQ(loaded.Count, 2);  // the data were read too
  ASSERT_EQ(spy.Count, 1);
  auto* main = static_cast<tStreamSpyNode*>(spy.Head);
  EXPECT_EQ(main->Kind, skMain);
  EXPECT_EQ(main->GetCaption(), "skMain");
  EXPECT_EQ(main->GetImageIndex(), 0);
  EXPECT_EQ(main->GetSelectedIndex(), 1);
  // project, item, its nested series, reference
  ASSERT_EQ(main->Count, 4);
  std::vector<std::string> captions;
  std::vector<int> images;
  for (TListNode* n = main->Head; n; n = n->Next) {
    captions.push_back(static_cast<tStreamSpyNode*>(n)->GetCaption());
    images.push_back(static_cast<tStreamSpyNode*>(n)->GetSelectedIndex());
  }
  EXPECT_THAT(captions, ElementsAre("Inspected/ckList", "Run 1/ckNode", "/ckNode", "/ckRefCarrier"));
  EXPECT_THAT(images, ElementsAre(3, 5, 5, 7));

  const auto mainCaptions = main->GetColumnCaptions();
  const auto mainValues = main->GetColumnValues();
  ASSERT_EQ(mainCaptions.size(), 16u);
  ASSERT_EQ(mainValues.size(), 15u);
  EXPECT_EQ(mainCaptions[0], "caption");
  EXPECT_EQ(mainCaptions[6], "StreamType");
  EXPECT_EQ(mainValues[5], "stFile");
  EXPECT_EQ(mainCaptions[8], "WriteBlockHeaders");
  EXPECT_EQ(mainValues[7], "TRUE");
  EXPECT_EQ(mainCaptions[13], "NumberOfBlocks");
  EXPECT_EQ(mainValues[12], "4");
  EXPECT_EQ(mainValues[6], name);

  auto* block = static_cast<tStreamSpyNode*>(main->Head->Next);
  const auto bc = block->GetColumnCaptions();
  const auto bv = block->GetColumnValues();
  EXPECT_THAT(bc, ElementsAre("caption", "ID", "ID_owner", "ID_Ref", "Last Caption", "Objectversion", "ClassKind",
                              "ClassName", "DataSize", "Spacer", "Count", "Offset", "OffsetNext_Node",
                              "OffsetPrev_Node", "OffsetNext_Block", "OffsetPrev_Block", "MySize", "Offsetfooter",
                              "IsLinked"));
  ASSERT_EQ(bv.size(), 18u);
  EXPECT_EQ(bv[0], static_cast<TStreamNode*>(loaded.Head)->GetID());
  EXPECT_EQ(bv[1], loaded.GetID());
  EXPECT_EQ(bv[5], "ckNode");
  EXPECT_EQ(bv[6], "TTestItem");
  EXPECT_EQ(bv[14], "400");  // OffsetPrev_Block: the project's block
  EXPECT_EQ(bv[15], "150");
  EXPECT_EQ(bv[17], "TRUE");

  spy.ShowKind = false;
  spy.ShowID = true;
  EXPECT_EQ(block->GetCaption(), "Run 1/" + bv[0]);

  // The spy's nodes fill a list view with their own columns.
  FakeList list(static_cast<int>(bc.size()));
  main->FillListView(list);
  ASSERT_EQ(list.items.size(), 0u);  // the main node's columns differ from the blocks'
}

TEST_F(StreamInspection, HeaderListingNamesEveryField) {
  std::vector<std::string> lines;
  std::string error;
  ASSERT_TRUE(ListStreamHeaders(name, true, lines, error)) << error;
  EXPECT_EQ(lines.front(), "skMain");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "skBlock 1"), 1);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("skBlock", 0) == 0; }),
            4);
  EXPECT_THAT(lines, ::testing::Contains(FormatInfoLine("NumberOfBlocks", "4")));
  EXPECT_THAT(lines, ::testing::Contains(FormatInfoLine("ClassName", "TTestProject")));
  EXPECT_THAT(lines, ::testing::Contains(FormatInfoLine("ClassKind", "ckRefCarrier")));
  EXPECT_EQ(lines.size(), 1 + 15 + 4 * (1 + 18u));

  // A chain that points back at an earlier block is reported, not followed for ever.
  auto image = DecodedImage(name);
  const std::int32_t second = I32(image, 400 + 225);
  PutI32(image, second + 225, 400);
  WriteFileBytes(dir.File("loop.img"), image);
  lines.clear();
  EXPECT_FALSE(ListStreamHeaders(dir.File("loop.img"), false, lines, error));
  EXPECT_THAT(error, HasSubstr("invalid offset 400"));
  EXPECT_FALSE(ListStreamHeaders(dir.File("missing"), true, lines, error));
  EXPECT_EQ(error, "File_StreamWrapper_create: file not exists");
  WriteFileBytes(dir.File("short.img"), std::vector<std::uint8_t>(100, 0));
  EXPECT_FALSE(ListStreamHeaders(dir.File("short.img"), false, lines, error));
  EXPECT_THAT(error, HasSubstr("too short to hold a stream header (100 bytes)"));
}

}  // namespace
