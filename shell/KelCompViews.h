#pragma once
// Qt widgets behind the tree and list view interfaces of the component data
// lists. A node handle is the widget's own item pointer. Captions are
// Windows-1252 bytes on the list side and Unicode on the screen.
#include <QIcon>

#include <vector>

#include "KelCompDataList.h"

class QListWidget;
class QListWidgetItem;
class QTreeWidget;
class QTreeWidgetItem;

// Image list: index i is Images[i]; an index outside the list shows no image.
using TImageList = std::vector<QIcon>;

class TQtCompTreeView : public ICompTreeView {
 public:
  explicit TQtCompTreeView(QTreeWidget* tree);

  void BeginUpdate() override;
  void EndUpdate() override;
  void ClearNodes() override;
  TViewNode AddNode(TViewNode parent, const std::string& caption) override;
  void SetNodeImages(TViewNode node, int image, int selectedImage) override;
  void SetNodeData(TViewNode node, TCompDataList* data) override;
  TCompDataList* NodeData(TViewNode node) const override;
  // Selecting a node makes it the current one (single selection).
  void SetNodeSelected(TViewNode node, bool selected) override;
  void SetNodeFocused(TViewNode node, bool focused) override;
  void MakeNodeVisible(TViewNode node) override;
  bool NodeExpanded(TViewNode node) const override;
  bool NodeSelected(TViewNode node) const override;
  bool NodeFocused(TViewNode node) const override;
  TViewNode SelectedNode() const override;
  std::vector<TViewNode> AllNodes() const override;
  void FullExpand() override;

  // Makes node the only selected and the current node (nullptr: no selection).
  void SelectNode(TViewNode node);
  int NodeImage(TViewNode node) const;
  int NodeSelectedImage(TViewNode node) const;
  QString NodeCaption(TViewNode node) const;
  QTreeWidget* Tree() const { return FTree; }
  static QTreeWidgetItem* Item(TViewNode node) { return static_cast<QTreeWidgetItem*>(node); }

  // Set before filling; a node shows Images[image], and Images[selectedImage]
  // while it is selected.
  TImageList Images;

 private:
  QTreeWidget* FTree;
  int FUpdating = 0;
  bool FSignalsWereBlocked = false;
};

// A list view with columns: a QTreeWidget without child items.
class TQtCompListView : public ICompListView {
 public:
  explicit TQtCompListView(QTreeWidget* list);

  int ColumnCount() const override;
  TViewNode AddItem(const std::string& caption) override;
  void AddSubItem(TViewNode item, const std::string& text) override;
  void SetItemImage(TViewNode item, int image) override;
  void SetItemData(TViewNode item, TCompDataList* data) override;
  TCompDataList* ItemData(TViewNode item) const override;
  void SetItemSelected(TViewNode item, bool selected) override;
  void SetItemFocused(TViewNode item, bool focused) override;
  bool ItemSelected(TViewNode item) const override;
  bool ItemFocused(TViewNode item) const override;
  std::vector<TViewNode> AllItems() const override;

  TImageList Images;

 private:
  QTreeWidget* FList;
};

// A list view of captions only (one column).
class TQtCompListWidget : public ICompListView {
 public:
  explicit TQtCompListWidget(QListWidget* list);

  int ColumnCount() const override { return 1; }
  TViewNode AddItem(const std::string& caption) override;
  void AddSubItem(TViewNode item, const std::string& text) override;  // no columns: ignored
  void SetItemImage(TViewNode item, int image) override;
  void SetItemData(TViewNode item, TCompDataList* data) override;
  TCompDataList* ItemData(TViewNode item) const override;
  void SetItemSelected(TViewNode item, bool selected) override;
  void SetItemFocused(TViewNode item, bool focused) override;
  bool ItemSelected(TViewNode item) const override;
  bool ItemFocused(TViewNode item) const override;
  std::vector<TViewNode> AllItems() const override;

  TImageList Images;

 private:
  QListWidget* FList;
};
