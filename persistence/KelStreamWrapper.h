#pragma once
// The stream wrapper: the single object through which every byte of a stored
// object tree is written or read, and the frame records of the stream-list image
// (stream header and footer, block headers and footers).
//
// Image layout (uncompressed; on disk the whole image is Huffman-coded):
//   0        stream header (330 bytes, zero padded to 400)
//   400      the root node's block, nested blocks inside it, pre-order
//   end-20   stream footer (8 bytes, zero padded to 20)
// A block is a 250-byte block header, the node's payload, its children's blocks,
// zero padding up to the node's spacer, and a block footer (8 bytes + 12 zero).
//
// Stream input and output never throw: they return false and record the first
// reason in Error(). After the first failure every further read fails too, so a
// damaged image cannot feed garbage to the readers that follow.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "KelBuffer.h"
#include "KelErrors.h"
#include "KelLinkList.h"
#include "KelStrings.h"

static_assert(std::endian::native == std::endian::little,
              "stored records are copied byte for byte and must be little-endian");

enum TOpenMode : std::uint8_t { omRead = 0, omCreate = 1, omUpdate = 2 };
enum TWriteFormat : std::uint8_t { wfNone = 0, wfPlain = 1, wfBlockHeaders = 2, wfHeadersAndFooters = 3 };
enum TStreamType : std::uint8_t { stFile = 0 };
enum TClassKind : std::uint8_t { ckUnknown = 0, ckList = 1, ckNode = 2, ckRefCarrier = 3 };

#pragma pack(push, 1)
struct TStreamHeader {
  TShortString<12> StreamVersion;
  TShortString<12> CompDataListVersion;
  TShortString<12> ProjectVersion;
  std::int32_t FullMemorySize;
  std::int32_t FreeMemorySize;
  std::uint8_t StreamType;
  TShortString<255> Name;
  std::uint8_t WriteBlockHeaders;  // boolean byte; any non-zero value counts as true
  std::uint8_t WriteBlockFooters;
  std::int32_t DataSize;
  std::int32_t NumberOfLists;
  std::int32_t NumberOfNodes;
  std::int32_t NumberOfBlocks;
  std::int32_t MySize;
  std::int32_t Offsetfooter;
};

// Stream footer and block footer share this layout.
struct TStreamFooter {
  std::int32_t MySize;
  std::int32_t Offset;
};
using TBlockFooter = TStreamFooter;

struct TBlockHeader {
  TShortString<50> ID;
  TShortString<50> ID_owner;
  TShortString<50> ID_Ref;
  TShortString<20> LastCaption;
  TShortString<12> Objectversion;
  std::uint8_t ClassKind;
  TShortString<20> ClassName;
  std::int32_t DataSize;
  std::int32_t Spacer;
  std::int32_t Count;
  std::int32_t Offset;
  std::int32_t OffsetNext_Block;
  std::int32_t OffsetPrev_Block;
  std::int32_t OffsetNext_Node;
  std::int32_t OffsetPrev_Node;
  std::int32_t MySize;
  std::int32_t Offsetfooter;
  std::uint8_t IsLinked;
};
#pragma pack(pop)

static_assert(sizeof(TStreamHeader) == 330);
static_assert(offsetof(TStreamHeader, StreamVersion) == 0);
static_assert(offsetof(TStreamHeader, CompDataListVersion) == 13);
static_assert(offsetof(TStreamHeader, ProjectVersion) == 26);
static_assert(offsetof(TStreamHeader, FullMemorySize) == 39);
static_assert(offsetof(TStreamHeader, FreeMemorySize) == 43);
static_assert(offsetof(TStreamHeader, StreamType) == 47);
static_assert(offsetof(TStreamHeader, Name) == 48);
static_assert(offsetof(TStreamHeader, WriteBlockHeaders) == 304);
static_assert(offsetof(TStreamHeader, WriteBlockFooters) == 305);
static_assert(offsetof(TStreamHeader, DataSize) == 306);
static_assert(offsetof(TStreamHeader, NumberOfLists) == 310);
static_assert(offsetof(TStreamHeader, NumberOfNodes) == 314);
static_assert(offsetof(TStreamHeader, NumberOfBlocks) == 318);
static_assert(offsetof(TStreamHeader, MySize) == 322);
static_assert(offsetof(TStreamHeader, Offsetfooter) == 326);

