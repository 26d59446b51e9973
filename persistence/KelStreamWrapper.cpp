#include "KelStreamWrapper.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <random>

#include "KelCompDataList.h"
#include "KelHuffFuncs.h"

namespace {
constexpr std::int64_t MaxImageSize = INT32_MAX;  // offsets in the image are 32-bit

std::string At(std::int64_t position) { return " at offset " + std::to_string(position); }

std::string OsErrorText(int err) { return std::strerror(err); }
}  // namespace

TStreamHeader InitialStreamHeader() {
  TStreamHeader h{};
  h.StreamVersion.Assign("0.0.1");
  h.CompDataListVersion.Assign("0.0.1");
  h.ProjectVersion.Assign("");
  h.Name.Assign("");
  h.MySize = StreamHeaderReserve;
  return h;
}

TStreamFooter InitialFooter() {
  TStreamFooter f{};
  f.MySize = FooterReserve;
  f.Offset = 0;
  return f;
}

TBlockHeader InitialBlockHeader() {
  TBlockHeader h{};
  h.MySize = BlockHeaderReserve;
  return h;
}

std::string StreamTypeName(std::uint8_t type) {
  return type == stFile ? std::string("stFile") : std::to_string(type);
}

std::string ClassKindName(std::uint8_t kind) {
  switch (kind) {
    case ckUnknown: return "ckUnknown";
    case ckList: return "ckList";
    case ckNode: return "ckNode";
    case ckRefCarrier: return "ckRefCarrier";
    default: return std::to_string(kind);
  }
}

// --- memory stream ------------------------------------------------------------

bool TKelMemoryStream::Read(void* buffer, std::int64_t count) {
  if (count < 0 || FPosition > Size() || count > Size() - FPosition) return false;
  if (count) std::memcpy(buffer, FData->data() + FPosition, static_cast<std::size_t>(count));
  FPosition += count;
  return true;
}

std::shared_ptr<std::uint8_t> TKelMemoryStream::Lend(std::int64_t count) {
  if (count <= 0 || FPosition > Size() || count > Size() - FPosition) return nullptr;
  std::shared_ptr<std::uint8_t> block(FData, FData->data() + FPosition);
  FPosition += count;
  return block;
}

bool TKelMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count < 0 || FPosition + count > MaxImageSize) return false;
  const auto end = static_cast<std::size_t>(FPosition + count);
  const std::size_t size = FData->size();
  if (end > size) {
    if (!FData->Resize(end)) return false;
    // Bytes skipped by a seek past the end read as zero, as in a file.
    if (static_cast<std::size_t>(FPosition) > size)
      std::memset(FData->data() + size, 0, static_cast<std::size_t>(FPosition) - size);
  }
  if (count) std::memcpy(FData->data() + FPosition, buffer, static_cast<std::size_t>(count));
  FPosition += count;
  return true;
}

bool TKelMemoryStream::Seek(std::int64_t position) {
  if (position < 0 || position > MaxImageSize) return false;
  FPosition = position;
  return true;
}

// --- file stream ----------------------------------------------------------------

TKelFileStream::TKelFileStream(int fd) : FFd(fd) {
  struct stat st {};
  if (FFd >= 0 && ::fstat(FFd, &st) == 0) FSize = st.st_size;
}

TKelFileStream::~TKelFileStream() { CloseFile(); }

bool TKelFileStream::CloseFile() {
  if (FFd < 0) return true;
  const int rc = ::close(FFd);
  FFd = -1;
  if (rc != 0) FOsError = OsErrorText(errno);
  return rc == 0;
}

bool TKelFileStream::Read(void* buffer, std::int64_t count) {
  if (FFd < 0 || count < 0) return false;
  auto* p = static_cast<std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(FFd, p + done, static_cast<std::size_t>(count - done), FPosition + done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) FOsError = OsErrorText(errno);
    if (n <= 0) return false;
    done += n;
  }
  FPosition += count;
  return true;
}

