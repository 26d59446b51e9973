// libFuzzer target for the stream-list loader. Not part of the normal build:
//
//   cd persistence && clang++-14 -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I. \
//     -I../tests/persistence ../tests/persistence/fuzz_load.cpp KelLinkList.cpp KelStreamWrapper.cpp \
//     KelStreamList.cpp KelCompDataList.cpp KelHuffFuncs.cpp KelStrings.cpp KelBuffer.cpp -o /tmp/fuzz_load
//   /tmp/fuzz_load -jobs=1 -workers=1 -max_total_time=600 -max_len=65536 corpus_dir
//
// Input: one mode byte, then the file's bytes. Bit 0 of the mode byte set: the
// bytes are a compressed file; clear: an uncompressed image (reaches the block
// reader without having to get through the codec first). Bit 1 set: load with an
// inspection spy attached. Every input also goes through the header listing.
//
// ZYMRA_FUZZ_WRITE_SEEDS=<folder> writes a few valid inputs there at start-up.
#ifndef ZYMRA_TEST_OUTPUT_DIR
#define ZYMRA_TEST_OUTPUT_DIR "/tmp"
#endif
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "stream_fixtures.h"

using namespace fixtures;

namespace {
std::string ScratchFile() {
  const char* shm = "/dev/shm";
  const std::string folder = ::access(shm, W_OK) == 0 ? shm : "/tmp";
  return folder + "/zymra_fuzz_load_" + std::to_string(::getpid()) + ".bin";
}

void WriteSeeds(const std::string& folder) {
  const std::string scratch = ScratchFile();
  for (int compressed = 0; compressed < 2; ++compressed) {
    for (int shape = 0; shape < 3; ++shape) {
      TTestProject p;
      p.Comment = shape ? "comment" : "";
      if (shape >= 1) AddItem(p, 1, "Run 1", {1.0, 2.0});
      if (shape >= 2) {
        auto* g = new TTestGroup(&p);
        p.Add(g);
        AddItem(*g, 2, "inner", {3.0});
        auto* ref = new TStreamNodeRef(&p);
        p.Add(ref);
        ref->SetTarget(g);
      }
      p.SetFileName(scratch);
      p.StreamSettings.Compress = compressed != 0;
      if (!p.Save()) continue;
      std::vector<std::uint8_t> input{static_cast<std::uint8_t>(compressed)};
      const auto bytes = ReadFileBytes(scratch);
      input.insert(input.end(), bytes.begin(), bytes.end());
      WriteFileBytes(folder + "/seed_" + std::to_string(compressed) + "_" + std::to_string(shape), input);
    }
  }
  ::unlink(scratch.c_str());
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* folder = std::getenv("ZYMRA_FUZZ_WRITE_SEEDS")) WriteSeeds(folder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const std::string scratch = ScratchFile();
  const std::uint8_t mode = data[0];
  WriteFileBytes(scratch, std::vector<std::uint8_t>(data + 1, data + size));
  TTestProject p;
  p.SetFileName(scratch);
  p.StreamSettings.Compress = (mode & 1) != 0;
  bool loaded;
  if (mode & 2) {
    TStreamSpy spy;
    loaded = p.Inspect(spy);
  } else {
    loaded = p.Load();
  }
  // A failed load always says why.
  if (!loaded && p.LastError.empty()) std::abort();
  std::vector<std::string> lines;
  std::string error;
  if (!ListStreamHeaders(scratch, (mode & 1) != 0, lines, error) && error.empty()) std::abort();
  return 0;
}
