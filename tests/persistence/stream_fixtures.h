#pragma once
// Small persistent classes shaped like the program's own (a titled list of items,
// items carrying a nested series block in their payload), shared by the tests,
// the damaged-file corpus check and the loader fuzz target.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "KelHuffFuncs.h"
#include "KelStreamList.h"

namespace fixtures {

// A series of doubles, stored as a count and the values; nested in an item's payload.
class TTestSeries : public TStreamNode {
 public:
  KEL_STREAM_CLASS(TTestSeries)
  explicit TTestSeries(TStreamNode* owner) : TStreamNode(owner, StaticClass()) {}
  bool WriteData(TStreamWrapper& w) override {
    const auto n = static_cast<std::int32_t>(Values.size());
    return w.Write(&n, sizeof n) && (n == 0 || w.Write(Values.data(), n * 8));
  }
  bool ReadData(TStreamWrapper& w) override {
    std::int32_t n = 0;
    if (!w.Read(&n, sizeof n)) return false;
    if (n < 0 || n > w.GetRemaining() / 8) {
      w.SetError("series length out of range");
      return false;
    }
    Values.assign(static_cast<std::size_t>(n), 0.0);
    return n == 0 || w.Read(Values.data(), n * 8);
  }
  std::vector<double> Values;
};

class TTestItem : public TStreamNode {
 public:
  KEL_STREAM_CLASS(TTestItem)
  explicit TTestItem(TStreamNode* owner) : TStreamNode(owner, StaticClass()), Series(new TTestSeries(this)) {
    SetProfile(TStreamProfile::Make("1.0.2", "*.itm", "Test\\Items", "Test Items"));
  }
  ~TTestItem() override { delete Series; }
  std::string GetCaption() const override { return Text; }
  bool WriteData(TStreamWrapper& w) override {
    if (ThrowOnWrite) throw std::runtime_error("writer failed on purpose");
    return w.Write(&Value, sizeof Value) && w.WriteLongString(Text) && Series->WriteNode(w);
  }
  bool ReadData(TStreamWrapper& w) override {
    return w.Read(&Value, sizeof Value) && w.ReadLongString(Text) && Series->ReadNode(w);
  }
  std::int32_t Value = 0;
  std::string Text;
  TTestSeries* Series;
  static inline bool ThrowOnWrite = false;
};

// A list that may hold items and further groups (so nesting depth is unbounded by class).
class TTestGroup : public TStreamList {
 public:
  KEL_STREAM_CLASS(TTestGroup)
  explicit TTestGroup(TStreamNode* owner) : TStreamList(owner, StaticClass()) {}
  void GetClassMap(std::vector<const TStreamNodeClass*>& classes) const override {
    AddClassToMap(classes, TTestItem::StaticClass());
    AddClassToMap(classes, TTestGroup::StaticClass());
  }
  std::string GetCaption() const override { return "Group"; }
  bool WriteData(TStreamWrapper& w) override { return w.WriteLongString(Name); }
  bool ReadData(TStreamWrapper& w) override { return w.ReadLongString(Name); }
  std::string Name;
};

#pragma pack(push, 1)
struct TTestTitle {
  TShortString<255> Title;
  TShortString<255> Stock;
};
#pragma pack(pop)
static_assert(sizeof(TTestTitle) == 512);

class TTestProject : public TStreamList {
 public:
  KEL_STREAM_CLASS(TTestProject)
  explicit TTestProject(TStreamNode* owner = nullptr) : TStreamList(owner, StaticClass()) {
    SetProfile(TStreamProfile::Make("2.0.3", "*.tst", "Test", "Test Projects"));
    TitleRecord.Title.Assign("unknown");
    TitleRecord.Stock.Assign("");
  }
  void GetClassMap(std::vector<const TStreamNodeClass*>& classes) const override {
    AddClassToMap(classes, TTestItem::StaticClass());
    AddClassToMap(classes, TTestGroup::StaticClass());
    AddClassToMap(classes, TStreamNodeRef::StaticClass());
  }
  std::string GetCaption() const override { return TitleRecord.Title.Str(); }
  bool WriteData(TStreamWrapper& w) override {
    const bool ok = w.Write(&TitleRecord, sizeof TitleRecord);
    w.WriteLongString(Comment);
    return ok;
  }
  bool ReadData(TStreamWrapper& w) override {
    const bool ok = w.Read(&TitleRecord, sizeof TitleRecord);
    w.ReadLongString(Comment);
    return ok;
  }
  TTestTitle TitleRecord{};
  std::string Comment;
};

inline TTestItem* AddItem(TStreamList& list, std::int32_t value, const std::string& text,
                          std::vector<double> series = {}) {
  auto* item = new TTestItem(&list);
  item->Value = value;
  item->Text = text;
  item->Series->Values = std::move(series);
  list.Add(item);
  return item;
}

inline std::vector<std::uint8_t> ReadFileBytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The uncompressed image of a stored file.
inline std::vector<std::uint8_t> DecodedImage(const std::string& name) {
  std::vector<std::uint8_t> image;
  std::string error;
  if (!HuffDecode(ReadFileBytes(name), image, error)) throw std::runtime_error("cannot decode " + name + ": " + error);
  return image;
}

// Little-endian readers for checking images independently of the records.
inline std::int32_t I32(const std::vector<std::uint8_t>& b, std::size_t at) {
  if (at + 4 > b.size()) throw std::out_of_range("I32 past the end");
  return static_cast<std::int32_t>(std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 |
                                   std::uint32_t(b[at + 2]) << 16 | std::uint32_t(b[at + 3]) << 24);
}
inline std::string SS(const std::vector<std::uint8_t>& b, std::size_t at) {
  if (at >= b.size() || at + 1 + b[at] > b.size()) throw std::out_of_range("SS past the end");
  return std::string(reinterpret_cast<const char*>(&b[at + 1]), b[at]);
}
inline void PutI32(std::vector<std::uint8_t>& b, std::size_t at, std::int32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
}

}  // namespace fixtures

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace fixtures {
// A fresh folder under the test output folder, removed afterwards.
struct TScratchDir {
  explicit TScratchDir(const std::string& name) {
    Path = std::string(ZYMRA_TEST_OUTPUT_DIR) + "/scratch_" + name + "_" + std::to_string(::getpid());
    std::filesystem::remove_all(Path);
    std::filesystem::create_directories(Path);
  }
  ~TScratchDir() {
    SetReadOnly(false);
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
  }
  std::string File(const std::string& name) const { return Path + "/" + name; }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Path)) names.push_back(e.path().filename().string());
    return names;
  }
  // Makes the folder refuse new files, also for root (immutable flag); false when
  // the file system offers no way to do that.
  bool SetReadOnly(bool on) {
    ::chmod(Path.c_str(), on ? 0555 : 0755);
    if (::geteuid() == 0) {
      const int fd = ::open(Path.c_str(), O_RDONLY | O_DIRECTORY);
      if (fd < 0) return false;
      int flags = 0;
      bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
      if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
      }
      ::close(fd);
      if (!ok) return false;
    }
    if (!on) return true;
    const std::string probe = File("probe");
    const int fd = ::open(probe.c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd >= 0) {
      ::close(fd);
      ::unlink(probe.c_str());
      return false;
    }
    return true;
  }
  std::string Path;
};
}  // namespace fixtures
