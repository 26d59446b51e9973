// libFuzzer target for the Huffman codec; not part of the normal build.
//   clang++-14 -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined \
//     -I persistence persistence/KelHuffFuncs.cpp tests/persistence/fuzz_huff.cpp -o fuzz_huff
//   ./fuzz_huff -jobs=1 -workers=1 -max_total_time=600 corpus_dir tests/persistence/corpus_huff
#include "KelHuffFuncs.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> in(data, size);

  // Arbitrary bytes as a compressed image: must fail cleanly or decode within
  // one output byte per valid bit, and the stream form must agree.
  std::vector<std::uint8_t> out;
  std::string error;
  const bool ok = HuffDecode(in, out, error);
  if (ok != error.empty()) std::abort();
  if (ok && out.size() > 8 * size) std::abort();
  if (!ok && !out.empty()) std::abort();
  {
    std::stringstream src(std::string(in.begin(), in.end())), dst;
    THuffCodec codec;
    codec.Init();
    if (!codec.SetInput(&src) || !codec.SetOutput(&dst)) std::abort();
    if (codec.Decode() != ok) std::abort();
    if (ok && dst.str() != std::string(out.begin(), out.end())) std::abort();
  }

  // The same bytes as plain data: encoding then decoding must give them back.
  std::vector<std::uint8_t> packed, back;
  if (!HuffEncode(in, packed)) std::abort();
  if (!HuffDecode(packed, back, error)) std::abort();
  if (back.size() != size || !std::equal(back.begin(), back.end(), data)) std::abort();
  return 0;
}