static_assert(sizeof(TStreamFooter) == 8);
static_assert(offsetof(TStreamFooter, MySize) == 0);
static_assert(offsetof(TStreamFooter, Offset) == 4);

static_assert(sizeof(TBlockHeader) == 250);
static_assert(offsetof(TBlockHeader, ID) == 0);
static_assert(offsetof(TBlockHeader, ID_owner) == 51);
static_assert(offsetof(TBlockHeader, ID_Ref) == 102);
static_assert(offsetof(TBlockHeader, LastCaption) == 153);
static_assert(offsetof(TBlockHeader, Objectversion) == 174);
static_assert(offsetof(TBlockHeader, ClassKind) == 187);
static_assert(offsetof(TBlockHeader, ClassName) == 188);
static_assert(offsetof(TBlockHeader, DataSize) == 209);
static_assert(offsetof(TBlockHeader, Spacer) == 213);
static_assert(offsetof(TBlockHeader, Count) == 217);
static_assert(offsetof(TBlockHeader, Offset) == 221);
static_assert(offsetof(TBlockHeader, OffsetNext_Block) == 225);
static_assert(offsetof(TBlockHeader, OffsetPrev_Block) == 229);
static_assert(offsetof(TBlockHeader, OffsetNext_Node) == 233);
static_assert(offsetof(TBlockHeader, OffsetPrev_Node) == 237);
static_assert(offsetof(TBlockHeader, MySize) == 241);
static_assert(offsetof(TBlockHeader, Offsetfooter) == 245);
static_assert(offsetof(TBlockHeader, IsLinked) == 249);

// Sizes and reserves of the frame records.
inline constexpr std::int32_t StreamHeaderSize = 330;
inline constexpr std::int32_t StreamHeaderReserve = 400;
inline constexpr std::int32_t BlockHeaderSize = 250;
inline constexpr std::int32_t BlockHeaderReserve = 150;  // smaller than the size: no padding
inline constexpr std::int32_t FooterSize = 8;
inline constexpr std::int32_t FooterReserve = 20;

TStreamHeader InitialStreamHeader();
TStreamFooter InitialFooter();
TBlockHeader InitialBlockHeader();

// Names shown by the inspection view; numbers outside the enumerations are
// shown in decimal.
std::string StreamTypeName(std::uint8_t type);
std::string ClassKindName(std::uint8_t kind);

// ---------------------------------------------------------------------------
// Byte streams under the wrapper: a disk file or a memory image.

class TKelStream {
 public:
  virtual ~TKelStream() = default;
  // Exactly count bytes or false.
  virtual bool Read(void* buffer, std::int64_t count) = 0;
  virtual bool Write(const void* buffer, std::int64_t count) = 0;
  // Absolute position; positions past the end are allowed (reads there fail).
  virtual bool Seek(std::int64_t position) = 0;
  virtual std::int64_t Position() const = 0;
  virtual std::int64_t Size() const = 0;
  // The last operating-system error text, if any.
  virtual std::string LastOsError() const { return {}; }
  // The next count bytes as a block that stays valid as long as the returned
  // pointer lives, without copying them; nullptr where the stream cannot lend
  // its bytes (the caller then reads a copy). Advances like Read.
  virtual std::shared_ptr<std::uint8_t> Lend(std::int64_t count) {
    (void)count;
    return nullptr;
  }
};

