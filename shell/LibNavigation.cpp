#include "LibNavigation.h"

#include <QStackedWidget>
#include <QThread>

#include <algorithm>
#include <exception>

#include "KelFrmFile.h"
#include "LibZymra.h"
#include "libNavFullScreen.h"

// --- entries ------------------------------------------------------------------------

TNavigation::TNavigation(TNavigations* navigations, QWidget* page, TZymra_Run* run)
    : Page(page), Navigations(navigations), Run(run) {}

TNavigation::~TNavigation() {
  // The tree finds Current by address; a freed entry must not be found again in
  // a new one that happens to get the same address.
  if (Navigations && Navigations->Current == this) Navigations->Current = nullptr;
}

bool TNavigation::Activate(bool force) { return Navigations && Navigations->ShowEntry(this, force); }

std::string TNavigationTree::GetCaption() const { return Run ? Caption + Run->RunCaption() : Caption; }

int TNavigationTree::GetImageIndex() const {
  if (Run) return 2 * Run->State();
  return Enabled ? ImageIndex : DisabledImageIndex;
}

int TNavigationTree::GetSelectedIndex() const {
  if (Run) return 2 * Run->State() + 1;
  return Enabled ? SelectedIndex : DisabledSelectedIndex;
}

bool TNavigationTree::Activate(bool force) { return Enabled && TNavigation::Activate(force); }

void TNavigationTree::SetAppearance(const std::string& caption, int imageIndex, int selectedIndex,
                                    int disabledImageIndex, int disabledSelectedIndex) {
  Caption = caption;
  ImageIndex = imageIndex;
  SelectedIndex = selectedIndex;
  DisabledImageIndex = disabledImageIndex;
  DisabledSelectedIndex = disabledSelectedIndex;
}

// --- the collection -----------------------------------------------------------------

TNavigations::TNavigations(std::string caption, int imageIndex, int selectedIndex, QStackedWidget* hostPanel)
    : HostPanel(hostPanel), Caption(std::move(caption)), ImageIndex(imageIndex), SelectedIndex(selectedIndex) {}

TNavigations::~TNavigations() {
  Current = nullptr;
  // While this object is still whole: the entries look at Current as they go.
  Clear();
}

TNavigationTree* TNavigations::AddEntry(TCompDataList& parent, QWidget* page, TZymra_Run* run, int pageTag) {
  auto* entry = new TNavigationTree(this, page, run);
  entry->PageTag = pageTag;
  parent.Append(entry);
  return entry;
}

bool TNavigations::CanLeaveCurrent() { return !Current || !Current->OnCanLeave || Current->OnCanLeave(); }

void TNavigations::LeaveAndDetach(bool mayLeave) {
  if (!Current) return;
  if (HostPanel && HostPanel->count() > 0) HostPanel->setCurrentIndex(0);
  if (mayLeave && Current->OnHide) Current->OnHide();
}

bool TNavigations::ShowEntry(TNavigation* entry, bool force) {
  if (!entry || !entry->Page) return false;
  // A page that refuses keeps its place, its selection and the user's values.
  if (!force && !CanLeaveCurrent()) return false;
  if (Current && Current->OnHide) Current->OnHide();
  if (entry->OnPageTag) entry->OnPageTag(entry->PageTag);
  QWidget* page = entry->Page;
  std::exception_ptr placing;
  try {
    if (HostPanel) {
      if (HostPanel->indexOf(page) < 0) HostPanel->addWidget(page);
      HostPanel->setCurrentWidget(page);
    }
  } catch (...) {
    placing = std::current_exception();
  }
  Current = entry;
  if (entry->Run && entry->OnShow) entry->OnShow(entry->Run);
  if (placing) std::rethrow_exception(placing);
  return true;
}

void TNavigations::Deactivate(bool force) {
  if (HostPanel && HostPanel->count() > 0) HostPanel->setCurrentIndex(0);
  if (!Current) return;
  LeaveAndDetach(force || CanLeaveCurrent());
  Current = nullptr;
}

void TNavigations::LeaveCurrent() {
  if (Current && CanLeaveCurrent() && Current->OnHide) Current->OnHide();
}

bool TNavigations::StoreCurrent() {
  if (!Current) return true;
  if (!CanLeaveCurrent()) return false;
  if (Current->OnStore) {
    Current->OnStore();
  } else if (Current->OnHide) {
    Current->OnHide();
    ReshowCurrent();
  }
  return true;
}

void TNavigations::ReshowCurrent() {
  if (Current && Current->Run && Current->OnShow) Current->OnShow(Current->Run);
}

void TNavigations::RefreshCurrent() {
  LeaveCurrent();
  ReshowCurrent();
}

bool TNavigations::HasPage() const { return Current && Current->Page; }

void TNavigations::ShowFullScreen(QWidget* owner, const std::function<int(TFrmFullScreen&)>& showModal) {
  if (HasPage()) ShowControlFullScreen(Current->Page, owner, showModal);
}

