#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <cstdio>
#include <thread>

#include "KelStreamList.h"
#include "stream_fixtures.h"

using namespace fixtures;
using ::testing::HasSubstr;

namespace {

std::vector<TStreamNode*> Children(const TStreamNode& list) {
  std::vector<TStreamNode*> out;
  TStreamNode* node;
  list.First(node);
  while (list.Next(node)) out.push_back(node);
  return out;
}

// --- round trips ------------------------------------------------------------------

TEST(StreamListRoundTrip, ProjectWithItemsGroupsAndNestedSeriesComesBackEqual) {
  TScratchDir dir("roundtrip");
  const std::string name = dir.File("project.tst");
  TTestProject saved;
  saved.TitleRecord.Title.Assign("Fed-batch \xB5 test");
  saved.TitleRecord.Stock.Assign("E. coli K12");
  saved.Comment = std::string("line 1\r\nline 2\0end", 18);
  AddItem(saved, 7, "Run 1", {0.5, 1.25, -3.0});
  AddItem(saved, -2, "", {});
  auto* group = new TTestGroup(&saved);
  group->Name = "group";
  saved.Add(group);
  AddItem(*group, 42, "inner", {2.0});
  ASSERT_TRUE(saved.SaveToFile(name)) << saved.LastError;
  EXPECT_EQ(saved.LastError, "");

  TTestProject loaded;
  ASSERT_TRUE(loaded.LoadFromFile(name)) << loaded.LastError;
  EXPECT_EQ(loaded.TitleRecord.Title.Str(), "Fed-batch \xB5 test");
  EXPECT_EQ(loaded.TitleRecord.Stock.Str(), "E. coli K12");
  EXPECT_EQ(loaded.Comment, saved.Comment);
  EXPECT_EQ(loaded.GetID(), saved.GetID());
  const auto a = Children(saved), b = Children(loaded);
  ASSERT_EQ(b.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(b[i]->ClassName(), a[i]->ClassName());
    EXPECT_EQ(b[i]->GetID(), a[i]->GetID());
    EXPECT_EQ(b[i]->Parent(), &loaded);
    EXPECT_EQ(b[i]->Root(), &loaded);
  }
  for (std::size_t i = 0; i < 2; ++i) {
    auto* x = static_cast<TTestItem*>(a[i]);
    auto* y = static_cast<TTestItem*>(b[i]);
    EXPECT_EQ(y->Value, x->Value);
    EXPECT_EQ(y->Text, x->Text);
    EXPECT_EQ(y->Series->Values, x->Series->Values);
    EXPECT_EQ(y->LoadedVersion, "1.0.2");
  }
  auto* g = static_cast<TTestGroup*>(b[2]);
  EXPECT_EQ(g->Name, "group");
  ASSERT_EQ(g->Count, 1);
  EXPECT_EQ(static_cast<TTestItem*>(g->Head)->Series->Values, std::vector<double>{2.0});
  // Every node loaded into the tree is known to the root.
  EXPECT_EQ(loaded.FindByID(g->GetID()), g);
  EXPECT_EQ(loaded.FindByID(static_cast<TTestItem*>(g->Head)->Series->GetID()),
            static_cast<TTestItem*>(g->Head)->Series);
}

TEST(StreamListRoundTrip, LoadingReplacesExistingChildren) {
  TScratchDir dir("replace");
  const std::string name = dir.File("p.tst");
  TTestProject saved;
  AddItem(saved, 1, "a");
  AddItem(saved, 2, "b");
  ASSERT_TRUE(saved.SaveToFile(name));
  TTestProject target;
  for (int i = 0; i < 5; ++i) AddItem(target, 10 + i, "old");
  ASSERT_TRUE(target.LoadFromFile(name)) << target.LastError;
  const auto kids = Children(target);
  ASSERT_EQ(kids.size(), 2u);
  EXPECT_EQ(static_cast<TTestItem*>(kids[0])->Text, "a");
  EXPECT_EQ(static_cast<TTestItem*>(kids[1])->Text, "b");
}

// A loaded tree saved again, after its children were changed, must not carry the
// old chain offsets into the new file.
TEST(StreamListRoundTrip, ResavingALoadedTreeWritesAFreshBlockChain) {
  TScratchDir dir("resave");
  const std::string name = dir.File("p.tst");
  TTestProject saved;
  AddItem(saved, 1, "a");
  AddItem(saved, 2, "b");
  ASSERT_TRUE(saved.SaveToFile(name));
  TTestProject loaded;
  ASSERT_TRUE(loaded.LoadFromFile(name));
  loaded.Clear();
  ASSERT_TRUE(loaded.SaveToFile(name)) << loaded.LastError;
  const auto image = DecodedImage(name);
  EXPECT_EQ(I32(image, 318), 1);         // one block
  EXPECT_EQ(I32(image, 400 + 225), 0);   // and nothing after it
  EXPECT_EQ(I32(image, 400 + 217), 0);   // no children
  TTestProject again;
  EXPECT_TRUE(again.LoadFromFile(name)) << again.LastError;
  EXPECT_EQ(again.Count, 0);
}

// Paths longer than the header's 255 characters are stored cut, but the file
// itself goes where the whole path says.
TEST(StreamListRoundTrip, LongPathsAreSavedWhereTheyPointAndCutOnlyInTheHeader) {
  TScratchDir dir("longpath");
  std::string folder = dir.Path;
  while (folder.size() < 300) folder += "/" + std::string(60, 'd');
  std::filesystem::create_directories(folder);
  const std::string name = folder + "/project.tst";
  TTestProject p;
  AddItem(p, 4, "far away");
  ASSERT_TRUE(p.SaveToFile(name)) << p.LastError;
  EXPECT_EQ(SS(DecodedImage(name), 48), name.substr(0, 255));
  TTestProject q;
  ASSERT_TRUE(q.LoadFromFile(name)) << q.LastError;
  EXPECT_EQ(static_cast<TTestItem*>(q.Head)->Text, "far away");
  EXPECT_FALSE(std::filesystem::exists(name.substr(0, 255)));
}

// Updating a compressed file in place: the header is read, the image re-coded.
TEST(StreamListRoundTrip, UpdateModeRewritesTheFileItOpened) {
  TScratchDir dir("update");
  const std::string name = dir.File("u.tst");
  TTestProject p;
  AddItem(p, 8, "kept", {1.0, 2.0});
  ASSERT_TRUE(p.SaveToFile(name));
  const auto imageBefore = DecodedImage(name);
  {
    TStreamWrappers wrappers;
    wrappers.Compress = true;
    auto* w = new TFile_StreamWrapper(omUpdate, name, wfNone);
    wrappers.Append(w);
    EXPECT_TRUE(w->IsUpdating());
    ASSERT_TRUE(w->Open(false));
    EXPECT_EQ(+w->Header.NumberOfBlocks, I32(imageBefore, 318));
    EXPECT_FALSE(w->HasGrown());
    ASSERT_TRUE(w->Seek(0, 2));
    const char extra[30] = {};
    ASSERT_TRUE(w->Write(extra, 30));  // grows: a new stream footer follows
    EXPECT_TRUE(w->HasGrown());
    ASSERT_TRUE(w->Close(false)) << w->Error();
    EXPECT_TRUE(w->Commit());
  }
  const auto imageAfter = DecodedImage(name);
  ASSERT_EQ(imageAfter.size(), imageBefore.size() + 30 + 20);
  EXPECT_EQ(I32(imageAfter, 306), static_cast<std::int32_t>(imageAfter.size()));
  EXPECT_EQ(I32(imageAfter, 326), static_cast<std::int32_t>(imageAfter.size()) - 20);
  EXPECT_TRUE(std::equal(imageBefore.begin() + 400, imageBefore.end(), imageAfter.begin() + 400));
  TTestProject q;
  ASSERT_TRUE(q.LoadFromFile(name)) << q.LastError;
  EXPECT_EQ(static_cast<TTestItem*>(q.Head)->Series->Values, (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"u.tst"});
}

// --- the stored image, read byte by byte at the layout's offsets ---------------------------------

TEST(StreamListImage, ListWithTwoPlainChildrenMatchesTheLayoutFieldByField) {
  TScratchDir dir("layout");
  const std::string name = dir.File("layout.tst");
  TTestProject project;
  project.TitleRecord.Title.Assign("A title longer than twenty");
  project.Comment = "abc";
  auto* r1 = new TStreamNodeRef(&project);
  auto* r2 = new TStreamNodeRef(&project);
  project.Add(r1);
  project.Add(r2);
  r1->SetTarget(r2);
  ASSERT_TRUE(project.SaveToFile(name)) << project.LastError;
  const auto b = DecodedImage(name);
  const auto size = static_cast<std::int32_t>(b.size());

  // Stream header.
  EXPECT_EQ(SS(b, 0), "0.0.1");
  EXPECT_EQ(SS(b, 13), "0.0.1");
  EXPECT_EQ(SS(b, 26), "");
  EXPECT_EQ(I32(b, 39), 0);
  EXPECT_EQ(I32(b, 43), 0);
  EXPECT_EQ(b[47], 0);  // stFile
  EXPECT_EQ(SS(b, 48), name);
  EXPECT_EQ(b[304], 1);
  EXPECT_EQ(b[305], 1);
  EXPECT_EQ(I32(b, 306), size);
  EXPECT_EQ(I32(b, 310), 1);  // lists
  EXPECT_EQ(I32(b, 314), 2);  // other nodes
  EXPECT_EQ(I32(b, 318), 3);  // blocks
  EXPECT_EQ(I32(b, 322), 400);
  EXPECT_EQ(I32(b, 326), size - 20);
  EXPECT_TRUE(std::all_of(b.begin() + 330, b.begin() + 400, [](std::uint8_t c) { return c == 0; }));
  // Stream footer.
  EXPECT_EQ(I32(b, size - 20), 20);
  EXPECT_EQ(I32(b, size - 16), 0);
  EXPECT_TRUE(std::all_of(b.end() - 12, b.end(), [](std::uint8_t c) { return c == 0; }));

  // Offsets worked out from the sizes: 250 header, project payload 512 + 4 + 3,
  // reference payload 11, footers 20.
  const std::int32_t root = 400, c1 = root + 250 + 512 + 4 + 3, c2 = c1 + 250 + 11 + 20, end2 = c2 + 250 + 11 + 20;
  ASSERT_EQ(end2 + 20 + 20, size);
  struct Expect {
    std::int32_t at;
    std::string id, owner, ref, caption, version;
    std::uint8_t kind;
    std::string cls;
    std::int32_t dataSize, count, next, prev;
    std::uint8_t linked;
  };
  const Expect blocks[] = {
      {root, project.GetID(), "", "", "A title longer than ", "2.0.3", 1, "TTestProject", end2 - root, 2, c1, 0, 0},
      {c1, r1->GetID(), project.GetID(), r2->GetID(), "", "0.0.1", 3, "TStreamNodeRef", 261, 0, c2, root, 1},
      {c2, r2->GetID(), project.GetID(), "", "", "0.0.1", 3, "TStreamNodeRef", 261, 0, 0, c1, 1},
  };
  for (const Expect& e : blocks) {
    SCOPED_TRACE(e.at);
    EXPECT_EQ(SS(b, e.at + 0), e.id);
    EXPECT_EQ(SS(b, e.at + 51), e.owner);
    EXPECT_EQ(SS(b, e.at + 102), e.ref);
    EXPECT_EQ(SS(b, e.at + 153), e.caption);
    EXPECT_EQ(SS(b, e.at + 174), e.version);
    EXPECT_EQ(b[e.at + 187], e.kind);
    EXPECT_EQ(SS(b, e.at + 188), e.cls);
    EXPECT_EQ(I32(b, e.at + 209), e.dataSize);
    EXPECT_EQ(I32(b, e.at + 213), 0);  // spacer
    EXPECT_EQ(I32(b, e.at + 217), e.count);
    EXPECT_EQ(I32(b, e.at + 221), e.at);
    EXPECT_EQ(I32(b, e.at + 225), e.next);
    EXPECT_EQ(I32(b, e.at + 229), e.prev);
    EXPECT_EQ(I32(b, e.at + 233), 0);
    EXPECT_EQ(I32(b, e.at + 237), 0);
    EXPECT_EQ(I32(b, e.at + 241), 150);
    EXPECT_EQ(I32(b, e.at + 245), e.at + e.dataSize);  // spacer 0: the footer follows directly
    EXPECT_EQ(b[e.at + 249], e.linked);
    EXPECT_EQ(I32(b, e.at + e.dataSize), 20);  // block footer
    EXPECT_EQ(I32(b, e.at + e.dataSize + 4), e.at);
  }
  // The project payload: title record, then the comment with its 32-bit length.
  EXPECT_EQ(SS(b, root + 250), "A title longer than twenty");
  EXPECT_EQ(I32(b, root + 250 + 512), 3);
}

TEST(StreamListImage, ProfileSpacerPadsTheBlock) {
  TScratchDir dir("spacer");
  const std::string name = dir.File("s.tst");
  TTestProject project;
  TStreamProfile profile = project.Profile;
  profile.Spacer = 2000;
  project.SetProfile(profile);
  project.SetFileName(name);
  project.StreamSettings.Compress = false;
  ASSERT_TRUE(project.Save());
  const auto b = ReadFileBytes(name);
  EXPECT_EQ(I32(b, 400 + 213), 2000);
  EXPECT_EQ(I32(b, 400 + 209), 250 + 512 + 4);        // padding excluded
  EXPECT_EQ(I32(b, 400 + 245), 400 + 2000);            // footer after the padding
  EXPECT_EQ(b.size(), static_cast<std::size_t>(400 + 2000 + 20 + 20));
  TTestProject loaded;
  loaded.SetFileName(name);
  loaded.StreamSettings.Compress = false;
  EXPECT_TRUE(loaded.Load()) << loaded.LastError;
}

// --- class maps and list operations -------------------------------------------------------

class TTestClassWithAVeryLongName : public TStreamNode {
 public:
  KEL_STREAM_CLASS(TTestClassWithAVeryLongName)
  explicit TTestClassWithAVeryLongName(TStreamNode* owner) : TStreamNode(owner, StaticClass()) {}
  bool WriteData(TStreamWrapper& w) override { return w.WriteLongString("x"); }
  bool ReadData(TStreamWrapper& w) override {
    std::string s;
    return w.ReadLongString(s);
  }
};

class TWideProject : public TTestProject {
 public:
  void GetClassMap(std::vector<const TStreamNodeClass*>& classes) const override {
    TTestProject::GetClassMap(classes);
    AddClassToMap(classes, TTestClassWithAVeryLongName::StaticClass());
  }
};

TEST(StreamListClassMap, UnknownOrCutClassNamesStopTheLoadAtThatChild) {
  TScratchDir dir("classmap");
  const std::string name = dir.File("cm.tst");
  TWideProject saved;
  AddItem(saved, 1, "before");
  saved.Add(new TTestClassWithAVeryLongName(&saved));
  AddItem(saved, 2, "after");
  ASSERT_TRUE(saved.SaveToFile(name)) << saved.LastError;
  const auto image = DecodedImage(name);
  std::vector<std::string> classNames;
  for (std::int32_t at = 400; at; at = I32(image, at + 225)) classNames.push_back(SS(image, at + 188));
  EXPECT_THAT(classNames, ::testing::Contains("TTestClassWithAVeryL"));

  TWideProject loaded;  // its map has the full name, the file only 20 characters of it
  EXPECT_FALSE(loaded.LoadFromFile(name));
  EXPECT_EQ(loaded.LastError, "_ClassMap: can\xB4t load class TTestClassWithAVeryL");
  ASSERT_EQ(loaded.Count, 1);
  EXPECT_EQ(static_cast<TTestItem*>(loaded.Head)->Text, "before");
}

TEST(StreamListClassMap, AddRefusesClassesOutsideTheMapAndLeavesTheNodeToTheCaller) {
  TTestProject project;
  auto* stranger = new TTestClassWithAVeryLongName(&project);
  try {
    project.Add(stranger);
    FAIL() << "no exception";
  } catch (const EKelStreamListClassMap& e) {
    EXPECT_STREQ(e.what(), "CheckMap_failed");
  }
  EXPECT_EQ(project.Count, 0);
  EXPECT_EQ(stranger->List, nullptr);
  delete stranger;
  EXPECT_NE(project.FindClassInMap("ttestitem"), nullptr);  // case does not matter
  EXPECT_EQ(project.FindClassInMap("TTestSeries"), nullptr);
}

TEST(StreamListOperations, ListMethodsOnPlainNodesRaise) {
  TTestProject project;
  auto* item = AddItem(project, 1, "x");
  auto* other = new TTestItem(&project);
  const std::string msg = "StreamNode_LinkList: list methods are not available for this classkind";
  auto expectRaise = [&](auto&& call) {
    try {
      call();
      ADD_FAILURE() << "no exception";
    } catch (const EKelStreamNodeLinkList& e) {
      EXPECT_EQ(e.what(), msg);
    }
  };
  expectRaise([&] { item->Add(other); });
  expectRaise([&] { item->Insert(nullptr, other); });
  expectRaise([&] { item->Clear(); });
  expectRaise([&] {
    TStreamNode* n;
    item->First(n);
  });
  expectRaise([&] {
    TStreamNode* n = nullptr;
    item->Next(n);
  });
  expectRaise([&] { item->CompareChildren(nullptr, nullptr); });
  EXPECT_EQ(project.CompareChildren(nullptr, nullptr), 0);
  EXPECT_EQ(item->GetClassKind(), ckNode);
  EXPECT_EQ(project.GetClassKind(), ckList);
  delete other;
}

TEST(StreamListOperations, IterationAndInsertKeepOrder) {
  TTestProject project;
  TStreamNode* n = reinterpret_cast<TStreamNode*>(&project);
  project.First(n);
  EXPECT_EQ(n, nullptr);
  EXPECT_FALSE(project.Next(n));
  auto* b = AddItem(project, 2, "b");
  auto* a = new TTestItem(&project);
  project.Insert(nullptr, a);
  auto* c = new TTestItem(&project);
  project.Insert(b, c);
  EXPECT_EQ(Children(project), (std::vector<TStreamNode*>{a, b, c}));
}

TEST(StreamListOperations, ProfileGivesDialogTextsAndCreatesTheStartFolder) {
  TScratchDir dir("dialog");
  TTestItem item(nullptr);
  item.StreamSettings.Compress = false;
  item.SetProfile(item.Profile);  // restores the default settings
  EXPECT_TRUE(item.StreamSettings.Compress);
  EXPECT_EQ(item.DialogFilter(), "Test Items|*.itm");
  const std::string folder = item.DialogDirectory(dir.Path);
  EXPECT_EQ(folder, dir.Path + "/Test/Items");
  EXPECT_TRUE(std::filesystem::is_directory(folder));
}

// --- identities and references --------------------------------------------------------------

TEST(StreamNodeIDs, DayNumbersAndIdLayout) {
  EXPECT_EQ(StreamDayNumber(1, 1, 1), 1);
  EXPECT_EQ(StreamDayNumber(1, 12, 31), 365);
  EXPECT_EQ(StreamDayNumber(1899, 12, 30), 693594);  // the classic date-time epoch
  EXPECT_EQ(StreamDayNumber(1970, 1, 1), 719163);    // 719162 days lie before the Unix epoch
  EXPECT_EQ(FormatStreamNodeID("TZymra_Run", 739593, 3723004, 17), "TZymra_Run_739593:3723004_17");
  EXPECT_EQ(FormatStreamNodeID(std::string(60, 'C'), 1, 2, 3), std::string(50, 'C'));

  TTestProject project;
  auto* a = new TTestItem(&project);
  auto* b = new TTestItem(&project);
  // "TTestItem_<day>:<msec>_<counter>"
  auto parts = [](const std::string& id) {
    long day = -1, msec = -1, counter = -1;
    int used = 0;
    const int n = std::sscanf(id.c_str(), "TTestItem_%ld:%ld_%ld%n", &day, &msec, &counter, &used);
    EXPECT_EQ(n, 3) << id;
    EXPECT_EQ(static_cast<std::size_t>(used), id.size()) << id;
    return std::vector<long>{day, msec, counter};
  };
  const auto pa = parts(a->GetID()), pb = parts(b->GetID());
  EXPECT_GT(pa[0], 739000);  // some day after 2024
  EXPECT_GE(pa[1], 0);
  EXPECT_LT(pa[1], 86400000);
  EXPECT_GT(pb[2], pa[2]);  // the counter moves on
  EXPECT_EQ(a->Header.ClassName.Str(), "TTestItem");
  EXPECT_EQ(a->Header.ClassKind, ckNode);
  EXPECT_EQ(project.Header.ClassKind, ckList);
  delete a;
  delete b;
}

TEST(StreamNodeIDs, FindByIdAndReferencesSurviveSaveLoadAndDestruction) {
  TScratchDir dir("refs");
  const std::string name = dir.File("r.tst");
  TTestProject project;
  auto* item = AddItem(project, 5, "target");
  auto* ref = new TStreamNodeRef(&project);
  project.Add(ref);
  ref->SetTarget(item);
  EXPECT_EQ(project.FindByID(""), nullptr);
  std::string lower = item->GetID();
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  EXPECT_EQ(project.FindByID(lower), item);
  EXPECT_EQ(project.FindByID(item->GetID() + std::string(60, 'z')), nullptr);
  EXPECT_EQ(item->FindByID(project.GetID()), &project);  // any node searches the whole tree
  ASSERT_TRUE(project.SaveToFile(name));

  TTestProject loaded;
  ASSERT_TRUE(loaded.LoadFromFile(name)) << loaded.LastError;
  const auto kids = Children(loaded);
  ASSERT_EQ(kids.size(), 2u);
  auto* loadedRef = dynamic_cast<TStreamNodeRef*>(kids[1]);
  ASSERT_NE(loadedRef, nullptr);
  EXPECT_EQ(loadedRef->Target, kids[0]);
  EXPECT_EQ(loadedRef->Header.ID_Ref.Str(), item->GetID());

  loaded.Delete(kids[0]);  // the target goes: the reference must not keep it
  EXPECT_EQ(loadedRef->Target, nullptr);
  EXPECT_EQ(loadedRef->Header.ID_Ref.Str(), "");
}

TEST(StreamNodeAssign, ListsCopyChildrenByClassAndRefuseOtherClasses) {
  TTestProject source;
  source.Expanded = false;
  AddItem(source, 1, "a");
  source.Add(new TTestGroup(&source));
  TTestProject copy;
  AddItem(copy, 9, "kept");
  copy.Assign(source);
  const auto kids = Children(copy);
  ASSERT_EQ(kids.size(), 3u);
  EXPECT_EQ(kids[0]->ClassName(), "TTestItem");
  EXPECT_EQ(kids[1]->ClassName(), "TTestItem");
  EXPECT_EQ(kids[2]->ClassName(), "TTestGroup");
  EXPECT_EQ(kids[1]->Parent(), &copy);
  EXPECT_FALSE(copy.Expanded);

  TTestItem plain(nullptr);
  try {
    copy.Assign(plain);
    FAIL() << "no exception";
  } catch (const EKelAssign& e) {
    EXPECT_STREQ(e.what(), "_template is not same class");
  }
  TWideProject wide;
  wide.Add(new TTestClassWithAVeryLongName(&wide));
  try {
    copy.Assign(wide);
    FAIL() << "no exception";
  } catch (const EKelStreamListClassMap& e) {
    EXPECT_STREQ(e.what(), "_ClassMap: can\xB4t assign class TTestClassWithAVeryLongName");
  }
  TStreamNodeRef ref(&source), refCopy(nullptr);
  ref.SetTarget(source.Head ? static_cast<TStreamNode*>(source.Head) : nullptr);
  ref.RefData[3] = 7;
  refCopy.Assign(ref);
  EXPECT_EQ(refCopy.Target, ref.Target);
  EXPECT_EQ(refCopy.Header.ID_Ref.Str(), ref.Header.ID_Ref.Str());
  EXPECT_EQ(refCopy.RefData[3], 7);
  EXPECT_THROW(refCopy.Assign(plain), EKelAssign);
}

// --- failed saves and the working folder ------------------------------------------------------

class StreamListSaveFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    name = dir.File("keep.tst");
    AddItem(old, 1, "old contents");
    ASSERT_TRUE(old.SaveToFile(name));
    before = ReadFileBytes(name);
    AddItem(fresh, 2, "new contents", std::vector<double>(20000, 1.5));
  }
  void ExpectOldFileIntact() {
    EXPECT_EQ(ReadFileBytes(name), before);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"keep.tst"});
    TTestProject check;
    ASSERT_TRUE(check.LoadFromFile(name)) << check.LastError;
    EXPECT_EQ(static_cast<TTestItem*>(check.Head)->Text, "old contents");
  }
  TScratchDir dir{"savefail"};
  std::string name;
  TTestProject old, fresh;
  std::vector<std::uint8_t> before;
};

