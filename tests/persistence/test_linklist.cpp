#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KelLinkList.h"

namespace {
// Records notifications and frees so ownership and notification order can be checked.
std::vector<std::string>* gEvents = nullptr;

struct TItem : TListNode {
  explicit TItem(int id) : Id(id) {}
  ~TItem() override {
    if (gEvents) gEvents->push_back("free " + std::to_string(Id));
  }
  int Id;
};

struct TRecordingList : TLinkList {
  void Notify(TListNode* item, int action) override {
    if (gEvents) gEvents->push_back("notify " + std::to_string(static_cast<TItem*>(item)->Id) + " " +
                                    std::to_string(action));
  }
};

std::vector<int> Ids(const TLinkList& list) {
  std::vector<int> ids;
  TListNode* item;
  list.First(item);
  while (list.Next(item)) ids.push_back(static_cast<TItem*>(item)->Id);
  return ids;
}

// Walks backwards from Tail and checks the invariants the forward walk cannot see.
void ExpectConsistent(const TLinkList& list) {
  int n = 0;
  const TListNode* last = nullptr;
  for (const TListNode* p = list.Head; p; p = p->Next, ++n) {
    EXPECT_EQ(p->Prev, last);
    EXPECT_EQ(p->List, &list);
    last = p;
  }
  EXPECT_EQ(last, list.Tail);
  EXPECT_EQ(n, list.Count);
}

class LinkList : public ::testing::Test {
 protected:
  void SetUp() override { gEvents = &events; }
  void TearDown() override { gEvents = nullptr; }
  std::vector<std::string> events;
};

TEST_F(LinkList, EmptyListIterationStopsAtOnce) {
  TLinkList list;
  TListNode* item = reinterpret_cast<TListNode*>(1);
  list.First(item);
  EXPECT_EQ(item, nullptr);
  EXPECT_FALSE(list.Next(item));
  EXPECT_EQ(list.GetItem(0), nullptr);
  EXPECT_EQ(list.IndexOf(nullptr), -1);
}

TEST_F(LinkList, AppendInsertAndIndexKeepOrderAndLinks) {
  TLinkList list;
  auto* a = new TItem(1);
  auto* c = new TItem(3);
  list.Append(a);
  list.Append(c);
  list.InsertAfter(a, new TItem(2));  // in the middle
  list.InsertAfter(nullptr, new TItem(0));  // at the front
  auto* last = new TItem(4);
  list.InsertAfter(c, last);  // after the tail: becomes the tail
  EXPECT_EQ(Ids(list), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(list.Tail, last);
  EXPECT_EQ(list.Head->Prev, nullptr);
  EXPECT_EQ(list.Tail->Next, nullptr);
  ExpectConsistent(list);
  EXPECT_EQ(list.GetItem(2), a->Next);
  EXPECT_EQ(list.GetItem(list.Count), nullptr);
  EXPECT_EQ(list.GetItem(-1), nullptr);
  EXPECT_EQ(list.IndexOf(c), 3);
  TItem stranger(9);
  EXPECT_EQ(list.IndexOf(&stranger), -1);
}

TEST_F(LinkList, UnlinkRemovesWithoutFreeing) {
  TRecordingList list;
  auto* a = new TItem(1);
  auto* b = new TItem(2);
  auto* c = new TItem(3);
  list.Append(a);
  list.Append(b);
  list.Append(c);
  events.clear();
  list.Unlink(a);  // the head
  list.Unlink(c);  // the tail
  EXPECT_EQ(events, (std::vector<std::string>{"notify 1 2", "notify 3 2"}));
  EXPECT_EQ(a->List, nullptr);
  EXPECT_EQ(a->Next, nullptr);
  EXPECT_EQ(Ids(list), (std::vector<int>{2}));
  ExpectConsistent(list);
  list.Unlink(b);  // the only item
  EXPECT_EQ(list.Head, nullptr);
  EXPECT_EQ(list.Tail, nullptr);
  EXPECT_EQ(list.Count, 0);
  list.Unlink(nullptr);
  // An unlinked item can join another list.
  TLinkList other;
  other.Append(a);
  EXPECT_EQ(a->List, &other);
  delete b;
  delete c;
}

TEST_F(LinkList, DeleteNotifiesTwiceThenFrees) {
  TRecordingList list;
  auto* a = new TItem(1);
  list.Append(a);
  list.Append(new TItem(2));
  events.clear();
  list.Delete(a);
  EXPECT_EQ(events, (std::vector<std::string>{"notify 1 2", "notify 1 3", "free 1"}));
  EXPECT_EQ(Ids(list), (std::vector<int>{2}));
  list.Delete(nullptr);
}

TEST_F(LinkList, ClearAndDestroyFreeEveryItemWithoutNotifying) {
  {
    TRecordingList list;
    list.Append(new TItem(1));
    list.Append(new TItem(2));
    events.clear();
    list.Clear();
    EXPECT_EQ(events, (std::vector<std::string>{"free 1", "free 2"}));
    EXPECT_EQ(list.Count, 0);
    EXPECT_EQ(list.Head, nullptr);
    list.Append(new TItem(3));
    events.clear();
  }
  EXPECT_EQ(events, (std::vector<std::string>{"free 3"}));
}

TEST_F(LinkList, ListsNestAsItems) {
  TLinkList root;
  auto* sub = new TLinkList;
  root.Append(sub);
  sub->Append(new TItem(7));
  EXPECT_EQ(sub->List, &root);
  events.clear();
  root.Clear();  // frees the sub-list and, through it, its item
  EXPECT_EQ(events, (std::vector<std::string>{"free 7"}));
}

TEST_F(LinkList, FreeingALinkedItemDirectlyLeavesTheListConsistent) {
  TLinkList list;
  list.Append(new TItem(1));
  auto* b = new TItem(2);
  list.Append(b);
  list.Append(new TItem(3));
  delete b;
  EXPECT_EQ(Ids(list), (std::vector<int>{1, 3}));
  ExpectConsistent(list);
}

TEST_F(LinkList, LinkingAnItemTwiceIsRefused) {
  TLinkList a, b;
  auto* item = new TItem(1);
  a.Append(item);
  EXPECT_THROW(b.Append(item), std::logic_error);
  EXPECT_EQ(a.Count, 1);
  EXPECT_EQ(b.Count, 0);
}
}  // namespace