bool TKelFileStream::Write(const void* buffer, std::int64_t count) {
  if (FFd < 0 || count < 0) return false;
  const auto* p = static_cast<const std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::pwrite(FFd, p + done, static_cast<std::size_t>(count - done), FPosition + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      FOsError = OsErrorText(n < 0 ? errno : ENOSPC);
      return false;
    }
    done += n;
  }
  FPosition += count;
  FSize = std::max(FSize, FPosition);
  constexpr std::int64_t kBehind = std::int64_t{4} << 20;
  if (FWriteBehind && FPosition - FWrittenBehind >= kBehind) {
    // Only a hint to start the transfer; Sync still makes it durable.
    (void)::sync_file_range(FFd, FWrittenBehind, FPosition - FWrittenBehind, SYNC_FILE_RANGE_WRITE);
    FWrittenBehind = FPosition;
  }
  return true;
}

bool TKelFileStream::Seek(std::int64_t position) {
  if (position < 0) return false;
  FPosition = position;
  return true;
}

bool TKelFileStream::Truncate(std::int64_t size) {
  if (FFd < 0 || ::ftruncate(FFd, size) != 0) {
    FOsError = OsErrorText(errno);
    return false;
  }
  FSize = size;
  if (FPosition > size) FPosition = size;
  return true;
}

bool TKelFileStream::Sync() {
  if (FFd < 0 || ::fsync(FFd) != 0) {
    FOsError = OsErrorText(errno);
    return false;
  }
  return true;
}

bool TKelFileStream::ReadAll(std::vector<std::uint8_t>& out) {
  struct stat st {};
  if (FFd < 0 || ::fstat(FFd, &st) != 0) return false;
  FSize = st.st_size;
  try {
    out.resize(static_cast<std::size_t>(FSize));
  } catch (const std::exception&) {
    FOsError = "file too large";
    return false;
  }
  FPosition = 0;
  return Read(out.data(), FSize);
}

// --- wrapper ----------------------------------------------------------------------

TStreamWrapper::TStreamWrapper(TOpenMode mode, const std::string& name, TWriteFormat format)
    : OpenMode(mode), WriteFormat(format), Name(name), Header(InitialStreamHeader()), Footer(InitialFooter()) {
  if (format == wfBlockHeaders) Header.WriteBlockHeaders = 1;
  if (format == wfHeadersAndFooters) Header.WriteBlockHeaders = Header.WriteBlockFooters = 1;
}

TStreamWrapper::~TStreamWrapper() = default;

void TStreamWrapper::SetError(const std::string& text) {
  if (FError.empty()) FError = text.empty() ? std::string("unknown stream error") : text;
}

TStreamWrappers* TStreamWrapper::Wrappers() const { return dynamic_cast<TStreamWrappers*>(List); }

bool TStreamWrapper::Compressing() const {
  const TStreamWrappers* w = Wrappers();
  return w && w->Compress;
}

TStreamSpy* TStreamWrapper::Spy() const {
  const TStreamWrappers* w = Wrappers();
  return w ? w->Spy : nullptr;
}

bool TStreamWrapper::CheckWritable(std::int64_t count) {
  if (!Stream) {
    SetError("no stream is open");
    return false;
  }
  if (Stream->Position() + count > MaxImageSize) {
    SetError("the data exceed the largest storable size of 2 GiB");
    return false;
  }
  return true;
}

bool TStreamWrapper::Write(const void* buffer, std::int32_t count) {
  if (count <= 0 || buffer == nullptr) return false;
  if (!CheckWritable(count)) return false;
  const std::int64_t pos = Stream->Position();
  if (!Stream->Write(buffer, count)) {
    const std::string os = Stream->LastOsError();
    SetError("cannot write" + At(pos) + (os.empty() ? std::string() : ": " + os));
    return false;
  }
  return true;
}

bool TStreamWrapper::WriteZeros(std::int64_t count) {
  static const std::uint8_t zeros[4096] = {};
  while (count > 0) {
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(count, sizeof zeros));
    if (!Write(zeros, n)) return false;
    count -= n;
  }
  return true;
}

