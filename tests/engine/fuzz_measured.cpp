// libFuzzer target for the measured-data reader. Not part of the normal build:
//
//   clang++-14 -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
//     -Ipersistence -Iengine tests/engine/fuzz_measured.cpp engine/ZymraMeasured.cpp \
//     persistence/KelLinkList.cpp persistence/KelStreamWrapper.cpp persistence/KelStreamList.cpp \
//     persistence/KelCompDataList.cpp persistence/KelHuffFuncs.cpp persistence/KelStrings.cpp \
//     persistence/KelBuffer.cpp persistence/KelDateTime.cpp engine/KelMatrix.cpp engine/LibZymra.cpp \
//     engine/ZymraModel.cpp engine/ZymraRecords.cpp engine/ZymraText.cpp engine/ZymraThread.cpp \
//     -o /tmp/fuzz_measured
//   /tmp/fuzz_measured -max_total_time=300 -max_len=4096 corpus_dir
//
// Input: the text of a data file. A text that is read must say nothing, hold only
// finite times and values (or NaN where not measured), and read back unchanged from
// the text the program writes of it; one that is refused must say why, in one line.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ZymraMeasured.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TMeasuredData read;
  std::string error;
  if (!ParseMeasuredData(text, read, error)) {
    if (error.empty() || error.find('\n') != std::string::npos || !read.Empty()) std::abort();
    return 0;
  }
  for (const TMeasuredPoint& p : read.Points) {
    if (!std::isfinite(p.Time)) std::abort();
    for (double v : p.Value)
      if (std::isinf(v)) std::abort();
  }
  TMeasuredData back;
  if (!ParseMeasuredData(MeasuredDataText(read, "again"), back, error) || !(back == read)) std::abort();
  return 0;
}
