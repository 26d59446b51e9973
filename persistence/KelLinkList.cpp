#include "KelLinkList.h"

#include <stdexcept>

TListNode::~TListNode() {
  if (List == nullptr) return;
  TLinkList* list = List;
  if (Prev) Prev->Next = Next; else list->Head = Next;
  if (Next) Next->Prev = Prev; else list->Tail = Prev;
  --list->Count;
  Next = Prev = nullptr;
  List = nullptr;
}

TLinkList::~TLinkList() { Clear(); }

void TLinkList::Notify(TListNode*, int) {}

int TLinkList::CompareItems(TListNode*, TListNode*) { return 0; }

TListNode* TLinkList::GetItem(std::int32_t index) const {
  if (index < 0 || index >= Count) return nullptr;
  TListNode* item = Head;
  while (index-- > 0 && item) item = item->Next;
  return item;
}

std::int32_t TLinkList::IndexOf(const TListNode* item) const {
  std::int32_t i = 0;
  for (const TListNode* p = Head; p; p = p->Next, ++i)
    if (p == item) return i;
  return -1;
}

void TLinkList::Append(TListNode* item) { InsertAfter(Tail, item); }

void TLinkList::InsertAfter(TListNode* after, TListNode* item) {
  if (item == nullptr) return;
  // Linking an item twice would corrupt both lists; that is a programming error.
  if (item->List != nullptr || item == this) throw std::logic_error("TLinkList::InsertAfter: item is already linked");
  if (after != nullptr && after->List != this) throw std::logic_error("TLinkList::InsertAfter: anchor is not in this list");
  if (after == nullptr) {
    item->Prev = nullptr;
    item->Next = Head;
    if (Head) Head->Prev = item;
    Head = item;
  } else {
    item->Prev = after;
    item->Next = after->Next;
    if (after->Next) after->Next->Prev = item;
    after->Next = item;
  }
  if (item->Next == nullptr) Tail = item;
  item->List = this;
  ++Count;
  Notify(item, lnAdded);
}

void TLinkList::Unlink(TListNode* item) {
  if (item == nullptr || item->List != this) return;
  if (item->Prev) item->Prev->Next = item->Next; else Head = item->Next;
  if (item->Next) item->Next->Prev = item->Prev; else Tail = item->Prev;
  item->Next = item->Prev = nullptr;
  item->List = nullptr;
  --Count;
  Notify(item, lnExtracted);
}

void TLinkList::Delete(TListNode* item) {
  if (item == nullptr || item->List != this) return;
  Unlink(item);
  Notify(item, lnDeleted);
  delete item;
}

void TLinkList::Clear() {
  TListNode* item = Head;
  // Detach everything first: an item's destructor may look at its own list.
  Head = Tail = nullptr;
  Count = 0;
  while (item) {
    TListNode* next = item->Next;
    item->Next = item->Prev = nullptr;
    item->List = nullptr;
    delete item;
    item = next;
  }
}

bool TLinkList::Next(TListNode*& item) const {
  if (Count == 0 || item == Tail) return false;
  item = item ? item->Next : Head;
  return item != nullptr;
}
