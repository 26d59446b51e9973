#include "KelCompViews.h"

#include <QListWidget>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "ZymraUi.h"

namespace {

constexpr int DataRole = Qt::UserRole;
constexpr int ImageRole = Qt::UserRole + 1;
constexpr int SelectedImageRole = Qt::UserRole + 2;
constexpr int SubItemsRole = Qt::UserRole + 3;

QIcon ImageAt(const TImageList& images, int index) {
  return index >= 0 && index < static_cast<int>(images.size()) ? images[static_cast<std::size_t>(index)] : QIcon();
}

// One icon that the view draws in its selected mode with the selected image.
QIcon NodeIcon(const TImageList& images, int image, int selectedImage) {
  const QIcon normal = ImageAt(images, image);
  const QIcon selected = ImageAt(images, selectedImage);
  if (selected.isNull() || image == selectedImage) return normal;
  QIcon icon;
  for (const QSize& size : normal.availableSizes()) icon.addPixmap(normal.pixmap(size), QIcon::Normal);
  const QList<QSize> sizes = selected.availableSizes();
  for (const QSize& size : sizes) icon.addPixmap(selected.pixmap(size), QIcon::Selected);
  if (sizes.isEmpty()) icon.addPixmap(selected.pixmap(16, 16), QIcon::Selected);
  return icon;
}

TCompDataList* DataOf(const QVariant& value) {
  return reinterpret_cast<TCompDataList*>(value.value<quintptr>());
}

QVariant DataValue(TCompDataList* data) { return QVariant::fromValue(reinterpret_cast<quintptr>(data)); }

}  // namespace

// --- tree ---------------------------------------------------------------------------

TQtCompTreeView::TQtCompTreeView(QTreeWidget* tree) : FTree(tree) {}

void TQtCompTreeView::BeginUpdate() {
  if (FUpdating++ > 0) return;
  // Rebuilding must not look like the user moving the selection.
  FSignalsWereBlocked = FTree->blockSignals(true);
  FTree->setUpdatesEnabled(false);
}

void TQtCompTreeView::EndUpdate() {
  if (FUpdating <= 0 || --FUpdating > 0) return;
  FTree->setUpdatesEnabled(true);
  FTree->blockSignals(FSignalsWereBlocked);
}

void TQtCompTreeView::ClearNodes() { FTree->clear(); }

TViewNode TQtCompTreeView::AddNode(TViewNode parent, const std::string& caption) {
  auto* item = parent ? new QTreeWidgetItem(Item(parent)) : new QTreeWidgetItem(FTree);
  item->setText(0, FromCp1252(caption));
  return item;
}

void TQtCompTreeView::SetNodeImages(TViewNode node, int image, int selectedImage) {
  QTreeWidgetItem* item = Item(node);
  item->setData(0, ImageRole, image);
  item->setData(0, SelectedImageRole, selectedImage);
  item->setIcon(0, NodeIcon(Images, image, selectedImage));
}

void TQtCompTreeView::SetNodeData(TViewNode node, TCompDataList* data) { Item(node)->setData(0, DataRole, DataValue(data)); }

TCompDataList* TQtCompTreeView::NodeData(TViewNode node) const {
  return node ? DataOf(Item(node)->data(0, DataRole)) : nullptr;
}

void TQtCompTreeView::SetNodeSelected(TViewNode node, bool selected) {
  if (!node) return;
  if (selected)
    SelectNode(node);
  else
    Item(node)->setSelected(false);
}

void TQtCompTreeView::SetNodeFocused(TViewNode node, bool focused) {
  if (node && focused) FTree->setCurrentItem(Item(node), 0, QItemSelectionModel::NoUpdate);
}

void TQtCompTreeView::MakeNodeVisible(TViewNode node) {
  for (QTreeWidgetItem* parent = Item(node)->parent(); parent; parent = parent->parent()) parent->setExpanded(true);
}

bool TQtCompTreeView::NodeExpanded(TViewNode node) const { return Item(node)->isExpanded(); }

bool TQtCompTreeView::NodeSelected(TViewNode node) const { return Item(node)->isSelected(); }

bool TQtCompTreeView::NodeFocused(TViewNode node) const { return FTree->currentItem() == Item(node); }

TViewNode TQtCompTreeView::SelectedNode() const {
  QTreeWidgetItem* current = FTree->currentItem();
  if (current && current->isSelected()) return current;
  const QList<QTreeWidgetItem*> selected = FTree->selectedItems();
  return selected.isEmpty() ? nullptr : selected.first();
}

std::vector<TViewNode> TQtCompTreeView::AllNodes() const {
  std::vector<TViewNode> nodes;
  for (QTreeWidgetItemIterator it(FTree); *it; ++it) nodes.push_back(*it);
  return nodes;
}

void TQtCompTreeView::FullExpand() { FTree->expandAll(); }

