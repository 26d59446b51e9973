#include "KelCompDataList.h"

#include <algorithm>

std::string FormatInfoLine(std::string_view name, std::string_view value) {
  constexpr std::size_t width = 30;
  std::string line;
  if (name.size() > width) {
    line.assign(name.substr(0, width - 1));
    line += '.';
  } else {
    line.assign(name);
    line.append(width - name.size(), ' ');
  }
  line += "\t: ";
  line.append(value);
  return line;
}

void TCompDataList::InitDisplayState() {
  Expanded = true;
  ShowInTree = true;
  Selected = false;
  Focused = false;
}

void TCompDataList::WriteInfo(std::vector<std::string>& lines) const {
  lines.push_back(FormatInfoLine("Caption", GetCaption()));
  lines.push_back(FormatInfoLine("Count", std::to_string(Count)));
}

void TCompDataList::FillTreeNode(ICompTreeView& tree, TViewNode parentNode) {
  for (TListNode* item = Head; item; item = item->Next) {
    auto* child = dynamic_cast<TCompDataList*>(item);
    if (child && child->ShowInTree) child->AddTreeNode(tree, parentNode, true, "");
  }
}

void TCompDataList::FillListView(ICompListView& list) {
  for (TListNode* item = Head; item; item = item->Next) {
    auto* child = dynamic_cast<TCompDataList*>(item);
    if (!child || !child->ShowInTree) continue;
    if (!SameColumns(*child)) return;
    const TViewNode listItem = list.AddItem(child->GetCaption());
    // One column holds the caption, every other column one value.
    const std::vector<std::string> ownValues = GetColumnValues();
    if (static_cast<int>(ownValues.size()) + 1 != list.ColumnCount())
      throw EKelCompDataListListViewCreate("_FillListView: column counts are different");
    const std::vector<std::string> values = child->GetColumnValues();
    const std::size_t n = std::min(values.size(), static_cast<std::size_t>(std::max(0, list.ColumnCount() - 1)));
    for (std::size_t i = 0; i < n; ++i) list.AddSubItem(listItem, values[i]);
    child->ListView = &list;
    child->ApplyToListItem(list, listItem);
    child->FillListView(list);
    child->ListView = nullptr;
  }
}

void TCompDataList::SaveDisplayState() {
  if (TreeView) {
    if (const TViewNode node = FindTreeNode(*TreeView, this)) {
      Expanded = TreeView->NodeExpanded(node);
      Selected = TreeView->NodeSelected(node);
      Focused = TreeView->NodeFocused(node);
    }
  } else if (ListView) {
    for (const TViewNode item : ListView->AllItems()) {
      if (ListView->ItemData(item) != this) continue;
      Selected = ListView->ItemSelected(item);
      Focused = ListView->ItemFocused(item);
      break;
    }
  }
}

void TCompDataList::FillTree(ICompTreeView& tree, bool fullExpand) {
  TreeView = &tree;
  const TViewNode previous = tree.SelectedNode();
  SelectedItem = previous ? tree.NodeData(previous) : nullptr;
  tree.BeginUpdate();
  try {
    tree.ClearNodes();
    const TViewNode root = tree.AddNode(nullptr, GetCaption());
    ApplyToTreeNode(tree, root);
    FillTreeNode(tree, root);
  } catch (...) {
    tree.EndUpdate();
    TreeView = nullptr;
    throw;
  }
  tree.EndUpdate();
  TViewNode select = SelectedItem ? FindTreeNode(tree, SelectedItem) : nullptr;
  if (!select) {
    const std::vector<TViewNode> nodes = tree.AllNodes();
    if (!nodes.empty()) select = nodes.front();
  }
  if (select) {
    tree.MakeNodeVisible(select);
    tree.SetNodeSelected(select, true);
    tree.SetNodeFocused(select, true);
  }
  if (fullExpand) tree.FullExpand();
  TreeView = nullptr;
}

TViewNode TCompDataList::AddTreeNode(ICompTreeView& tree, TViewNode parentNode, bool recursing,
                                     std::string_view prefix) {
  TreeView = &tree;
  std::string caption = recursing ? std::string() : std::string(prefix);
  caption += GetCaption();
  const TViewNode node = tree.AddNode(parentNode, caption);
  ApplyToTreeNode(tree, node);
  if (recursing) FillTreeNode(tree, node);
  TreeView = nullptr;
  return node;
}

