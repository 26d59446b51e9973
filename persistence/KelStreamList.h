#pragma once
// Stream nodes: the base classes of every object that is saved to or loaded from
// a stream-list file. A node saves itself as one block (header, own payload,
// children, footer), loads itself back, names the classes its children may have
// (the class map) and the file-dialog texts of its class (the profile), and keeps
// references between nodes by ID.
//
// A persistent class derives from TStreamNode (or TStreamList for a list), gives
// itself a class descriptor with KEL_STREAM_CLASS and a constructor taking the
// owner, and implements its payload:
//
// A class others derive from passes the descriptor on through a protected
// constructor (TMatrix(owner, cls) for tDoubleMatrix); an abstract one uses
// KEL_ABSTRACT_STREAM_CLASS.
//
//   class TZymra_Run : public TStreamNode {
//    public:
//     KEL_STREAM_CLASS(TZymra_Run)
//     explicit TZymra_Run(TStreamNode* owner) : TStreamNode(owner, StaticClass()) { SetProfile(...); }
//     bool WriteData(TStreamWrapper& w) override;  // w.Write(&record, sizeof record) && ...
//     bool ReadData(TStreamWrapper& w) override;
//   };
//
// Payload readers must treat every length they read as hostile: compare it with
// TStreamWrapper::GetRemaining() before allocating.
//
// Saves and loads never throw for file problems: they return false and leave the
// reason in LastError (Windows-1252 text). A save writes a temporary file beside
// the target and renames it over the target only when everything succeeded, so a
// failed save leaves the previous file as it was.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "KelCompDataList.h"
#include "KelErrors.h"
#include "KelStreamWrapper.h"
#include "KelStrings.h"

class TStreamNode;

// Class descriptor: the class name stored in block headers and the virtual
// constructor that creates an object of the class with the given owner.
struct TStreamNodeClass {
  std::string Name;
  TStreamNode* (*Create)(TStreamNode* owner);
};

#define KEL_STREAM_CLASS(Cls)                                                          \
  static const TStreamNodeClass& StaticClass() {                                       \
    static const TStreamNodeClass cls{#Cls, [](TStreamNode* owner) -> TStreamNode* { \
                                        return new Cls(owner);                         \
                                      }};                                              \
    return cls;                                                                        \
  }