TEST_F(StreamListSaveFailure, WriterExceptionKeepsTheOldFile) {
  TTestItem::ThrowOnWrite = true;
  const bool saved = fresh.SaveToFile(name);
  TTestItem::ThrowOnWrite = false;
  EXPECT_FALSE(saved);
  EXPECT_EQ(fresh.LastError, "writer failed on purpose");
  ExpectOldFileIntact();
}

TEST_F(StreamListSaveFailure, FullDiskKeepsTheOldFile) {
  // A file-size limit makes writes fail like a full disk would.
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  fresh.SetFileName(name);
  fresh.StreamSettings.Compress = false;  // writes straight to the file
  const bool ok1 = fresh.Save();
  const std::string err1 = fresh.LastError;
  const bool ok2 = fresh.SaveToFile(name);  // compressed: fails when the coded image is written
  const std::string err2 = fresh.LastError;
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(ok1);
  EXPECT_THAT(err1, HasSubstr("cannot write"));
  EXPECT_FALSE(ok2);
  EXPECT_THAT(err2, HasSubstr("cannot write the file"));
  ExpectOldFileIntact();
}

TEST_F(StreamListSaveFailure, UnwritableFolderKeepsTheOldFile) {
  if (!dir.SetReadOnly(true)) GTEST_SKIP() << "cannot make a folder read-only here";
  const bool ok = fresh.SaveToFile(name);
  const std::string error = fresh.LastError;
  dir.SetReadOnly(false);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, "File_StreamWrapper_create: exception create");
  ExpectOldFileIntact();
}