void TQtCompTreeView::SelectNode(TViewNode node) {
  if (!node) {
    FTree->clearSelection();
    return;
  }
  FTree->setCurrentItem(Item(node), 0, QItemSelectionModel::ClearAndSelect);
  FTree->scrollToItem(Item(node));
}

int TQtCompTreeView::NodeImage(TViewNode node) const { return Item(node)->data(0, ImageRole).toInt(); }

int TQtCompTreeView::NodeSelectedImage(TViewNode node) const { return Item(node)->data(0, SelectedImageRole).toInt(); }

QString TQtCompTreeView::NodeCaption(TViewNode node) const { return Item(node)->text(0); }

// --- list with columns --------------------------------------------------------------

TQtCompListView::TQtCompListView(QTreeWidget* list) : FList(list) {}

int TQtCompListView::ColumnCount() const { return FList->columnCount(); }

TViewNode TQtCompListView::AddItem(const std::string& caption) {
  auto* item = new QTreeWidgetItem(FList);
  item->setText(0, FromCp1252(caption));
  item->setData(0, SubItemsRole, 0);
  return item;
}

void TQtCompListView::AddSubItem(TViewNode node, const std::string& text) {
  auto* item = static_cast<QTreeWidgetItem*>(node);
  const int column = item->data(0, SubItemsRole).toInt() + 1;
  item->setData(0, SubItemsRole, column);
  item->setText(column, FromCp1252(text));
}

void TQtCompListView::SetItemImage(TViewNode node, int image) {
  static_cast<QTreeWidgetItem*>(node)->setIcon(0, ImageAt(Images, image));
  static_cast<QTreeWidgetItem*>(node)->setData(0, ImageRole, image);
}

void TQtCompListView::SetItemData(TViewNode node, TCompDataList* data) {
  static_cast<QTreeWidgetItem*>(node)->setData(0, DataRole, DataValue(data));
}

TCompDataList* TQtCompListView::ItemData(TViewNode node) const {
  return node ? DataOf(static_cast<QTreeWidgetItem*>(node)->data(0, DataRole)) : nullptr;
}

void TQtCompListView::SetItemSelected(TViewNode node, bool selected) {
  static_cast<QTreeWidgetItem*>(node)->setSelected(selected);
}

void TQtCompListView::SetItemFocused(TViewNode node, bool focused) {
  if (focused) FList->setCurrentItem(static_cast<QTreeWidgetItem*>(node), 0, QItemSelectionModel::NoUpdate);
}

bool TQtCompListView::ItemSelected(TViewNode node) const { return static_cast<QTreeWidgetItem*>(node)->isSelected(); }

bool TQtCompListView::ItemFocused(TViewNode node) const {
  return FList->currentItem() == static_cast<QTreeWidgetItem*>(node);
}

std::vector<TViewNode> TQtCompListView::AllItems() const {
  std::vector<TViewNode> items;
  for (int i = 0; i < FList->topLevelItemCount(); ++i) items.push_back(FList->topLevelItem(i));
  return items;
}

// --- list of captions ---------------------------------------------------------------

TQtCompListWidget::TQtCompListWidget(QListWidget* list) : FList(list) {}

TViewNode TQtCompListWidget::AddItem(const std::string& caption) {
  return new QListWidgetItem(FromCp1252(caption), FList);
}

void TQtCompListWidget::AddSubItem(TViewNode, const std::string&) {}

void TQtCompListWidget::SetItemImage(TViewNode node, int image) {
  static_cast<QListWidgetItem*>(node)->setIcon(ImageAt(Images, image));
  static_cast<QListWidgetItem*>(node)->setData(ImageRole, image);
}

void TQtCompListWidget::SetItemData(TViewNode node, TCompDataList* data) {
  static_cast<QListWidgetItem*>(node)->setData(DataRole, DataValue(data));
}

TCompDataList* TQtCompListWidget::ItemData(TViewNode node) const {
  return node ? DataOf(static_cast<QListWidgetItem*>(node)->data(DataRole)) : nullptr;
}

void TQtCompListWidget::SetItemSelected(TViewNode node, bool selected) {
  static_cast<QListWidgetItem*>(node)->setSelected(selected);
}

void TQtCompListWidget::SetItemFocused(TViewNode node, bool focused) {
  if (focused) FList->setCurrentItem(static_cast<QListWidgetItem*>(node), QItemSelectionModel::NoUpdate);
}

bool TQtCompListWidget::ItemSelected(TViewNode node) const { return static_cast<QListWidgetItem*>(node)->isSelected(); }

bool TQtCompListWidget::ItemFocused(TViewNode node) const {
  return FList->currentItem() == static_cast<QListWidgetItem*>(node);
}

std::vector<TViewNode> TQtCompListWidget::AllItems() const {
  std::vector<TViewNode> items;
  for (int i = 0; i < FList->count(); ++i) items.push_back(FList->item(i));
  return items;
}