bool TStreamWrapper::WritePadded(const void* buffer, std::int32_t size, std::int32_t reserve) {
  if (!Write(buffer, size)) return false;
  return reserve - size > 0 ? WriteZeros(reserve - size) : true;
}

bool TStreamWrapper::Read(void* buffer, std::int32_t count) {
  if (count <= 0 || buffer == nullptr || !Stream) return false;
  if (Failed() && !IsWriting()) return false;  // do not read on behind damage
  const std::int64_t pos = Stream->Position();
  const std::int64_t left = std::max<std::int64_t>(0, Stream->Size() - pos);
  if (count > left) {
    SetError("unexpected end of data" + At(pos) + " (" + std::to_string(count) + " bytes needed, " +
             std::to_string(left) + " left)");
    return false;
  }
  if (!Stream->Read(buffer, count)) {
    const std::string os = Stream->LastOsError();
    SetError("cannot read" + At(pos) + (os.empty() ? std::string() : ": " + os));
    return false;
  }
  return true;
}

bool TStreamWrapper::ReadBlock(std::int32_t count, std::shared_ptr<std::uint8_t>& block) {
  block.reset();
  if (count <= 0 || !Stream) return false;
  if (Failed() && !IsWriting()) return false;
  const std::int64_t pos = Stream->Position();
  const std::int64_t left = std::max<std::int64_t>(0, Stream->Size() - pos);
  if (count > left) {
    SetError("unexpected end of data" + At(pos) + " (" + std::to_string(count) + " bytes needed, " +
             std::to_string(left) + " left)");
    return false;
  }
  if (OpenMode == omRead && !IsWriting()) {
    // Lending is only safe from an image nobody writes to any more.
    block = Stream->Lend(count);
    if (block) return true;
  }
  try {
    block.reset(new std::uint8_t[static_cast<std::size_t>(count)], std::default_delete<std::uint8_t[]>());
  } catch (const std::bad_alloc&) {
    SetError("out of memory reading " + std::to_string(count) + " bytes" + At(pos));
    return false;
  }
  if (!Read(block.get(), count)) {
    block.reset();
    return false;
  }
  return true;
}

bool TStreamWrapper::ReadPadded(void* buffer, std::int32_t size, std::int32_t reserve) {
  if (!Read(buffer, size)) return false;
  if (reserve - size <= 0) return true;
  const std::int64_t target = Stream->Position() + (reserve - size);
  if (target > Stream->Size()) {
    SetError("unexpected end of data" + At(Stream->Position()) + " (record padding missing)");
    return false;
  }
  return Stream->Seek(target);
}

bool TStreamWrapper::WriteLongString(std::string_view s) {
  if (s.size() > static_cast<std::size_t>(INT32_MAX)) {
    SetError("text too long to be stored");
    return false;
  }
  const auto len = static_cast<std::int32_t>(s.size());
  if (!Write(&len, sizeof len)) return false;
  return len == 0 || Write(s.data(), len);
}

bool TStreamWrapper::ReadLongString(std::string& s) {
  s.clear();
  std::int32_t len = 0;
  const std::int64_t pos = GetPosition();
  if (!Read(&len, sizeof len)) return false;
  if (len == 0) return true;
  if (len < 0 || len > GetRemaining()) {
    SetError("text" + At(pos) + " claims " + std::to_string(len) + " bytes, but only " +
             std::to_string(GetRemaining()) + " remain");
    return false;
  }
  s.resize(static_cast<std::size_t>(len));
  if (!Read(s.data(), len)) {
    s.clear();
    return false;
  }
  return true;
}

bool TStreamWrapper::ReadStringAt(std::int64_t position, std::int32_t count, std::string& s) {
  s.clear();
  if (!Seek(position, 0)) return false;
  if (count == 0) return true;
  if (count < 0 || count > GetRemaining()) {
    SetError("text" + At(position) + " runs past the end of the data");
    return false;
  }
  s.resize(static_cast<std::size_t>(count));
  if (!Read(s.data(), count)) {
    s.clear();
    return false;
  }
  return true;
}

