#pragma once
// Static byte-oriented Huffman code used for every project file.
//
// Compressed layout: byte 0 = number of valid bits in the last bit-stream byte
// (0 means all 8); bytes 1..4 = L, the code-table length (int32 little-endian,
// at most 1492); then L bytes of code table (byte value, code length n, n code
// bits MSB first in ceil(n/8) bytes), in ascending byte order; then the codes
// of the input bytes, MSB first, the last byte padded with zero bits.
//
// The decoded size is not stored. Every code is at least one bit long, so the
// decoder never produces more bytes than there are valid bits in the bit
// stream (and never more than valid bits / shortest code length); that is the
// bound on what it allocates for hostile input.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "KelBuffer.h"

// Largest code table a reader accepts (it reads at most 1496 bytes from offset 1).
inline constexpr std::int32_t HuffMaxTableSize = 1492;

// Compresses `in` into `out` (replacing its content). Returns false only when
// memory runs out.
bool HuffEncode(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out);

// Receives compressed bytes in order; false stops the encoder.
using THuffSink = std::function<bool(const std::uint8_t* data, std::size_t count)>;

// Compresses `in` and hands the result to `sink` in pieces of at most 256 KiB,
// so that no second whole-size block is needed. False when the sink refuses a
// piece or memory runs out.
bool HuffEncodeTo(std::span<const std::uint8_t> in, const THuffSink& sink);

// Expands `in` into `out`. On damaged or hostile input returns false, leaves
// `out` empty and says why in `error`.
bool HuffDecode(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out,
                std::string& error);
// The same into a buffer that is not zeroed first (whole project images).
bool HuffDecode(std::span<const std::uint8_t> in, TKelBuffer& out, std::string& error);

// Stream-to-stream form working in 32768-byte chunks, so that neither side has
// to be held in memory. Call Init, SetInput, SetOutput, then Encode or Decode.
// Each instance has its own working tables; one instance must not be used by
// two threads at once.
class THuffCodec {
public:
  THuffCodec();
  ~THuffCodec();
  THuffCodec(const THuffCodec&) = delete;
  THuffCodec& operator=(const THuffCodec&) = delete;

  // Forgets the streams, tables and the last error.
  void Init();
  // Remembers the input stream, records its size and positions it at 0.
  // False when no stream is given or its size cannot be determined.
  bool SetInput(std::istream* stream);
  // Remembers the output stream and positions it at 0. False when no stream is given.
  bool SetOutput(std::ostream* stream);
  // Compresses the whole input into the output, written from offset 0.
  bool Encode();
  // Expands the whole input into the output, written from offset 0.
  bool Decode();
  // Why the last Encode/Decode failed; empty after success.
  const std::string& Error() const { return FError; }

private:
  struct TTables;
  TTables* FTables;
  std::istream* FInput = nullptr;
  std::ostream* FOutput = nullptr;
  std::uint64_t FInputSize = 0;
  std::string FError;
};