// An image in memory. Blocks it lends keep the whole image alive: a loaded
// project's series are views into the image they were decoded into.
class TKelMemoryStream : public TKelStream {
 public:
  TKelMemoryStream() : FData(std::make_shared<TKelBuffer>()) {}
  explicit TKelMemoryStream(TKelBuffer data) : FData(std::make_shared<TKelBuffer>(std::move(data))) {}
  bool Read(void* buffer, std::int64_t count) override;
  bool Write(const void* buffer, std::int64_t count) override;
  bool Seek(std::int64_t position) override;
  std::int64_t Position() const override { return FPosition; }
  std::int64_t Size() const override { return static_cast<std::int64_t>(FData->size()); }
  std::shared_ptr<std::uint8_t> Lend(std::int64_t count) override;
  std::span<const std::uint8_t> Data() const { return FData->Span(); }

 private:
  std::shared_ptr<TKelBuffer> FData;
  std::int64_t FPosition = 0;
};

class TKelFileStream : public TKelStream {
 public:
  // Takes ownership of an open file descriptor.
  explicit TKelFileStream(int fd);
  ~TKelFileStream() override;
  bool Read(void* buffer, std::int64_t count) override;
  bool Write(const void* buffer, std::int64_t count) override;
  bool Seek(std::int64_t position) override;
  std::int64_t Position() const override { return FPosition; }
  std::int64_t Size() const override { return FSize; }
  std::string LastOsError() const override { return FOsError; }
  bool Truncate(std::int64_t size);
  bool Sync();
  // Starts writing completed stretches to the disk while later ones are still
  // being produced, so that the final Sync has little left to wait for.
  void SetWriteBehind(bool on) { FWriteBehind = on; }
  bool CloseFile();  // reports errors of the final close (for example a full disk on NFS)
  int Handle() const { return FFd; }
  // Reads the whole file from offset 0; false on an error.
  bool ReadAll(std::vector<std::uint8_t>& out);

 private:
  int FFd;
  std::int64_t FPosition = 0;
  std::int64_t FSize = 0;
  std::int64_t FWrittenBehind = 0;
  bool FWriteBehind = false;
  std::string FOsError;
};

// ---------------------------------------------------------------------------

class TStreamWrappers;
class TStreamSpy;
class TStreamNode;

class TStreamWrapper : public TListNode {
 public:
  TStreamWrapper(TOpenMode mode, const std::string& name, TWriteFormat format);
  ~TStreamWrapper() override;

  virtual TStreamType GetStreamType() const = 0;

  // Raw and padded I/O. count <= 0 returns false and touches nothing.
  virtual bool Write(const void* buffer, std::int32_t count);
  // Writes size bytes, then reserve - size zero bytes when reserve > size.
  virtual bool WritePadded(const void* buffer, std::int32_t size, std::int32_t reserve);
  virtual bool Read(void* buffer, std::int32_t count);
  // Reads count bytes into a block the caller keeps: borrowed from the decoded
  // image where there is one, else a fresh copy. Fails like Read.
  bool ReadBlock(std::int32_t count, std::shared_ptr<std::uint8_t>& block);
  // Reads size bytes, then skips reserve - size bytes (by seeking) when reserve > size.
  virtual bool ReadPadded(void* buffer, std::int32_t size, std::int32_t reserve);

  // 32-bit length, then the characters (no terminator).
  bool WriteLongString(std::string_view s);
  // s becomes empty for length 0. A negative length or one running past the end of
  // the data is damage: s stays empty, nothing is allocated and false is returned.
  bool ReadLongString(std::string& s);
  bool ReadStringAt(std::int64_t position, std::int32_t count, std::string& s);

  std::int64_t GetPosition() const;
  std::int64_t GetSize() const;
  // Bytes between the position and the end; what a reader may still ask for.
  std::int64_t GetRemaining() const;
  // origin 0 = from the beginning, 1 = from the current position, 2 = from the end.
  bool Seek(std::int64_t offset, int origin);

  bool IsWriting() const { return WriteFormat != wfNone; }
  bool IsUpdating() const { return WriteFormat == wfNone && (OpenMode == omCreate || OpenMode == omUpdate); }
  bool HasGrown() const;

  // Stream header and footer; with compression on, all I/O between Open and
  // Close goes to an uncompressed image in memory.
  bool Open(bool isRead);
  bool Close(bool isRead);
  // Makes the written file permanent (see TFile_StreamWrapper). True in the base.
  virtual bool Commit();
  // Throws away whatever a failed save wrote. Nothing in the base.
  virtual void Discard();