namespace {

// The node after (forward) or before the given one in tree order, or none.
TViewNode Neighbour(const ICompTreeView& tree, TViewNode node, bool forward) {
  const std::vector<TViewNode> nodes = tree.AllNodes();
  const auto at = std::find(nodes.begin(), nodes.end(), node);
  if (at == nodes.end()) return nullptr;
  if (forward) return at + 1 == nodes.end() ? nullptr : *(at + 1);
  return at == nodes.begin() ? nullptr : *(at - 1);
}

void SelectNode(ICompTreeView& tree, TViewNode node) {
  if (!node) return;
  tree.MakeNodeVisible(node);
  tree.SetNodeSelected(node, true);
  tree.SetNodeFocused(node, true);
}

// The node of Current, or the root when there is none.
void SelectCurrent(ICompTreeView& tree, TNavigations& navigations) {
  TViewNode node = navigations.Current ? TCompDataList::FindTreeNode(tree, navigations.Current) : nullptr;
  if (!node) {
    const std::vector<TViewNode> nodes = tree.AllNodes();
    if (!nodes.empty()) node = nodes.front();
  }
  SelectNode(tree, node);
}

}  // namespace

void TNavigations::Refill(ICompTreeView& tree, bool expand) {
  tree.BeginUpdate();
  try {
    FillTree(tree, expand);
    TViewNode node = Current ? FindTreeNode(tree, Current) : nullptr;
    // Its entry is gone with a rebuilt structure: a page left on screen would act on
    // a run it no longer shows.
    if (!node) Current = nullptr;
    if (!Current && HostPanel && HostPanel->count() > 0) HostPanel->setCurrentIndex(0);
    SelectCurrent(tree, *this);
  } catch (...) {
    tree.EndUpdate();
    throw;
  }
  tree.EndUpdate();
}

TViewNode TNavigations::NodeOfRun(const ICompTreeView& tree, const TZymra_Run* run) {
  if (!run) return nullptr;
  for (TViewNode node : tree.AllNodes()) {
    const auto* entry = dynamic_cast<const TNavigation*>(tree.NodeData(node));
    if (entry && entry->Run == run) return node;
  }
  return nullptr;
}

namespace {
TNavigation* FindIn(const TCompDataList& list, const QWidget* page, const TZymra_Run* run, int pageTag) {
  for (int i = 0; i < list.Count; ++i) {
    auto* entry = dynamic_cast<TNavigation*>(list.GetItem(i));
    if (!entry) continue;
    if (entry->Page == page && entry->Run == run && entry->PageTag == pageTag) return entry;
    if (TNavigation* below = FindIn(*entry, page, run, pageTag)) return below;
  }
  return nullptr;
}
}  // namespace

TNavigation* TNavigations::FindEntry(const QWidget* page, const TZymra_Run* run, int pageTag) const {
  return page ? FindIn(*this, page, run, pageTag) : nullptr;
}

bool TNavigations::Navigate(ICompTreeView& tree, bool forward, bool expand) {
  if (ActivateSelected(tree, forward)) {
    Refill(tree, expand);
    return true;
  }
  SelectCurrent(tree, *this);
  return false;
}

bool TNavigations::NavigateRetrying(ICompTreeView& tree, bool forward, const std::function<void()>& callback) {
  // Where the user pointed: every attempt starts from the same node.
  const TViewNode start = tree.SelectedNode();
  QString lastError;
  const int attempts = std::max(1, RetryLimit);
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    try {
      Navigate(tree, forward, false);
      if (callback) callback();
      return true;
    } catch (const std::exception& error) {
      lastError = QString::fromUtf8(error.what());
    } catch (...) {
      lastError = QStringLiteral("Unknown error");
    }
    if (attempt < attempts) {
      QThread::msleep(static_cast<unsigned long>(std::max(0, RetryDelayMs)));
      const std::vector<TViewNode> nodes = tree.AllNodes();
      if (std::find(nodes.begin(), nodes.end(), start) != nodes.end()) SelectNode(tree, start);
    }
  }
  ShowMessageText(lastError, MessageFlags(QMessageBox::Ok, QMessageBox::Critical));
  return false;
}

bool TNavigations::HandleKey(ICompTreeView* tree, int key, const std::function<void()>& callback) {
  if (!tree || (key != Qt::Key_Up && key != Qt::Key_Left)) return false;
  // Up goes backwards, Left (as if the tree were read the other way) forwards.
  const bool forward = key == Qt::Key_Left;
  const TViewNode selected = tree->SelectedNode();
  const TViewNode target = selected ? Neighbour(*tree, selected, forward) : nullptr;
  if (!target) return false;
  SelectNode(*tree, target);
  NavigateRetrying(*tree, forward, callback);
  return true;
}

// --- free functions -----------------------------------------------------------------

bool ActivateSelected(ICompTreeView& tree, bool forward) {
  for (TViewNode node = tree.SelectedNode(); node; node = Neighbour(tree, node, forward)) {
    TCompDataList* data = tree.NodeData(node);
    if (!data) return false;
    SelectNode(tree, node);
    if (auto* entry = dynamic_cast<TNavigation*>(data)) {
      auto* treeEntry = dynamic_cast<TNavigationTree*>(entry);
      const bool showable = entry->Page && entry->Navigations && (!treeEntry || treeEntry->Enabled);
      // Only entries without a page pass on; a refusing page stops the walk.
      if (showable) return entry->Activate(false);
      continue;
    }
    if (auto* navigations = dynamic_cast<TNavigations*>(data)) {
      if (!navigations->CanLeaveCurrent()) return false;
      navigations->LeaveAndDetach(true);
      if (navigations->HostPanel && navigations->HostPanel->count() > 0) navigations->HostPanel->setCurrentIndex(0);
      navigations->Current = nullptr;
      return true;
    }
    return false;
  }
  return false;
}

TNavigation* EntryOfSelected(const ICompTreeView& tree) {
  const TViewNode node = tree.SelectedNode();
  return node ? dynamic_cast<TNavigation*>(tree.NodeData(node)) : nullptr;
}