// For abstract classes: a name but no constructor (never found in a class map).
#define KEL_ABSTRACT_STREAM_CLASS(Cls)                     \
  static const TStreamNodeClass& StaticClass() {           \
    static const TStreamNodeClass cls{#Cls, nullptr};      \
    return cls;                                            \
  }

// Per-class texts for file dialogs and the block header.
struct TStreamProfile {
  TShortString<12> ObjectVersion{};
  TShortString<5> DefaultExt{};
  TShortString<255> SubDir{};
  TShortString<255> FilterText{};
  std::int32_t Spacer = 0;  // minimum block size

  static TStreamProfile Make(std::string_view objectVersion, std::string_view defaultExt, std::string_view subDir,
                             std::string_view filterText, std::int32_t spacer = 0);
};

// Settings of the next save or load; SetProfile and SetFileName restore the defaults.
struct TStreamSettings {
  bool UpdateMode = false;
  TStreamType StreamType = stFile;
  std::string FileName;  // kept whole: a longer path must never be cut to a different file
  bool WriteBlockHeaders = true;
  bool WriteBlockFooters = true;
  bool Compress = true;
  std::uint8_t SpyFlags = 0;  // bit 0: attach an inspection spy when loading
};

// Day number of a date: days since 1 January of year 1, that day counting as 1.
std::int32_t StreamDayNumber(int year, unsigned month, unsigned day);
// Class name, "_", day number, ":", milliseconds since midnight, "_", counter; cut to 50.
std::string FormatStreamNodeID(std::string_view className, std::int32_t dayNumber, std::int32_t msecOfDay,
                               std::uint32_t counter);
// A new ID from the local date and time and the process-wide counter.
std::string NewStreamNodeID(std::string_view className);

class TStreamNode : public TCompDataList {
 public:
  ~TStreamNode() override;

  const TStreamNodeClass& Class() const { return *FClass; }
  const std::string& ClassName() const { return FClass->Name; }

  virtual bool WriteChildren(TStreamWrapper& wrapper);
  virtual bool ReadChildren(TStreamWrapper& wrapper);
  virtual TClassKind GetClassKind();
  virtual bool ReadData(TStreamWrapper& wrapper) = 0;
  virtual bool WriteData(TStreamWrapper& wrapper) = 0;
  virtual void PrepareHeader();
  virtual void Assign(const TStreamNode& source);
  virtual void BeforeLoad() {}
  virtual int CompareChildren(TListNode* a, TListNode* b);

  void SetProfile(const TStreamProfile& profile);
  void SetFileName(const std::string& name);
  std::string GetID() const { return Header.ID.Str(); }

  bool SaveToFile(const std::string& name);
  bool Save();
  bool LoadFromFile(const std::string& name);
  bool Load();
  // Load with a spy attached that collects the headers met (after SetFileName).
  bool Inspect(TStreamSpy& spy);

  // This node as one block at the wrapper's position; payload writers call them
  // to nest a member object's block inside their own payload.
  bool WriteNode(TStreamWrapper& wrapper);
  bool ReadNode(TStreamWrapper& wrapper);
  bool ReadNodeBody(TStreamWrapper& wrapper);

  // List operations; on a node that is not a list they raise EKelStreamNodeLinkList.
  // Add and Insert take ownership, unless CheckMap refuses the node (then it is
  // unlinked again and stays the caller's).
  void Add(TStreamNode* node);
  void Insert(TStreamNode* after, TStreamNode* node);
  void Clear();
  void First(TStreamNode*& node) const;
  bool Next(TStreamNode*& node) const;
  // Raises EKelStreamListClassMap when this node sits in a list whose class map
  // does not hold its class.
  void CheckMap();

  TStreamNode* FindByID(std::string_view id) const;
  void ResolveReferences();

  // File dialog helpers: the filter ("FilterText|DefaultExt") and the start
  // folder below the program's folder, created with all missing parents.
  std::string DialogFilter() const;
  std::string DialogDirectory(const std::string& programDir) const;

  TStreamNode* Parent() const { return FParent; }
  TStreamNode* Root() const { return FRoot ? FRoot : const_cast<TStreamNode*>(this); }
  const std::vector<TStreamNode*>& Registry() const { return FRegistry; }

  TStreamProfile Profile{};
  TStreamSettings StreamSettings;
  TBlockHeader Header;
  TBlockFooter Footer;
  std::string LoadedVersion;
  TStreamWrappers* Wrappers = nullptr;
  // Why the last save or load failed; empty after success.
  std::string LastError;

 protected:
  TStreamNode(TStreamNode* owner, const TStreamNodeClass& cls, TClassKind kind = ckNode);
  bool IsListKind();

 private:
  using TOperation = bool (TStreamNode::*)(TStreamWrapper&);
  bool RunStreamOperation(TStreamType type, bool reading, TOperation operation, TStreamSpy* spy);

  const TStreamNodeClass* FClass;
  TClassKind FKind;
  TStreamNode* FParent;
  TStreamNode* FRoot;
  std::vector<TStreamNode*> FRegistry;  // only the root's is used; does not own
};

class TStreamList : public TStreamNode {
 public:
  // Fills classes with the classes the children may have (AddClassToMap).
  virtual void GetClassMap(std::vector<const TStreamNodeClass*>& classes) const = 0;
  static void AddClassToMap(std::vector<const TStreamNodeClass*>& classes, const TStreamNodeClass& cls);

  bool WriteChildren(TStreamWrapper& wrapper) override;
  bool ReadChildren(TStreamWrapper& wrapper) override;
  TClassKind GetClassKind() override;
  void Assign(const TStreamNode& source) override;

  // Case-insensitive, in map order.
  const TStreamNodeClass* FindClassInMap(std::string_view name) const;
  bool IsInClassMap(const TStreamNode& node) const;

 protected:
  TStreamList(TStreamNode* owner, const TStreamNodeClass& cls) : TStreamNode(owner, cls, ckList) {}
};

// A node that stands for another node, kept by ID across saves.
class TStreamNodeRef : public TStreamNode {
 public:
  KEL_STREAM_CLASS(TStreamNodeRef)
  explicit TStreamNodeRef(TStreamNode* owner) : TStreamNodeRef(owner, StaticClass()) {}

  TClassKind GetClassKind() override;
  bool ReadData(TStreamWrapper& wrapper) override;
  bool WriteData(TStreamWrapper& wrapper) override;
  void Assign(const TStreamNode& source) override;
  void SetTarget(TStreamNode* node);

  TStreamNode* Target = nullptr;
  std::array<std::uint8_t, 11> RefData{};

 protected:
  TStreamNodeRef(TStreamNode* owner, const TStreamNodeClass& cls);
};
