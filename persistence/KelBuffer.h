#pragma once
// A growable byte block for whole stream images (tens of megabytes).
//
// A std::vector would zero every byte it grows by and copy the whole block on
// each reallocation; for an image that is written or decoded right away both
// are wasted work, and faulting in fresh memory 4 KiB at a time costs as much
// as the decoding itself. Large blocks therefore live in their own mapping:
// growing moves page tables instead of bytes (mremap), and the kernel is asked
// for huge pages. New bytes are left uninitialised.
#include <cstddef>
#include <cstdint>
#include <span>

class TKelBuffer {
 public:
  TKelBuffer() = default;
  ~TKelBuffer();
  TKelBuffer(TKelBuffer&& other) noexcept;
  TKelBuffer& operator=(TKelBuffer&& other) noexcept;
  TKelBuffer(const TKelBuffer&) = delete;
  TKelBuffer& operator=(const TKelBuffer&) = delete;

  std::uint8_t* data() { return FData; }
  const std::uint8_t* data() const { return FData; }
  std::size_t size() const { return FSize; }
  bool empty() const { return FSize == 0; }
  std::span<const std::uint8_t> Span() const { return {FData, FSize}; }

  // New size; bytes past the old size are uninitialised. False (and nothing
  // changed) when memory runs out.
  bool Resize(std::size_t size);
  // Room for at least `capacity` bytes without moving again.
  bool Reserve(std::size_t capacity);
  // Gives back the memory past the size (a decoder's scratch room): the block
  // may outlive the operation that filled it.
  void Trim();
  // Gives the memory back.
  void Clear();

 private:
  std::uint8_t* FData = nullptr;
  std::size_t FSize = 0;
  std::size_t FCapacity = 0;
  bool FMapped = false;
};
