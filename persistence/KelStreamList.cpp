#include "KelStreamList.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>

namespace {
char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::string Cut(std::string_view s, std::size_t n) { return std::string(s.substr(0, std::min(s.size(), n))); }

// Counts the nesting of blocks being read on the wrapper and refuses to go on
// beyond a depth no real object tree reaches.
class TReadDepth {
 public:
  explicit TReadDepth(TStreamWrapper& w) : FWrapper(w) { ++FWrapper.ReadDepth; }
  ~TReadDepth() { --FWrapper.ReadDepth; }
  bool TooDeep() const { return FWrapper.ReadDepth > TStreamWrapper::MaxReadDepth; }

 private:
  TStreamWrapper& FWrapper;
};
}  // namespace

TStreamProfile TStreamProfile::Make(std::string_view objectVersion, std::string_view defaultExt,
                                    std::string_view subDir, std::string_view filterText, std::int32_t spacer) {
  TStreamProfile p;
  p.ObjectVersion.Assign(objectVersion);
  p.DefaultExt.Assign(defaultExt);
  p.SubDir.Assign(subDir);
  p.FilterText.Assign(filterText);
  p.Spacer = spacer;
  return p;
}

// --- IDs ----------------------------------------------------------------------------

std::int32_t StreamDayNumber(int year, unsigned month, unsigned day) {
  using namespace std::chrono;
  const sys_days date{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}};
  const sys_days first{std::chrono::year{1} / January / 1};
  return static_cast<std::int32_t>((date - first).count() + 1);
}

std::string FormatStreamNodeID(std::string_view className, std::int32_t dayNumber, std::int32_t msecOfDay,
                               std::uint32_t counter) {
  std::string id(className);
  id += '_';
  id += std::to_string(dayNumber);
  id += ':';
  id += std::to_string(msecOfDay);
  id += '_';
  id += std::to_string(counter);
  return Cut(id, 50);
}

std::string NewStreamNodeID(std::string_view className) {
  static std::atomic<std::uint32_t> counter{0};
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  const std::int32_t msec = ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + static_cast<int>(ms);
  return FormatStreamNodeID(className,
                            StreamDayNumber(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                            static_cast<unsigned>(local.tm_mday)),
                            msec, ++counter);
}

// --- TStreamNode ----------------------------------------------------------------------

TStreamNode::TStreamNode(TStreamNode* owner, const TStreamNodeClass& cls, TClassKind kind)
    : Header(InitialBlockHeader()),
      Footer(InitialFooter()),
      FClass(&cls),
      FKind(kind),
      FParent(owner),
      FRoot(owner ? owner->Root() : nullptr) {
  Header.ID.Assign(NewStreamNodeID(cls.Name));
  Header.ClassKind = kind;
  Header.ClassName.Assign(cls.Name);
  Root()->FRegistry.push_back(this);
}

TStreamNode::~TStreamNode() {
  // Children first, while the root's registry still exists for them to leave.
  TLinkList::Clear();
  TStreamNode* root = Root();
  for (TStreamNode* node : root->FRegistry) {
    if (node == this) continue;
    // No reference may keep a destroyed node as its target. The kind is asked
    // first: a cast per registered node for every node freed made freeing a
    // large project quadratic in casts.
    if (node->FKind == ckRefCarrier)
      if (auto* ref = dynamic_cast<TStreamNodeRef*>(node); ref && ref->Target == this) ref->SetTarget(nullptr);
    if (node->FParent == this) node->FParent = nullptr;
    if (root == this) node->FRoot = nullptr;  // outlives its root: becomes a root of its own
  }
  auto& reg = root->FRegistry;
  if (auto it = std::find(reg.rbegin(), reg.rend(), this); it != reg.rend()) reg.erase(std::next(it).base());
}

bool TStreamNode::WriteChildren(TStreamWrapper&) { return true; }
bool TStreamNode::ReadChildren(TStreamWrapper&) { return true; }

TClassKind TStreamNode::GetClassKind() {
  Header.ClassKind = ckNode;
  return ckNode;
}

bool TStreamNode::IsListKind() { return GetClassKind() == ckList; }