TEST_F(StreamListSaveFailure, MissingFileOrFolderIsAFailedOperationNotACrash) {
  EXPECT_FALSE(fresh.SaveToFile(name + "/below/a/file"));
  EXPECT_EQ(fresh.LastError, "File_StreamWrapper_create: invalid filename");
  TTestProject missing;
  EXPECT_FALSE(missing.LoadFromFile(dir.File("missing.tst")));
  EXPECT_EQ(missing.LastError, "File_StreamWrapper_create: file not exists");
  ExpectOldFileIntact();
}

TEST(StreamListWorkingFolder, SavesAndLoadsLeaveNothingInTheCurrentFolder) {
  TScratchDir work("cwd"), data("cwddata");
  const auto oldCwd = std::filesystem::current_path();
  std::filesystem::current_path(work.Path);
  const bool readOnly = work.SetReadOnly(true);
  TTestProject p;
  AddItem(p, 3, "x");
  const bool saved = p.SaveToFile(data.File("a.tst"));
  TTestProject q;
  const bool loaded = q.LoadFromFile(data.File("a.tst"));
  work.SetReadOnly(false);
  std::filesystem::current_path(oldCwd);
  EXPECT_TRUE(saved) << p.LastError << (readOnly ? " (read-only folder)" : "");
  EXPECT_TRUE(loaded) << q.LastError;
  EXPECT_TRUE(work.Entries().empty());
  EXPECT_EQ(data.Entries(), std::vector<std::string>{"a.tst"});
}