void TCompDataList::ApplyToTreeNode(ICompTreeView& tree, TViewNode node) {
  tree.SetNodeImages(node, GetImageIndex(), GetSelectedIndex());
  tree.SetNodeData(node, this);
  tree.SetNodeSelected(node, Selected);
  tree.SetNodeFocused(node, Focused);
  if (Expanded) tree.MakeNodeVisible(node);
}

void TCompDataList::ApplyToListItem(ICompListView& list, TViewNode item) {
  list.SetItemImage(item, GetImageIndex());
  list.SetItemData(item, this);
  list.SetItemSelected(item, Selected);
  list.SetItemFocused(item, Focused);
}

TViewNode TCompDataList::FindTreeNode(const ICompTreeView& tree, const TCompDataList* object) {
  for (const TViewNode node : tree.AllNodes())
    if (tree.NodeData(node) == object) return node;
  return nullptr;
}

bool TCompDataList::SameColumns(const TCompDataList& other) const {
  const std::vector<std::string> captions = GetColumnCaptions();
  if (captions.size() != GetColumnValues().size() + 1)
    throw EKelCompDataListListViewCreate("_coding error: unequal captions and subitems count");
  return captions == other.GetColumnCaptions();
}

void TCompDataList::AssignDisplayState(const TCompDataList& source) {
  Expanded = source.Expanded;
  ShowInTree = source.ShowInTree;
  Selected = source.Selected;
  Focused = source.Focused;
}

// --- stream inspection -----------------------------------------------------------------

namespace {
std::string Bool(std::uint8_t b) { return b ? "TRUE" : "FALSE"; }
std::string Int(std::int32_t v) { return std::to_string(v); }
}  // namespace

std::vector<std::pair<std::string, std::string>> StreamHeaderFields(const TStreamHeader& h) {
  return {{"StreamVersion", h.StreamVersion.Str()},
          {"CompDataListVersion", h.CompDataListVersion.Str()},
          {"ProjectVersion", h.ProjectVersion.Str()},
          {"FullMemorySize", Int(h.FullMemorySize)},
          {"FreeMemorySize", Int(h.FreeMemorySize)},
          {"StreamType", StreamTypeName(h.StreamType)},
          {"Name", h.Name.Str()},
          {"WriteBlockHeaders", Bool(h.WriteBlockHeaders)},
          {"WriteBlockFooters", Bool(h.WriteBlockFooters)},
          {"DataSize", Int(h.DataSize)},
          {"NumberOfLists", Int(h.NumberOfLists)},
          {"NumberOfNodes", Int(h.NumberOfNodes)},
          {"NumberOfBlocks", Int(h.NumberOfBlocks)},
          {"MySize", Int(h.MySize)},
          {"Offsetfooter", Int(h.Offsetfooter)}};
}

std::vector<std::pair<std::string, std::string>> BlockHeaderFields(const TBlockHeader& h) {
  return {{"ID", h.ID.Str()},
          {"ID_owner", h.ID_owner.Str()},
          {"ID_Ref", h.ID_Ref.Str()},
          {"Last Caption", h.LastCaption.Str()},
          {"Objectversion", h.Objectversion.Str()},
          {"ClassKind", ClassKindName(h.ClassKind)},
          {"ClassName", h.ClassName.Str()},
          {"DataSize", Int(h.DataSize)},
          {"Spacer", Int(h.Spacer)},
          {"Count", Int(h.Count)},
          {"Offset", Int(h.Offset)},
          {"OffsetNext_Node", Int(h.OffsetNext_Node)},
          {"OffsetPrev_Node", Int(h.OffsetPrev_Node)},
          {"OffsetNext_Block", Int(h.OffsetNext_Block)},
          {"OffsetPrev_Block", Int(h.OffsetPrev_Block)},
          {"MySize", Int(h.MySize)},
          {"Offsetfooter", Int(h.Offsetfooter)},
          {"IsLinked", Bool(h.IsLinked)}};
}