void TStreamNode::PrepareHeader() {
  std::string owner;
  if (FParent) owner = FParent->GetID();
  if (auto* list = dynamic_cast<TStreamNode*>(List)) owner = list->GetID();
  Header.ID_owner.Assign(owner);
  Header.OffsetPrev_Node = 0;
  Header.OffsetNext_Node = 0;
  Header.Count = Count;
  Header.IsLinked = (Prev || TListNode::Next) ? 1 : 0;
  Header.LastCaption.Assign(Cut(GetCaption(), 20));
  Header.Objectversion = Profile.ObjectVersion;
  // The minimum block size is the class's, not whatever a loaded file claimed: a
  // hostile spacer would make the next save pad a block to gigabytes.
  Header.Spacer = Profile.Spacer;
  LoadedVersion = Profile.ObjectVersion.Str();
}

void TStreamNode::Assign(const TStreamNode& source) {
  // The owner stays: taking over the source's owner could leave this node
  // pointing at an object of another tree that is freed before it.
  Profile = source.Profile;
  AssignDisplayState(source);
}

int TStreamNode::CompareChildren(TListNode* a, TListNode* b) {
  if (!IsListKind())
    throw EKelStreamNodeLinkList("StreamNode_LinkList: list methods are not available for this classkind");
  return CompareItems(a, b);
}

void TStreamNode::SetProfile(const TStreamProfile& profile) {
  Profile = profile;
  StreamSettings = TStreamSettings{};
  Header.Spacer = profile.Spacer;
}

void TStreamNode::SetFileName(const std::string& name) {
  StreamSettings = TStreamSettings{};
  StreamSettings.FileName = name;
}

bool TStreamNode::SaveToFile(const std::string& name) {
  SetFileName(name);
  return Save();
}

bool TStreamNode::Save() {
  return RunStreamOperation(StreamSettings.StreamType, false, &TStreamNode::WriteNode, nullptr);
}

bool TStreamNode::LoadFromFile(const std::string& name) {
  SetFileName(name);
  return Load();
}

bool TStreamNode::Load() {
  BeforeLoad();
  if (IsListKind()) Clear();
  return RunStreamOperation(StreamSettings.StreamType, true, &TStreamNode::ReadNode, nullptr);
}

bool TStreamNode::Inspect(TStreamSpy& spy) {
  StreamSettings.SpyFlags = 1;
  BeforeLoad();
  if (IsListKind()) Clear();
  return RunStreamOperation(StreamSettings.StreamType, true, &TStreamNode::ReadNode, &spy);
}

bool TStreamNode::RunStreamOperation(TStreamType type, bool reading, TOperation operation, TStreamSpy* spy) {
  LastError.clear();
  std::unique_ptr<TStreamSpy> ownSpy;
  if (reading && (StreamSettings.SpyFlags & 1) && !spy) {
    ownSpy = std::make_unique<TStreamSpy>();
    ownSpy->ReadDataToo = true;
    spy = ownSpy.get();
  }
  TStreamWrappers wrappers;
  wrappers.Owner = this;
  wrappers.Spy = reading ? spy : nullptr;
  wrappers.Compress = StreamSettings.Compress;
  Wrappers = &wrappers;

  TOpenMode mode = omRead;
  TWriteFormat format = wfNone;
  if (StreamSettings.UpdateMode) {
    mode = omUpdate;
  } else if (!reading) {
    mode = omCreate;
    format = !StreamSettings.WriteBlockHeaders ? wfPlain
             : StreamSettings.WriteBlockFooters ? wfHeadersAndFooters
                                                : wfBlockHeaders;
  }

  bool result = false;
  try {
    TStreamWrapper* wrapper = CreateStreamWrapper(type, mode, StreamSettings.FileName, format).release();
    wrappers.Append(wrapper);  // the list owns it from here on
    if (!reading) ResolveReferences();
    const bool opened = wrapper->Open(reading);
    bool done = false;
    if (opened) {
      try {
        done = (this->*operation)(*wrapper);
      } catch (const std::exception& e) {
        wrapper->SetError(e.what());
      }
    }
    const bool closed = wrapper->Close(reading);
    if (reading) ResolveReferences();
    result = done && opened && !wrapper->Failed() && (reading || (closed && wrapper->Commit()));
    if (!result) {
      LastError = wrapper->Failed() ? wrapper->Error()
                  : reading         ? std::string("the file does not hold the expected data")
                                    : std::string("the data could not be written");
      wrapper->Discard();
    }
  } catch (const std::exception& e) {
    LastError = e.what();
    result = false;
  }
  wrappers.Clear();
  Wrappers = nullptr;
  return result;
}