std::int64_t TStreamWrapper::GetPosition() const { return Stream ? Stream->Position() : 0; }
std::int64_t TStreamWrapper::GetSize() const { return Stream ? Stream->Size() : 0; }
std::int64_t TStreamWrapper::GetRemaining() const {
  return Stream ? std::max<std::int64_t>(0, Stream->Size() - Stream->Position()) : 0;
}

bool TStreamWrapper::Seek(std::int64_t offset, int origin) {
  if (!Stream) return false;
  std::int64_t base = 0;
  if (origin == 1) base = Stream->Position();
  else if (origin == 2) base = Stream->Size();
  else if (origin != 0) return false;
  const std::int64_t target = base + offset;
  if (target < 0 || target > MaxImageSize || !Stream->Seek(target)) {
    SetError("invalid position " + std::to_string(target));
    return false;
  }
  return true;
}

bool TStreamWrapper::HasGrown() const { return GetSize() > std::int64_t{Header.Offsetfooter} + Footer.MySize; }

bool TStreamWrapper::Open(bool isRead) {
  bool result = true;
  if (!Stream) {
    SetError("no stream is open");
    return false;
  }
  if (Compressing()) {
    TKelBuffer image;
    if (!IsWriting() || isRead) {
      TKelBuffer packed;
      const auto size = static_cast<std::size_t>(std::max<std::int64_t>(0, Stream->Size()));
      if (!packed.Resize(size)) {
        SetError("cannot read the file: out of memory");
        result = false;
      } else if (!Stream->Seek(0) || (size && !Stream->Read(packed.data(), static_cast<std::int64_t>(size)))) {
        SetError("cannot read the file" + (Stream->LastOsError().empty() ? std::string() : ": " + Stream->LastOsError()));
        result = false;
      } else {
        std::string why;
        if (!HuffDecode(packed.Span(), image, why)) {
          SetError("the file is not a valid compressed image: " + why);
          image.Clear();
          result = false;
        } else {
          image.Trim();  // the loaded series keep the image alive
        }
      }
    }
    SwapStream = std::make_unique<TKelMemoryStream>(std::move(image));
    std::swap(Stream, SwapStream);
  }
  if (IsWriting() && !isRead) {
    Header.StreamType = GetStreamType();
    Header.Name.Assign(Name);
    if (!WritePadded(&Header, StreamHeaderSize, StreamHeaderReserve)) result = false;
  } else {
    if (GetRemaining() < StreamHeaderReserve) {
      SetError("the data are too short to hold a stream header (" + std::to_string(GetRemaining()) + " bytes)");
      result = false;
    } else if (!ReadPadded(&Header, StreamHeaderSize, StreamHeaderReserve)) {
      result = false;
    } else if (Header.Offsetfooter > 0 && GetSize() < std::int64_t{Header.Offsetfooter} + Footer.MySize) {
      // The blocks may all still parse, but a file cut short must not pass as whole.
      SetError("the file is truncated: " + std::to_string(GetSize()) + " bytes of data, the stream footer belongs at " +
               std::to_string(Header.Offsetfooter));
      result = false;
    } else if (TStreamSpy* spy = Spy()) {
      spy->AddStreamHeader(Header);
    }
  }
  return result;
}

bool TStreamWrapper::EncodeToStream(std::span<const std::uint8_t> image, std::int64_t& written) {
  written = 0;
  if (!Stream || !Stream->Seek(0)) {
    SetError("cannot write the file");
    return false;
  }
  bool sinkFailed = false;
  const bool ok = HuffEncodeTo(image, [&](const std::uint8_t* data, std::size_t count) {
    if (!Stream->Write(data, static_cast<std::int64_t>(count))) {
      sinkFailed = true;
      return false;
    }
    written += static_cast<std::int64_t>(count);
    return true;
  });
  if (ok) return true;
  if (sinkFailed) {
    const std::string os = Stream->LastOsError();
    SetError("cannot write the file" + (os.empty() ? std::string() : ": " + os));
  } else {
    SetError("cannot compress the data (out of memory)");
  }
  return false;
}