TEST(StreamListWorkingFolder, ParallelSavesAndLoadsInOneFolderDoNotInterfere) {
  TScratchDir dir("parallel");
  constexpr int kThreads = 4;
  std::vector<std::thread> threads;
  std::vector<int> ok(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string name = dir.File("p" + std::to_string(t) + ".tst");
      for (int round = 0; round < 10; ++round) {
        TTestProject p;
        AddItem(p, t * 100 + round, std::string(1000 + t, static_cast<char>('a' + t)), std::vector<double>(500, t));
        if (!p.SaveToFile(name)) return;
        TTestProject q;
        if (!q.LoadFromFile(name) || q.Count != 1) return;
        if (static_cast<TTestItem*>(q.Head)->Value != t * 100 + round) return;
      }
      ok[t] = 1;
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(ok, std::vector<int>(kThreads, 1));
  EXPECT_EQ(dir.Entries().size(), static_cast<std::size_t>(kThreads));
}

// --- damaged and foreign files -------------------------------------------------------------------

class StreamListDamage : public ::testing::Test {
 protected:
  void SetUp() override {
    TTestProject p;
    p.Comment = "comment";
    AddItem(p, 1, "first", {1, 2, 3});
    auto* g = new TTestGroup(&p);
    p.Add(g);
    AddItem(*g, 2, "second", {4});
    p.SetFileName(dir.File("good.img"));
    p.StreamSettings.Compress = false;
    ASSERT_TRUE(p.Save());
    image = ReadFileBytes(dir.File("good.img"));
    ASSERT_TRUE(p.SaveToFile(dir.File("good.tst")));
    packed = ReadFileBytes(dir.File("good.tst"));
  }
  // Loads bytes as a plain image or a compressed file; the load must fail with a reason.
  std::string ExpectCleanFailure(const std::vector<std::uint8_t>& bytes, bool compressed) {
    const std::string name = dir.File("bad");
    WriteFileBytes(name, bytes);
    TTestProject p;
    p.SetFileName(name);
    p.StreamSettings.Compress = compressed;
    EXPECT_FALSE(p.Load());
    EXPECT_FALSE(p.LastError.empty());
    return p.LastError;
  }
  TScratchDir dir{"damage"};
  std::vector<std::uint8_t> image, packed;
};

TEST_F(StreamListDamage, EveryTruncationFails) {
  for (std::size_t len = 0; len < image.size(); len += (len < 1200 ? 7 : 97)) {
    SCOPED_TRACE(len);
    ExpectCleanFailure(std::vector<std::uint8_t>(image.begin(), image.begin() + len), false);
  }
  // The compressed form loses its tail: what remains decodes to a shorter image.
  for (std::size_t len = 0; len + 8 < packed.size(); len += 13) {
    SCOPED_TRACE(len);
    ExpectCleanFailure(std::vector<std::uint8_t>(packed.begin(), packed.begin() + len), true);
  }
}

}  // namespace