bool TStreamNode::WriteNode(TStreamWrapper& wrapper) {
  PrepareHeader();
  wrapper.BeginBlock(Header, Footer, false);
  bool result = false;
  try {
    result = WriteData(wrapper) && WriteChildren(wrapper);
  } catch (...) {
    wrapper.EndBlock(Header, Footer, false);
    throw;
  }
  wrapper.EndBlock(Header, Footer, false);
  return result;
}

bool TStreamNode::ReadNode(TStreamWrapper& wrapper) {
  const std::int64_t at = wrapper.GetPosition();
  if (!wrapper.BeginBlock(Header, Footer, true)) {
    PrepareHeader();
    return false;
  }
  // The block must hold an object of this class; anything else is a foreign or
  // damaged file whose payload this object cannot read.
  if (wrapper.Header.WriteBlockHeaders && !SameText(Header.ClassName.Str(), Cut(ClassName(), 20))) {
    wrapper.SetError("the block at offset " + std::to_string(at) + " holds a " + Header.ClassName.Str() +
                     " where a " + ClassName() + " is expected");
    PrepareHeader();
    return false;
  }
  return ReadNodeBody(wrapper);
}

bool TStreamNode::ReadNodeBody(TStreamWrapper& wrapper) {
  TReadDepth depth(wrapper);
  if (depth.TooDeep()) {
    wrapper.SetError("objects are nested too deeply");
    return false;
  }
  LoadedVersion = Header.Objectversion.Str();
  bool result = false;
  const TStreamSpy* spy = wrapper.Spy();
  try {
    if (spy && !spy->ReadDataToo) result = true;
    else result = ReadData(wrapper) && ReadChildren(wrapper);
  } catch (...) {
    wrapper.EndBlock(Header, Footer, true);
    PrepareHeader();
    throw;
  }
  if (!wrapper.EndBlock(Header, Footer, true)) result = false;
  PrepareHeader();
  return result;
}

void TStreamNode::Add(TStreamNode* node) { Insert(static_cast<TStreamNode*>(Tail), node); }

void TStreamNode::Insert(TStreamNode* after, TStreamNode* node) {
  if (!IsListKind())
    throw EKelStreamNodeLinkList("StreamNode_LinkList: list methods are not available for this classkind");
  if (!node) return;
  InsertAfter(after, node);
  try {
    node->CheckMap();
  } catch (...) {
    Unlink(node);
    throw;
  }
}

void TStreamNode::Clear() {
  if (!IsListKind())
    throw EKelStreamNodeLinkList("StreamNode_LinkList: list methods are not available for this classkind");
  TLinkList::Clear();
}

void TStreamNode::First(TStreamNode*& node) const {
  if (!const_cast<TStreamNode*>(this)->IsListKind())
    throw EKelStreamNodeLinkList("StreamNode_LinkList: list methods are not available for this classkind");
  node = nullptr;
}

bool TStreamNode::Next(TStreamNode*& node) const {
  if (!const_cast<TStreamNode*>(this)->IsListKind())
    throw EKelStreamNodeLinkList("StreamNode_LinkList: list methods are not available for this classkind");
  TListNode* item = node;
  if (!TLinkList::Next(item)) return false;
  node = static_cast<TStreamNode*>(item);
  return true;
}

void TStreamNode::CheckMap() {
  if (auto* list = dynamic_cast<TStreamList*>(List); list && !list->IsInClassMap(*this))
    throw EKelStreamListClassMap("CheckMap_failed");
}

TStreamNode* TStreamNode::FindByID(std::string_view id) const {
  const std::string key = Cut(id, 50);
  if (key.empty()) return nullptr;
  for (TStreamNode* node : Root()->FRegistry)
    if (SameText(node->Header.ID.Str(), key)) return node;
  return nullptr;
}

void TStreamNode::ResolveReferences() {
  // SetTarget does not change the registry, so iterating it directly is safe.
  for (TStreamNode* node : Root()->FRegistry)
    if (auto* ref = dynamic_cast<TStreamNodeRef*>(node)) ref->SetTarget(FindByID(ref->Header.ID_Ref.Str()));
}

std::string TStreamNode::DialogFilter() const { return Profile.FilterText.Str() + "|" + Profile.DefaultExt.Str(); }

std::string TStreamNode::DialogDirectory(const std::string& programDir) const {
  std::string sub = Profile.SubDir.Str();
  std::replace(sub.begin(), sub.end(), '\\', '/');
  std::filesystem::path dir = std::filesystem::path(programDir) / sub;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return dir.string();
}

// --- TStreamList -----------------------------------------------------------------------

void TStreamList::AddClassToMap(std::vector<const TStreamNodeClass*>& classes, const TStreamNodeClass& cls) {
  classes.push_back(&cls);
}