  // The block protocol of the stream-list image.
  bool BeginBlock(TBlockHeader& header, TBlockFooter& footer, bool isRead);
  bool EndBlock(TBlockHeader& header, TBlockFooter& footer, bool isRead);
  bool WriteBlockHeader(const TBlockHeader& header, bool counted);
  bool ReadBlockHeader(TBlockHeader& header);
  bool WriteBlockFooter(const TBlockFooter& footer);
  bool ReadBlockFooter(TBlockFooter& footer);

  // The operation this wrapper belongs to (the list it is linked into), or nullptr.
  TStreamWrappers* Wrappers() const;
  bool Compressing() const;
  TStreamSpy* Spy() const;

  // First failure of this wrapper, in words a user can be shown.
  const std::string& Error() const { return FError; }
  bool Failed() const { return !FError.empty(); }
  // Records a failure; the first one wins.
  void SetError(const std::string& text);

  // Nesting depth of blocks being read; guards the stack against hostile images.
  std::int32_t ReadDepth = 0;
  static constexpr std::int32_t MaxReadDepth = 200;

  TOpenMode OpenMode;
  TWriteFormat WriteFormat;
  std::string Name;  // full name; the header keeps at most 255 characters of it
  TStreamHeader Header;
  TStreamFooter Footer;
  std::int32_t LastBlockOffset = 0;

 protected:
  bool WriteZeros(std::int64_t count);
  bool CheckWritable(std::int64_t count);
  // Encodes the image into the real file (the active stream by then). Records
  // the reason and returns false on failure.
  virtual bool StoreEncoded(std::span<const std::uint8_t> image);
  // Encodes the image into Stream from offset 0; the number of bytes written.
  bool EncodeToStream(std::span<const std::uint8_t> image, std::int64_t& written);

  std::unique_ptr<TKelStream> Stream;
  std::unique_ptr<TKelStream> SwapStream;

 private:
  std::string FError;
};

// A wrapper on a disk file. A wrapper that writes never touches an existing file
// until the save succeeded: it writes a uniquely named temporary file in the
// target's folder and Commit renames it over the target; Discard (or destroying
// an uncommitted wrapper) removes the temporary file.
class TFile_StreamWrapper : public TStreamWrapper {
 public:
  // Raises EKelStreamWrapCreate when the name, mode or format do not fit.
  TFile_StreamWrapper(TOpenMode mode, const std::string& name, TWriteFormat format);
  ~TFile_StreamWrapper() override;
  TStreamType GetStreamType() const override { return stFile; }
  bool Commit() override;
  void Discard() override;
  // The temporary file a save writes (empty when the wrapper updates or reads).
  const std::string& TempName() const { return FTempName; }

 protected:
  bool StoreEncoded(std::span<const std::uint8_t> image) override;

 private:
  TKelFileStream* FileStream() const;
  std::string FTempName;
  bool FCommitted = false;
};

// The wrappers of one save or load.
class TStreamWrappers : public TLinkList {
 public:
  TStreamNode* Owner = nullptr;
  TStreamSpy* Spy = nullptr;
  bool Compress = false;
};

// A save beyond the process's file-size limit (ulimit -f) must fail like one on
// a full disk, with its reason and the old file intact, instead of the kernel
// killing the program with SIGXFSZ: ignoring the signal makes the write report
// EFBIG. Every program calls this once at start.
void IgnoreFileSizeSignal();

// Stream-type registry: creates the wrapper class registered for a stream type.
using TStreamWrapperFactory = std::unique_ptr<TStreamWrapper> (*)(TOpenMode, const std::string&, TWriteFormat);
TStreamWrapperFactory StreamWrapperClass(TStreamType type);
std::unique_ptr<TStreamWrapper> CreateStreamWrapper(TStreamType type, TOpenMode mode, const std::string& name,
                                                    TWriteFormat format);