tStreamSpyNode::tStreamSpyNode(const TStreamSpy* spy, const TStreamHeader& header)
    : Kind(skMain), StreamHeader(header), FSpy(spy) {}

tStreamSpyNode::tStreamSpyNode(const TStreamSpy* spy, const TBlockHeader& header)
    : Kind(skBlock), BlockHeader(header), FSpy(spy) {}

std::string tStreamSpyNode::GetCaption() const {
  if (Kind == skMain) return "skMain";
  std::string caption = BlockHeader.LastCaption.Str();
  if (FSpy && FSpy->ShowKind) caption += "/" + ClassKindName(BlockHeader.ClassKind);
  if (FSpy && FSpy->ShowID) caption += "/" + BlockHeader.ID.Str();
  return caption;
}

std::vector<std::string> tStreamSpyNode::GetColumnCaptions() const {
  std::vector<std::string> captions{"caption"};
  const auto fields = Kind == skMain ? StreamHeaderFields(StreamHeader) : BlockHeaderFields(BlockHeader);
  for (const auto& f : fields) captions.push_back(f.first);
  return captions;
}

std::vector<std::string> tStreamSpyNode::GetColumnValues() const {
  std::vector<std::string> values;
  const auto fields = Kind == skMain ? StreamHeaderFields(StreamHeader) : BlockHeaderFields(BlockHeader);
  for (const auto& f : fields) values.push_back(f.second);
  return values;
}

int tStreamSpyNode::GetImageIndex() const {
  if (Kind == skMain) return 0;
  switch (BlockHeader.ClassKind) {
    case ckList: return 2;
    case ckNode: return 4;
    case ckRefCarrier: return 6;
    default: return -1;
  }
}

int tStreamSpyNode::GetSelectedIndex() const {
  const int image = GetImageIndex();
  return image < 0 ? -1 : image + 1;
}

void TStreamSpy::AddStreamHeader(const TStreamHeader& header) { Append(new tStreamSpyNode(this, header)); }

void TStreamSpy::AddBlockHeader(const TBlockHeader& header) {
  TLinkList* target = this;  // blocks met before any stream header stay at the top
  for (TListNode* item = Tail; item; item = item->Prev) {
    auto* node = dynamic_cast<tStreamSpyNode*>(item);
    if (node && node->Kind == skMain) {
      target = node;
      break;
    }
  }
  target->Append(new tStreamSpyNode(this, header));
}

bool ListStreamHeaders(const std::string& fileName, bool compressed, std::vector<std::string>& lines,
                       std::string& error) {
  error.clear();
  try {
    TStreamWrappers wrappers;
    wrappers.Compress = compressed;
    TStreamWrapper* wrapper = new TFile_StreamWrapper(omRead, fileName, wfNone);
    wrappers.Append(wrapper);  // owned by the list from here on
    if (!wrapper->Open(true)) {
      error = wrapper->Error();
      wrapper->Close(true);
      return false;
    }
    lines.push_back("skMain");
    for (const auto& [name, value] : StreamHeaderFields(wrapper->Header))
      lines.push_back(FormatInfoLine(name, value));
    bool ok = true;
    if (wrapper->Header.WriteBlockHeaders) {
      // Follow the chain of blocks; offsets must grow so a damaged chain cannot loop.
      std::int64_t offset = StreamHeaderReserve;
      std::int64_t last = -1;
      int number = 0;
      while (offset > last && offset + BlockHeaderSize <= wrapper->GetSize()) {
        TBlockHeader block{};
        if (!wrapper->Seek(offset, 0) || !wrapper->ReadBlockHeader(block)) {
          ok = false;
          break;
        }
        lines.push_back("skBlock " + std::to_string(++number));
        for (const auto& [name, value] : BlockHeaderFields(block)) lines.push_back(FormatInfoLine(name, value));
        last = offset;
        if (block.OffsetNext_Block == 0) break;
        offset = block.OffsetNext_Block;
      }
      if (ok && offset > 0 && offset != last && !(offset > last && offset + BlockHeaderSize <= wrapper->GetSize())) {
        wrapper->SetError("the chain of blocks leads to an invalid offset " + std::to_string(offset));
        ok = false;
      }
    }
    if (!ok) error = wrapper->Error();
    wrapper->Close(true);
    return ok;
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}
