#include "KelBuffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {
// Below this a heap block is cheaper than a mapping of its own.
constexpr std::size_t kMapThreshold = std::size_t{1} << 20;
// Mappings grow in whole huge pages.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

void* MapFresh(std::size_t bytes) {
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  (void)::madvise(p, bytes, MADV_HUGEPAGE);  // only a hint; plain pages work as well
  return p;
}
}  // namespace

TKelBuffer::~TKelBuffer() { Clear(); }

TKelBuffer::TKelBuffer(TKelBuffer&& other) noexcept
    : FData(std::exchange(other.FData, nullptr)),
      FSize(std::exchange(other.FSize, 0)),
      FCapacity(std::exchange(other.FCapacity, 0)),
      FMapped(std::exchange(other.FMapped, false)) {}

TKelBuffer& TKelBuffer::operator=(TKelBuffer&& other) noexcept {
  if (this != &other) {
    Clear();
    FData = std::exchange(other.FData, nullptr);
    FSize = std::exchange(other.FSize, 0);
    FCapacity = std::exchange(other.FCapacity, 0);
    FMapped = std::exchange(other.FMapped, false);
  }
  return *this;
}

void TKelBuffer::Clear() {
  if (FData) {
    if (FMapped) ::munmap(FData, FCapacity);
    else std::free(FData);
  }
  FData = nullptr;
  FSize = FCapacity = 0;
  FMapped = false;
}

bool TKelBuffer::Reserve(std::size_t capacity) {
  if (capacity <= FCapacity) return true;
  if (capacity < kMapThreshold) {
    void* p = std::realloc(FData, capacity);
    if (!p) return false;
    FData = static_cast<std::uint8_t*>(p);
    FCapacity = capacity;
    return true;
  }
  const std::size_t bytes = RoundUp(capacity, kHugePage);
  if (FMapped) {
    void* p = ::mremap(FData, FCapacity, bytes, MREMAP_MAYMOVE);
    if (p == MAP_FAILED) return false;
    (void)::madvise(p, bytes, MADV_HUGEPAGE);
    FData = static_cast<std::uint8_t*>(p);
  } else {
    void* p = MapFresh(bytes);
    if (!p) return false;
    if (FSize) std::memcpy(p, FData, FSize);
    std::free(FData);
    FData = static_cast<std::uint8_t*>(p);
    FMapped = true;
  }
  FCapacity = bytes;
  return true;
}

void TKelBuffer::Trim() {
  if (!FMapped) return;
  constexpr std::size_t kPage = 4096;
  const std::size_t keep = RoundUp(std::max<std::size_t>(FSize, 1), kPage);
  if (keep >= FCapacity) return;
  // Shrinking in place never moves the block.
  if (::mremap(FData, FCapacity, keep, 0) != MAP_FAILED) FCapacity = keep;
}

bool TKelBuffer::Resize(std::size_t size) {
  if (size > FCapacity && !Reserve(std::max(size, FCapacity + FCapacity / 2))) return false;
  FSize = size;
  return true;
}