bool TStreamWrapper::StoreEncoded(std::span<const std::uint8_t> image) {
  std::int64_t written = 0;
  return EncodeToStream(image, written);
}

bool TStreamWrapper::Close(bool isRead) {
  bool result = true;
  if (!isRead) {
    result = false;
    if (Stream) {
      bool ok = true;
      if (IsWriting() || (IsUpdating() && HasGrown())) {
        ok = WritePadded(&Footer, FooterSize, FooterReserve);
        Header.DataSize = static_cast<std::int32_t>(GetSize());
        Header.Offsetfooter = static_cast<std::int32_t>(GetSize() - Footer.MySize);
      }
      ok = ok && Seek(Footer.Offset, 0) && WritePadded(&Header, StreamHeaderSize, StreamHeaderReserve);
      result = ok && !Failed();
    }
  }
  if (Stream) Stream->Seek(Stream->Size());
  if (Compressing() && SwapStream) {
    std::swap(Stream, SwapStream);
    if (!isRead && result) {
      // Coded straight from the image into the file, piece by piece.
      const auto* image = dynamic_cast<const TKelMemoryStream*>(SwapStream.get());
      if (!image) {
        SetError("cannot compress the data");
        result = false;
      } else if (!StoreEncoded(image->Data())) {
        result = false;
      }
    }
  }
  SwapStream.reset();
  return result;
}

bool TStreamWrapper::Commit() { return !Failed(); }
void TStreamWrapper::Discard() {}

bool TStreamWrapper::WriteBlockHeader(const TBlockHeader& header, bool counted) {
  if (!WritePadded(&header, BlockHeaderSize, BlockHeaderReserve)) return false;
  if (counted) {
    if (header.ClassKind == ckList) ++Header.NumberOfLists;
    else ++Header.NumberOfNodes;
    ++Header.NumberOfBlocks;
  }
  return true;
}

bool TStreamWrapper::ReadBlockHeader(TBlockHeader& header) {
  return ReadPadded(&header, BlockHeaderSize, BlockHeaderReserve);
}

bool TStreamWrapper::WriteBlockFooter(const TBlockFooter& footer) {
  return WritePadded(&footer, FooterSize, FooterReserve);
}

bool TStreamWrapper::ReadBlockFooter(TBlockFooter& footer) { return ReadPadded(&footer, FooterSize, FooterReserve); }

bool TStreamWrapper::BeginBlock(TBlockHeader& header, TBlockFooter& footer, bool isRead) {
  if (!Header.WriteBlockHeaders) return true;
  if (isRead) {
    const std::int64_t pos = GetPosition();
    if (!ReadBlockHeader(header)) {
      SetError("block header" + At(pos) + " is incomplete");
      return false;
    }
    if (TStreamSpy* spy = Spy()) spy->AddBlockHeader(header);
    return true;
  }
  const std::int64_t p = GetPosition();
  footer.Offset = static_cast<std::int32_t>(p);
  header.OffsetPrev_Block = LastBlockOffset;
  header.Offset = static_cast<std::int32_t>(p);
  // A header that was loaded earlier still carries the old file's chain and
  // footer offsets; the next block and EndBlock fill in the new ones.
  header.OffsetNext_Block = 0;
  header.Offsetfooter = 0;
  LastBlockOffset = static_cast<std::int32_t>(p);
  bool ok = true;
  if (header.OffsetPrev_Block > 0) {
    TBlockHeader prev{};
    ok = Seek(header.OffsetPrev_Block, 0) && ReadBlockHeader(prev);
    if (ok) {
      prev.OffsetNext_Block = static_cast<std::int32_t>(p);
      ok = Seek(header.OffsetPrev_Block, 0) && WriteBlockHeader(prev, false);
    }
  }
  return Seek(p, 0) && WriteBlockHeader(header, true) && ok;
}