TClassKind TStreamList::GetClassKind() {
  Header.ClassKind = ckList;
  return ckList;
}

const TStreamNodeClass* TStreamList::FindClassInMap(std::string_view name) const {
  std::vector<const TStreamNodeClass*> classes;
  GetClassMap(classes);
  for (const TStreamNodeClass* cls : classes)
    if (cls && cls->Create && SameText(cls->Name, name)) return cls;
  return nullptr;
}

bool TStreamList::IsInClassMap(const TStreamNode& node) const { return FindClassInMap(node.ClassName()) != nullptr; }

bool TStreamList::WriteChildren(TStreamWrapper& wrapper) {
  for (TListNode* item = Head; item; item = item->Next) {
    auto* child = dynamic_cast<TStreamNode*>(item);
    if (!child) {
      wrapper.SetError("a list holds an object that cannot be stored");
      return false;
    }
    if (!child->WriteNode(wrapper)) return false;
  }
  return true;
}

bool TStreamList::ReadChildren(TStreamWrapper& wrapper) {
  const std::int32_t count = Header.Count;
  // Every child needs at least its block header: a count the remaining data
  // cannot hold is damage, found before any child is created.
  if (count < 0 || (wrapper.Header.WriteBlockHeaders && count > wrapper.GetRemaining() / BlockHeaderSize)) {
    wrapper.SetError("the list at offset " + std::to_string(Header.Offset) + " claims " + std::to_string(count) +
                     " children, which the file cannot hold");
    return false;
  }
  for (std::int32_t i = 0; i < count; ++i) {
    TBlockHeader header = InitialBlockHeader();
    TBlockFooter footer = InitialFooter();
    if (!wrapper.BeginBlock(header, footer, true)) return false;
    const std::string name = header.ClassName.Str();
    const TStreamNodeClass* cls = FindClassInMap(name);
    if (!cls) {
      wrapper.SetError("_ClassMap: can\xB4t load class " + name);
      return false;
    }
    TStreamNode* child = cls->Create(this);
    try {
      Add(child);
    } catch (...) {
      delete child;
      throw;
    }
    child->Header = header;
    child->Footer = footer;
    if (!child->ReadNodeBody(wrapper)) return false;
  }
  return true;
}

void TStreamList::Assign(const TStreamNode& source) {
  TStreamNode::Assign(source);
  const auto* list = dynamic_cast<const TStreamList*>(&source);
  if (!list) throw EKelAssign("_template is not same class");
  for (const TListNode* item = list->Head; item; item = item->Next) {
    const auto* from = dynamic_cast<const TStreamNode*>(item);
    if (!from) continue;
    const TStreamNodeClass* cls = FindClassInMap(from->ClassName());
    if (!cls) throw EKelStreamListClassMap("_ClassMap: can\xB4t assign class " + from->ClassName());
    std::unique_ptr<TStreamNode> child(cls->Create(this));
    child->Assign(*from);
    Add(child.get());
    child.release();
  }
}

// --- TStreamNodeRef ----------------------------------------------------------------------

TStreamNodeRef::TStreamNodeRef(TStreamNode* owner, const TStreamNodeClass& cls)
    : TStreamNode(owner, cls, ckRefCarrier) {
  SetProfile(TStreamProfile::Make("0.0.1", "", "", ""));
}

TClassKind TStreamNodeRef::GetClassKind() {
  Header.ClassKind = ckRefCarrier;
  return ckRefCarrier;
}

bool TStreamNodeRef::ReadData(TStreamWrapper& wrapper) {
  return wrapper.Read(RefData.data(), static_cast<std::int32_t>(RefData.size()));
}

bool TStreamNodeRef::WriteData(TStreamWrapper& wrapper) {
  return wrapper.Write(RefData.data(), static_cast<std::int32_t>(RefData.size()));
}

void TStreamNodeRef::Assign(const TStreamNode& source) {
  const auto* ref = dynamic_cast<const TStreamNodeRef*>(&source);
  if (!ref) throw EKelAssign("_template is not same class");
  // Through SetTarget so that the ID travels with the target: the next save
  // resolves references by ID.
  SetTarget(ref->Target);
  RefData = ref->RefData;
  TStreamNode::Assign(source);
}

void TStreamNodeRef::SetTarget(TStreamNode* node) {
  Header.ID_Ref.Assign(node ? Cut(node->GetID(), 50) : std::string());
  Target = node;
}
