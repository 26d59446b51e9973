#pragma once
// Objects that present themselves and their children in a tree view and a list
// view (caption, images, columns) and remember their display state across
// refills; and the inspection of a stream's headers built on them.
//
// The views are reached through the small interfaces below so that this library
// stays free of any GUI toolkit; the desktop program adapts its tree and list
// widgets to them.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "KelErrors.h"
#include "KelLinkList.h"
#include "KelStreamWrapper.h"

class TCompDataList;

// Opaque handle of a tree node or list item; nullptr means none.
using TViewNode = void*;

class ICompTreeView {
 public:
  virtual ~ICompTreeView() = default;
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  virtual void ClearNodes() = 0;
  // Adds a node as the last child of parent (a top-level node when parent is nullptr).
  virtual TViewNode AddNode(TViewNode parent, const std::string& caption) = 0;
  virtual void SetNodeImages(TViewNode node, int image, int selectedImage) = 0;
  virtual void SetNodeData(TViewNode node, TCompDataList* data) = 0;
  virtual TCompDataList* NodeData(TViewNode node) const = 0;
  virtual void SetNodeSelected(TViewNode node, bool selected) = 0;
  virtual void SetNodeFocused(TViewNode node, bool focused) = 0;
  // Expands the node's ancestors.
  virtual void MakeNodeVisible(TViewNode node) = 0;
  virtual bool NodeExpanded(TViewNode node) const = 0;
  virtual bool NodeSelected(TViewNode node) const = 0;
  virtual bool NodeFocused(TViewNode node) const = 0;
  virtual TViewNode SelectedNode() const = 0;
  // Every node, parents before their children, in display order.
  virtual std::vector<TViewNode> AllNodes() const = 0;
  virtual void FullExpand() = 0;
};

class ICompListView {
 public:
  virtual ~ICompListView() = default;
  virtual int ColumnCount() const = 0;
  virtual TViewNode AddItem(const std::string& caption) = 0;
  virtual void AddSubItem(TViewNode item, const std::string& text) = 0;
  virtual void SetItemImage(TViewNode item, int image) = 0;
  virtual void SetItemData(TViewNode item, TCompDataList* data) = 0;
  virtual TCompDataList* ItemData(TViewNode item) const = 0;
  virtual void SetItemSelected(TViewNode item, bool selected) = 0;
  virtual void SetItemFocused(TViewNode item, bool focused) = 0;
  virtual bool ItemSelected(TViewNode item) const = 0;
  virtual bool ItemFocused(TViewNode item) const = 0;
  virtual std::vector<TViewNode> AllItems() const = 0;
};

// "name" padded with blanks to 30 characters (longer names cut to 29 and a
// "."), a tab, ": " and the value.
std::string FormatInfoLine(std::string_view name, std::string_view value);

class TCompDataList : public TLinkList {
 public:
  TCompDataList() { InitDisplayState(); }

  virtual std::string GetCaption() const { return {}; }
  virtual std::vector<std::string> GetColumnCaptions() const { return {}; }
  virtual std::vector<std::string> GetColumnValues() const { return {}; }
  virtual int GetImageIndex() const { return -1; }
  virtual int GetSelectedIndex() const { return GetImageIndex(); }
  virtual void InitDisplayState();
  // Appends "Caption" and "Count" lines (see FormatInfoLine).
  virtual void WriteInfo(std::vector<std::string>& lines) const;
  virtual void FillTreeNode(ICompTreeView& tree, TViewNode parentNode);
  virtual void FillListView(ICompListView& list);
  // Reads the display state back from the view being filled (TreeView or ListView).
  virtual void SaveDisplayState();

  // Refills the whole tree with this object as its root, keeping the selected
  // object selected (or selecting the first node when it is gone).
  void FillTree(ICompTreeView& tree, bool fullExpand);
  TViewNode AddTreeNode(ICompTreeView& tree, TViewNode parentNode, bool recursing, std::string_view prefix);
  void ApplyToTreeNode(ICompTreeView& tree, TViewNode node);
  void ApplyToListItem(ICompListView& list, TViewNode item);
  static TViewNode FindTreeNode(const ICompTreeView& tree, const TCompDataList* object);
  // Raises EKelCompDataListListViewCreate unless this object has exactly one more
  // column caption than column values; then whether both have the same captions.
  bool SameColumns(const TCompDataList& other) const;
  void AssignDisplayState(const TCompDataList& source);

  bool Expanded = true;
  bool ShowInTree = true;
  bool Selected = false;
  bool Focused = false;
  ICompTreeView* TreeView = nullptr;  // the view being filled, if any
  ICompListView* ListView = nullptr;
  // Compared by address only: it may name an object that has been freed since.
  const TCompDataList* SelectedItem = nullptr;
};

// --- stream inspection ---------------------------------------------------------

enum TStreamSpyKind : std::uint8_t { skMain = 0, skBlock = 1 };

// Field names and values of the frame records, in the order the inspection shows
// them. Integers in decimal, booleans "TRUE"/"FALSE", enumerations by name.
std::vector<std::pair<std::string, std::string>> StreamHeaderFields(const TStreamHeader& header);
std::vector<std::pair<std::string, std::string>> BlockHeaderFields(const TBlockHeader& header);

class TStreamSpy;

class tStreamSpyNode : public TCompDataList {
 public:
  tStreamSpyNode(const TStreamSpy* spy, const TStreamHeader& header);
  tStreamSpyNode(const TStreamSpy* spy, const TBlockHeader& header);

  std::string GetCaption() const override;
  std::vector<std::string> GetColumnCaptions() const override;
  std::vector<std::string> GetColumnValues() const override;
  int GetImageIndex() const override;
  int GetSelectedIndex() const override;

  TStreamSpyKind Kind;
  TStreamHeader StreamHeader{};
  TBlockHeader BlockHeader{};

 private:
  const TStreamSpy* FSpy;
};

// Collects the headers met while a stream is read: one skMain node per stream
// header, holding one skBlock node per block header, flat in reading order.
class TStreamSpy : public TCompDataList {
 public:
  std::string GetCaption() const override { return "TStreamSpy"; }
  int GetImageIndex() const override { return ImageIndex; }
  int GetSelectedIndex() const override { return SelectedIndex; }

  void AddStreamHeader(const TStreamHeader& header);
  void AddBlockHeader(const TBlockHeader& header);

  bool ReadDataToo = true;  // read the payloads normally while inspecting
  bool ShowKind = false;    // block captions show "/" and the class kind
  bool ShowID = false;      // block captions show "/" and the ID
  int ImageIndex = -1;
  int SelectedIndex = -1;
};

// Lists the stream header and every block header of a stored file, field by field
// (FormatInfoLine lines, texts in Windows-1252). Blocks are followed through their
// chain of offsets. False with a reason in `error` when the file cannot be read.
bool ListStreamHeaders(const std::string& fileName, bool compressed, std::vector<std::string>& lines,
                       std::string& error);