bool TStreamWrapper::EndBlock(TBlockHeader& header, TBlockFooter& footer, bool isRead) {
  if (!Header.WriteBlockHeaders) return true;
  if (isRead) {
    // The reader may have consumed less than the block holds (an older reader);
    // jumping to the footer realigns it. A footer before the current position or
    // outside the data can only come from damage, and following it backwards
    // could make a hostile image read the same blocks over and over.
    const std::int64_t pos = GetPosition();
    std::int64_t target;
    if (Header.WriteBlockFooters) {
      target = header.Offsetfooter;
    } else {
      // Copies: the packed fields cannot be bound to references.
      const std::int32_t dataSize = header.DataSize, spacer = header.Spacer;
      target = std::int64_t{header.Offset} + std::max(dataSize, spacer);
    }
    if (target < pos || target > GetSize()) {
      SetError("block" + At(header.Offset) + " has an invalid end (" + std::to_string(target) + ")");
      return false;
    }
    if (!Seek(target, 0)) return false;
    if (!Header.WriteBlockFooters) return true;
    if (!ReadBlockFooter(footer)) {
      SetError("block footer" + At(target) + " is incomplete");
      return false;
    }
    return true;
  }
  const std::int64_t len = GetSize() - header.Offset;
  bool ok = true;
  if (header.Spacer - len > 0) ok = Seek(0, 2) && WriteZeros(header.Spacer - len);
  if (ok && Header.WriteBlockFooters) ok = WriteBlockFooter(footer);
  ok = ok && Seek(footer.Offset, 0) && ReadBlockHeader(header);
  header.DataSize = static_cast<std::int32_t>(len);
  if (Header.WriteBlockFooters) header.Offsetfooter = static_cast<std::int32_t>(GetSize() - footer.MySize);
  ok = ok && Seek(footer.Offset, 0) && WriteBlockHeader(header, false);
  return Seek(0, 2) && ok;
}

// --- file wrapper --------------------------------------------------------------------

