#pragma once
// Intrusive, doubly linked, owning list. Items carry their own links, so an item
// is in at most one list at a time; a list is itself an item, which lets lists
// nest into trees (every stored object is at once an item and a list).
#include <cstdint>

class TLinkList;

class TListNode {
 public:
  TListNode() = default;
  // A linked item unlinks itself quietly (no notification) so that freeing it by
  // other means than TLinkList::Delete cannot leave dangling links behind.
  virtual ~TListNode();
  TListNode(const TListNode&) = delete;
  TListNode& operator=(const TListNode&) = delete;

  TListNode* Next = nullptr;
  TListNode* Prev = nullptr;
  TLinkList* List = nullptr;
};

// Actions handed to TLinkList::Notify.
enum TListNotification : int { lnAdded = 0, lnExtracted = 2, lnDeleted = 3 };

class TLinkList : public TListNode {
 public:
  TLinkList() = default;
  ~TLinkList() override;

  // Called after an item was inserted (lnAdded), after it was unlinked
  // (lnExtracted), and after unlinking when it is about to be freed (lnDeleted).
  virtual void Notify(TListNode* item, int action);
  virtual int CompareItems(TListNode* a, TListNode* b);

  // Item at a 0-based index; nullptr for an index outside 0..Count-1.
  TListNode* GetItem(std::int32_t index) const;
  // 0-based position of the item, or -1.
  std::int32_t IndexOf(const TListNode* item) const;

  void Append(TListNode* item);
  // Links item directly after `after` (at the front when after is nullptr). The item
  // must not be linked into any list, and `after` must be an item of this list.
  void InsertAfter(TListNode* after, TListNode* item);
  // Removes the item without freeing it.
  void Unlink(TListNode* item);
  // Unlinks and frees the item.
  void Delete(TListNode* item);
  // Frees every item, head to tail, without notifications.
  void Clear();

  // Iteration: First(item); while (Next(item)) { ... }
  void First(TListNode*& item) const { item = nullptr; }
  bool Next(TListNode*& item) const;

  TListNode* Head = nullptr;
  TListNode* Tail = nullptr;
  std::int32_t Count = 0;
};