namespace {
const char* const kCreateSilly = "File_StreamWrapper_create: new and read is silly";
const char* const kCreateInvalid = "File_StreamWrapper_create: invalid filename";
const char* const kCreateNotExists = "File_StreamWrapper_create: file not exists";
const char* const kCreateNotExisting = "File_StreamWrapper_create: can\xB4t open a not existing file";
const char* const kCreateException = "File_StreamWrapper_create: exception create";

std::string FolderOf(const std::string& name) {
  const auto slash = name.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  return name.substr(0, slash + 1);
}

// Creates a new file beside `target` with a name nobody else uses; the mode
// follows the umask like any new file. Returns the descriptor or -1.
int CreateUniqueBeside(const std::string& target, std::string& tempName) {
  static std::atomic<unsigned> serial{0};
  std::random_device rd;
  const std::string folder = FolderOf(target);
  std::string base = target.substr(folder.size());
  if (base.size() > 200) base.resize(200);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const unsigned tag = rd() ^ (static_cast<unsigned>(::getpid()) << 16) ^ (serial.fetch_add(1) * 2654435761u);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", tag);
    tempName = folder + "." + base + "." + suffix + ".tmp";
    const int fd = ::open(tempName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  tempName.clear();
  return -1;
}
}  // namespace

TFile_StreamWrapper::TFile_StreamWrapper(TOpenMode mode, const std::string& name, TWriteFormat format)
    : TStreamWrapper(mode, name, format) {
  const bool writing = format != wfNone;
  if (mode == omRead && writing) throw EKelStreamWrapCreate(kCreateSilly);
  if (name.find('\0') != std::string::npos) throw EKelStreamWrapCreate(kCreateInvalid);
  struct stat st {};
  bool exists = false;
  if (!name.empty()) {
    if (::stat(name.c_str(), &st) == 0) exists = true;
    else if (errno != ENOENT) throw EKelStreamWrapCreate(kCreateInvalid);
  }
  if ((mode == omRead || mode == omUpdate) && !exists) throw EKelStreamWrapCreate(kCreateNotExists);
  // An existing target stays untouched until the new file is complete; a folder
  // can never be replaced by a file.
  if (exists && writing && S_ISDIR(st.st_mode)) throw EKelStreamWrapCreate(kCreateInvalid);
  if (!exists && !writing) throw EKelStreamWrapCreate(kCreateNotExisting);
  if (exists && S_ISDIR(st.st_mode)) throw EKelStreamWrapCreate(kCreateException);

  int fd = -1;
  if (mode == omRead && !writing) {
    fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  } else if (mode == omUpdate && !writing) {
    fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
  } else {
    fd = CreateUniqueBeside(name, FTempName);
    if (fd >= 0 && exists) (void)::fchmod(fd, st.st_mode & 07777);
  }
  if (fd < 0) throw EKelStreamWrapCreate(kCreateException);
  Stream = std::make_unique<TKelFileStream>(fd);
}

TFile_StreamWrapper::~TFile_StreamWrapper() {
  if (!FCommitted) Discard();
}

TKelFileStream* TFile_StreamWrapper::FileStream() const {
  auto* f = dynamic_cast<TKelFileStream*>(SwapStream ? SwapStream.get() : Stream.get());
  return f ? f : dynamic_cast<TKelFileStream*>(Stream.get());
}

bool TFile_StreamWrapper::StoreEncoded(std::span<const std::uint8_t> image) {
  auto* f = dynamic_cast<TKelFileStream*>(Stream.get());
  if (!f) {
    SetError("cannot write the file");
    return false;
  }
  std::int64_t written = 0;
  f->SetWriteBehind(true);
  const bool encoded = EncodeToStream(image, written);
  f->SetWriteBehind(false);
  if (!encoded) return false;
  // An updated file may end up shorter than before: cut off the old tail.
  if (!f->Truncate(written)) {
    SetError("cannot write the file: " + f->LastOsError());
    return false;
  }
  return true;
}

bool TFile_StreamWrapper::Commit() {
  if (FTempName.empty()) return !Failed();  // reading or updating in place: nothing to publish
  if (FCommitted) return true;
  if (Failed()) {
    Discard();
    return false;
  }
  TKelFileStream* f = FileStream();
  bool ok = f && f->Sync();
  std::string why = f && !ok ? f->LastOsError() : std::string();
  if (f && !f->CloseFile() && ok) {
    ok = false;
    why = f->LastOsError();
  }
  if (ok && ::rename(FTempName.c_str(), Name.c_str()) != 0) {
    ok = false;
    why = OsErrorText(errno);
  }
  if (!ok) {
    SetError("cannot store the file " + Name + (why.empty() ? std::string() : ": " + why));
    Discard();
    return false;
  }
  FCommitted = true;
  FTempName.clear();
  return true;
}

void TFile_StreamWrapper::Discard() {
  if (FTempName.empty()) return;
  Stream.reset();
  SwapStream.reset();
  ::unlink(FTempName.c_str());
  FTempName.clear();
}

void IgnoreFileSizeSignal() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGXFSZ, &action, nullptr);
}

// --- registry ----------------------------------------------------------------------

namespace {
std::unique_ptr<TStreamWrapper> CreateFileWrapper(TOpenMode mode, const std::string& name, TWriteFormat format) {
  return std::make_unique<TFile_StreamWrapper>(mode, name, format);
}
}  // namespace

TStreamWrapperFactory StreamWrapperClass(TStreamType type) {
  static const TStreamWrapperFactory registry[] = {&CreateFileWrapper};
  return type < std::size(registry) ? registry[type] : nullptr;
}

std::unique_ptr<TStreamWrapper> CreateStreamWrapper(TStreamType type, TOpenMode mode, const std::string& name,
                                                    TWriteFormat format) {
  const TStreamWrapperFactory factory = StreamWrapperClass(type);
  if (!factory) throw EKelStreamWrapCreate("unknown stream type " + std::to_string(type));
  return factory(mode, name, format);
}
